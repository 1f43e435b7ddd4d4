#include "app/ui/shared/ProgressForm.h"
#include "app/ui/support/ModalAnswerer.h"
#include "backup/BackupManifest.h"
#include "backup/support/GenBackup.h"
#include "backup/ui/LoadBkThread.h"
#include "support/TestEnv.h"

#include <QFile>
#include <QFileInfo>
#include <QtTest>

class TestLoadBkThread : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void copiesDecryptedAndSkipsUnchanged()
    {
        const QString dir
            = GenBackup::make({ "--password", "pw", "--iter", "5", "--dpic", "5", "--skip-storedata" });
        QVERIFY(!dir.isEmpty());
        BackupManifest m(dir);
        m.readManifestInfo();
        QVERIFY(m.setPasscode("pw"));
        m.parseInfo();
        QVERIFY(!m.callHistoryStoreNode && m.callHistoryNode);
        const QDir cache(TestEnv::tempDir() + "/cache/abc");
        QList<const BackupManifest::_FileNode*> files { m.addressBookNode, nullptr, m.callHistoryNode };
        {
            ProgressForm form;
            LoadBkThread t(&m, files, cache, &form);
            t.start();
            QCOMPARE(form.exec(), 1);
            t.wait();
            QCOMPARE(t.cacheDir.absolutePath(), cache.absolutePath());
        }
        const QString ab = cache.absoluteFilePath(m.addressBookNode->item.backupFileName());
        QFile f(ab);
        QVERIFY(f.open(QIODevice::ReadOnly));
        QCOMPARE(f.read(15), QByteArray("SQLite format 3"));
        f.close();
        QVERIFY(QFileInfo::exists(cache.absoluteFilePath("manifest2.db")));
        // A second run leaves an unchanged file alone.
        QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Append));
        f.write("marker");
        f.close();
        {
            ProgressForm form;
            LoadBkThread t(&m, files, cache, &form);
            t.start();
            QCOMPARE(form.exec(), 1);
            t.wait();
        }
        QVERIFY(f.open(QIODevice::ReadOnly));
        QVERIFY(f.readAll().endsWith("marker"));
    }

    void reportsCopyErrors_data()
    {
        QTest::addColumn<QString>("damage");
        QTest::addColumn<bool>("showWhatItCan");
        QTest::addColumn<int>("result");
        QTest::addColumn<QString>("text");
        // The stored file no longer decrypts in whole blocks.
        QTest::newRow("not whole blocks")
            << "append" << false << 0
            << "Copy notes.sqlite error. BackupManifest::decryptFile: decrypt failed.";
        // Cut short at a block boundary: never copied as a success. A page that shows what it can
        // goes on with what there is and says it.
        QTest::newRow("cut short") << "cut-half" << false << 0 << "Copy notes.sqlite error. The stored copy ";
        QTest::newRow("cut short, shown")
            << "cut-half" << true << 1 << "Copy notes.sqlite error. The stored copy ";
        QTest::newRow("under another key, shown")
            << "other-key" << true << 1 << "Copy notes.sqlite error. The stored copy ";
    }
    void reportsCopyErrors()
    {
        QFETCH(QString, damage);
        QFETCH(bool, showWhatItCan);
        QFETCH(int, result);
        QFETCH(QString, text);
        QStringList args { "--password", "pw", "--iter", "5", "--dpic", "5" };
        if (damage != "append")
            args << "--stored-damage"
                 << "Library/Notes/notes.sqlite=" + damage;
        const QString dir = GenBackup::make(args);
        BackupManifest m(dir);
        m.readManifestInfo();
        QVERIFY(m.setPasscode("pw"));
        m.parseInfo();
        if (damage == "append") {
            QFile stored(m.storedFilePath(m.notesNode->item));
            QVERIFY(stored.open(QIODevice::Append));
            stored.write("xyz");
            stored.close();
        }
        ModalAnswerer answerer;
        ProgressForm form;
        const QDir cache(TestEnv::tempDir() + "/cache-" + QTest::currentDataTag());
        LoadBkThread t(&m, { m.notesNode, m.bookmarksNode }, cache, &form);
        t.setShowWhatItCan(showWhatItCan);
        t.start();
        QCOMPARE(form.exec(), result);
        t.wait();
        QVERIFY(answerer.waitHandled(1));
        const QString shown = answerer.seen().value(0);
        QVERIFY2(shown.contains(text), qPrintable(shown));
        if (damage != "append")
            QVERIFY2(shown.contains("ends without its padding"), qPrintable(shown));
        // What a damaged copy decrypts to is written; shown, the other files are copied all the same.
        QCOMPARE(QFileInfo::exists(cache.absoluteFilePath(m.notesNode->item.backupFileName())),
            damage != "append");
        QCOMPARE(
            QFileInfo::exists(cache.absoluteFilePath(m.bookmarksNode->item.backupFileName())), showWhatItCan);
    }
};

QTEST_MAIN(TestLoadBkThread)
#include "TestLoadBkThread.moc"
