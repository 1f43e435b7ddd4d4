#include "backup/BackupCrypto.h"
#include "support/FailDevice.h"

#include <QBuffer>
#include <QtTest>
#include <stdexcept>

class TestBackupCrypto : public QObject
{
    Q_OBJECT

    // The plaintext; *padded tells whether the stream ended in valid padding, and the size that
    // decryptStream reports is checked against what it wrote.
    static QByteArray decrypt(
        const QByteArray& key, const QByteArray& cipher, qint64 size, bool* padded = nullptr)
    {
        QBuffer in;
        in.setData(cipher);
        in.open(QIODevice::ReadOnly);
        QBuffer out;
        out.open(QIODevice::WriteOnly);
        const BackupCrypto::Decrypted got = BackupCrypto::decryptStream(key, in, out, size);
        if (got.size != out.data().size())
            return "size reported wrong";
        if (padded)
            *padded = got.padded;
        return out.data();
    }

private Q_SLOTS:
    // The padding gives the length, whatever the record's size says: devices record wrong sizes for
    // files that change while they are backed up.
    void streamsAcrossChunksAndStripsPadding()
    {
        const QByteArray key(32, '\x5a');
        for (int len : { 0, 1, 15, 16, 17, 8191, 8192, 8193, 3 * 8192 + 5 }) {
            QByteArray plain(len, Qt::Uninitialized);
            for (int i = 0; i < len; ++i)
                plain[i] = char(i * 7 + len);
            const QByteArray cipher = BackupCrypto::cbcEncrypt(key, plain);
            QCOMPARE(cipher.size() % 16, 0);
            for (qint64 size : { qint64(len), qint64(0), len + qint64(8), len + qint64(5000), len - qint64(1),
                     len - qint64(4096) }) {
                bool padded = false;
                QCOMPARE(decrypt(key, cipher, size, &padded), plain);
                QVERIFY(padded);
            }
            QVERIFY(BackupCrypto::endsPadded(key, cipher.right(32)));
            // Cut at a block boundary, or under another key, the stream ends without its padding.
            for (const QByteArray& notWhole : { cipher.left(cipher.size() - 16),
                     BackupCrypto::cbcEncrypt(QByteArray(32, '\x5b'), plain) }) {
                bool padded = true;
                decrypt(key, notWhole, len, &padded);
                QCOMPARE(padded, false);
                QCOMPARE(BackupCrypto::endsPadded(key, notWhole.right(32)), false);
            }
            QCOMPARE(BackupCrypto::stripValidPadding(BackupCrypto::cbcDecrypt(key, cipher)), plain);
            // Encrypting a stream gives the same bytes as the whole-buffer form.
            QBuffer in;
            in.setData(plain);
            in.open(QIODevice::ReadOnly);
            QBuffer out;
            out.open(QIODevice::WriteOnly);
            QCOMPARE(BackupCrypto::encryptStream(key, in, out), qint64(len));
            QCOMPARE(out.data(), cipher);
        }
    }

    void keepsInvalidPaddingAndRejectsPartialBlocks()
    {
        const QByteArray key(32, '\x01');
        QByteArray whole(32, 'a'); // whole blocks with no padding, as some writers store them
        const QByteArray cipher = BackupCrypto::cbcEncrypt(key, whole).left(32);
        // The size cuts the filler of the last block only; otherwise every byte is kept. Either way
        // the stream is told to end without its padding.
        bool padded = true;
        QCOMPARE(decrypt(key, cipher, 20, &padded), whole.left(20));
        QVERIFY(!padded);
        for (qint64 size : { 0, 5, 16, 32, 40 }) {
            padded = true;
            QCOMPARE(decrypt(key, cipher, size, &padded), whole);
            QVERIFY(!padded);
        }
        padded = true;
        QCOMPARE(decrypt(key, QByteArray(), 0, &padded), QByteArray());
        QVERIFY(!padded);
        QCOMPARE(BackupCrypto::stripValidPadding(QByteArray("abc\x02\x03", 5)), QByteArray("abc\x02\x03", 5));
        QCOMPARE(BackupCrypto::stripValidPadding(QByteArray("abc\x02\x02", 5)), QByteArray("abc"));
        QCOMPARE(BackupCrypto::stripValidPadding(QByteArray("abc\0", 4)), QByteArray("abc\0", 4));
        QVERIFY_THROWS_EXCEPTION(std::runtime_error, decrypt(key, QByteArray(20, 'x'), 0));
        // A read that a failing disk cuts short inside a block is followed by one that fails: the
        // disk's reason is thrown.
        FailDevice disk(QIODevice::ReadOnly, 100, "Input/output error");
        disk.setInput(BackupCrypto::cbcEncrypt(key, QByteArray(3 * 8192, 'p')));
        QBuffer out;
        out.open(QIODevice::WriteOnly);
        QString why;
        try {
            BackupCrypto::decryptStream(key, disk, out, 0);
        } catch (const std::runtime_error& e) {
            why = QString::fromUtf8(e.what());
        }
        QCOMPARE(why, QString("Input/output error"));
        QVERIFY_THROWS_EXCEPTION(std::runtime_error, BackupCrypto::cbcDecrypt(key, QByteArray(17, 'x')));
        QVERIFY_THROWS_EXCEPTION(
            std::runtime_error, BackupCrypto::cbcDecrypt(QByteArray(5, 'k'), QByteArray(16, 'x')));
    }

    void unwrapChecksIntegrity()
    {
        const QByteArray kek(32, '\x33');
        const QByteArray key(32, '\x44');
        const QByteArray wrapped = BackupCrypto::aesWrap(kek, key);
        QCOMPARE(wrapped.size(), 40);
        QCOMPARE(BackupCrypto::aesUnwrap(kek, wrapped), key);
        QByteArray bad = wrapped;
        bad[10] = char(bad[10] ^ 0x80);
        QVERIFY(BackupCrypto::aesUnwrap(kek, bad).isEmpty());
        QVERIFY(BackupCrypto::aesUnwrap(kek, wrapped.left(20)).isEmpty());
        QVERIFY(BackupCrypto::aesUnwrap(QByteArray(7, 'k'), wrapped).isEmpty());
    }
};

QTEST_GUILESS_MAIN(TestBackupCrypto)
#include "TestBackupCrypto.moc"
