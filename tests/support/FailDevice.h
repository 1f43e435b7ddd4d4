#pragma once

#include <QByteArray>
#include <QIODevice>
#include <QString>

// A device that breaks: reads and writes go through for the first `okBytes` bytes, then fail with
// `error` as the error string (a full disk, a pulled drive). Opened on construction, sequential.
//
//     FailDevice disk(QIODevice::WriteOnly, 100, "No space left on device");
//     QVERIFY(!writer.write(&disk));
class FailDevice : public QIODevice
{
public:
    explicit FailDevice(
        OpenMode mode, qint64 okBytes = 0, const QString& error = QStringLiteral("No space left on device"));

    // What reads deliver before the failure (empty by default).
    void setInput(const QByteArray& input) { m_input = input; }
    // What writes stored before the failure.
    const QByteArray& written() const { return m_written; }

    bool isSequential() const override { return true; }

protected:
    qint64 readData(char* data, qint64 maxSize) override;
    qint64 writeData(const char* data, qint64 maxSize) override;

private:
    qint64 room() const { return m_okBytes - m_used; }

    qint64 m_okBytes;
    qint64 m_used = 0;
    QString m_error;
    QByteArray m_input;
    QByteArray m_written;
};
