#include "app/ui/DataSources.h"
#include "contacts/store/IOSContactsDb.h"
#include "contacts/support/ContactFixtures.h"
#include "support/TestEnv.h"

#include <QDir>
#include <QFile>
#include <QtTest>

// The contact counts of the data-source tree: a backup's cache folder and a local database folder.
class TestContactCounts : public QObject
{
    Q_OBJECT
private slots:
    void backupCount()
    {
        QCOMPARE(DataSources::countBackupContacts(QDir(ContactFixtures::generate({ "--edge" }))), qint64(10));
        QCOMPARE(DataSources::countBackupContacts(QDir(TestEnv::tempDir())), qint64(0)); // no address book
        const QString broken = TestEnv::tempDir();
        QFile f(QDir(broken).absoluteFilePath(IOSContactsDb::kAddressBookName));
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write("not a database at all, just text that is long enough to look like a header");
        f.close();
        QCOMPARE(DataSources::countBackupContacts(QDir(broken)), DataSources::kUnknownCount);
    }

    void localDbCountCreatesTheStore()
    {
        const QDir folder(TestEnv::tempDir());
        QCOMPARE(DataSources::countLocalDbContacts(folder), qint64(0));
        const QString path = folder.absoluteFilePath("contacts.db");
        QVERIFY(QFile::exists(path));
        QVERIFY(ContactFixtures::exec(path, "insert into contact(full_name) values('A'),('B')"));
        QCOMPARE(DataSources::countLocalDbContacts(folder), qint64(2));
        QCOMPARE(DataSources::countLocalDb(folder, false).contactCount, qint64(2));
        // A store that cannot be made is not counted.
        QCOMPARE(DataSources::countLocalDbContacts(QDir(folder.absoluteFilePath("missing/folder"))),
            DataSources::kUnknownCount);
    }
};

QTEST_MAIN(TestContactCounts)
#include "TestContactCounts.moc"
