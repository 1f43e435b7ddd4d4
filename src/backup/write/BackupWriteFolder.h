#pragma once

#include "backup/write/BackupWriteNames.h"

#include <QByteArray>
#include <QDir>
#include <QHash>
#include <QString>
#include <functional>
#include <sys/types.h>
#include <vector>

class QFile;

// The backup folder as a write into it, or the settling of one, holds it: opened once, and every
// name inside reached from that descriptor at each step, each folder on the way opened as a real
// folder (never through a link) that is still the one first seen there. A folder another program
// swaps for a link, a file or another folder while the write is under way gets nothing.
//
// The changes of names report themselves to BackupWriteNames' hook first, as the path ones do;
// they return false with errno set where the system refuses. Where a folder on the way is swapped,
// they throw std::runtime_error with the text that says which (swappedText): a write stops there.
class BackupWriteFolder
{
public:
    // The folder of a name inside, reached from the held one, and the name itself.
    class Parent
    {
    public:
        Parent() = default;
        Parent(Parent&& o) noexcept;
        Parent& operator=(Parent&&) = delete;
        ~Parent();
        // -1 when the folder could not be reached (error() tells why).
        int fd() const { return m_fd; }
        const QByteArray& name() const { return m_name; }
        int error() const { return m_error; }
        // A link or a file stands where a folder on the way should be, or another folder than the
        // one first seen there, or none where one was seen.
        bool swapped() const { return m_swapped; }
        // The folder on the way that could not be reached, relative to the backup folder.
        const QByteArray& folder() const { return m_folder; }

    private:
        friend class BackupWriteFolder;
        int m_fd = -1;
        bool m_owned = false;
        QByteArray m_name;
        int m_error = 0;
        bool m_swapped = false;
        QByteArray m_folder;
    };

    // The folder at dir's path, the way to it walked as PathWalk walks it.
    explicit BackupWriteFolder(const QDir& dir);
    ~BackupWriteFolder();
    BackupWriteFolder(const BackupWriteFolder&) = delete;
    BackupWriteFolder& operator=(const BackupWriteFolder&) = delete;

    const QDir& dir() const { return m_dir; }
    bool isOpen() const { return m_fd >= 0; }
    // The held folder, for a hold on it (see BackupFolderLock); -1 when not open.
    int fd() const { return m_fd; }
    // Why the folder could not be opened; a link on the way that another user put in a folder
    // everyone may write into is named (see PathWalk), as the exports name it.
    QString whyNotOpen() const;

    // The folder holding path (a path inside dir) and its last name; never throws.
    Parent parentOf(const QString& path) const;
    // The folder at path itself (dir for its own path), the same way.
    Parent folderAt(const QString& path) const;
    // The text of a write that met a folder swapped while it was under way (see Parent::swapped),
    // or one that it reached before and no longer finds.
    QString swappedText(const Parent& p) const;
    // Empty when every folder first seen inside is still there and the one seen, and the backup
    // folder's path still leads to the held folder: else the text that says which is not.
    QString changedFolder() const;

    BackupWriteNames::Stamp stampOf(const QString& path) const;
    bool present(const QString& path) const;
    // Whether a link stands at path.
    bool isLink(const QString& path) const;
    // Opens a regular file for reading, a link at its name not followed (see RegularFile).
    bool openRead(QFile& file, const QString& path, QString* why) const;
    // The locks another process holds on bytes start..start+length of the file at path.
    bool lockedByAnother(const QString& path, off_t start, off_t length) const;

    bool link(const QString& from, const QString& to) const;
    bool rename(const QString& from, const QString& to) const;
    bool removeIfPresent(const QString& path) const;
    // See BackupWriteNames: the same changes, each of two names in one folder.
    bool renameNoReplace(
        const QString& from, const QString& to, const std::function<void()>& lastCheck = {}) const;
    BackupWriteNames::Put replace(
        const QString& from, const QString& to, const std::function<void()>& lastCheck = {}) const;
    bool exchange(const QString& a, const QString& b) const;
    // A write's own new file, created with mode from its first moment (see modeOf). The folder it
    // is made in stays held, and which file it is noted, for removeStrayOwn.
    int createOwnFd(const QString& path, mode_t mode = 0600) const;
    bool createOwn(QFile& file, const QString& path, mode_t mode = 0600) const;
    // For tests: the call that creates such a file, with openat's arguments; null gives back the
    // system's. Returns the one it replaces.
    using CreateCall = int (*)(int dir, const char* name, int flags, mode_t mode);
    static CreateCall setCreateCall(CreateCall call);
    // Removes each file createOwn made that still stands at its name, the very file made, in a
    // folder the held one no longer leads to (another program moved or replaced it meanwhile):
    // settling cannot reach it there, and nothing else would ever remove it. Through the folder it
    // was made in, as held, never a path.
    void removeStrayOwn() const;
    // The permissions of the user's own regular file at path, which a temporary that replaces it may
    // have; 0600 when none stands there, or another user's.
    mode_t modeOf(const QString& path) const;
    bool freeAsideName(const QString& target) const;
    // Makes the folder at path (inside dir) unless a real folder is there.
    bool makeFolder(const QString& path) const;
    // Removes the folder at path when it is a real, empty folder: it is no longer one first seen.
    void removeEmptyFolder(const QString& path) const;
    // Writes a file, or a folder (the backup folder itself for its own path), to the disk through
    // BackupWriteNames' sync call.
    bool syncFile(const QString& path) const;
    bool syncFolder(const QString& path) const;

private:
    // The folder reached by the names parts from the held one (see Parent).
    Parent walk(const QList<QByteArray>& parts) const;
    // The parts of path inside dir; false for a path that is not inside it.
    bool partsOf(const QString& path, QList<QByteArray>& parts) const;
    // parentOf, throwing where a folder on the way was swapped.
    Parent reach(const QString& path) const;
    static bool renamedIn(const Parent& p, const QByteArray& from, const QByteArray& to, unsigned int flags);
    // Notes the file fd just made by createOwnFd in the folder p, by its name there.
    void noteOwn(const Parent& p, const QByteArray& folder, int fd) const;

    // A folder createOwn made files in, held open, and where it was inside dir then.
    struct Held {
        int fd = -1;
        dev_t dev = 0;
        ino_t ino = 0;
        QByteArray folder;
    };
    // A file createOwn made: its folder (of m_held), its name there, and which file it is.
    struct Own {
        int held = -1;
        QByteArray name;
        dev_t dev = 0;
        ino_t ino = 0;
    };

    QDir m_dir;
    int m_fd = -1;
    int m_openError = 0;
    QString m_refusal; // why a link on the way was not followed
    dev_t m_dev = 0;
    ino_t m_ino = 0;
    // Folders inside as first seen: device and inode, by their path relative to dir.
    mutable QHash<QByteArray, QPair<dev_t, ino_t>> m_seen;
    mutable std::vector<Held> m_held;
    mutable std::vector<Own> m_own;
};
