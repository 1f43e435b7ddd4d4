#include "backup/Pbkdf2Sha256.h"

#include <QElapsedTimer>
#include <QtTest>
#include <atomic>
#include <openssl/evp.h>

class TestPbkdf2Sha256 : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void matchesOpenSslOnBothPaths_data()
    {
        QTest::addColumn<bool>("portable");
        QTest::newRow("cpu extensions when present") << false;
        QTest::newRow("portable") << true;
    }
    void matchesOpenSslOnBothPaths()
    {
        QFETCH(bool, portable);
        Pbkdf2Sha256::setForcePortable(portable);
        const QByteArray longPassword(100, 'p'); // longer than a block: hashed first
        for (const QByteArray& pw :
            { QByteArray("0000"), QByteArray(), longPassword, QByteArray("p\xc3\xa4ss") })
            for (quint32 iter : { 1u, 2u, 3u, 4097u })
                for (int len : { 20, 32, 33, 64 }) {
                    QByteArray expected(len, '\0');
                    PKCS5_PBKDF2_HMAC(pw.constData(), int(pw.size()),
                        reinterpret_cast<const unsigned char*>("NaCl salt"), 9, int(iter), EVP_sha256(), len,
                        reinterpret_cast<unsigned char*>(expected.data()));
                    QCOMPARE(Pbkdf2Sha256::derive(pw, "NaCl salt", iter, len).toHex(), expected.toHex());
                }
        // Counts past the step between two looks at the cancel flag go on where the step ended.
        for (quint32 iter : { 65536u, 65537u, 131075u }) {
            QByteArray expected(32, '\0');
            PKCS5_PBKDF2_HMAC("pw", 2, reinterpret_cast<const unsigned char*>("salt"), 4, int(iter),
                EVP_sha256(), 32, reinterpret_cast<unsigned char*>(expected.data()));
            QCOMPARE(Pbkdf2Sha256::derive("pw", "salt", iter, 32).toHex(), expected.toHex());
        }
        Pbkdf2Sha256::setForcePortable(false);
    }

    void stopsSoonWhenCancelled()
    {
        std::atomic<bool> cancel = true;
        QElapsedTimer timer;
        timer.start();
        QVERIFY(Pbkdf2Sha256::derive("pw", "salt", 4000000000u, 32, &cancel).isEmpty());
        QVERIFY(timer.elapsed() < 1000);
        cancel = false;
        QCOMPARE(Pbkdf2Sha256::derive("pw", "salt", 3, 32, &cancel).size(), 32);
    }

    void refusesZeroIterations()
    {
        QVERIFY_THROWS_EXCEPTION(std::runtime_error, Pbkdf2Sha256::derive("a", "b", 0, 32));
    }
};

QTEST_GUILESS_MAIN(TestPbkdf2Sha256)
#include "TestPbkdf2Sha256.moc"
