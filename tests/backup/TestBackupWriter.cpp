#include "app/sqlite/Sqlite3DB.h"
#include "backup/BackupWriter.h"
#include "backup/MBFileArchive.h"
#include "backup/support/GenBackup.h"
#include "support/TestEnv.h"

#include <QFile>
#include <QtTest>

class TestBackupWriter : public QObject
{
    Q_OBJECT

    static QString sourceFile(const QByteArray& content)
    {
        const QString path = TestEnv::tempDir() + "/source.bin";
        QFile f(path);
        if (f.open(QIODevice::WriteOnly))
            f.write(content);
        return path;
    }

    static void open(BackupManifest& m, const QString& password)
    {
        m.readManifestInfo();
        if (!password.isEmpty())
            QVERIFY(m.setPasscode(password));
        m.parseInfo();
    }

private Q_SLOTS:
    void uncommittedWriteLeavesNoTrace_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<QString>("password");
        QTest::newRow("Manifest.db") << QStringList {} << "";
        QTest::newRow("Manifest.mbdb encrypted")
            << QStringList { "--layout", "mbdb", "--password", "pw", "--iter", "5" } << "pw";
    }

    // Files and manifest staged but never committed: the backup is as it was, with no temporaries
    // and no hashed folders left behind.
    void uncommittedWriteLeavesNoTrace()
    {
        QFETCH(QStringList, args);
        QFETCH(QString, password);
        const QString dir = GenBackup::make(args);
        QVERIFY(!dir.isEmpty());
        const QString digest = GenBackup::folderDigest(dir);
        const QStringList folders = QDir(dir).entryList(QDir::Dirs | QDir::NoDotAndDotDot);
        BackupManifest m(dir);
        open(m, password);
        {
            BackupWriter writer(m, {}, {});
            writer.stageFilesThrow({ { "HomeDomain", sourceFile("new"), "Library/SMS/sms.db", true, true },
                { "BrandNewDomain", sourceFile("more"), "Some/new/file.txt", true, false } });
            writer.stageManifestThrow();
            QCOMPARE(writer.staged().size(), 2);
        }
        QCOMPARE(GenBackup::folderDigest(dir), digest);
        QCOMPARE(QDir(dir).entryList(QDir::Dirs | QDir::NoDotAndDotDot), folders);
    }

    // A new file's record: the mobile user's file mode and ids, the file flag, and a folder record
    // for each new parent folder.
    void newRecordsCarryTheDeviceDefaults()
    {
        const QString dir = GenBackup::make({});
        QVERIFY(!dir.isEmpty());
        {
            BackupManifest m(dir);
            open(m, QString());
            m.writeFilesThrow({ { "BrandNewDomain", sourceFile("x"), "Deep/er/file.txt", true, false } });
        }
        Sqlite3DB db;
        db.openReadOnlyThrow(dir + "/Manifest.db", false);
        Sqlite3Cursor c = db.queryThrow("select relativePath, flags, file from Files where "
                                        "domain='BrandNewDomain' order by relativePath");
        QStringList seen;
        while (c.moveNext()) {
            MBFileArchive::Fields f;
            QVERIFY(MBFileArchive::decode(c.getBlob(2), f, false, true));
            const bool file = c.getText(0) == "Deep/er/file.txt";
            QCOMPARE(c.getInt(1), file ? BackupWriter::kRecordFile : BackupWriter::kRecordFolder);
            QCOMPARE(f.mode, qint64(file ? 0100644 : 040755));
            QCOMPARE(f.userId, qint64(501));
            QCOMPARE(f.groupId, qint64(501));
            QCOMPARE(QString::fromUtf8(f.relativePath), c.getText(0));
            seen << c.getText(0);
        }
        QCOMPARE(seen, QStringList({ "Deep", "Deep/er", "Deep/er/file.txt" }));
    }
};

QTEST_GUILESS_MAIN(TestBackupWriter)
#include "TestBackupWriter.moc"
