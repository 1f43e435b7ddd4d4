#pragma once

#include "app/JpegScanCount.h"
#include "app/TaskCancel.h"

#include <QByteArray>
#include <QElapsedTimer>
#include <QIODevice>
#include <QString>
#include <memory>
#include <optional>

class QFile;
class QThread;

// A picture's bytes (a file, or bytes in memory) as a decoder reads them, and where its work is
// bounded: the decoder asks for more as it goes, so a read is where it can be told to stop. A read
// then fails, the decoder ends early with what it has, and stopped() says why: the work took longer
// than its limit (the time spent waiting for the disk not counted), a JPEG held more scans than
// allowed, or the task the decoding thread works for was cancelled (TaskCancel) or that thread was
// asked to end (QThread::requestInterruption). A read the disk failed is kept with the system's
// reason: a decoder would take it for the picture's end and draw the rest grey. A JPEG is handed
// over no further than the start of its next scan: its decoder passes over the whole picture for
// each scan without reading, so it reads, and is told to stop, between the passes. Made and read on
// one thread, but a decoder's own threads (libheif's) may read too, one at a time.
class DecodeInput : public QIODevice
{
public:
    enum class Stop { None, Refused, Cancelled };

    // The file (open for reading) from its start, or the bytes; workLimitMs bounds the work from now.
    DecodeInput(QFile& file, int workLimitMs);
    DecodeInput(const QByteArray& bytes, int workLimitMs);

    bool isSequential() const override { return false; }
    qint64 size() const override;

    // Counts the scans of what is read as a JPEG, and refuses reads once there are more than most.
    void countJpegScans(int most);
    // Refuses every read from now on.
    void refuse() { m_stop = Stop::Refused; }
    // Whether reads go on: none was refused and none failed. Looks at the time and the cancel now.
    bool mayGoOn();
    // Why reads are refused, once the decoding has ended: a cancel that came after the last read
    // counts too, as nobody wants its picture any more.
    Stop stopped();
    // The system's reason for the first read that failed; empty when none did.
    const QString& failure() const { return m_failure; }

protected:
    qint64 readData(char* data, qint64 max) override;
    qint64 writeData(const char*, qint64) override { return -1; }

private:
    void start(int workLimitMs);
    bool cancelRequested() const;
    qint64 readSource(qint64 at, char* data, qint64 max);
    bool feedScansTo(qint64 at);
    qint64 countScans(qint64 at, const char* data, qint64 size);

    QFile* m_file = nullptr;
    QByteArray m_bytes;
    QElapsedTimer m_clock;
    qint64 m_waitedNs = 0; // on the disk
    qint64 m_limitNs = 0;
    std::shared_ptr<const TaskCancel::Token> m_task;
    QThread* m_thread = nullptr;
    std::optional<JpegScanCount> m_scans;
    int m_mostScans = 0;
    Stop m_stop = Stop::None;
    QString m_failure;
};
