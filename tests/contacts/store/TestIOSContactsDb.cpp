#include "contacts/store/IOSContactsDb.h"
#include "contacts/support/ContactFixtures.h"
#include "support/TestEnv.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QtTest>

namespace
{
QString v(const pim::_Contact& c, int kind, int i, const char* key)
{
    return c.entities.value(kind).value(i).values.value(QLatin1String(key)).toString();
}

bool has(const pim::_Contact& c, int kind, int i, const char* key)
{
    return c.entities.value(kind).value(i).values.contains(QLatin1String(key));
}

// "kind:data1" of each value a person gets from the multi-values alone, by kind, in list order.
QString valueSummary(const pim::_Contact& c)
{
    QStringList parts;
    for (int kind : { 3, 4, 8, 11, 12, 13 })
        for (const pim::Entity& e : c.entities.value(kind))
            parts << QStringLiteral("%1:%2").arg(kind).arg(e.text(QStringLiteral("data1")));
    return parts.join(QLatin1Char('|'));
}

QByteArray sha(const QString& path)
{
    QFile f(path);
    f.open(QIODevice::ReadOnly);
    return QCryptographicHash::hash(f.readAll(), QCryptographicHash::Sha256);
}

// A cache folder holding a copy of a real address book under its backup names.
QString stageReal(const QString& folder)
{
    const QString src = TestEnv::realFixture(folder);
    const QDir dir(TestEnv::tempDir());
    QFile::copy(src + "/AddressBook.sqlitedb", dir.absoluteFilePath(IOSContactsDb::kAddressBookName));
    if (QFile::exists(src + "/AddressBookImages.sqlitedb"))
        QFile::copy(src + "/AddressBookImages.sqlitedb", dir.absoluteFilePath(IOSContactsDb::kImagesName));
    for (const QString& f : dir.entryList(QDir::Files))
        QFile::setPermissions(dir.absoluteFilePath(f), QFile::ReadOwner | QFile::WriteOwner);
    return dir.absolutePath();
}
} // namespace

class TestIOSContactsDb : public QObject
{
    Q_OBJECT
    QString m_edge;
    QList<pim::_Contact> m_contacts;

private slots:
    void initTestCase()
    {
        m_edge = ContactFixtures::generate({ "--edge" });
        QVERIFY(!m_edge.isEmpty());
        const QString ab = QDir(m_edge).absoluteFilePath(IOSContactsDb::kAddressBookName);
        const QByteArray before = sha(ab);
        IOSContactsDb db { QDir(m_edge) };
        m_contacts = db.contacts();
        QCOMPARE(db.total(), qint64(m_contacts.size()));
        QCOMPARE(sha(ab), before); // nothing is written into the source
    }

    void missingBook()
    {
        IOSContactsDb db { QDir(TestEnv::tempDir()) };
        try {
            db.total();
            QFAIL("no error");
        } catch (const std::runtime_error& e) {
            QCOMPARE(QString(e.what()), QStringLiteral("Cannot find AddressBook.sqlitedb"));
        }
    }

    void everyField()
    {
        QCOMPARE(m_contacts.size(), 10);
        const pim::_Contact& anna = m_contacts.first();
        QCOMPARE(anna.fullName, QStringLiteral("Dr. Anna Lee Jr."));
        QCOMPARE(v(anna, 1, 0, "data1"), anna.fullName);
        QCOMPARE(v(anna, 10, 0, "data1"), QStringLiteral("Acme"));
        QCOMPARE(v(anna, 10, 0, "data5"), QStringLiteral("R&D"));
        QCOMPARE(v(anna, 10, 0, "data4"), QStringLiteral("Chief"));
        QCOMPARE(v(anna, 9, 0, "data1"), QStringLiteral("Line one\nLine two"));
        QCOMPARE(v(anna, 5, 0, "data1"), QStringLiteral("Annie"));
        // The birthday before 2001 is kept, then the anniversary of value 0.
        QCOMPARE(v(anna, 6, 0, "data1"), QStringLiteral("1981-01-01T00:00:00"));
        QCOMPARE(v(anna, 6, 0, "data2"), QStringLiteral("3"));
        QCOMPARE(v(anna, 6, 1, "data1"), QStringLiteral("2001-01-01T00:00:00"));
        QCOMPARE(v(anna, 6, 1, "data2"), QStringLiteral("1"));
        QCOMPARE(anna.entities.value(3).size(), 4);
        QCOMPARE(v(anna, 3, 0, "data2"), QStringLiteral("2"));
        QCOMPARE(v(anna, 3, 2, "data2"), QStringLiteral("0"));
        QCOMPARE(v(anna, 3, 2, "data3"), QStringLiteral("Car phone"));
        QCOMPARE(v(anna, 3, 3, "data1"), QStringLiteral("+1 555 0103")); // no label: kept
        QVERIFY(!has(anna, 3, 3, "data3"));
        QCOMPARE(v(anna, 4, 1, "data2"), QStringLiteral("2"));
        QCOMPARE(v(anna, 12, 0, "data1"), QStringLiteral("1 Main St\nSpringfield, IL 627\nUSA"));
        QCOMPARE(v(anna, 12, 0, "data2"), QStringLiteral("1"));
        QCOMPARE(v(anna, 8, 0, "data1"), QStringLiteral("anna.lee"));
        QCOMPARE(v(anna, 8, 0, "data5"), QStringLiteral("4"));
        QCOMPARE(v(anna, 8, 0, "data2"), QStringLiteral("2"));
        QCOMPARE(v(anna, 8, 1, "data5"), QStringLiteral("6"));
        QCOMPARE(v(anna, 13, 0, "data2"), QStringLiteral("1"));
        QCOMPARE(v(anna, 11, 0, "data1"), QStringLiteral("Mary Lee"));
        QCOMPARE(v(anna, 11, 0, "data2"), QStringLiteral("8"));
        QVERIFY(anna.entities.value(2).first().values.value("data15").toByteArray().startsWith("\xff\xd8"));
        QVERIFY(!has(anna, 2, 0, "data4"));
        QCOMPARE(anna.entities.keys(), (QList<int> { 1, 2, 3, 4, 5, 6, 8, 9, 10, 11, 12, 13 }));
    }

    void awkwardCases()
    {
        const pim::_Contact& bob = m_contacts.at(1);
        QCOMPARE(v(bob, 6, 0, "data1"), QStringLiteral("2002-01-01T00:00:00"));
        QCOMPARE(v(bob, 3, 0, "data2"), QStringLiteral("0")); // label row missing: kept
        QCOMPARE(v(bob, 3, 1, "data3"), QStringLiteral("_$!<mobile>!$_")); // case differs: own label
        QVERIFY(bob.entities.value(2).first().values.value("data15").toByteArray().startsWith("\x89PNG"));
        const pim::_Contact& apple = m_contacts.at(2);
        QCOMPARE(apple.fullName, QString());
        QCOMPARE(v(apple, 1, 0, "data2"), QString());
        QCOMPARE(v(apple, 3, 0, "data2"), QStringLiteral("12"));
        QVERIFY(!m_contacts.at(8).entities.contains(6)); // NULL birthday: none
        QCOMPARE(v(m_contacts.at(9), 6, 0, "data1"), QStringLiteral("2001-01-01T00:00:00")); // 0 is a date
    }

    // Values of records that are no person (NULL, before the first, between two, after the last)
    // are left out; everyone else keeps exactly their own values.
    void valuesOfNoPerson()
    {
        const QString dir = ContactFixtures::generate({ "--edge" });
        QVERIFY(ContactFixtures::exec(QDir(dir).absoluteFilePath(IOSContactsDb::kAddressBookName),
            "DELETE FROM ABPerson WHERE rowid=5;"
            "INSERT INTO ABMultiValue (record_id, property, identifier, label, value) VALUES "
            "(NULL,3,0,NULL,'n'),(0,3,0,NULL,'z'),(5,3,0,NULL,'gone'),(5,4,0,NULL,'g@x'),(99,3,0,NULL,'late'"
            ")"));
        const QList<pim::_Contact> list = IOSContactsDb(QDir(dir)).contacts();
        QCOMPARE(list.size(), m_contacts.size() - 1);
        for (int i = 0, j = 0; i < list.size(); ++i, ++j) {
            if (j == 4)
                ++j; // the deleted person
            QCOMPARE(list.at(i).fullName, m_contacts.at(j).fullName);
            QCOMPARE(list.at(i).entities.keys(), m_contacts.at(j).entities.keys());
            for (auto it = list.at(i).entities.cbegin(); it != list.at(i).entities.cend(); ++it) {
                const QList<pim::Entity>& before = m_contacts.at(j).entities.value(it.key());
                QCOMPARE(it.value().size(), before.size());
                for (int k = 0; k < before.size(); ++k)
                    QCOMPARE(it.value().at(k).values, before.at(k).values);
            }
        }
    }

    // The values read beside the people land on the right person, in the order of their rows, for
    // every shape of the value table around them.
    void valuesBesideThePeople_data()
    {
        QTest::addColumn<QString>("sql");
        QTest::addColumn<int>("person"); // index in the list
        QTest::addColumn<QString>("values"); // valueSummary of that person
        QTest::addColumn<int>("next"); // index of the person after it, -1 for none
        QTest::addColumn<QString>("nextValues");
        const char* ins
            = "INSERT INTO ABMultiValue (UID, record_id, property, identifier, label, value) VALUES ";
        QTest::newRow("a person without values")
            << "DELETE FROM ABMultiValue WHERE record_id=2" << 1 << "" << 2 << "3:1-800-MY-APPLE";
        QTest::newRow("a person with only values of no kind")
            << QString("DELETE FROM ABMultiValue WHERE record_id=2;") + ins
                + "(500,2,99,0,NULL,'x'),(501,2,6,0,NULL,'y')"
            << 1 << "" << 2 << "3:1-800-MY-APPLE";
        QTest::newRow("kinds interleaved in the rows") << QString(ins)
                + "(500,6,4,0,NULL,'e1'),(501,6,3,0,NULL,'p1'),(502,6,99,0,NULL,'x'),(503,6,22,0,NULL,'u'),"
                  "(504,6,3,0,NULL,'p2'),(505,6,4,0,NULL,'e2'),(506,7,3,0,NULL,'next')"
                                                       << 5 << "3:p1|3:p2|4:e1|4:e2|13:u" << 6 << "3:next";
        QTest::newRow("the last row is the last person's")
            << QString(ins) + "(500,10,3,0,NULL,'a'),(501,10,3,0,NULL,'b')" << 9 << "3:a|3:b" << -1 << "";
        QTest::newRow("the last person's rows, then rows of no person")
            << QString(ins) + "(500,10,3,0,NULL,'a'),(501,11,3,0,NULL,'late'),(502,12,4,0,NULL,'later')" << 9
            << "3:a" << -1 << "";
        QTest::newRow("address and instant message after a person without values") << QString(ins)
                + "(500,7,5,0,NULL,NULL),(501,7,13,0,NULL,NULL),(502,7,3,0,NULL,'p');"
                  "INSERT INTO ABMultiValueEntry (parent_id, key, value) VALUES (500,1,'9 Elm St'),"
                  "(501,8,'pat.im'),(501,7,'Jabber')" << 6 << "3:p|8:pat.im|12:9 Elm St"
                                                                                   << 7 << "";
    }
    void valuesBesideThePeople()
    {
        QFETCH(QString, sql);
        QFETCH(int, person);
        QFETCH(QString, values);
        QFETCH(int, next);
        QFETCH(QString, nextValues);
        const QString dir = ContactFixtures::generate({ "--edge" });
        QVERIFY(ContactFixtures::exec(QDir(dir).absoluteFilePath(IOSContactsDb::kAddressBookName), sql));
        const QList<pim::_Contact> list = IOSContactsDb(QDir(dir)).contacts();
        QCOMPARE(list.size(), 10);
        QCOMPARE(valueSummary(list.at(person)), values);
        if (next >= 0)
            QCOMPARE(valueSummary(list.at(next)), nextValues);
        QCOMPARE(valueSummary(list.first()), valueSummary(m_contacts.first()));
        QVERIFY(!list.at(1).entities.contains(0));
    }

    void withoutImages()
    {
        const QString dir = ContactFixtures::generate({ "--edge", "--no-images" });
        QVERIFY(!QFile::exists(QDir(dir).absoluteFilePath(IOSContactsDb::kImagesName)));
        IOSContactsDb db { QDir(dir) };
        const QList<pim::_Contact> list = db.contacts();
        QCOMPARE(list.size(), 10);
        QVERIFY(!list.first().entities.contains(2));
    }

    void badInput_data()
    {
        QTest::addColumn<QString>("sql");
        QTest::addColumn<int>("people");
        QTest::addColumn<QString>("error");
        QTest::newRow("no multi-values") << "DROP TABLE ABMultiValue" << 10 << "";
        QTest::newRow("no labels") << "DROP TABLE ABMultiValueLabel" << 10 << "";
        QTest::newRow("no entries") << "DROP TABLE ABMultiValueEntry" << 10 << "";
        QTest::newRow("null everywhere")
            << "UPDATE ABPerson SET "
               "First=NULL,Last=NULL,Middle=NULL,Prefix=NULL,Suffix=NULL,Organization=NULL,"
               "Department=NULL,JobTitle=NULL,Note=NULL,Birthday=NULL,Nickname=NULL;"
               "UPDATE ABMultiValue SET value=NULL,label=NULL,property=NULL"
            << 10 << "";
        QTest::newRow("no people table") << "DROP TABLE ABPerson" << 0 << "ABPerson";
        // A query the file holds in place of a table is not run: refused by name.
        QTest::newRow("people an endless view")
            << "ALTER TABLE ABPerson RENAME TO Stored; CREATE VIEW ABPerson AS WITH RECURSIVE n(i) AS "
               "(SELECT 1 UNION ALL SELECT i + 1 FROM n) SELECT s.* FROM n, Stored AS s"
            << 0 << "its \"ABPerson\" is a view";
        QTest::newRow("values an endless view")
            << "ALTER TABLE ABMultiValue RENAME TO Stored; CREATE VIEW ABMultiValue AS WITH RECURSIVE n(i) "
               "AS (SELECT 1 UNION ALL SELECT i + 1 FROM n) SELECT s.* FROM n, Stored AS s"
            << 0 << "its \"ABMultiValue\" is a view";
        // A column the file works out is refused by name, never read as blank.
        QTest::newRow("nickname generated")
            << "ALTER TABLE ABPerson DROP COLUMN Nickname; ALTER TABLE ABPerson "
               "ADD COLUMN Nickname AS (zeroblob(1000000000))"
            << 0 << "Nickname\" is generated";
    }
    void badInput()
    {
        QFETCH(QString, sql);
        QFETCH(int, people);
        QFETCH(QString, error);
        const QString dir = ContactFixtures::generate({ "--edge" });
        QVERIFY(ContactFixtures::exec(QDir(dir).absoluteFilePath(IOSContactsDb::kAddressBookName), sql));
        IOSContactsDb db { QDir(dir) };
        QList<pim::_Contact> list;
        QString what;
        TestEnv::endsWithin(60, "Reading the address book", [&] {
            try {
                list = db.contacts();
            } catch (const std::exception& e) {
                what = QString::fromUtf8(e.what());
            }
        });
        QVERIFY2(error.isEmpty() ? what.isEmpty() : what.contains(error), qPrintable(what));
        QCOMPARE(list.size(), people);
    }

    void birthdaysOutOfRange_data()
    {
        QTest::addColumn<QString>("value");
        QTest::addColumn<QString>("text"); // the birthday every person then has; empty for none
        QTest::newRow("seconds from 2001") << "31536000"
                                           << "2002-01-01T00:00:00";
        QTest::newRow("number as text") << "'31536000'"
                                        << "2002-01-01T00:00:00";
        QTest::newRow("text") << "'abc'"
                              << "";
        QTest::newRow("blank") << "' '"
                               << "";
        QTest::newRow("1e300") << "1e300"
                               << "";
        QTest::newRow("smallest integer") << "-9223372036854775808"
                                          << "";
        QTest::newRow("past year 9999") << "3e11"
                                        << "";
    }
    void birthdaysOutOfRange()
    {
        QFETCH(QString, value);
        QFETCH(QString, text);
        const QString dir = ContactFixtures::generate({ "--edge" });
        QVERIFY(ContactFixtures::exec(QDir(dir).absoluteFilePath(IOSContactsDb::kAddressBookName),
            "UPDATE ABPerson SET Birthday=" + value));
        IOSContactsDb db { QDir(dir) };
        const QList<pim::_Contact> list = db.contacts();
        QCOMPARE(list.size(), 10);
        for (const pim::_Contact& c : list) {
            QStringList birthdays;
            for (const pim::Entity& e : c.entities.value(pim::KindDate))
                if (e.values.value("data2").toInt() == 3)
                    birthdays << e.values.value("data1").toString();
            QCOMPARE(birthdays, text.isEmpty() ? QStringList() : QStringList { text });
        }
    }

    void damagedImagesFile()
    {
        const QString dir = ContactFixtures::generate({ "--edge" });
        QFile f(QDir(dir).absoluteFilePath(IOSContactsDb::kImagesName));
        QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write(QByteArray(8192, 'z'));
        f.close();
        IOSContactsDb db { QDir(dir) };
        const QList<pim::_Contact> list = db.contacts();
        QCOMPARE(list.size(), 10);
        QVERIFY(!list.first().entities.contains(2));
    }

    void damagedImagesPage()
    {
        // Photos of 10000 bytes, each of one letter, span overflow pages; the first overflow page
        // of the second person's photo is overwritten.
        const QString dir = ContactFixtures::generate({ "--edge" });
        const QString img = QDir(dir).absoluteFilePath(IOSContactsDb::kImagesName);
        const char* photo = "cast(replace(hex(zeroblob(10000)),'00',char(64+record_id)) as blob)";
        QVERIFY(ContactFixtures::exec(img,
            QString("INSERT INTO ABFullSizeImage (record_id,crop_x,crop_y,crop_width) VALUES "
                    "(3,0,0,0),(4,0,0,0); UPDATE ABFullSizeImage SET data=%1")
                .arg(photo)));
        QFile f(img);
        QVERIFY(f.open(QIODevice::ReadWrite));
        QByteArray bytes = f.readAll();
        const int pageSize = (uchar(bytes.at(16)) << 8) | uchar(bytes.at(17));
        const QByteArray letters(pageSize - 4, 'B');
        int page = -1;
        for (int p = 0; page < 0 && (p + 1) * pageSize <= bytes.size(); ++p) {
            if (bytes.mid(p * pageSize + 4, pageSize - 4) == letters)
                page = p;
        }
        QVERIFY(page > 0);
        bytes.replace(page * pageSize, pageSize, QByteArray(pageSize, '\xff'));
        QVERIFY(f.seek(0) && f.write(bytes) == bytes.size());
        f.close();
        IOSContactsDb db { QDir(dir) };
        const QList<pim::_Contact> list = db.contacts();
        QCOMPARE(list.size(), 10);
        const QList<QByteArray> expected { QByteArray(10000, 'A'), QByteArray(), QByteArray(10000, 'C'),
            QByteArray(10000, 'D'), QByteArray() };
        for (int i = 0; i < expected.size(); ++i)
            QCOMPARE(
                list.at(i).entities.value(2).value(0).values.value("data15").toByteArray(), expected.at(i));
    }

    void missingColumns()
    {
        const QString dir = TestEnv::tempDir();
        QVERIFY(ContactFixtures::exec(QDir(dir).absoluteFilePath(IOSContactsDb::kAddressBookName),
            "CREATE TABLE ABPerson (ROWID INTEGER PRIMARY KEY, First TEXT, Last TEXT);"
            "INSERT INTO ABPerson VALUES (1,'Ann','Lee')"));
        IOSContactsDb db { QDir(dir) };
        const QList<pim::_Contact> list = db.contacts();
        QCOMPARE(list.size(), 1);
        QCOMPARE(list.first().fullName, QStringLiteral("Ann Lee"));
    }

    void notADatabase()
    {
        const QString dir = TestEnv::tempDir();
        QFile f(QDir(dir).absoluteFilePath(IOSContactsDb::kAddressBookName));
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(QByteArray(4096, 'x'));
        f.close();
        IOSContactsDb db { QDir(dir) };
        QVERIFY_THROWS_EXCEPTION(std::exception, db.contacts());
    }

    void realBooks_data()
    {
        QTest::addColumn<QString>("folder");
        QTest::addColumn<int>("people");
        QTest::addColumn<int>("multiValues");
        QTest::addColumn<int>("photos");
        QTest::newRow("tracy") << "tracy-phone-2012" << 6 << 9 << 0;
        QTest::newRow("ios15") << "ileapp-ios15-contacts" << 9 << 13 << 2;
        QTest::newRow("empty") << "otapki-iphone/HomeDomain/Library/AddressBook" << 0 << 0 << 0;
    }
    void realBooks()
    {
        QM_REQUIRE_SHARED();
        QFETCH(QString, folder);
        QFETCH(int, people);
        QFETCH(int, multiValues);
        QFETCH(int, photos);
        IOSContactsDb db { QDir(stageReal(folder)) };
        const QList<pim::_Contact> list = db.contacts();
        QCOMPARE(db.total(), qint64(people));
        QCOMPARE(list.size(), people);
        int values = 0, pics = 0;
        for (const pim::_Contact& c : list) {
            for (int kind : { 3, 4, 8, 11, 12, 13 }) // these books hold no dates
                values += int(c.entities.value(kind).size());
            pics += int(c.entities.value(2).size());
        }
        QCOMPARE(values, multiValues);
        QCOMPARE(pics, photos);
    }

    void realIos15Details()
    {
        QM_REQUIRE_SHARED();
        IOSContactsDb db { QDir(stageReal("ileapp-ios15-contacts")) };
        const QList<pim::_Contact> list = db.contacts();
        const pim::_Contact& apple = list.at(1);
        QCOMPARE(v(apple, 10, 0, "data1"), QStringLiteral("Apple Inc."));
        QCOMPARE(v(apple, 12, 0, "data1"),
            QStringLiteral("One Apple Park Way\nCupertino, CA 95014\nUnited States"));
        QCOMPARE(v(apple, 12, 0, "data2"), QStringLiteral("2"));
        QVERIFY(
            list.at(2).entities.value(2).first().values.value("data15").toByteArray().startsWith("\x89PNG"));
        QVERIFY(
            list.at(3).entities.value(2).first().values.value("data15").toByteArray().startsWith("\xff\xd8"));
        const pim::_Contact& josh = list.at(6);
        QCOMPARE(josh.fullName, QStringLiteral("Josh Hickman"));
        QCOMPARE(v(josh, 3, 1, "data3"), QStringLiteral("TextNow"));
        QCOMPARE(v(josh, 4, 0, "data1"), QStringLiteral("joshuahickman957@gmail.com")); // unlabelled, kept
    }
};

QTEST_GUILESS_MAIN(TestIOSContactsDb)
#include "TestIOSContactsDb.moc"
