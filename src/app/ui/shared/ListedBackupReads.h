#pragma once

#include <QObject>
#include <deque>
#include <map>

class ManifestInfoThread;
class QWidget;

// The reads of the backups a list shows, each on a thread of its own (ManifestInfoThread), so that
// the list appears at once and a backup whose read does not end keeps no other waiting. GUI thread
// only.
class ListedBackupReads : public QObject
{
    Q_OBJECT
public:
    explicit ListedBackupReads(QObject* parent = nullptr);
    // The reads under way are told to stop and left to end on their own, never waited for: one that
    // a disk which does not answer holds would hold the program's end. Those waiting their turn go. Each
    // frees itself when it ends while the program runs; at the program's end it is left to the system.
    ~ListedBackupReads() override;

    // Starts reading the backup folder at path (an entry of a folder of backups with entry, see
    // ManifestInfoThread); ended() follows. Returns the read's number (never 0). At most kAtOnce
    // reads run at once, the others wait their turn in the order they came.
    quint64 start(const QString& path, bool entry = false);
    static constexpr int kAtOnce = 8;
    bool underWay(quint64 read) const { return m_reads.count(read) > 0; }
    bool anyUnderWay() const { return !m_reads.empty(); }
    // Waits for the read under a progress dialog that the user may cancel (a read that ends at once
    // shows none); true once it has ended (ended() was emitted), false when the user stopped waiting
    // (the read goes on).
    bool waitFor(quint64 read, QWidget* parent);

Q_SIGNALS:
    // The read has ended; thread holds its outcome during the emission only.
    void ended(quint64 read, const ManifestInfoThread& thread);

private:
    void settle(quint64 read);
    // Starts the reads waiting their turn while fewer than kAtOnce run.
    void startWaiting();

    std::map<quint64, ManifestInfoThread*> m_reads; // running or waiting their turn
    std::deque<quint64> m_waiting;
    int m_running = 0;
    quint64 m_lastRead = 0;
};
