#pragma once

#include <QString>

// Ways to make real file writes fail, for testing writers.
namespace FailingDisk
{

// While alive, every write in this process past `bytes` bytes of a file fails with EFBIG
// ("File too large") instead of killing the process (SIGXFSZ is ignored).
class SizeLimit
{
public:
    explicit SizeLimit(qint64 bytes);
    ~SizeLimit();
    SizeLimit(const SizeLimit&) = delete;
    SizeLimit& operator=(const SizeLimit&) = delete;

private:
    qint64 m_oldSoft = -1;
    qint64 m_oldHard = -1;
    void (*m_oldHandler)(int) = nullptr;
};

// A small tmpfs of `bytes` bytes mounted on a fresh folder (root only), unmounted on destruction;
// writes past its room fail with ENOSPC ("No space left on device"). With inodes, it holds no more
// than that many entries, so that making a folder fails too once fill() has used them up.
class SmallDisk
{
public:
    explicit SmallDisk(qint64 bytes, int inodes = 0);
    ~SmallDisk();
    SmallDisk(const SmallDisk&) = delete;
    SmallDisk& operator=(const SmallDisk&) = delete;

    bool isMounted() const { return m_mounted; }
    // Why it could not be mounted (for QSKIP).
    QString whyNot() const { return m_whyNot; }
    QString path() const { return m_path; }
    // Fills the disk with one file until no byte is left (what is already there stays), then frees
    // leave bytes of it; on a disk of few entries, empty files "filler-N" take the ones left.
    void fill(qint64 leave = 0) const;
    // Remounts the disk read-only, as a failing disk mounted errors=remount-ro goes (every change then
    // fails with "Read-only file system"), or writable again.
    bool setReadOnly(bool readOnly) const;

private:
    QString m_path;
    QString m_whyNot;
    bool m_mounted = false;
    int m_inodes = 0;
};

} // namespace FailingDisk
