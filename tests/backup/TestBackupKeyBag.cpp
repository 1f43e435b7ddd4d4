#include "backup/BackupCrypto.h"
#include "backup/BackupKeyBag.h"
#include "support/TestEnv.h"

#include <QFile>
#include <QtTest>
#include <stdexcept>

namespace
{

QByteArray tlv(const char* tag, const QByteArray& value)
{
    QByteArray out(tag, 4);
    const quint32 n = quint32(value.size());
    out.append(char(n >> 24)).append(char(n >> 16)).append(char(n >> 8)).append(char(n));
    return out + value;
}

QByteArray u32(quint32 v)
{
    QByteArray b;
    b.append(char(v >> 24)).append(char(v >> 16)).append(char(v >> 8)).append(char(v));
    return b;
}

QByteArray readAll(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

} // namespace

class TestBackupKeyBag : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    // Every row of the published vectors: stage-one key, passcode key and class key.
    void derivesPublishedVectors_data()
    {
        QTest::addColumn<QStringList>("row");
        const QString path = TestEnv::realFixture("keybag-hash-vectors/itunes_backup_keybag_vectors.tsv");
        if (path.isEmpty())
            return;
        QFile f(path);
        QVERIFY(f.open(QIODevice::ReadOnly));
        int n = 0;
        for (const QByteArray& line : f.readAll().split('\n')) {
            if (line.isEmpty() || line.startsWith('#'))
                continue;
            const QStringList row = QString::fromUtf8(line).split('\t');
            QTest::newRow(qPrintable(QString::number(++n) + " " + row[0].left(30))) << row;
        }
    }
    void derivesPublishedVectors()
    {
        QM_REQUIRE_SHARED();
        QFETCH(QStringList, row);
        QCOMPARE(row.size(), 11);
        const QByteArray password = row[1].toUtf8();
        QByteArray bag = tlv("VERS", u32(row[2] == "10" ? 4 : 3)) + tlv("TYPE", u32(1))
            + tlv("UUID", QByteArray(16, 'u')) + tlv("SALT", QByteArray::fromHex(row[5].toLatin1()))
            + tlv("ITER", u32(row[4].toUInt()));
        if (!row[6].isEmpty())
            bag += tlv("DPWT", u32(1)) + tlv("DPIC", u32(row[6].toUInt()))
                + tlv("DPSL", QByteArray::fromHex(row[7].toLatin1()));
        bag += tlv("UUID", QByteArray(16, 'c')) + tlv("CLAS", u32(3)) + tlv("WRAP", u32(2))
            + tlv("KTYP", u32(0)) + tlv("WPKY", QByteArray::fromHex(row[3].toLatin1()));
        BackupKeyBag kb = BackupKeyBag::parseThrow(bag);
        const QByteArray stage = kb.stageOneKey(password);
        if (!row[8].isEmpty())
            QCOMPARE(stage.toHex(), row[8].toLatin1());
        const QByteArray kek = kb.passcodeKey(stage);
        QCOMPARE(kek.toHex(), row[9].toLatin1());
        QVERIFY(kb.unlockWithPasscodeKey(kek));
        QCOMPARE(kb.classKey(3).toHex(), row[10].toLatin1());
        // The wrong passcode key fails the unwrap integrity check.
        BackupKeyBag again = BackupKeyBag::parseThrow(bag);
        QByteArray wrong = kek;
        wrong[0] = char(wrong[0] ^ 1);
        QVERIFY(!again.unlockWithPasscodeKey(wrong));
        QVERIFY(!again.isUnlocked());
    }

    void unlocksRealKeybagsWithShortIterations()
    {
        QM_REQUIRE_SHARED();
        // The old-generation keybag of the small encrypted fixtures: password 0000, ITER 10000.
        const QByteArray bytes = readAll(TestEnv::realFixture("pyiosbackup/keybag_before_ios10_2.bin"));
        QVERIFY(!bytes.isEmpty());
        BackupKeyBag kb = BackupKeyBag::parseThrow(bytes);
        QVERIFY(!kb.hasDoubleProtection());
        QVERIFY(!kb.unlock("1111"));
        QVERIFY(kb.unlock("0000"));
        QCOMPARE(kb.classKey(4), QByteArray(32, '\0'));
        // The new generation carries DPSL/DPIC 10,000,000.
        BackupKeyBag kb2
            = BackupKeyBag::parseThrow(readAll(TestEnv::realFixture("pyiosbackup/keybag_ios10_2plus.bin")));
        QVERIFY(kb2.hasDoubleProtection());
        QCOMPARE(kb2.dpic(), quint64(10000000));
        QCOMPARE(kb2.classKeys().size(), 11);
    }

    void refusesAbsurdIterationsBeforeDeriving()
    {
        for (const char* which : { "ITER", "DPIC" }) {
            const bool dpic = QByteArray(which) == "DPIC";
            QByteArray bag = tlv("VERS", u32(4)) + tlv("UUID", QByteArray(16, 'u'))
                + tlv("SALT", QByteArray(20, 's')) + tlv("ITER", u32(dpic ? 10 : 4000000000u));
            if (dpic)
                bag += tlv("DPIC", u32(60000000)) + tlv("DPSL", QByteArray(20, 'd'));
            bag += tlv("UUID", QByteArray(16, 'c')) + tlv("CLAS", u32(1)) + tlv("WRAP", u32(2))
                + tlv("WPKY", QByteArray(40, 'w'));
            BackupKeyBag kb = BackupKeyBag::parseThrow(bag);
            QElapsedTimer t;
            t.start();
            try {
                kb.unlock("pw");
                QFAIL("absurd count accepted");
            } catch (const std::runtime_error& e) {
                QVERIFY2(QString(e.what()).contains(which), e.what());
            }
            QVERIFY(t.elapsed() < 1000);
        }
    }

    void rejectsTruncatedAndGarbageKeybags()
    {
        const QByteArray good = tlv("VERS", u32(3)) + tlv("UUID", QByteArray(16, 'u'))
            + tlv("SALT", QByteArray(20, 's')) + tlv("ITER", u32(10)) + tlv("UUID", QByteArray(16, 'c'))
            + tlv("CLAS", u32(1)) + tlv("WRAP", u32(2)) + tlv("WPKY", QByteArray(40, 'w'));
        BackupKeyBag::parseThrow(good, "Manifest.plist");
        for (const QByteArray& bad : { good.left(good.size() - 5), good.left(6), QByteArray(64, '\xff'),
                 QByteArray("not a keybag at all"), QByteArray() }) {
            try {
                BackupKeyBag::parseThrow(bad, "X/Manifest.plist");
                QFAIL("damaged keybag accepted");
            } catch (const std::runtime_error& e) {
                QVERIFY2(QString(e.what()).contains("X/Manifest.plist"), e.what());
            }
        }
    }

    void fileKeysRoundTrip()
    {
        const QByteArray kek(32, '\x11');
        const QByteArray classKey(32, '\x22');
        QByteArray bag = tlv("VERS", u32(3)) + tlv("UUID", QByteArray(16, 'u'))
            + tlv("SALT", QByteArray(20, 's')) + tlv("ITER", u32(10)) + tlv("UUID", QByteArray(16, 'c'))
            + tlv("CLAS", u32(3)) + tlv("WRAP", u32(2)) + tlv("WPKY", BackupCrypto::aesWrap(kek, classKey));
        BackupKeyBag kb = BackupKeyBag::parseThrow(bag);
        QVERIFY(kb.wrapFileKey(3, QByteArray(32, 'k')).isEmpty()); // locked: no class key yet
        QVERIFY(kb.unlockWithPasscodeKey(kek));
        const QByteArray fileKey(32, 'k');
        const QByteArray wrapped = kb.wrapFileKey(3, fileKey);
        QCOMPARE(wrapped.size(), 40);
        QCOMPARE(kb.unwrapFileKey(3, wrapped), fileKey);
        QByteArray blob("\x03\0\0\0", 4);
        QCOMPARE(kb.unwrapKeyBlob(blob + wrapped), fileKey);
        QVERIFY(kb.unwrapFileKey(7, wrapped).isEmpty()); // unknown class
        QVERIFY(kb.unwrapKeyBlob(QByteArray(10, 'x')).isEmpty());
    }
};

QTEST_GUILESS_MAIN(TestBackupKeyBag)
#include "TestBackupKeyBag.moc"
