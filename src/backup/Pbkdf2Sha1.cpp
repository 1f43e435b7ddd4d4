#include "backup/Pbkdf2Sha1.h"

// The low-level SHA-1 calls keep their hashed pad states; OpenSSL 3 marks them deprecated only.
#define OPENSSL_SUPPRESS_DEPRECATED
#include <algorithm>
#include <cstring>
#include <openssl/sha.h>
#include <stdexcept>

namespace
{

constexpr quint64 kCancelStep = 1u << 16;

struct HmacSha1 {
    SHA_CTX inner;
    SHA_CTX outer;

    explicit HmacSha1(const QByteArray& password)
    {
        unsigned char key[SHA_CBLOCK] = {};
        if (password.size() > SHA_CBLOCK)
            SHA1(reinterpret_cast<const unsigned char*>(password.constData()), size_t(password.size()), key);
        else
            std::memcpy(key, password.constData(), size_t(password.size()));
        unsigned char pad[SHA_CBLOCK];
        for (int i = 0; i < SHA_CBLOCK; ++i)
            pad[i] = key[i] ^ 0x36;
        SHA1_Init(&inner);
        SHA1_Update(&inner, pad, sizeof(pad));
        for (int i = 0; i < SHA_CBLOCK; ++i)
            pad[i] = key[i] ^ 0x5c;
        SHA1_Init(&outer);
        SHA1_Update(&outer, pad, sizeof(pad));
    }

    void mac(const unsigned char* data, size_t size, unsigned char out[SHA_DIGEST_LENGTH]) const
    {
        SHA_CTX c = inner;
        SHA1_Update(&c, data, size);
        unsigned char digest[SHA_DIGEST_LENGTH];
        SHA1_Final(digest, &c);
        c = outer;
        SHA1_Update(&c, digest, sizeof(digest));
        SHA1_Final(out, &c);
    }
};

} // namespace

QByteArray Pbkdf2Sha1::derive(const QByteArray& password, const QByteArray& salt, quint64 iterations,
    int keyLen, const std::atomic<bool>* cancel)
{
    if (iterations < 1 || keyLen < 1)
        throw std::runtime_error("PBKDF2 needs at least one iteration and a key length");
    const HmacSha1 hmac(password);
    QByteArray out;
    for (quint32 block = 1; out.size() < keyLen; ++block) {
        if (cancel && cancel->load(std::memory_order_relaxed))
            return {};
        QByteArray msg = salt;
        msg.append(char(block >> 24)).append(char(block >> 16)).append(char(block >> 8)).append(char(block));
        unsigned char u[SHA_DIGEST_LENGTH];
        unsigned char t[SHA_DIGEST_LENGTH];
        hmac.mac(reinterpret_cast<const unsigned char*>(msg.constData()), size_t(msg.size()), u);
        std::memcpy(t, u, sizeof(t));
        for (quint64 done = 1; done < iterations;) {
            if (cancel && cancel->load(std::memory_order_relaxed))
                return {};
            for (const quint64 end = std::min(iterations, done + kCancelStep); done < end; ++done) {
                hmac.mac(u, sizeof(u), u);
                for (int k = 0; k < SHA_DIGEST_LENGTH; ++k)
                    t[k] ^= u[k];
            }
        }
        out.append(
            reinterpret_cast<const char*>(t), int(std::min<qsizetype>(sizeof(t), keyLen - out.size())));
    }
    return out;
}
