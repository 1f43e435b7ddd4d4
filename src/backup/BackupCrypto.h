#pragma once

#include <QByteArray>
#include <functional>
#include <memory>

class ContentDigest;
class QIODevice;

// AES primitives of backup encryption: RFC 3394 key wrap and unwrap, and AES-256-CBC with a zero
// IV in whole blocks, as stored files and encrypted manifests use it.
class BackupCrypto
{
public:
    // Unwraps a wrapped key (8 bytes longer than the key); empty when the integrity check fails.
    static QByteArray aesUnwrap(const QByteArray& kek, const QByteArray& wrapped);
    // Wraps a key of a multiple of 8 bytes (at least 16) with kek.
    static QByteArray aesWrap(const QByteArray& kek, const QByteArray& key);

    // Whole-buffer AES-256-CBC with zero IV. decrypt expects whole blocks and returns them
    // unpadded; encrypt adds PKCS#7 padding.
    static QByteArray cbcDecrypt(const QByteArray& key, const QByteArray& data);
    static QByteArray cbcEncrypt(const QByteArray& key, const QByteArray& data);

    // Removes PKCS#7 padding from a decrypted buffer only when the padding is valid.
    static QByteArray stripValidPadding(const QByteArray& plain);

    // What decryptStream wrote, and whether the stream ended as an encrypted file ends.
    struct Decrypted {
        qint64 size = 0;
        // The last block held valid PKCS#7 padding. Without it the stream was cut short, was not
        // encrypted, or was encrypted under another key.
        bool padded = false;
    };
    // Streams in to out through AES-256-CBC decryption in blocks of 8,192 bytes. Valid PKCS#7
    // padding is removed whatever size (the record's) says; without it the plaintext is cut at size
    // only when size falls inside its last block, else kept whole.
    // Throws std::runtime_error on a length that is not whole blocks or on a write error. progress,
    // when given, is told the bytes read from in so far after each block of them is written.
    static Decrypted decryptStream(const QByteArray& key, QIODevice& in, QIODevice& out, qint64 size,
        const std::function<void(qint64 read)>& progress = {});
    // Whether the last two blocks of a stream (the first may be empty: the IV of zeros) decrypt to
    // a block with valid PKCS#7 padding.
    static bool endsPadded(const QByteArray& key, const QByteArray& lastBlocks);
    // Streams in to out through AES-256-CBC encryption with PKCS#7 padding; returns the plain size.
    // The bytes written are added to written when one is given.
    static qint64 encryptStream(
        const QByteArray& key, QIODevice& in, QIODevice& out, ContentDigest* written = nullptr);
};
