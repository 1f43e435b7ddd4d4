#include "backup/ContentDigest.h"

#include <QIODevice>
#include <openssl/evp.h>
#include <stdexcept>
#include <xxhash.h>

namespace
{
const QByteArray kXxhTag = QByteArrayLiteral("xxh128");
} // namespace

void ContentDigest::Free::operator()(evp_md_ctx_st* c) const
{
    EVP_MD_CTX_free(c);
}

void ContentDigest::Free::operator()(XXH3_state_s* s) const
{
    XXH3_freeState(s);
}

ContentDigest::ContentDigest(Kind kind)
    : m_kind(kind)
{
    if (kind == Kind::Sha256)
        m_sha.reset(EVP_MD_CTX_new());
    else
        m_xxh.reset(XXH3_createState());
    if (!m_sha && !m_xxh)
        throw std::runtime_error("Out of memory for a content digest");
    reset();
}

ContentDigest::~ContentDigest() = default;

void ContentDigest::reset()
{
    const bool ok = m_sha ? EVP_DigestInit_ex(m_sha.get(), EVP_sha256(), nullptr) == 1
                          : XXH3_128bits_reset(m_xxh.get()) == XXH_OK;
    if (!ok)
        throw std::runtime_error("Content digest initialisation failed");
    m_size = 0;
}

void ContentDigest::add(const char* data, qint64 size)
{
    if (size <= 0)
        return;
    if (m_sha)
        EVP_DigestUpdate(m_sha.get(), data, size_t(size));
    else
        XXH3_128bits_update(m_xxh.get(), data, size_t(size));
    m_size += size;
}

ContentDigest::Sum ContentDigest::sum()
{
    Sum s;
    s.size = m_size;
    s.kind = m_kind;
    if (m_sha) {
        s.digest.resize(EVP_MAX_MD_SIZE);
        unsigned int len = 0;
        EVP_DigestFinal_ex(m_sha.get(), reinterpret_cast<unsigned char*>(s.digest.data()), &len);
        s.digest.resize(int(len));
    } else {
        XXH128_canonical_t c;
        XXH128_canonicalFromHash(&c, XXH3_128bits_digest(m_xxh.get()));
        s.digest = QByteArray(reinterpret_cast<const char*>(c.digest), sizeof c.digest);
    }
    reset();
    return s;
}

ContentDigest::Sum ContentDigest::of(QIODevice& in, Kind kind)
{
    ContentDigest d(kind);
    // Large reads: a manifest of hundreds of megabytes is read here in a few hundred calls.
    QByteArray buf(1024 * 1024, Qt::Uninitialized);
    qint64 n = 0;
    while ((n = in.read(buf.data(), buf.size())) > 0)
        d.add(buf.constData(), n);
    return n < 0 ? Sum() : d.sum();
}

QByteArray ContentDigest::Sum::text() const
{
    if (!known())
        return QByteArrayLiteral("-");
    const QByteArray size = QByteArray::number(this->size) + ':';
    return kind == Kind::Xxh128 ? size + kXxhTag + ':' + digest.toHex() : size + digest.toHex();
}

ContentDigest::Sum ContentDigest::Sum::fromText(const QByteArray& text)
{
    // Records written before the fast digest hold "<size>:<sha256>".
    const QList<QByteArray> parts = text.split(':');
    const bool xxh = parts.size() == 3 && parts[1] == kXxhTag;
    if (parts.size() != 2 && !xxh)
        return Sum();
    bool ok = false;
    Sum s;
    s.size = parts[0].toLongLong(&ok);
    s.kind = xxh ? Kind::Xxh128 : Kind::Sha256;
    s.digest = QByteArray::fromHex(parts.last());
    if (!ok || s.size < 0 || s.digest.size() != (xxh ? 16 : 32))
        return Sum();
    return s;
}
