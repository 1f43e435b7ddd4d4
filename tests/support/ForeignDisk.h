#pragma once

#include <QString>

// A disk of a desktop system's kind mounted on a fresh folder (root only), unmounted with its image
// on destruction: FAT through fusefat, NTFS through ntfs-3g with Windows' rules for names
// ("windows_names", as desktops mount it: AUX, a name ending in a dot or a space, : * ? and the
// like refused), exFAT through exfat-fuse on a loop device. Each refuses some names a Linux disk
// takes, and each its own way: fusefat with "Operation not permitted" (losing the file a refused
// rename moves), ntfs-3g with "Invalid argument", exFAT with "No such file or directory".
class ForeignDisk
{
public:
    enum class Kind { Fat, Ntfs, ExFat };

    explicit ForeignDisk(Kind kind);
    ~ForeignDisk();
    ForeignDisk(const ForeignDisk&) = delete;
    ForeignDisk& operator=(const ForeignDisk&) = delete;

    static Kind kindOf(const QString& name); // "fat", "ntfs" or "exfat"
    bool isMounted() const { return m_mounted; }
    // Why it could not be mounted (for QSKIP).
    QString whyNot() const { return m_whyNot; }
    QString path() const { return m_path; }
    // Stops the program that serves the disk (SIGSTOP): every call on the disk then waits, as on
    // a disk that does not answer, until resume() or 20 s at most. The destructor resumes it first.
    bool stop();
    void resume();

private:
    bool run(const QString& program, const QStringList& args, QString* out = nullptr);
    int serverPid() const;
    void guard(const QString& script);

    Kind m_kind;
    QString m_path;
    QString m_image;
    QString m_loop; // the loop device of an exFAT disk
    QString m_whyNot;
    bool m_mounted = false;
    int m_server = 0; // the pid of the program that serves the disk
    int m_stopped = 0; // the pid of the stopped server
};

// Mounts a disk of the kind named ("fat", "ntfs" or "exfat") as var for the rest of the test, or
// skips the test saying why none can be mounted.
#define QM_MOUNT_OR_SKIP(var, kind)                                                                          \
    const ForeignDisk var(ForeignDisk::kindOf(kind));                                                        \
    if (!var.isMounted())                                                                                    \
    QSKIP(qPrintable(var.whyNot()))
