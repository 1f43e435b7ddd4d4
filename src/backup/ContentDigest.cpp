#include "backup/ContentDigest.h"

#include <QIODevice>
#include <openssl/evp.h>
#include <stdexcept>

void ContentDigest::Free::operator()(evp_md_ctx_st* c) const
{
    EVP_MD_CTX_free(c);
}

ContentDigest::ContentDigest()
    : m_ctx(EVP_MD_CTX_new())
{
    if (!m_ctx || EVP_DigestInit_ex(m_ctx.get(), EVP_sha256(), nullptr) != 1)
        throw std::runtime_error("SHA-256 initialisation failed");
}

ContentDigest::~ContentDigest() = default;

void ContentDigest::add(const char* data, qint64 size)
{
    if (size <= 0)
        return;
    EVP_DigestUpdate(m_ctx.get(), data, size_t(size));
    m_size += size;
}

ContentDigest::Sum ContentDigest::sum()
{
    Sum s;
    s.size = m_size;
    s.sha256.resize(EVP_MAX_MD_SIZE);
    unsigned int len = 0;
    EVP_DigestFinal_ex(m_ctx.get(), reinterpret_cast<unsigned char*>(s.sha256.data()), &len);
    s.sha256.resize(int(len));
    EVP_DigestInit_ex(m_ctx.get(), EVP_sha256(), nullptr);
    m_size = 0;
    return s;
}

ContentDigest::Sum ContentDigest::of(QIODevice& in)
{
    ContentDigest d;
    QByteArray buf(64 * 1024, Qt::Uninitialized);
    qint64 n = 0;
    while ((n = in.read(buf.data(), buf.size())) > 0)
        d.add(buf.constData(), n);
    return n < 0 ? Sum() : d.sum();
}

QByteArray ContentDigest::Sum::text() const
{
    return known() ? QByteArray::number(size) + ':' + sha256.toHex() : QByteArrayLiteral("-");
}

ContentDigest::Sum ContentDigest::Sum::fromText(const QByteArray& text)
{
    const int colon = text.indexOf(':');
    bool ok = false;
    Sum s;
    s.size = text.left(colon).toLongLong(&ok);
    s.sha256 = QByteArray::fromHex(text.mid(colon + 1));
    if (colon < 0 || !ok || s.size < 0 || s.sha256.size() != 32)
        return Sum();
    return s;
}
