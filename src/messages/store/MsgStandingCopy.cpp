#include "messages/store/MsgStandingCopy.h"

#include "app/Fd.h"
#include "app/KeptFileName.h"
#include "messages/store/MsgPath.h"

#include <QFile>
#include <QFileInfo>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

namespace
{
bool readFull(int fd, char* buffer, size_t size)
{
    size_t done = 0;
    while (done < size) {
        const ssize_t n = ::read(fd, buffer + done, size - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        done += size_t(n);
    }
    return true;
}

// The entry of folder that the disk gives for name when it is not name itself (another case of it).
QString otherCase(const HeldFolder& folder, const QString& name)
{
    const QStringList entries = folder.entries();
    if (entries.contains(name))
        return QString();
    for (const QString& entry : entries)
        if (entry.compare(name, Qt::CaseInsensitive) == 0)
            return entry;
    return QString();
}
} // namespace

MsgStandingCopy::MsgStandingCopy(HeldFolder relay, const QDir& relayDir, Filenames records)
    : m_relay(std::move(relay))
    , m_relayDir(relayDir)
    , m_records(std::move(records))
{
}

bool MsgStandingCopy::sameBytes(const HeldFolder& folder, const QString& name, const QString& source)
{
    const Fd standing(
        ::openat(folder.fd(), HeldFolder::native(name).constData(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC));
    const Fd from(::open(QFile::encodeName(source).constData(), O_RDONLY | O_CLOEXEC));
    struct stat a, b;
    if (standing.get() < 0 || from.get() < 0 || ::fstat(standing.get(), &a) != 0
        || ::fstat(from.get(), &b) != 0 || !S_ISREG(a.st_mode) || !S_ISREG(b.st_mode))
        return false;
    if (a.st_dev == b.st_dev && a.st_ino == b.st_ino)
        return true; // the file itself
    if (a.st_size != b.st_size)
        return false;
    constexpr size_t kBlock = 256 * 1024;
    QByteArray one(kBlock, Qt::Uninitialized), two(kBlock, Qt::Uninitialized);
    for (off_t left = a.st_size; left > 0;) {
        const size_t n = size_t(std::min<off_t>(left, off_t(kBlock)));
        if (!readFull(standing.get(), one.data(), n) || !readFull(from.get(), two.data(), n)
            || std::memcmp(one.constData(), two.constData(), n) != 0)
            return false;
        left -= off_t(n);
    }
    return true;
}

MsgStandingCopy::Verdict MsgStandingCopy::settle(const HeldFolder& folder, const QString& name,
    const QString& dest, const QString& source, const QString& filename, QString* why)
{
    const QString other = otherCase(folder, name);
    if (!other.isEmpty()) {
        if (sameBytes(folder, name, source))
            return Verdict::Kept;
        // The name set aside is another where the phone's name is kept as it is.
        if (KeptFileName::aside(filename.section(QLatin1Char('/'), -1)) != name)
            return Verdict::Aside;
        *why = QStringLiteral(
            "Cannot write %1: the disk keeps %2 there, as it does not tell names apart by case.")
                   .arg(dest, other);
        return Verdict::Refused;
    }
    struct stat st;
    if (folder.lstat(name, &st) && !S_ISREG(st.st_mode)) {
        *why = QStringLiteral("Cannot write %1: %2").arg(dest, QString::fromLocal8Bit(std::strerror(EEXIST)));
        return Verdict::Refused;
    }
    if (sameBytes(folder, name, source))
        return Verdict::Kept;
    const QStringList owners = earlierOwners(dest, filename);
    if (owners.isEmpty())
        return Verdict::Free; // no record's copy but this one's: written anew
    if (owners.size() == 1 && moveToOwnName(folder, name, owners.first()))
        return Verdict::Free;
    *why = QStringLiteral(
        "Cannot write %1: it holds the copy an earlier version saved of %2, which cannot be moved "
        "to a name of its own.")
               .arg(dest, owners.first());
    return Verdict::Refused;
}

QStringList MsgStandingCopy::earlierOwners(const QString& dest, const QString& filename)
{
    if (!m_byEarlier) {
        // Read once per save, at the first file that differs from its copy: a save into a new store
        // never reads its records.
        m_byEarlier.emplace();
        m_records([&](const QString& each) {
            const QString earlier = msgEarlierRelayPath(m_relayDir, each);
            if (!earlier.isEmpty())
                (*m_byEarlier)[earlier].append(each);
        });
    }
    QStringList owners;
    for (const QString& owner : m_byEarlier->value(dest)) {
        const QString own = msgRelayPath(m_relayDir, owner);
        // A record whose own copy stands has no need of this file; nor one leading out of the store.
        if (owner != filename && !own.isEmpty() && own != dest && !owners.contains(owner)
            && !QFileInfo::exists(own) && !QFileInfo(own).isSymLink())
            owners << owner;
    }
    owners.sort();
    return owners;
}

bool MsgStandingCopy::moveToOwnName(const HeldFolder& folder, const QString& name, const QString& filename)
{
    // Named as a save names that record's copy.
    QStringList parts = msgRelayParts(m_relayDir, filename);
    if (parts.isEmpty())
        return false;
    const QString last = parts.takeLast();
    HeldFolder at = m_relay;
    for (const QString& part : std::as_const(parts)) {
        at = at.make(KeptFileName::forWrite(at, part));
        if (!at.isValid())
            return false;
    }
    const QString ownName = KeptFileName::forWrite(at, last);
    const QByteArray from = HeldFolder::native(name), to = HeldFolder::native(ownName);
    if (::renameat2(folder.fd(), from.constData(), at.fd(), to.constData(), RENAME_NOREPLACE) == 0)
        return true;
    // A disk that cannot keep from replacing (some FUSE ones): nothing may stand there.
    struct stat st;
    return errno == EINVAL && !at.lstat(ownName, &st) && errno == ENOENT
        && ::renameat(folder.fd(), from.constData(), at.fd(), to.constData()) == 0;
}
