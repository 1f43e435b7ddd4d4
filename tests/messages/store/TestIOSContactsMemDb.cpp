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

// A cache-layout folder holding the demo address book of the generator (args added to its own).
QString addressBookFolder(const QStringList& args)
{
    const QString made = generateWith("make_addressbook.py", QStringList { "--demo" } + args);
    if (made.isEmpty())
        return QString();
    const QString dir = made + "/file-relay/var/mobile/Library/AddressBook";
    QDir().mkpath(dir);
    for (const char* name : { "AddressBook.sqlitedb", "AddressBookImages.sqlitedb" })
        if (QFile::exists(made + '/' + name) && !QFile::rename(made + '/' + name, dir + '/' + name))
            return QString();
    return made;
}

// Overwrites a database file with bytes that are no database, from its start or from its second
// page on (its schema still reads, its tables do not).
bool spoil(const QString& path, bool keepFirstPage)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadWrite))
        return false;
    const QByteArray head = f.read(18);
    const qint64 offset = keepFirstPage && head.size() == 18 ? (uchar(head[16]) << 8) | uchar(head[17]) : 0;
    if (f.size() <= offset || !f.seek(offset))
        return false;
    return f.write(QByteArray(int(f.size() - offset), 'x')) > 0;
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

    // The images file only adds pictures: whatever is wrong with it, the names are still matched.
    void imagesCostOnlyThePictures_data()
    {
        QTest::addColumn<QString>("images");
        QTest::addColumn<bool>("photos");
        QTest::newRow("intact") << "intact" << true;
        QTest::newRow("no images file") << "absent" << false;
        QTest::newRow("no thumbnail table") << "no table" << false;
        QTest::newRow("thumbnail table without data") << "no data column" << false;
        QTest::newRow("not a database") << "garbage" << false;
        QTest::newRow("damaged after its first page") << "torn" << false;
    }
    void imagesCostOnlyThePictures()
    {
        QFETCH(QString, images);
        QFETCH(bool, photos);
        const QString folder
            = addressBookFolder(images == "absent" ? QStringList { "--no-images" } : QStringList());
        QVERIFY(!folder.isEmpty());
        const QString img = folder + "/file-relay/var/mobile/Library/AddressBook/AddressBookImages.sqlitedb";
        QCOMPARE(QFile::exists(img), images != "absent");
        if (images == "no table")
            QVERIFY(execSql(img, "drop table ABThumbnailImage"));
        if (images == "no data column")
            QVERIFY(execSql(img, "alter table ABThumbnailImage drop column data"));
        if (images == "garbage" || images == "torn")
            QVERIFY(spoil(img, images == "torn"));

        IOSContactsMemDb db { QDir(folder), _CountryInfo() };
        db.openCheck();
        QVERIFY(db.handle);
        const _IOSContactPhoneInfo emma = db.contactInfoByNumber("+15555550101");
        QCOMPARE(emma.displayName(), QString("Emma Carter"));
        QCOMPARE(!emma.photo.isEmpty(), photos);
        QCOMPARE(db.contactInfoByNumber("+15555550104").displayName(), QString("Noah Brandt"));
        QVERIFY(db.contactInfoByNumber("+15555550104").photo.isEmpty()); // has none
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
