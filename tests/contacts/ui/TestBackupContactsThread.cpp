#include "app/IdsTranslator.h"
#include "app/ui/shared/ProgressForm.h"
#include "app/ui/support/EnglishTexts.h"
#include "contacts/store/IOSContactCombineRule.h"
#include "contacts/store/IOSContactsDb.h"
#include "contacts/support/ContactFixtures.h"
#include "contacts/ui/BackupContactsThread.h"
#include "support/FailingDisk.h"
#include "support/TestEnv.h"

#include <QDir>
#include <QFile>
#include <QtTest>

namespace
{
pim::_Contact named(const QString& name)
{
    pim::_Contact c;
    c.fullName = name;
    c.entities[1].append(ContactFixtures::entity({ { "data1", name }, { "data2", name } }));
    c.entities[3].append(ContactFixtures::entity({ { "data1", "555-" + name }, { "data2", 2 } }));
    return c;
}

// Runs the thread under a quiet dialog; returns the dialog's result and its text.
int save(LocalContactsDb& store, const QList<pim::_Contact>& list, QString& text, bool cancelFirst = false)
{
    ProgressForm form;
    form.setQuiet(true);
    form.cancelled = cancelFirst;
    BackupContactsThread thread(&store, list, &form);
    thread.start();
    const int result = form.exec();
    thread.wait();
    text = form.resultText();
    return result;
}
} // namespace

class TestBackupContactsThread : public QObject
{
    Q_OBJECT
    IdsTranslator m_translator;

private slots:
    void initTestCase() { installEnglishTexts(m_translator); }

    void messages_data()
    {
        QTest::addColumn<QStringList>("stored");
        QTest::addColumn<QStringList>("incoming");
        QTest::addColumn<QString>("message");
        QTest::addColumn<int>("total");
        QTest::newRow("empty") << QStringList() << QStringList() << "Successfully backup 0 contacts." << 0;
        QTest::newRow("three new") << QStringList() << QStringList { "A", "B", "C" }
                                   << "Successfully backup 3 contacts." << 3;
        QTest::newRow("one merged") << QStringList { "b" } << QStringList { "A", "B", "C" }
                                    << "Successfully backup 2 contacts with 1  merged." << 3;
        QTest::newRow("same name twice") << QStringList() << QStringList { "A", "A" }
                                         << "Successfully backup 1 contacts with 1  merged." << 1;
        QTest::newRow("all merged") << QStringList { "A" } << QStringList { "A" }
                                    << "Successfully backup 0 contacts with 1  merged." << 1;
    }
    void messages()
    {
        QFETCH(QStringList, stored);
        QFETCH(QStringList, incoming);
        QFETCH(QString, message);
        QFETCH(int, total);
        QString path;
        auto store = ContactFixtures::newStore(&path);
        QList<pim::_Contact> first, second;
        for (const QString& n : stored)
            first << named(n);
        for (const QString& n : incoming)
            second << named(n);
        QString text;
        if (!first.isEmpty())
            QCOMPARE(save(*store, first, text), 1);
        QCOMPARE(save(*store, second, text), 1);
        QCOMPARE(text, message);
        QVERIFY(QFile::exists(path));
        QCOMPARE(store->total(), qint64(total));
    }

    void failureRollsBackEverything()
    {
        const QString path = QDir(TestEnv::tempDir()).absoluteFilePath("contacts.db");
        QVERIFY(ContactFixtures::exec(path,
            "CREATE TABLE contact (_id INTEGER NOT NULL PRIMARY KEY AUTOINCREMENT, src_id TEXT, full_name "
            "TEXT)"));
        LocalContactsDb store(path, QSharedPointer<AbsContactCombineRule>(new IOSContactCombineRule));
        QString text;
        QCOMPARE(save(store, { named("A"), named("B") }, text), 0);
        QVERIFY2(text.contains("data"), qPrintable(text));
        QCOMPARE(store.total(), qint64(0));
        QVERIFY(!store.db.tranDepth());
        QVERIFY(store.mergeSavepoints()); // as before the import
    }

    // A store the disk refuses is named with the disk's reason, not SQLite's "disk I/O error".
    void fullDiskNamesTheStore()
    {
        FailingDisk::SmallDisk disk(1024 * 1024);
        if (!disk.isMounted())
            QSKIP(qPrintable(disk.whyNot()));
        const QString path = disk.path() + "/contacts.db";
        LocalContactsDb store(path, QSharedPointer<AbsContactCombineRule>(new IOSContactCombineRule));
        QString text;
        QCOMPARE(save(store, { named("A") }, text), 1);
        disk.fill();
        QList<pim::_Contact> many;
        for (int i = 0; i < 400; ++i)
            many.append(named(QString("Contact %1 ").arg(i) + QString(200, 'x')));
        QCOMPARE(save(store, many, text), 0);
        QCOMPARE(text, "Cannot write " + path + ". No space left on device");
    }

    void cancelledBeforeTheFirst()
    {
        auto store = ContactFixtures::newStore();
        QString text;
        save(*store, { named("A") }, text, true);
        QCOMPARE(store->total(), qint64(0));
    }

    void realBookTwice()
    {
        QM_REQUIRE_SHARED();
        const QString src = TestEnv::realFixture("ileapp-ios15-contacts");
        const QDir cache(TestEnv::tempDir());
        QVERIFY(QFile::copy(
            src + "/AddressBook.sqlitedb", cache.absoluteFilePath(IOSContactsDb::kAddressBookName)));
        QVERIFY(QFile::copy(
            src + "/AddressBookImages.sqlitedb", cache.absoluteFilePath(IOSContactsDb::kImagesName)));
        const QList<pim::_Contact> list = IOSContactsDb(cache).contacts();
        QString path;
        auto store = ContactFixtures::newStore(&path);
        QString text;
        QCOMPARE(save(*store, list, text), 1);
        QCOMPARE(text, QStringLiteral("Successfully backup 8 contacts with 1  merged."));
        QCOMPARE(store->total(), qint64(8));
        const QString rows = ContactFixtures::query(path, "select * from data order by _id");
        QCOMPARE(save(*store, list, text), 1);
        QCOMPARE(text, QStringLiteral("Successfully backup 0 contacts with 9  merged."));
        QCOMPARE(store->total(), qint64(8));
        QCOMPARE(ContactFixtures::query(path, "select * from data order by _id"), rows);
    }
};

QTEST_MAIN(TestBackupContactsThread)
#include "TestBackupContactsThread.moc"
