#include "app/ui/shared/ProgressForm.h"
#include "app/ui/support/ModalAnswerer.h"
#include "backup/BackupManifest.h"
#include "backup/support/GenBackup.h"
#include "backup/ui/ITunesCacheSMSThread.h"
#include "support/TestEnv.h"

#include <QFile>
#include <QFileInfo>
#include <QtTest>

class TestITunesCacheSMSThread : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void copiesMessageAndAddressBookFolders()
    {
        for (const QStringList& args :
            { QStringList { "--layout", "mbdb", "--password", "pw", "--iter", "5" }, QStringList {} }) {
            const QString dir = GenBackup::make(args);
            BackupManifest m(dir);
            m.readManifestInfo();
            if (m.IsEncrypted)
                QVERIFY(m.setPasscode("pw"));
            m.parseInfo();
            ProgressForm form;
            ITunesCacheSMSThread t(m, form);
            QCOMPARE(t.cacheDir().dirName(), m.dirPathMd5());
            t.start();
            QCOMPARE(form.exec(), 1);
            t.wait();
            const QString lib = t.cacheDir().absoluteFilePath("file-relay/var/mobile/Library");
            for (const char* rel : { "SMS/sms.db", "AddressBook/AddressBook.sqlitedb",
                     "AddressBook/AddressBookImages.sqlitedb" }) {
                QFile f(lib + "/" + rel);
                QVERIFY2(f.open(QIODevice::ReadOnly), rel);
                QCOMPARE(f.read(15), QByteArray("SQLite format 3"));
            }
            QVERIFY(QFileInfo::exists(t.cacheDir().absoluteFilePath("manifest.db")));
        }
    }

    void backupWithoutMessagesFails()
    {
        const QString dir = GenBackup::make({ "--no-well-known" });
        BackupManifest m(dir);
        m.readManifestInfo();
        m.parseInfo();
        ModalAnswerer answerer;
        ProgressForm form;
        ITunesCacheSMSThread t(m, form);
        t.start();
        QCOMPARE(form.exec(), 0);
        t.wait();
        QVERIFY(answerer.waitHandled(1));
        QVERIFY2(answerer.seen().value(0).contains("IDS_NOT_CONTAIN_SMS_DB_IN_ITUNES_BACKUP")
                || answerer.seen().value(0).contains("Found no message database file in this iTunes backup."),
            qPrintable(answerer.seen().value(0)));
    }
};

QTEST_MAIN(TestITunesCacheSMSThread)
#include "TestITunesCacheSMSThread.moc"
