#include "messages/store/IOSContactsMemDb.h"
#include "messages/support/MsgFixtures.h"
#include "support/TestEnv.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QtTest>
#include <utime.h>

using namespace MsgFixtures;

namespace
{
void setMtime(const QString& path, qint64 secs)
{
    struct utimbuf t;
    t.actime = t.modtime = time_t(secs);
    utime(QFile::encodeName(path).constData(), &t);
}
} // namespace

class TestIOSContactsMemDb : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void displayName()
    {
        _IOSContactPhoneInfo i;
        QCOMPARE(i.displayName(), QString());
        i.first = "Ada ";
        i.last = " Lovelace ";
        QCOMPARE(i.displayName(), QString("Ada  Lovelace"));
        i.first = "";
        QCOMPARE(i.displayName(), QString("Lovelace"));
        i.middle = "B";
        QCOMPARE(i.displayName(), QString("B Lovelace"));
    }

    void noAddressBookStaysClosed()
    {
        IOSContactsMemDb db { QDir(TestEnv::tempDir()), _CountryInfo() };
        db.openCheck();
        QVERIFY(!db.handle);
        QVERIFY(db.contactInfoByNumber("1").first.isEmpty());
    }

    void buildsAndRebuildsByTime()
    {
        const QString folder = generate("ios6");
        QVERIFY(!folder.isEmpty());
        const QString book = folder + "/file-relay/var/mobile/Library/AddressBook/AddressBook.sqlitedb";
        const QString store = folder + "/ct-phone.db";
        setMtime(book, 1000000);
        {
            IOSContactsMemDb db { QDir(folder), _CountryInfo() };
            db.openCheck();
            QVERIFY(db.handle);
            QCOMPARE(QFileInfo(store).lastModified().toSecsSinceEpoch(), qint64(1000000));
            const _IOSContactPhoneInfo ada = db.contactInfoByNumber("+15551230001");
            QCOMPARE(ada.displayName(), QString("Ada Lovelace"));
            QVERIFY(!ada.photo.isEmpty());
            QCOMPARE(db.contactInfoByNumber("+15551230002").displayName(), QString("Grace B Hopper"));
            QVERIFY(db.contactInfoByNumber("friend@example.com").displayName().isEmpty()); // not a phone
            QVERIFY(db.contactInfoByNumber("+19999999999").displayName().isEmpty());
        }
        // Equal time: kept. The address book one second newer: rebuilt.
        QVERIFY(execSql(book, "update ABPerson set First='Augusta' where ROWID=1"));
        setMtime(book, 1000000);
        {
            IOSContactsMemDb db { QDir(folder), _CountryInfo() };
            QCOMPARE(db.contactInfoByNumber("+15551230001").first, QString("Ada"));
        }
        setMtime(book, 1000001);
        {
            IOSContactsMemDb db { QDir(folder), _CountryInfo() };
            QCOMPARE(db.contactInfoByNumber("+15551230001").first, QString("Augusta"));
        }
    }

    void brokenAddressBookLeavesNoHalfStore()
    {
        const QString folder = TestEnv::tempDir();
        const QString dir = folder + "/file-relay/var/mobile/Library/AddressBook";
        QDir().mkpath(dir);
        QFile f(dir + "/AddressBook.sqlitedb");
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(QByteArray(4096, 'x'));
        f.close();
        IOSContactsMemDb db { QDir(folder), _CountryInfo() };
        QVERIFY_THROWS_EXCEPTION(std::exception, db.openCheck());
        QVERIFY(!QFile::exists(folder + "/ct-phone.db"));
        QVERIFY(!db.handle);
    }
};

QTEST_GUILESS_MAIN(TestIOSContactsMemDb)
#include "TestIOSContactsMemDb.moc"
