#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <memory>
#include <sys/types.h>

struct stat;
class PathWalk;

// A folder held by its descriptor, so that what is made and written below it lands in that very
// folder: names are looked up from the descriptor one part at a time and never through a link, so
// a folder another program swaps for a link meanwhile gets nothing. A folder reached from another
// remembers where, so that a road can ask whether it still stands there (inPlace) before it tells
// a file as written. Copies share the descriptor; it closes with the last of them.
class HeldFolder
{
public:
    HeldFolder() = default;

    // The folder at path as it stands now, the way to it walked as PathWalk walks it: a link at
    // path itself is followed (the name is the user's), as is one on the way, unless another user
    // put it in a folder everyone may write into (EACCES; *refused, when given, then says which).
    // Invalid, with errno set, when no folder can be opened there.
    static HeldFolder open(const QString& path, QString* refused = nullptr);
    // The folder a walk ended in, the one its last part stands in; path names it in texts.
    static HeldFolder openWalked(const PathWalk& walk, const QString& path);

    bool isValid() const { return bool(m_node); }
    // -1 when invalid.
    int fd() const;
    // The path it was reached by, for texts only: it is never looked up again.
    QString path() const;
    QString filePath(const QString& name) const;
    // The folder's own identity.
    dev_t device() const;
    ino_t inode() const;

    // The folder name inside, never reached through a link. Invalid, with errno set, when there is
    // none (ENOTDIR when a link or anything else stands there; EINVAL for a name of more than one
    // part, ".", "..").
    HeldFolder sub(const QString& name) const;
    // The folder at the relative path below, part by part as sub() does.
    HeldFolder subPath(const QByteArray& relative) const;
    // Makes the folder name inside (or takes the one that stands there) and holds it; *made tells
    // whether this call made it. Invalid, with errno set, when none can be made or held.
    HeldFolder make(const QString& name, bool* made = nullptr) const;

    // The parts of the way from ancestor, a folder this one was reached from, joined by '/'; false
    // when it was not reached from there.
    bool relativeTo(const HeldFolder& ancestor, QByteArray* relative) const;

    // lstat(2) of name inside; false with errno set.
    bool lstat(const QString& name, struct stat* st) const;
    // The names of the entries inside (not "." and ".."); empty when it cannot be listed.
    QStringList entries() const;
    // Whether anything stands at name inside, a link too.
    bool has(const QString& name) const;
    // name (cut to fit a disk) when nothing stands there inside, else the first free
    // "stem(n).suffix" (the stem up to the name's first dot, the suffix after its last).
    QString freeName(const QString& name) const;
    // Sets the access and modification times of name inside (never of what a link there leads to).
    bool setTime(const QString& name, qint64 secs) const;
    // Removes name inside when it is still the entry of dev and ino: a file, a link, an empty folder.
    bool removeIfSame(const QString& name, dev_t dev, ino_t ino) const;
    // Removes name inside with everything below it, never following a link.
    bool removeTree(const QString& name) const;

    // Whether every folder on the way from the one opened by path to this one still stands where it
    // was reached, and the first by its path. When not, *moved names the first that does not.
    bool inPlace(QString* moved = nullptr) const;

    static QByteArray native(const QString& name);

    // Lets the process hold as many descriptors as the system allows it (at most 65536): a walk
    // holds one for each folder on its way down, and a backup's tree may be 1,024 deep. Call in
    // main(), before any thread starts.
    static void allowDeepWalks();

private:
    struct Node;
    explicit HeldFolder(std::shared_ptr<const Node> node);
    static HeldFolder opened(int fd, const QString& path);

    std::shared_ptr<const Node> m_node;
};
