#include "backup/Pbkdf2Sha1.h"

#include <QElapsedTimer>
#include <QThread>
#include <QtTest>
#include <openssl/evp.h>

class TestPbkdf2Sha1 : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void matchesOpenSsl()
    {
        const QByteArray longPassword(100, 'p'); // longer than a block: hashed first
        for (const QByteArray& pw :
            { QByteArray("0000"), QByteArray(), longPassword, QByteArray("p\xc3\xa4ss"), QByteArray(32, 1) })
            for (quint64 iter : { 1u, 2u, 3u, 4097u, 65536u, 65537u })
                for (int len : { 20, 32, 41 }) {
                    QByteArray expected(len, 0);
                    PKCS5_PBKDF2_HMAC(pw.constData(), int(pw.size()),
                        reinterpret_cast<const unsigned char*>("NaCl salt"), 9, int(iter), EVP_sha1(), len,
                        reinterpret_cast<unsigned char*>(expected.data()));
                    QCOMPARE(Pbkdf2Sha1::derive(pw, "NaCl salt", iter, len).toHex(), expected.toHex());
                }
    }

    void refusesZeroIterations()
    {
        QVERIFY_THROWS_EXCEPTION(std::runtime_error, Pbkdf2Sha1::derive("a", "b", 0, 32));
    }

    void stopsSoonAfterCancel()
    {
        // Fifty million rounds take many seconds; a cancel set while they run ends them at once.
        std::atomic<bool> cancel = false;
        QByteArray key = "not run";
        QElapsedTimer timer;
        std::unique_ptr<QThread> worker(
            QThread::create([&] { key = Pbkdf2Sha1::derive("pw", "salt", 50000000, 32, &cancel); }));
        worker->start();
        QThread::msleep(50);
        timer.start();
        cancel = true;
        QVERIFY(worker->wait(2000));
        QVERIFY(timer.elapsed() < 1000);
        QVERIFY(key.isEmpty());
    }
};

QTEST_GUILESS_MAIN(TestPbkdf2Sha1)
#include "TestPbkdf2Sha1.moc"
