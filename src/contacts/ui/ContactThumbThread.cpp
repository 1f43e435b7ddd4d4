#include "contacts/ui/ContactThumbThread.h"

#include "contacts/export/ContactPhoto.h"

ContactThumbThread::ContactThumbThread(QList<QByteArray> photos, int width)
    : m_photos(std::move(photos))
    , m_width(width)
    , m_made(size_t(m_photos.size()), false)
{
    connect(this, &QThread::finished, this, &QObject::deleteLater);
}

void ContactThumbThread::want(const QList<int>& rows)
{
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        for (auto it = rows.crbegin(); it != rows.crend(); ++it)
            if (*it >= 0 && *it < int(m_made.size()) && !m_made[size_t(*it)])
                m_queue.push_front(*it);
    }
    m_wake.notify_one();
}

void ContactThumbThread::cancel()
{
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_stopping = true;
    }
    requestInterruption();
    m_wake.notify_one();
}

bool ContactThumbThread::takeNext(int* row)
{
    std::unique_lock<std::mutex> lock(m_mutex);
    for (;;) {
        m_wake.wait(lock, [this] { return m_stopping || !m_queue.empty(); });
        if (m_stopping)
            return false;
        *row = m_queue.front();
        m_queue.pop_front();
        if (!m_made[size_t(*row)]) {
            m_made[size_t(*row)] = true;
            return true;
        }
    }
}

void ContactThumbThread::run()
{
    int row = -1;
    while (takeNext(&row)) {
        const QImage icon = iconOf(m_photos.at(row));
        if (isInterruptionRequested())
            return; // perhaps stopped part-way, and nobody to show it to
        emit iconReady(row, icon);
    }
}

QImage ContactThumbThread::iconOf(const QByteArray& photo) const
{
    QImage image = ContactPhoto::decode(photo);
    if (image.isNull())
        image = ContactPhoto::placeholder();
    return image.scaledToWidth(m_width, Qt::FastTransformation);
}
