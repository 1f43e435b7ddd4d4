#include "backup/write/BackupWriteRecord.h"

#include "backup/write/BackupWriteFolder.h"
#include "backup/write/BackupWriteNames.h"
#include "backup/write/BackupWritePlace.h"

#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <algorithm>
#include <cerrno>
#include <cstring>
#include <stdexcept>
#include <sys/stat.h>
#include <unistd.h>

namespace
{

// What a line gives before its name.
enum class Field { Id, Replaced, Staged, Old };

struct Layout {
    int version;
    QList<Field> manifest;
    QList<Field> file;
    bool ended; // its last line ends it, with the digest of all before
    bool identified; // its second line gives the write's id
};

const QList<Layout>& layouts()
{
    static const QList<Layout> all {
        { 1, { Field::Id }, { Field::Id }, false, false },
        { 2, { Field::Replaced, Field::Staged }, { Field::Staged }, false, false },
        { 3, { Field::Replaced, Field::Staged }, { Field::Staged, Field::Old }, false, false },
        { 4, { Field::Replaced, Field::Staged }, { Field::Staged, Field::Old }, true, false },
        { 5, { Field::Replaced, Field::Staged }, { Field::Staged, Field::Old }, true, true },
    };
    return all;
}

constexpr int kIdLength = 16;

// The id a "write <id>" line gives, written the one way a write writes it; empty for any other line.
QByteArray idOf(const QByteArray& line)
{
    const QByteArray id = line.mid(6);
    const auto hex = [](char c) { return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'); };
    const bool valid
        = line.startsWith("write ") && id.size() == kIdLength && std::all_of(id.begin(), id.end(), hex);
    return valid ? id : QByteArray();
}

QByteArray header(const QByteArray& id)
{
    return "version " + QByteArray::number(BackupWriteRecord::kVersion) + "\nwrite " + id + '\n';
}

const Layout* layoutOf(int version)
{
    for (const Layout& l : layouts())
        if (l.version == version)
            return &l;
    return nullptr;
}

// The version the first line gives: 1 for a record that starts with a line of its own, 0 for one
// this build does not know, with the name it gives (none when the line is no version line).
int versionOf(const QByteArray& first, QByteArray& name)
{
    if (!first.startsWith("version ")) {
        const QByteArray word = first.left(first.indexOf(' '));
        const bool first1 = word == "manifest" || word == "file" || word == "folder";
        name = first1 ? QByteArray("1") : QByteArray();
        return first1 ? 1 : 0;
    }
    name = first.mid(8);
    bool ok = false;
    const int v = name.toInt(&ok);
    return ok && layoutOf(v) && v > 1 ? v : 0;
}

QByteArray fieldText(Field f, const BackupWriteRecord::Entry& e)
{
    if (f == Field::Staged)
        return e.staged.text();
    if (f == Field::Old)
        return e.existed ? e.old.text() : QByteArrayLiteral("none");
    return QByteArrayLiteral("-");
}

// Whether v is a field's text as a write gives it: a number, or a content (or "-", or "none" for
// an old content), written the one way the write writes it.
bool fieldValid(Field f, const QByteArray& v)
{
    if (f == Field::Id)
        return !v.isEmpty() && std::all_of(v.begin(), v.end(), [](char c) { return c >= '0' && c <= '9'; });
    return v == "-" || (f == Field::Old && v == "none") || ContentDigest::Sum::fromText(v).text() == v;
}

// The fields of one line into e, and the manifest's replaced content into r.
void readFields(
    const QList<Field>& fields, const QList<QByteArray>& f, BackupWriteRecord::Entry& e, BackupWriteRecord& r)
{
    for (int i = 0; i < fields.size(); ++i) {
        const QByteArray& v = f[i + 1];
        switch (fields[i]) {
        case Field::Id:
            e.tempId = v.toULongLong();
            break;
        case Field::Replaced:
            r.manifestReplaced = ContentDigest::Sum::fromText(v);
            break;
        case Field::Staged:
            e.staged = ContentDigest::Sum::fromText(v);
            break;
        case Field::Old:
            e.old = ContentDigest::Sum::fromText(v);
            e.existed = v != "none";
            break;
        }
    }
}

// Reads one line after the version line into r (only checks it without r); false when it is no
// line of a record of layout l (a second manifest line among them). named tells whether the
// manifest line was read.
bool readLine(const QDir& dir, const Layout& l, const QByteArray& line, BackupWriteRecord* r, bool& named)
{
    const QList<QByteArray> f = line.split(' ');
    if (f[0] == "folder") {
        const QString name = QString::fromUtf8(line.mid(7));
        if (name.isEmpty() || !r)
            return !name.isEmpty();
        const QString folder = BackupWritePlace::inside(dir, name);
        if (!folder.isEmpty())
            r->folders.append(folder);
        return true;
    }
    const bool manifest = f[0] == "manifest";
    const QList<Field>& fields = manifest ? l.manifest : l.file;
    if ((!manifest && f[0] != "file") || (manifest && named) || f.size() < fields.size() + 2)
        return false;
    qsizetype at = f[0].size() + 1;
    for (int i = 1; i <= fields.size(); ++i) {
        if (!fieldValid(fields[i - 1], f[i]))
            return false;
        at += f[i].size() + 1;
    }
    if (at >= line.size())
        return false; // no name
    named = named || manifest;
    if (!r)
        return true;
    BackupWriteRecord::Entry e { BackupWritePlace::inside(dir, QString::fromUtf8(line.mid(at))) };
    readFields(fields, f, e, *r);
    if (manifest) {
        r->manifest = e.target;
        r->manifestId = e.tempId;
        r->manifestStaged = e.staged;
    } else if (!e.target.isEmpty())
        r->files.append(e);
    else
        r->unreachable = r->unreachable || e.staged.known() || e.tempId != 0;
    return true;
}

// The digest the end line gives to all that comes before it.
QByteArray endLine(const QByteArray& before)
{
    ContentDigest d;
    d.add(before);
    return "end " + d.sum().text();
}

QString damagedLine(int number)
{
    return QStringLiteral("its line %1 is not a line of the record of a write, so the record is damaged.")
        .arg(number);
}

// Why the record text of layout l is no whole record of a write, empty when it is one; lines (its
// lines from first on) are left as those that describe the write. Every line is checked before
// any is followed: a damaged record is refused as a whole.
QString damage(const QDir& dir, const Layout& l, const QByteArray& text, int first, QList<QByteArray>& lines)
{
    if (!text.endsWith('\n'))
        return QStringLiteral("its last line is cut short, so the record is damaged.");
    lines.removeLast(); // the nothing after the last line's end
    if (l.identified && idOf(lines.value(1)).isEmpty())
        return damagedLine(2);
    const bool ends = l.ended && !lines.isEmpty() && lines.last().startsWith("end ");
    if (ends)
        lines.removeLast();
    bool named = false;
    for (int i = first; i < lines.size(); ++i)
        if (!readLine(dir, l, lines[i], nullptr, named))
            return damagedLine(i + 1);
    const qsizetype endAt = text.lastIndexOf('\n', text.size() - 2) + 1;
    if (l.ended && !ends)
        return QStringLiteral("it lacks the line that ends the record of a write, so it was cut short.");
    if (ends && text.mid(endAt).chopped(1) != endLine(text.left(endAt)))
        return QStringLiteral("what it holds is not what its last line gives, so the record is damaged.");
    if (!named)
        return QStringLiteral("it names no manifest, as the record of every write does.");
    return QString();
}

qint64 regularSize(const QDir& dir, const QString& name)
{
    struct stat st;
    return ::lstat(QFile::encodeName(dir.absoluteFilePath(name)).constData(), &st) == 0 && S_ISREG(st.st_mode)
        ? qint64(st.st_size)
        : 0;
}

} // namespace

QString BackupWriteRecord::fileName()
{
    return QStringLiteral("Manifest.qmwrite");
}

qint64 BackupWriteRecord::largestSize(const QDir& dir)
{
    // The manifest in place and those staged (of the write recorded, whatever its temporaries' names).
    QStringList names = QDir(dir.absolutePath())
                            .entryList({ QStringLiteral("Manifest.db*") + BackupWritePlace::kTemp,
                                           QStringLiteral("Manifest.mbdb*") + BackupWritePlace::kTemp },
                                QDir::Files | QDir::Hidden | QDir::System);
    names << QStringLiteral("Manifest.db") << QStringLiteral("Manifest.mbdb");
    qint64 manifest = 0;
    for (const QString& name : std::as_const(names))
        manifest = std::max(manifest, regularSize(dir, name));
    return 4 * 1024 * 1024 + 8 * manifest;
}

QByteArray BackupWriteRecord::newId()
{
    return QByteArray::number(QRandomGenerator::system()->generate64(), 16).rightJustified(kIdLength, '0');
}

QByteArray BackupWriteRecord::text(const QDir& dir, const QByteArray& id, const QString& manifestName,
    const ContentDigest::Sum& replaced, const ContentDigest::Sum& staged, const QStringList& folders,
    const QList<Entry>& files)
{
    const Layout& l = *layoutOf(kVersion);
    QByteArray text = header(id) + "manifest " + replaced.text() + ' ' + staged.text() + ' '
        + manifestName.toUtf8() + '\n';
    for (const QString& folder : folders)
        text += "folder " + dir.relativeFilePath(folder).toUtf8() + '\n';
    for (const Entry& e : files) {
        text += "file ";
        for (Field f : l.file)
            text += fieldText(f, e) + ' ';
        text += dir.relativeFilePath(e.target).toUtf8() + '\n';
    }
    // Written last: a record cut short, or with any byte changed, is told by it.
    return text + endLine(text) + '\n';
}

BackupWriteRecord BackupWriteRecord::read(const QDir& dir, const QByteArray& text)
{
    BackupWriteRecord r;
    if (text.isEmpty()) {
        r.why = QStringLiteral("it is empty, and no write leaves its record empty.");
        return r;
    }
    QList<QByteArray> lines = text.split('\n');
    QByteArray versionName;
    r.version = versionOf(lines.value(0), versionName);
    if (!r.known()) {
        r.why = versionName.isEmpty()
            ? QStringLiteral("it is no record of a write this build knows.")
            : QStringLiteral("it is the record of a write of version \"%1\", which this build does not know.")
                  .arg(QString::fromUtf8(versionName));
        return r;
    }
    const Layout& l = *layoutOf(r.version);
    const int first = r.version > 1 ? (l.identified ? 2 : 1) : 0;
    r.why = damage(dir, l, text, first, lines);
    if (!r.why.isEmpty())
        return r;
    if (l.identified)
        r.id = idOf(lines[1]);
    bool named = false;
    for (int i = first; i < lines.size(); ++i)
        readLine(dir, l, lines[i], &r, named);
    return r;
}

bool BackupWriteRecord::readText(const BackupWriteFolder& folder, const QString& path, QByteArray& text)
{
    const qint64 largest = largestSize(folder.dir());
    QFile in;
    QString why;
    if (!folder.openRead(in, path, &why)) {
        qWarning("Cannot read %s. %s", qUtf8Printable(path), qUtf8Printable(why));
        return false;
    }
    const qint64 size = in.size();
    if (size <= largest)
        text = in.read(largest + 1);
    if (in.error() != QFileDevice::NoError) {
        qWarning("Cannot read %s. %s", qUtf8Printable(path), qUtf8Printable(in.errorString()));
        return false;
    }
    if (size <= largest && text.size() <= largest)
        return true;
    qWarning("Left %s as it is: at more than %lld bytes it is larger than the record of any write into "
             "that backup, and is not read.",
        qUtf8Printable(path), largest);
    return false;
}

bool BackupWriteRecord::pending(const QDir& dir)
{
    return BackupWriteNames::present(dir.absoluteFilePath(fileName())) || !beginnings(dir).isEmpty();
}

QStringList BackupWriteRecord::beginnings(const QDir& dir)
{
    const QDir folder(dir.absolutePath());
    QStringList paths;
    const QStringList names = folder.entryList({ fileName() + QStringLiteral("*") + BackupWritePlace::kTemp },
        QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
    for (const QString& name : names)
        paths << folder.absoluteFilePath(name);
    return paths;
}

void BackupWriteRecord::writeThrow(const BackupWriteFolder& folder, bool again) const
{
    const QDir& dir = folder.dir();
    const QByteArray bytes
        = text(dir, id, QFileInfo(manifest).fileName(), manifestReplaced, manifestStaged, folders, files);
    const QString path = dir.absoluteFilePath(fileName());
    const QString temp = tempOf(path);
    QFile out;
    bool ok = folder.createOwn(out, temp) && out.write(bytes) == bytes.size() && out.flush()
        && ::fsync(out.handle()) == 0;
    out.close();
    ok = ok && folder.syncFolder(dir.absolutePath());
    // Another write's record in place (or this one's gone) tells of another write under way.
    bool theirs = false;
    if (ok && again) {
        theirs = !inPlace(folder);
        ok = !theirs && folder.rename(temp, path);
    } else if (ok) {
        ok = folder.renameNoReplace(temp, path);
        theirs = !ok && errno == EEXIST;
    }
    ok = ok && folder.syncFolder(dir.absolutePath());
    if (ok)
        return;
    const int error = errno;
    folder.removeIfPresent(temp); // nothing of a record that was never written stays
    throw std::runtime_error((theirs
            ? BackupWriteNames::changedText(path)
            : QStringLiteral("Cannot write %1. %2").arg(path, QString::fromLocal8Bit(std::strerror(error))))
                                 .toStdString());
}

bool BackupWriteRecord::inPlace(const BackupWriteFolder& folder) const
{
    QFile in;
    const QByteArray head = header(id);
    return !id.isEmpty() && folder.openRead(in, folder.dir().absoluteFilePath(fileName()), nullptr)
        && in.read(head.size()) == head;
}
