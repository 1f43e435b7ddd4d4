#pragma once

#include "backup/BackupManifest.h"
#include "notes_media/ThumbnailCache.h"

#include <QImage>
#include <QList>
#include <QSize>
#include <QThread>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <utility>
#include <vector>

// The photo page's thumbnail thread: makes the thumbnails of the rows the page asks for, newest
// request first, from the thumbnail cache or else by decoding the stored picture (and then keeps
// it in the cache). Each result reaches the page by the queued signal thumbnailReady. The thread
// waits while nothing is asked and ends when it is stopped, also from a wait for the backup folder
// (said in the log); the destructor stops it.
class PhotoThumbThread : public QThread
{
    Q_OBJECT
public:
    PhotoThumbThread(const BackupManifest* manifest, const QList<const BackupManifest::_FileNode*>& files,
        const QDir& dataDir, const QSize& box, QObject* parent = nullptr);
    ~PhotoThumbThread() override;

    // Puts the rows at the front of the work, in the given order; rows asked before stay behind them.
    void want(const QList<int>& rows);
    // Asks the thread to end after the thumbnail under way (a wait for the backup folder ends at
    // once) and waits for it.
    void stop();

signals:
    // picture is null when the row's file is no picture that can be shown; why then says what
    // kept it from being read, when that was it.
    void thumbnailReady(int row, const QImage& picture, const QString& why);

protected:
    void run() override;

private:
    bool takeNext(int* row);
    QImage thumbnailOf(const BackupManifest::_FileNode* file, QString* why) const;

    const BackupManifest* m_manifest;
    QList<const BackupManifest::_FileNode*> m_files;
    ThumbnailCache m_cache;
    QSize m_box;

    std::mutex m_mutex; // guards the members below
    std::condition_variable m_wake;
    std::deque<std::pair<int, quint64>> m_queue; // row and the stamp it was queued with
    std::vector<quint64> m_stamp; // per row: stamp of its newest queue entry, 0 when not queued
    quint64 m_nextStamp = 0;
    bool m_stopping = false;
};
