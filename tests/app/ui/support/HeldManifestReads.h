#pragma once

#include <QStringList>
#include <memory>

// Holds the reads of listed backups (ManifestInfoThread), of their records when selected
// (BackupRecordsThread) and of their manifests when a password is checked, and if asked the listings of
// folders of backups (BackupFolderListing), whose folder is one of the given ones, as a disk that stopped
// answering holds them: no cancel ends the hold, only release(). Held at most 30 s, so that a case that fails
// still ends. Gone, it releases them and waits until they left the hold.
class HeldManifestReads
{
public:
    // With listings, the listings of those folders are held too.
    explicit HeldManifestReads(const QStringList& folders, bool listings = false);
    ~HeldManifestReads();
    HeldManifestReads(const HeldManifestReads&) = delete;
    HeldManifestReads& operator=(const HeldManifestReads&) = delete;

    void release();
    // Reads inside the hold now, and reads that left it.
    int holding() const;
    int left() const;
    // Whether a held read was asked to stop while held.
    bool cancelSeen() const;
    // Reads of listed backups are not held from now on: a road that lists the backup before it
    // reads its records then holds the records alone.
    void passListedReads();
    // Once a read is held, the window is watched for ms: a timer firing every 20 ms, and the status
    // of the progress dialog shown; then the reads are released.
    void releaseAfterWatching(int ms);
    // The longest gap between the timer's ticks while watched, -1 when no read was held; the status.
    qint64 longestGap() const;
    QString dialogStatus() const;

    // The rows of the cases over a held read: columns damaged (its Manifest.plist is no property
    // list) and cancel (the wait for it is cancelled).
    static void addRows();
    // Makes the backup of "Held Phone" at folder; damaged as addRows() says.
    static bool makeBackup(const QString& folder, bool damaged);

    struct State;

private:
    struct Watch;
    std::shared_ptr<State> m_state;
    std::unique_ptr<Watch> m_watch;
};
