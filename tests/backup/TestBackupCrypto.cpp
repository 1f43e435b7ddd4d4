#include "backup/BackupCrypto.h"

#include <QBuffer>
#include <QtTest>
#include <stdexcept>

class TestBackupCrypto : public QObject
{
    Q_OBJECT

    static QByteArray decrypt(const QByteArray& key, const QByteArray& cipher, qint64 size)
    {
        QBuffer in;
        in.setData(cipher);
        in.open(QIODevice::ReadOnly);
        QBuffer out;
        out.open(QIODevice::WriteOnly);
        BackupCrypto::decryptStream(key, in, out, size);
        return out.data();
    }

private Q_SLOTS:
    void streamsAcrossChunksAndTrimsToRecordSize()
    {
        const QByteArray key(32, '\x5a');
        for (int len : { 0, 1, 15, 16, 17, 8191, 8192, 8193, 3 * 8192 + 5 }) {
            QByteArray plain(len, Qt::Uninitialized);
            for (int i = 0; i < len; ++i)
                plain[i] = char(i * 7 + len);
            const QByteArray cipher = BackupCrypto::cbcEncrypt(key, plain);
            QCOMPARE(cipher.size() % 16, 0);
            QCOMPARE(decrypt(key, cipher, len), plain); // trimmed to the record's size
            QCOMPARE(decrypt(key, cipher, 0), plain); // size unknown: valid padding removed
            QCOMPARE(decrypt(key, cipher, len + 100), plain); // a size larger than the data: padding rule
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
        const QByteArray cipher
            = BackupCrypto::cbcDecrypt(key, BackupCrypto::cbcEncrypt(key, whole)).left(32);
        QCOMPARE(BackupCrypto::stripValidPadding(QByteArray("abc\x02\x03", 5)), QByteArray("abc\x02\x03", 5));
        QCOMPARE(BackupCrypto::stripValidPadding(QByteArray("abc\x02\x02", 5)), QByteArray("abc"));
        QCOMPARE(BackupCrypto::stripValidPadding(QByteArray("abc\0", 4)), QByteArray("abc\0", 4));
        QVERIFY_THROWS_EXCEPTION(std::runtime_error, decrypt(key, QByteArray(20, 'x'), 0));
        QVERIFY_THROWS_EXCEPTION(std::runtime_error, BackupCrypto::cbcDecrypt(key, QByteArray(17, 'x')));
        QVERIFY_THROWS_EXCEPTION(
            std::runtime_error, BackupCrypto::cbcDecrypt(QByteArray(5, 'k'), QByteArray(16, 'x')));
        Q_UNUSED(cipher);
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
