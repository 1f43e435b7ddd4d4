#pragma once

#include <QByteArray>
#include <atomic>

// PBKDF2-HMAC-SHA256 for very high iteration counts (the 10,000,000 rounds of a backup keybag).
// The HMAC inner and outer states are computed once; each iteration then costs exactly two
// SHA-256 compressions on fixed-layout blocks, using the CPU's SHA extensions when present.
class Pbkdf2Sha256
{
public:
    // Derives keyLen bytes. iterations must be at least 1. Returns an empty array as soon as
    // cancel (when given) is found set; it is looked at every 65,536 iterations.
    static QByteArray derive(const QByteArray& password, const QByteArray& salt, quint32 iterations,
        int keyLen, const std::atomic<bool>* cancel = nullptr);

    // True when the SHA extension path is used on this CPU.
    static bool hasShaExtensions();

    // For tests: forces the portable compression even where SHA extensions exist.
    static void setForcePortable(bool force);
};
