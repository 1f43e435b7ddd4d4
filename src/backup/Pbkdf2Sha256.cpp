#include "backup/Pbkdf2Sha256.h"

// The portable loop needs the raw block function, which OpenSSL keeps only as a deprecated API.
#define OPENSSL_SUPPRESS_DEPRECATED
#include <algorithm>
#include <atomic>
#include <cstring>
#include <openssl/evp.h>
#include <openssl/hmac.h>
#include <openssl/sha.h>
#include <stdexcept>

#if defined(__x86_64__) || defined(__i386__)
#include <cpuid.h>
#include <immintrin.h>
#define QM_HAVE_X86 1
#endif

namespace
{

std::atomic<bool> g_forcePortable { false };

const quint32 kSha256Iv[8]
    = { 0x6a09e667, 0xbb67ae85, 0x3c6ef372, 0xa54ff53a, 0x510e527f, 0x9b05688c, 0x1f83d9ab, 0x5be0cd19 };

// Compresses one block given as 16 host-order message words.
using CompressFn = void (*)(quint32 state[8], const quint32 w[16]);

void compressPortable(quint32 state[8], const quint32 w[16])
{
    SHA256_CTX ctx;
    std::memcpy(ctx.h, state, sizeof(ctx.h));
    unsigned char block[64];
    for (int i = 0; i < 16; ++i) {
        block[i * 4] = uchar(w[i] >> 24);
        block[i * 4 + 1] = uchar(w[i] >> 16);
        block[i * 4 + 2] = uchar(w[i] >> 8);
        block[i * 4 + 3] = uchar(w[i]);
    }
    SHA256_Transform(&ctx, block);
    std::memcpy(state, ctx.h, sizeof(ctx.h));
}

#ifdef QM_HAVE_X86
alignas(16) const quint32 kRoundK[64]
    = { 0x428a2f98, 0x71374491, 0xb5c0fbcf, 0xe9b5dba5, 0x3956c25b, 0x59f111f1, 0x923f82a4, 0xab1c5ed5,
          0xd807aa98, 0x12835b01, 0x243185be, 0x550c7dc3, 0x72be5d74, 0x80deb1fe, 0x9bdc06a7, 0xc19bf174,
          0xe49b69c1, 0xefbe4786, 0x0fc19dc6, 0x240ca1cc, 0x2de92c6f, 0x4a7484aa, 0x5cb0a9dc, 0x76f988da,
          0x983e5152, 0xa831c66d, 0xb00327c8, 0xbf597fc7, 0xc6e00bf3, 0xd5a79147, 0x06ca6351, 0x14292967,
          0x27b70a85, 0x2e1b2138, 0x4d2c6dfc, 0x53380d13, 0x650a7354, 0x766a0abb, 0x81c2c92e, 0x92722c85,
          0xa2bfe8a1, 0xa81a664b, 0xc24b8b70, 0xc76c51a3, 0xd192e819, 0xd6990624, 0xf40e3585, 0x106aa070,
          0x19a4c116, 0x1e376c08, 0x2748774c, 0x34b0bcb5, 0x391c0cb3, 0x4ed8aa4a, 0x5b9cca4f, 0x682e6ff3,
          0x748f82ee, 0x78a5636f, 0x84c87814, 0x8cc70208, 0x90befffa, 0xa4506ceb, 0xbef9a3f7, 0xc67178f2 };

__attribute__((target("sha,sse4.1"))) inline void compressShaNi(quint32 state[8], const quint32 w[16])
{
    __m128i tmp = _mm_loadu_si128(reinterpret_cast<const __m128i*>(state));
    __m128i state1 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(state + 4));
    tmp = _mm_shuffle_epi32(tmp, 0xB1);
    state1 = _mm_shuffle_epi32(state1, 0x1B);
    __m128i state0 = _mm_alignr_epi8(tmp, state1, 8);
    state1 = _mm_blend_epi16(state1, tmp, 0xF0);
    const __m128i abefSave = state0;
    const __m128i cdghSave = state1;

    __m128i m[4];
    // Sixteen groups of four rounds; the message schedule runs in a ring of four registers.
#pragma GCC unroll 16
    for (int j = 0; j < 16; ++j) {
        if (j < 4)
            m[j] = _mm_loadu_si128(reinterpret_cast<const __m128i*>(w + 4 * j));
        __m128i msg
            = _mm_add_epi32(m[j & 3], _mm_load_si128(reinterpret_cast<const __m128i*>(kRoundK + 4 * j)));
        state1 = _mm_sha256rnds2_epu32(state1, state0, msg);
        if (j >= 3 && j < 15) {
            __m128i t = _mm_alignr_epi8(m[j & 3], m[(j - 1) & 3], 4);
            m[(j + 1) & 3] = _mm_add_epi32(m[(j + 1) & 3], t);
            m[(j + 1) & 3] = _mm_sha256msg2_epu32(m[(j + 1) & 3], m[j & 3]);
        }
        msg = _mm_shuffle_epi32(msg, 0x0E);
        state0 = _mm_sha256rnds2_epu32(state0, state1, msg);
        if (j >= 1 && j < 13)
            m[(j - 1) & 3] = _mm_sha256msg1_epu32(m[(j - 1) & 3], m[j & 3]);
    }

    state0 = _mm_add_epi32(state0, abefSave);
    state1 = _mm_add_epi32(state1, cdghSave);
    tmp = _mm_shuffle_epi32(state0, 0x1B);
    state1 = _mm_shuffle_epi32(state1, 0xB1);
    state0 = _mm_blend_epi16(tmp, state1, 0xF0);
    state1 = _mm_alignr_epi8(state1, tmp, 8);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(state), state0);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(state + 4), state1);
}
#endif

bool cpuHasSha()
{
#ifdef QM_HAVE_X86
    // Read from CPUID directly: not every compiler's __builtin_cpu_supports knows "sha".
    unsigned a = 0, b = 0, c = 0, d = 0;
    if (!__get_cpuid(1, &a, &b, &c, &d) || !(c & bit_SSE4_1))
        return false;
    return __get_cpuid_count(7, 0, &a, &b, &c, &d) && (b & bit_SHA);
#else
    return false;
#endif
}

CompressFn chooseCompress()
{
#ifdef QM_HAVE_X86
    if (!g_forcePortable && cpuHasSha())
        return compressShaNi;
#endif
    return compressPortable;
}

// The iteration loop, instantiated per compression so the call is inlined into the loop.
template <CompressFn compress>
inline __attribute__((always_inline)) void iterate(
    const quint32 ipad[8], const quint32 opad[8], quint32 u[8], quint32 t[8], quint32 rounds)
{
    // Both blocks hash 32 bytes after one 64-byte key block: 0x80 terminator and 768-bit length.
    quint32 inner[16] = {};
    quint32 outer[16] = {};
    inner[8] = outer[8] = 0x80000000u;
    inner[15] = outer[15] = 768;
    std::memcpy(inner, u, 32);
    for (quint32 i = 0; i < rounds; ++i) {
        quint32 s[8];
        std::memcpy(s, ipad, 32);
        compress(s, inner);
        std::memcpy(outer, s, 32);
        std::memcpy(s, opad, 32);
        compress(s, outer);
        for (int k = 0; k < 8; ++k) {
            t[k] ^= s[k];
            inner[k] = s[k];
        }
    }
    std::memcpy(u, inner, 32); // the last U, so that a later call goes on from here
}

void iteratePortable(const quint32 ipad[8], const quint32 opad[8], quint32 u[8], quint32 t[8], quint32 rounds)
{
    iterate<compressPortable>(ipad, opad, u, t, rounds);
}

#ifdef QM_HAVE_X86
__attribute__((target("sha,sse4.1"))) void iterateShaNi(
    const quint32 ipad[8], const quint32 opad[8], quint32 u[8], quint32 t[8], quint32 rounds)
{
    iterate<compressShaNi>(ipad, opad, u, t, rounds);
}
#endif

// Iterations between two looks at the cancel flag: a few milliseconds.
constexpr quint32 kCancelStep = 1u << 16;

void keyState(const QByteArray& key, unsigned char pad, CompressFn compress, quint32 state[8])
{
    unsigned char block[64];
    std::memset(block, pad, sizeof(block));
    for (int i = 0; i < key.size(); ++i)
        block[i] ^= uchar(key[i]);
    quint32 w[16];
    for (int i = 0; i < 16; ++i)
        w[i] = quint32(block[i * 4]) << 24 | quint32(block[i * 4 + 1]) << 16 | quint32(block[i * 4 + 2]) << 8
            | block[i * 4 + 3];
    std::memcpy(state, kSha256Iv, 32);
    compress(state, w);
}

} // namespace

bool Pbkdf2Sha256::hasShaExtensions()
{
    return !g_forcePortable && cpuHasSha();
}

void Pbkdf2Sha256::setForcePortable(bool force)
{
    g_forcePortable = force;
}

QByteArray Pbkdf2Sha256::derive(const QByteArray& password, const QByteArray& salt, quint32 iterations,
    int keyLen, const std::atomic<bool>* cancel)
{
    if (iterations < 1 || keyLen < 1)
        throw std::runtime_error("PBKDF2 needs at least one iteration and a key length");
    QByteArray key = password;
    if (key.size() > 64) {
        unsigned char digest[32];
        SHA256(reinterpret_cast<const unsigned char*>(key.constData()), size_t(key.size()), digest);
        key = QByteArray(reinterpret_cast<const char*>(digest), 32);
    }
    const CompressFn compress = chooseCompress();
    quint32 ipad[8];
    quint32 opad[8];
    keyState(key, 0x36, compress, ipad);
    keyState(key, 0x5c, compress, opad);

    QByteArray out;
    for (quint32 block = 1; out.size() < keyLen; ++block) {
        if (cancel && cancel->load(std::memory_order_relaxed))
            return {};
        // U1 = HMAC(password, salt || INT(block)) through the generic HMAC; the rest in the fast loop.
        QByteArray msg = salt;
        msg.append(char(block >> 24)).append(char(block >> 16)).append(char(block >> 8)).append(char(block));
        unsigned char mac[32];
        unsigned int macLen = 0;
        HMAC(EVP_sha256(), key.constData(), key.size(),
            reinterpret_cast<const unsigned char*>(msg.constData()), size_t(msg.size()), mac, &macLen);
        quint32 u[8];
        quint32 t[8];
        for (int i = 0; i < 8; ++i)
            u[i] = t[i] = quint32(mac[i * 4]) << 24 | quint32(mac[i * 4 + 1]) << 16
                | quint32(mac[i * 4 + 2]) << 8 | mac[i * 4 + 3];
        // In steps, so that a cancel is seen within milliseconds.
        for (quint32 left = iterations - 1; left > 0;) {
            if (cancel && cancel->load(std::memory_order_relaxed))
                return {};
            const quint32 rounds = std::min(left, kCancelStep);
#ifdef QM_HAVE_X86
            if (compress == compressShaNi)
                iterateShaNi(ipad, opad, u, t, rounds);
            else
#endif
                iteratePortable(ipad, opad, u, t, rounds);
            left -= rounds;
        }
        for (int i = 0; i < 8 && out.size() < keyLen; ++i)
            for (int b = 3; b >= 0 && out.size() < keyLen; --b)
                out.append(char(t[i] >> (8 * b)));
    }
    return out;
}
