#include "messages/store/MsgEarlierCopies.h"

#include "app/EarlierFileName.h"
#include "app/FileNameFit.h"
#include "app/KeptFileName.h"
#include "messages/store/MsgAttachment.h"
#include "messages/store/MsgPath.h"

#include <QFileInfo>
#include <sys/stat.h>

namespace
{
// Whether the two paths, told apart only by case, lead to one entry: a disk that does not tell names
// apart by case (exFAT, FAT, NTFS) keeps one for both, though through FUSE each case of a name may
// get a number of its own; its folder then lists but one of them.
bool sameEntry(const QString& a, const QString& b)
{
    if (a == b)
        return true;
    struct stat sa, sb;
    if (::stat(QFile::encodeName(a).constData(), &sa) != 0
        || ::stat(QFile::encodeName(b).constData(), &sb) != 0)
        return false;
    if (sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino)
        return true;
    const QFileInfo fa(a), fb(b);
    if (fa.fileName().isEmpty() || !sameEntry(fa.path(), fb.path()))
        return false;
    const QStringList names
        = QDir(fa.path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
    return !(names.contains(fa.fileName()) && names.contains(fb.fileName()));
}
} // namespace

MsgEarlierCopies::MsgEarlierCopies(const QDir& relay)
    : m_relay(relay)
{
}

QString MsgEarlierCopies::standingEarlierFile(const QDir& relay, const QString& filename)
{
    const QString earlier = msgEarlierRelayPath(relay, filename);
    // A NUL ended the name where the system read it: where that file went is not known.
    if (earlier.isEmpty() || earlier.contains(QChar(0)))
        return QString();
    const QString source = msgSourcePath(relay, earlier);
    return !source.isEmpty() && QFileInfo(source).isFile() ? earlier : QString();
}

QStringList MsgEarlierCopies::namedByNone(
    const QDir& relay, const QStringList& files, const Filenames& records)
{
    if (files.isEmpty())
        return {};
    MsgEarlierCopies copies(relay);
    for (const QString& file : files)
        copies.m_claims[file];
    copies.claim(records);
    QStringList none;
    for (auto it = copies.m_claims.cbegin(); it != copies.m_claims.cend(); ++it)
        if (it->now.isEmpty() && it->earlier.isEmpty())
            none << it.key();
    return none;
}

void MsgEarlierCopies::noteAbsent(_MsgAttachment& attachment)
{
    if (attachment.filename.isEmpty() || m_seen.contains(&attachment))
        return;
    m_seen.insert(&attachment);
    const QString earlier = standingEarlierFile(m_relay, attachment.filename);
    if (earlier.isEmpty())
        return;
    m_noted[earlier].append(&attachment);
    m_claims[earlier].earlier.insert(msgRelayPath(m_relay, attachment.filename));
}

int MsgEarlierCopies::resolve(const Filenames& records)
{
    if (m_noted.isEmpty())
        return 0; // the usual case: the store's records are not read again
    claim(records);
    int found = 0;
    for (auto it = m_noted.cbegin(); it != m_noted.cend(); ++it) {
        const Claims& claims = m_claims[it.key()];
        if (!claims.now.isEmpty() || claims.earlier.size() != 1)
            continue;
        for (_MsgAttachment* attachment : it.value())
            attachment->_path = it.key();
        found += int(it.value().size());
    }
    return found;
}

bool MsgEarlierCopies::mayName(const QString& filename, const QSet<QString>& lastNames)
{
    const QString last = filename.mid(filename.lastIndexOf(QLatin1Char('/')) + 1);
    if (last.isEmpty() || last == QLatin1String(".") || last == QLatin1String(".."))
        return true; // the path's last name is another one of it
    const QString now = FileNameFit::localName(last);
    const QString own = KeptFileName::plain(last);
    // A name today's rule keeps as it is the earlier one kept so too. Names are compared without
    // regard to case, as a disk may keep them.
    return lastNames.contains(now.toLower()) || (!own.isEmpty() && lastNames.contains(own.toLower()))
        || (now != last && lastNames.contains(EarlierFileName::localName(last).toLower()));
}

MsgEarlierCopies::Claims* MsgEarlierCopies::claimsOf(const QString& path)
{
    const auto exact = m_claims.find(path);
    if (exact != m_claims.end())
        return &exact.value();
    const auto folded = m_folded.constFind(path.toLower());
    if (path.isEmpty() || folded == m_folded.cend() || !sameEntry(path, folded.value()))
        return nullptr;
    return &m_claims[folded.value()];
}

void MsgEarlierCopies::claim(const Filenames& records)
{
    // Only a record whose last name becomes a candidate's, by either rule, is worked out whole.
    QSet<QString> lastNames;
    m_folded.clear();
    for (auto it = m_claims.cbegin(); it != m_claims.cend(); ++it) {
        lastNames.insert(it.key().section(QLatin1Char('/'), -1).toLower());
        m_folded.insert(it.key().toLower(), it.key());
    }
    records([&](const QString& filename) {
        if (filename.isEmpty() || !mayName(filename, lastNames))
            return;
        // One leading out of the folder has no file now: it stands apart from every other.
        const QString now = msgRelayPath(m_relay, filename);
        if (Claims* byNow = claimsOf(now))
            byNow->now.insert(now);
        if (Claims* byEarlier = claimsOf(msgEarlierRelayPath(m_relay, filename)))
            byEarlier->earlier.insert(now.isEmpty() ? QLatin1Char('\n') + filename : now);
    });
}
