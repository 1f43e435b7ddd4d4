#pragma once

#include <QIODevice>

class ContentDigest;

// Reads another device and adds every byte read to a digest, so that a file is known by its content
// from the same pass that uses it (the decryption of a manifest, say) without a read of its own.
class DigestingReader : public QIODevice
{
public:
    // Opens itself for reading; in must be open, and it and digest outlive this.
    DigestingReader(QIODevice& in, ContentDigest& digest);

    bool isSequential() const override { return true; }
    bool atEnd() const override { return m_in.atEnd(); }
    qint64 bytesAvailable() const override { return m_in.bytesAvailable(); }

protected:
    qint64 readData(char* data, qint64 maxSize) override;
    qint64 writeData(const char*, qint64) override { return -1; }

private:
    QIODevice& m_in;
    ContentDigest& m_digest;
};
