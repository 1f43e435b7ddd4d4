#include "notes_media/ui/PhotoThumbThread.h"

#include "notes_media/PhotoThumbnail.h"

#include <exception>

PhotoThumbThread::PhotoThumbThread(const BackupManifest* manifest,
    const QList<const BackupManifest::_FileNode*>& files, const QDir& dataDir, const QSize& box,
    QObject* parent)
    : QThread(parent)
    , m_manifest(manifest)
    , m_files(files)
    , m_cache(dataDir)
    , m_box(box)
    , m_stamp(size_t(files.size()), 0)
{
}

PhotoThumbThread::~PhotoThumbThread()
{
    stop();
}

void PhotoThumbThread::want(const QList<int>& rows)
{
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        // An older entry of a row asked again is left in the queue and skipped when reached.
        for (auto it = rows.crbegin(); it != rows.crend(); ++it) {
            if (*it < 0 || *it >= int(m_stamp.size()))
                continue;
            m_stamp[size_t(*it)] = ++m_nextStamp;
            m_queue.emplace_front(*it, m_nextStamp);
        }
    }
    m_wake.notify_one();
}

void PhotoThumbThread::stop()
{
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_stopping = true;
    }
    m_wake.notify_one();
    wait();
}

bool PhotoThumbThread::takeNext(int* row)
{
    std::unique_lock<std::mutex> lock(m_mutex);
    for (;;) {
        m_wake.wait(lock, [this] { return m_stopping || !m_queue.empty(); });
        if (m_stopping)
            return false;
        const auto [r, stamp] = m_queue.front();
        m_queue.pop_front();
        if (m_stamp[size_t(r)] != stamp)
            continue; // a newer entry of this row was handled or is still queued
        m_stamp[size_t(r)] = 0;
        *row = r;
        return true;
    }
}

void PhotoThumbThread::run()
{
    int row = -1;
    while (takeNext(&row))
        emit thumbnailReady(row, thumbnailOf(m_files.at(row)));
}

QImage PhotoThumbThread::thumbnailOf(const BackupManifest::_FileNode* file) const
{
    QImage picture;
    switch (m_cache.lookup(file->item, &picture)) {
    case ThumbnailCache::Entry::Picture:
        return picture;
    case ThumbnailCache::Entry::Undecodable:
        return QImage();
    case ThumbnailCache::Entry::Missing:
        break;
    }
    QByteArray bytes;
    try {
        bytes = PhotoThumbnail::readStoredThrow(*m_manifest, file);
    } catch (const std::exception&) {
        return QImage(); // unreadable now, perhaps not later: nothing is remembered
    }
    picture = PhotoThumbnail::make(bytes, m_box);
    if (picture.isNull())
        m_cache.storeUndecodable(file->item);
    else
        m_cache.storePicture(file->item, picture);
    return picture;
}
