#pragma once

#include <QByteArray>
#include <QString>
#include <sys/stat.h>
#include <vector>

// A path walked the way the kernel walks it, one part at a time from descriptors, so that what the
// walk found is never looked up by its path again. A link met on the way is read and its target put
// in its place ("." and ".." taken as the kernel takes them, an absolute target from "/"), at most
// 40 of them. Linux's rule for links in shared folders (fs.protected_symlinks) is applied here,
// whether the system keeps it or not: a link that stands in a folder both sticky and writable by
// everyone (as /tmp) is followed only when it belongs to this user or to that folder's owner, so
// that a link another user put there never leads a write to a file of this user's.
class PathWalk
{
public:
    PathWalk() = default;
    ~PathWalk();
    PathWalk(const PathWalk&) = delete;
    PathWalk& operator=(const PathWalk&) = delete;

    // Walks path (a relative one from the working folder) to the folder its last part stands in;
    // with followLast, a link at the last part is followed too. Nothing need stand at the last
    // part. False, with errno set, when the way cannot be walked; a link the rule refuses is
    // EACCES, as the system says, and refusal() names it.
    bool walk(const QString& path, bool followLast);

    // The folder the last part stands in (a descriptor the walk holds), and its path, which holds
    // no link.
    int folder() const { return m_folder; }
    QString folderPath() const;
    // The path of the last part: folderPath() with name(); the folder's own for ".".
    QString filePath() const;
    // The last part's name in folder(); "." when the path ends at a folder itself ("/", "..").
    const QByteArray& name() const { return m_name; }
    // Whether anything stands at the last part; then its lstat and a descriptor (O_PATH) of it.
    bool found() const { return m_last >= 0; }
    const struct stat& stat() const { return m_st; }
    int last() const { return m_last; }
    // How many links were followed.
    int links() const { return m_links; }
    // Why a link was not followed, naming it and its owner; empty when none was refused.
    const QString& refusal() const { return m_refusal; }

    // path from the working folder when relative, its parts as given: "." and ".." are the walk's to
    // take, since a ".." after a link goes up from where the link leads, not from its name.
    static QString absolute(const QString& path);
    // Whether a part of path is "..".
    static bool goesUp(const QString& path);

    // The system's rules for shared folders (fs.protected_symlinks, protected_fifos and
    // protected_regular), whether the system keeps them or not: in a folder both sticky and writable
    // by everyone, a link, a FIFO or a file that belongs neither to this user nor to the folder's
    // owner is not followed or opened, so that another user's FIFO or file there never receives
    // this user's data. Why not, naming entry (at path) and its owner; empty when it may be.
    static QString refusalIn(const struct stat& folder, const struct stat& entry, const QString& path);
    // The same rules for a file read beside another (a journal beside a database): another user's
    // there may hold what that user wants this user to take for their own. Why the entry at path,
    // never followed, or the file open as fd that stood there, is not read, naming it and its owner;
    // empty when it may be, or when nothing stands there.
    static QString readRefusal(const QString& path, int fd = -1);
    // Why those rules keep a write to path from going ahead: a link on the way or at path, or a FIFO
    // or file at path; empty when none does (also when the way cannot be walked: the write says why).
    static QString writeRefusal(const QString& path);

private:
    enum class Step { On, Ended, Failed };
    Step take(const QByteArray& part, bool keep, std::vector<QByteArray>& rest);
    bool startNear(const QByteArray& path, std::vector<QByteArray>& rest);
    bool start(bool absolute);
    void enter(int fd, const QByteArray& part);
    bool up();
    bool follow(int link, const struct stat& st, const QByteArray& part, std::vector<QByteArray>& rest);
    QByteArray pathOf(const QByteArray& part) const;
    bool endHere();
    void close();

    int m_folder = -1;
    int m_last = -1;
    QByteArray m_path; // of m_folder
    QByteArray m_name;
    struct stat m_st = {};
    int m_links = 0;
    QString m_refusal;
};
