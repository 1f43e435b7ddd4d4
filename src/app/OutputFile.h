#pragma once

#include "app/HeldFolder.h"

#include <QByteArray>
#include <QIODevice>
#include <QString>
#include <functional>
#include <stdexcept>
#include <sys/types.h>

struct stat;

class PathWalk;

// A file the user asked for, written so that a failure never leaves half of it: the bytes go to a
// temporary file in the destination folder, every write, the flush and the close are checked, and
// only a complete file is renamed over the final name. On failure the temporary goes and whatever
// stood at the final name before stays byte for byte. A link at the final name is followed and its
// target replaced the same way, unless another user put it in a folder everyone may write into
// (see PathWalk: then nothing is written, and the failure names it); a destination that is not a regular file
// (a device such as /dev/null, a FIFO) is written directly, unless the name is one of the program's own (see
// setFollowLinks); a FIFO that no program reads from in 3 s fails. Another user's FIFO or file in such a
// folder is refused too, as the system's rules for shared folders say (PathWalk::refusalIn). A file that is
// replaced is flushed to the disk before the rename. An existing file that may not be written is refused
// ("Permission denied"), never replaced. Errors carry the system's own text for what happened. The temporary
// is made with the mode the file keeps (that of the file it replaces, or the one a new file gets), never
// wider for a moment. Its folder is held from the open to the rename (see HeldFolder), so the file lands
// where its temporary was made. The temporary is locked while it is written, so that what a killed process
// left can be told from another's write under way (see removeLeftovers); each new file is noted for the sync
// that ends its task (see WrittenDisks).
//
//     OutputFile out(path);
//     if (!out.open(QIODevice::WriteOnly) || out.write(bytes) != bytes.size() || !out.commit())
//         throw std::runtime_error(out.failure().toStdString());
class OutputFile : public QIODevice
{
public:
    // Thrown by a road that writes through an OutputFile for a file whose name the disk refuses
    // (nameRefused()): that file alone is left out.
    class Refused : public std::runtime_error
    {
    public:
        using std::runtime_error::runtime_error;
    };

    // Where a file went: the name in its folder, whether another file stood at its own, and whether
    // the name is one fitted to the disk.
    struct Placed {
        QString name;
        bool beside = false;
        bool fitted = false;
    };

    // Told the bytes copied so far; returning false stops the copy (it fails as cancelled).
    using Progress = std::function<bool(qint64 done)>;

    explicit OutputFile(QString path);
    // The file name inside folder, a folder the run holds: the name is one this program makes (as
    // with setFollowLinks(false)), and the file is put in place only while folder still stands
    // where it was reached (HeldFolder::inPlace); else the write fails, saying so.
    OutputFile(HeldFolder folder, QString name);
    // Discards what was not committed.
    ~OutputFile() override;
    OutputFile(const OutputFile&) = delete;
    OutputFile& operator=(const OutputFile&) = delete;

    // With false, the final name is one this program makes inside a folder the user chose (names
    // that come from a backup must not lead out of it): a link there is replaced by the file rather
    // than followed, and a FIFO or device there is refused ("Not a regular file"), never opened.
    void setFollowLinks(bool follow) { m_followLinks = follow; }
    // The mode of the file, whatever the umask (by default that of the file it replaces, or the one
    // the umask gives a new file).
    void setMode(mode_t mode) { m_mode = mode; }
    // The access and modification times the file gets when put in place.
    void setModified(qint64 secs) { m_modified = secs; }
    // With true, for a name inside a held folder: a name the disk refuses (a character it does not
    // take, a device's name, a dot at its end) is changed for one it takes, as FileNameFit's
    // localName() and then asciiName() fit it, free in the folder; placedName() tells which. A disk
    // that refuses a name's characters is found out before anything is written: the temporary
    // carries them.
    void setFitName(bool fit) { m_fitName = fit; }
    // With true, for a name inside a held folder: nothing that stands at the name (or at a fitted
    // one) is replaced, whatever it is. A regular file of the user's own there with the very bytes
    // written is left as it is (keptStanding()), as it is at each numbered name; else the file is put
    // at the first free "stem(n).ext" from n = 2 (besideStanding()). The rename never replaces what
    // appears at a name meanwhile: the system refuses it, or where a disk cannot, a link is made.
    void setKeepStanding(bool keep) { m_keepStanding = keep; }
    // Whether a file with the very bytes stood at placedName(), and was left as it was.
    bool keptStanding() const { return m_keptStanding; }
    // Whether the file was put beside another that stood at its name (not when one with the very
    // bytes stood at a numbered name).
    bool besideStanding() const { return m_numbered > 1 && !m_keptStanding; }
    // Opens for writing: WriteOnly, optionally with Text.
    bool open(OpenMode mode) override;
    // Writes out what is buffered, closes, and puts the file in place. False with failure() set.
    bool commit();
    // Closing without commit() discards.
    void close() override { discard(); }
    // Drops the temporary file; the final name keeps what it held. Safe to call at any time.
    void discard();
    // Copies what remains of fd into the file (the kernel copies where it can), in blocks of a
    // fraction of a second; between blocks a cancel of the calling thread's task (see TaskCancel)
    // stops it, failing with ECANCELED, unless the whole of fd is copied.
    bool copyFrom(int fd, const Progress& progress = {});
    // Opens, copies the file at from into it and commits; false with *error set (to unchanged) as
    // copy() sets it.
    bool copyFile(const QString& from, QString* error, const Progress& progress = {});

    // For a writer that can only write by name (a printer): open() first, let it write
    // writePath(), then commitWritten(). writePath() is the temporary, or the destination itself
    // when that is written directly.
    QString writePath() const { return m_direct ? m_target : m_temp; }
    // A name for the very file open(), for such a writer: no folder on the way is looked up
    // again (/proc/self/fd/N), or writePath() where the system has no such names.
    QString openedPath() const;
    // Puts a file written by name in place when complete says it is whole; otherwise finds out
    // why the write stopped (a full disk, a size limit) and discards it.
    bool commitWritten(const std::function<bool(const QString&)>& complete);

    // The final name as given.
    QString fileName() const { return m_path; }
    // The name in its folder the file is put at: the one given, or the one fitted to the disk.
    QString placedName() const;
    Placed placed() const
    {
        return { placedName(), besideStanding(), m_held && m_unnumbered != m_givenName };
    }
    // Whether the failure is the disk's refusal of the name, and of every name fitted from it: this
    // file alone cannot be written.
    bool nameRefused() const { return m_nameRefused; }
    // "Cannot write <path>: <the system's reason>" once something failed.
    QString failure() const;
    bool failed() const { return m_errno != 0; }
    // The errno of the failure; 0 when none.
    int error() const { return m_errno; }
    // Whether the failure was in reading what copyFrom() copies (errorString() says why).
    bool sourceFailed() const { return m_sourceFailed; }

    bool isSequential() const override { return true; }

    // Whether the file at path ends in tail (the check of a file written by name, such as the
    // "%%EOF\n" that ends a PDF).
    static bool endsWith(const QString& path, const QByteArray& tail);

    // Removes the temporaries that writes killed before their end left in folder; one that a write
    // under way holds stays. Returns how many went.
    static int removeLeftovers(const QString& folder);
    static int removeLeftovers(const HeldFolder& folder);

    // Whether a create, rename or mkdir that failed with error may be the disk's refusal of the name:
    // NTFS mounted with Windows' rules says EINVAL, fusefat EPERM, exFAT ENOENT, others EILSEQ.
    static bool refusesName(int error);

    // fsync(2) of a file or folder by name; false with errno set on failure.
    static bool syncPath(const QString& path);

    // Copies the file from into to the same way; false with *error set (to unchanged) on failure.
    static bool copy(const QString& from, const QString& to, QString* error, const Progress& progress = {},
        bool followLinks = true);

    // For tests: the call that makes a temporary (openat(2) with these arguments); returns the one
    // before.
    using CreateCall = int (*)(int dir, const char* name, int flags, mode_t mode);
    static CreateCall setCreateCall(CreateCall call);

protected:
    qint64 readData(char*, qint64) override { return -1; }
    qint64 writeData(const char* data, qint64 size) override;

private:
    bool openTarget();
    bool holdFolder(PathWalk& walk);
    bool openOwnName();
    bool openDirect(const struct stat& st);
    bool mayOpen(const struct stat& st);
    bool openReplacing(const struct stat& st);
    bool openTemp(unsigned mode);
    int createTemp(unsigned keep);
    QByteArray tempName() const;
    bool fitName();
    bool placeTemp();
    int placeNoReplace();
    bool sameAsStanding();
    bool lockTemp();
    void unlockTemp();
    bool flushBuffer();
    bool writeRaw(const char* data, qint64 size);
    bool copyByReading(int fd, const Progress& progress);
    bool stopped(const Progress& progress, int from) const;
    bool setError(int error);
    // The held folder no longer stands where it was reached.
    bool setMoved(const QString& moved);
    bool inPlace();
    bool syncFolder();
    // Renames the finished temporary over the final name when ok; else, or when that fails,
    // removes the temporary. False on failure.
    bool renameIntoPlace(bool ok);
    void closeFd();

    QString m_path;
    QString m_target; // the final name with links followed
    QString m_temp;
    HeldFolder m_dir; // the folder of the final name, from the open to the rename
    QByteArray m_name; // the final name in m_dir
    QByteArray m_givenName; // inside a held folder, as given
    int m_fitted = 0; // names fitted from it so far
    QByteArray m_tempName; // the temporary's name in m_dir
    QByteArray m_buffer;
    qint64 m_done = 0;
    int m_fd = -1;
    int m_lockFd = -1; // holds the temporary's lock past the close before the rename
    int m_errno = 0;
    bool m_direct = false;
    bool m_replaces = false; // the temporary replaces an existing file: synced before the rename
    bool m_committed = false;
    bool m_followLinks = true;
    bool m_held = false; // made with the folder held by the caller
    bool m_fitName = false;
    bool m_nameRefused = false;
    bool m_keepStanding = false;
    bool m_keptStanding = false;
    int m_numbered = 1; // the number of the name now, past the one given: "stem(n).ext"
    QByteArray m_unnumbered; // the name before numbering
    mode_t m_mode = 0; // of a new file; 0: as the umask has it
    qint64 m_modified = -1;
    bool m_sourceFailed = false; // the failure was in reading what copyFrom() copies
};
