#include "backup/BackupWriteRecord.h"

#include "backup/BackupWritePlace.h"

#include <QFile>
#include <algorithm>
#include <sys/stat.h>

namespace
{

// What a line gives before its name.
enum class Field { Id, Replaced, Staged, Old };

struct Layout {
    int version;
    QList<Field> manifest;
    QList<Field> file;
};

const QList<Layout>& layouts()
{
    static const QList<Layout> all {
        { 1, { Field::Id }, { Field::Id } },
        { 2, { Field::Replaced, Field::Staged }, { Field::Staged } },
        { 3, { Field::Replaced, Field::Staged }, { Field::Staged, Field::Old } },
    };
    return all;
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
        const bool first1 = first.isEmpty() || word == "manifest" || word == "file" || word == "folder";
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
    qint64 manifest = 0;
    for (const char* name : { "Manifest.db", "Manifest.mbdb" })
        for (const char* suffix : { BackupWritePlace::kTarget, BackupWritePlace::kTemp })
            manifest
                = std::max(manifest, regularSize(dir, QString::fromLatin1(name) + QLatin1String(suffix)));
    return 4 * 1024 * 1024 + 8 * manifest;
}

QByteArray BackupWriteRecord::text(const QDir& dir, const QString& manifestName,
    const ContentDigest::Sum& replaced, const ContentDigest::Sum& staged, const QStringList& folders,
    const QList<Entry>& files)
{
    const Layout& l = *layoutOf(kVersion);
    QByteArray text = "version " + QByteArray::number(kVersion) + "\nmanifest " + replaced.text() + ' '
        + staged.text() + ' ' + manifestName.toUtf8() + '\n';
    for (const QString& folder : folders)
        text += "folder " + dir.relativeFilePath(folder).toUtf8() + '\n';
    for (const Entry& e : files) {
        text += "file ";
        for (Field f : l.file)
            text += fieldText(f, e) + ' ';
        text += dir.relativeFilePath(e.target).toUtf8() + '\n';
    }
    return text;
}

BackupWriteRecord BackupWriteRecord::read(const QDir& dir, const QByteArray& text)
{
    BackupWriteRecord r;
    const QList<QByteArray> lines = text.split('\n');
    r.version = versionOf(lines.value(0), r.versionName);
    if (!r.known())
        return r;
    const Layout& l = *layoutOf(r.version);
    for (const QByteArray& line : lines) {
        const QList<QByteArray> f = line.split(' ');
        if (f.size() >= 2 && f[0] == "folder") {
            const QString folder = BackupWritePlace::inside(dir, QString::fromUtf8(line.mid(7)));
            if (!folder.isEmpty())
                r.folders.append(folder);
        }
        const bool manifest = f[0] == "manifest";
        const QList<Field>& fields = manifest ? l.manifest : l.file;
        if ((!manifest && f[0] != "file") || f.size() < fields.size() + 2)
            continue;
        qsizetype at = f[0].size() + 1;
        for (int i = 1; i <= fields.size(); ++i)
            at += f[i].size() + 1;
        Entry e { BackupWritePlace::inside(dir, QString::fromUtf8(line.mid(at))) };
        readFields(fields, f, e, r);
        if (manifest) {
            r.manifest = e.target;
            r.manifestId = e.tempId;
            r.manifestStaged = e.staged;
        } else if (!e.target.isEmpty())
            r.files.append(e);
        else
            r.unreachable = r.unreachable || e.staged.known() || e.tempId != 0;
    }
    return r;
}
