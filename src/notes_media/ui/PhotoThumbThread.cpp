#include "notes_media/ui/PhotoThumbThread.h"

#include "app/PictureDecoder.h"
#include "notes_media/PhotoThumbnail.h"

#include <QPainter>
#include <exception>
#ifdef Q_OS_LINUX
#include <sys/resource.h>
#include <unistd.h>
#endif

namespace
{
// The picture on the grid's white, in the screen's opaque format: the page turns it into a pixmap
// without a conversion, and the screen copies it rather than blending it.
QImage opaque(const QImage& picture)
{
    if (picture.isNull() || picture.format() == QImage::Format_RGB32)
        return picture;
    QImage flat(picture.size(), QImage::Format_RGB32);
    flat.fill(Qt::white);
    QPainter(&flat).drawImage(0, 0, picture);
    return flat;
}
} // namespace

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
    // Also ends a wait for the backup folder that another program is writing: the page closes
    // at once, not when the other program is done.
    requestInterruption();
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
#ifdef Q_OS_LINUX
    // Behind the user-interface thread when both want a core: scrolling stays smooth while
    // pictures are decoded.
    setpriority(PRIO_PROCESS, id_t(gettid()), 5);
#endif
    int row = -1;
    while (takeNext(&row)) {
        QString why;
        const QImage picture = opaque(thumbnailOf(m_files.at(row), &why));
        if (isInterruptionRequested())
            return; // stopped while reading: perhaps not the picture, and nobody to show it to
        emit thumbnailReady(row, picture, why);
    }
}

QImage PhotoThumbThread::thumbnailOf(const BackupManifest::_FileNode* file, QString* why) const
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
    } catch (const std::exception& e) {
        *why = QString::fromUtf8(e.what());
        return QImage(); // unreadable now, perhaps not later: nothing is remembered
    }
    const PictureDecoder::Result decoded = PictureDecoder::decodeBytes(bytes, m_box);
    // A decoding stopped by the page's end, or wanting a decoder missing now, is tried again later.
    if (decoded.outcome == PictureDecoder::Outcome::Picture)
        m_cache.storePicture(file->item, decoded.image);
    else if (decoded.settled())
        m_cache.storeUndecodable(file->item);
    return decoded.image;
}
