#include "backup/BackupCrypto.h"

#include "backup/ContentDigest.h"

#include <QIODevice>
#include <openssl/evp.h>
#include <stdexcept>

namespace
{

struct CtxFree {
    void operator()(EVP_CIPHER_CTX* c) const { EVP_CIPHER_CTX_free(c); }
};
using CtxPtr = std::unique_ptr<EVP_CIPHER_CTX, CtxFree>;

const unsigned char kZeroIv[16] = {};
constexpr int kChunk = 8192;

const unsigned char* u(const QByteArray& a)
{
    return reinterpret_cast<const unsigned char*>(a.constData());
}

CtxPtr cbcContext(const QByteArray& key, bool encrypt)
{
    if (key.size() != 32)
        throw std::runtime_error("AES-256 key must be 32 bytes");
    CtxPtr ctx(EVP_CIPHER_CTX_new());
    if (!ctx
        || EVP_CipherInit_ex(ctx.get(), EVP_aes_256_cbc(), nullptr, u(key), kZeroIv, encrypt ? 1 : 0) != 1)
        throw std::runtime_error("AES initialisation failed");
    EVP_CIPHER_CTX_set_padding(ctx.get(), 0);
    return ctx;
}

QByteArray wrapOp(const QByteArray& kek, const QByteArray& in, bool wrap)
{
    const EVP_CIPHER* cipher = nullptr;
    switch (kek.size()) {
    case 16:
        cipher = EVP_aes_128_wrap();
        break;
    case 24:
        cipher = EVP_aes_192_wrap();
        break;
    case 32:
        cipher = EVP_aes_256_wrap();
        break;
    default:
        return {};
    }
    if (in.size() < (wrap ? 16 : 24) || in.size() % 8 != 0)
        return {};
    CtxPtr ctx(EVP_CIPHER_CTX_new());
    if (!ctx)
        return {};
    EVP_CIPHER_CTX_set_flags(ctx.get(), EVP_CIPHER_CTX_FLAG_WRAP_ALLOW);
    if (EVP_CipherInit_ex(ctx.get(), cipher, nullptr, u(kek), nullptr, wrap ? 1 : 0) != 1)
        return {};
    QByteArray out(in.size() + 16, Qt::Uninitialized);
    int len = 0;
    if (EVP_CipherUpdate(ctx.get(), reinterpret_cast<unsigned char*>(out.data()), &len, u(in), in.size()) != 1
        || len <= 0)
        return {};
    int fin = 0;
    if (EVP_CipherFinal_ex(ctx.get(), reinterpret_cast<unsigned char*>(out.data()) + len, &fin) != 1)
        return {};
    out.resize(len + fin);
    return out;
}

// Reads into buf up to size bytes, fewer only at the end of in: a read that a failing disk cuts
// short is followed by one that fails, and that one's reason is thrown.
qint64 readWhole(QIODevice& in, char* buf, qint64 size)
{
    qint64 got = 0;
    while (got < size) {
        const qint64 n = in.read(buf + got, size - got);
        if (n < 0)
            throw std::runtime_error(in.errorString().toStdString());
        if (n == 0)
            break;
        got += n;
    }
    return got;
}

} // namespace

QByteArray BackupCrypto::aesUnwrap(const QByteArray& kek, const QByteArray& wrapped)
{
    return wrapOp(kek, wrapped, false);
}

QByteArray BackupCrypto::aesWrap(const QByteArray& kek, const QByteArray& key)
{
    return wrapOp(kek, key, true);
}

QByteArray BackupCrypto::cbcDecrypt(const QByteArray& key, const QByteArray& data)
{
    if (data.size() % 16 != 0)
        throw std::runtime_error("encrypted data is not a whole number of AES blocks");
    CtxPtr ctx = cbcContext(key, false);
    QByteArray out(data.size(), Qt::Uninitialized);
    int len = 0;
    if (!data.isEmpty()
        && EVP_CipherUpdate(
               ctx.get(), reinterpret_cast<unsigned char*>(out.data()), &len, u(data), data.size())
            != 1)
        throw std::runtime_error("AES decryption failed");
    return out;
}

QByteArray BackupCrypto::cbcEncrypt(const QByteArray& key, const QByteArray& data)
{
    QByteArray padded = data;
    const int pad = 16 - data.size() % 16;
    padded.append(QByteArray(pad, char(pad)));
    CtxPtr ctx = cbcContext(key, true);
    QByteArray out(padded.size(), Qt::Uninitialized);
    int len = 0;
    if (EVP_CipherUpdate(
            ctx.get(), reinterpret_cast<unsigned char*>(out.data()), &len, u(padded), padded.size())
        != 1)
        throw std::runtime_error("AES encryption failed");
    return out;
}

QByteArray BackupCrypto::stripValidPadding(const QByteArray& plain)
{
    if (plain.isEmpty())
        return plain;
    const int pad = uchar(plain.back());
    if (pad < 1 || pad > 16 || pad > plain.size())
        return plain;
    for (int i = plain.size() - pad; i < plain.size(); ++i)
        if (uchar(plain[i]) != pad)
            return plain;
    return plain.left(plain.size() - pad);
}

BackupCrypto::Decrypted BackupCrypto::decryptStream(const QByteArray& key, QIODevice& in, QIODevice& out,
    qint64 size, const std::function<void(qint64 read)>& progress)
{
    CtxPtr ctx = cbcContext(key, false);
    QByteArray buf(kChunk, Qt::Uninitialized);
    QByteArray plain(kChunk, Qt::Uninitialized);
    QByteArray held; // the last block, kept until the end decides about padding
    qint64 written = 0;
    qint64 read = 0;
    auto put = [&](const char* p, qint64 n) {
        if (n > 0 && out.write(p, n) != n)
            throw std::runtime_error(out.errorString().toStdString());
        written += std::max<qint64>(n, 0);
    };
    for (;;) {
        const qint64 n = readWhole(in, buf.data(), kChunk);
        if (n == 0)
            break;
        if (n % 16 != 0)
            throw std::runtime_error("encrypted file is not a whole number of AES blocks");
        int len = 0;
        EVP_CipherUpdate(ctx.get(), reinterpret_cast<unsigned char*>(plain.data()), &len, u(buf), int(n));
        // Hold back the final block of what we have: only the end of the stream may carry padding.
        if (!held.isEmpty())
            put(held.constData(), held.size());
        put(plain.constData(), len - 16);
        held = plain.mid(len - 16, 16);
        if (progress)
            progress(read += n);
    }
    if (held.isEmpty())
        return {};
    // The padding tells the length: a record's size may be wrong for a file that changed while it
    // was copied. Without valid padding (a writer of whole blocks) the size may cut the filler of
    // the last block, and nothing more.
    QByteArray last = stripValidPadding(held);
    const bool padded = last.size() != held.size();
    if (!padded && size > written && size < written + held.size())
        last.truncate(size - written);
    put(last.constData(), last.size());
    return { written, padded };
}

bool BackupCrypto::endsPadded(const QByteArray& key, const QByteArray& lastBlocks)
{
    if (lastBlocks.size() != 16 && lastBlocks.size() != 32)
        return false;
    const QByteArray plain = cbcDecrypt(key, lastBlocks).right(16);
    return stripValidPadding(plain).size() != plain.size();
}

qint64 BackupCrypto::encryptStream(
    const QByteArray& key, QIODevice& in, QIODevice& out, ContentDigest* written)
{
    CtxPtr ctx = cbcContext(key, true);
    EVP_CIPHER_CTX_set_padding(ctx.get(), 1);
    QByteArray buf(kChunk, Qt::Uninitialized);
    QByteArray enc(kChunk + 32, Qt::Uninitialized);
    qint64 total = 0;
    int len = 0;
    auto put = [&] {
        // A short write is tried again: the next one fails with the reason.
        for (qint64 done = 0, n = 0; done < len; done += n)
            if ((n = out.write(enc.constData() + done, len - done)) <= 0)
                throw std::runtime_error(out.errorString().toStdString());
        if (written)
            written->add(enc.constData(), len);
    };
    for (;;) {
        const qint64 n = in.read(buf.data(), kChunk);
        if (n < 0)
            throw std::runtime_error(in.errorString().toStdString());
        if (n == 0)
            break;
        total += n;
        EVP_CipherUpdate(ctx.get(), reinterpret_cast<unsigned char*>(enc.data()), &len, u(buf), int(n));
        put();
    }
    EVP_CipherFinal_ex(ctx.get(), reinterpret_cast<unsigned char*>(enc.data()), &len);
    put();
    return total;
}
