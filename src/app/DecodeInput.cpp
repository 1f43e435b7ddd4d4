#include "app/DecodeInput.h"

#include <QFile>
#include <QThread>
#include <cstring>

DecodeInput::DecodeInput(QFile& file, int workLimitMs)
    : m_file(&file)
{
    start(workLimitMs);
}

DecodeInput::DecodeInput(const QByteArray& bytes, int workLimitMs)
    : m_bytes(bytes)
{
    start(workLimitMs);
}

void DecodeInput::start(int workLimitMs)
{
    m_limitNs = qint64(workLimitMs) * 1000000;
    m_task = TaskCancel::ofThisThread();
    m_thread = QThread::currentThread();
    m_clock.start();
    // Unbuffered: every read the decoder makes reaches readData, where it may be refused.
    open(QIODevice::ReadOnly | QIODevice::Unbuffered);
}

qint64 DecodeInput::size() const
{
    return m_file ? m_file->size() : m_bytes.size();
}

void DecodeInput::countJpegScans(int most)
{
    m_scans.emplace();
    m_mostScans = most;
}

bool DecodeInput::cancelRequested() const
{
    return (m_task && m_task->cancelled && !m_task->ended)
        || (m_thread && m_thread->isInterruptionRequested());
}

DecodeInput::Stop DecodeInput::stopped()
{
    if (m_stop == Stop::None && cancelRequested())
        m_stop = Stop::Cancelled;
    return m_stop;
}

bool DecodeInput::mayGoOn()
{
    if (m_stop != Stop::None || !m_failure.isEmpty())
        return false;
    if (cancelRequested())
        m_stop = Stop::Cancelled;
    else if (m_clock.nsecsElapsed() - m_waitedNs > m_limitNs)
        m_stop = Stop::Refused;
    return m_stop == Stop::None;
}

qint64 DecodeInput::readSource(qint64 at, char* data, qint64 max)
{
    if (!m_file) {
        const qint64 n = qBound(qint64(0), m_bytes.size() - at, max);
        memcpy(data, m_bytes.constData() + at, size_t(n));
        return n;
    }
    const qint64 before = m_clock.nsecsElapsed();
    qint64 n = -1;
    if (m_file->pos() == at || m_file->seek(at))
        n = m_file->read(data, max);
    m_waitedNs += m_clock.nsecsElapsed() - before;
    if (n < 0 && m_failure.isEmpty())
        m_failure = m_file->errorString();
    return n;
}

// Passes the scan count the bytes between what it has seen and at (a decoder that skipped
// them); false when they cannot be read or there are too many scans.
bool DecodeInput::feedScansTo(qint64 at)
{
    char gap[4096];
    while (m_scans->fed() < at) {
        const qint64 n = readSource(m_scans->fed(), gap, qMin<qint64>(sizeof gap, at - m_scans->fed()));
        if (n <= 0)
            return false;
        for (qint64 used = 0; used < n;)
            used += m_scans->feed(reinterpret_cast<const uchar*>(gap) + used, n - used);
        if (m_scans->scans() > m_mostScans)
            return false;
    }
    return true;
}

// Passes the bytes read at at to the scan count, and says how many of them the decoder may have:
// those up to the start of the next scan. -1 once there are too many scans.
qint64 DecodeInput::countScans(qint64 at, const char* data, qint64 size)
{
    if (!feedScansTo(at))
        return -1;
    const qint64 seen = m_scans->fed() - at;
    if (seen >= size)
        return size;
    const qint64 taken = m_scans->feed(reinterpret_cast<const uchar*>(data) + seen, size - seen);
    return m_scans->scans() <= m_mostScans ? seen + taken : -1;
}

qint64 DecodeInput::readData(char* data, qint64 max)
{
    if (!mayGoOn())
        return -1;
    const qint64 at = pos();
    qint64 n = readSource(at, data, max);
    if (n > 0 && m_scans) {
        n = countScans(at, data, n);
        if (n < 0 && m_failure.isEmpty())
            m_stop = Stop::Refused;
    }
    return n;
}
