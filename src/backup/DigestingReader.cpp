#include "backup/DigestingReader.h"

#include "backup/ContentDigest.h"

DigestingReader::DigestingReader(QIODevice& in, ContentDigest& digest)
    : m_in(in)
    , m_digest(digest)
{
    open(QIODevice::ReadOnly | QIODevice::Unbuffered);
}

qint64 DigestingReader::readData(char* data, qint64 maxSize)
{
    const qint64 n = m_in.read(data, maxSize);
    if (n < 0)
        setErrorString(m_in.errorString());
    else
        m_digest.add(data, n);
    return n;
}
