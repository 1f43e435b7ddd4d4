#pragma once

#include <QByteArray>
#include <atomic>

// PBKDF2-HMAC-SHA1, the keybag's second derivation step (ITER rounds, which a keybag may set in
// the tens of millions). The HMAC pads are hashed once; each iteration then hashes one block for
// each pad. Unlike a library call it can be cancelled between steps.
class Pbkdf2Sha1
{
public:
    // Derives keyLen bytes. iterations must be at least 1. Returns an empty array as soon as
    // cancel (when given) is found set; it is looked at every 65,536 iterations.
    static QByteArray derive(const QByteArray& password, const QByteArray& salt, quint64 iterations,
        int keyLen, const std::atomic<bool>* cancel = nullptr);
};
