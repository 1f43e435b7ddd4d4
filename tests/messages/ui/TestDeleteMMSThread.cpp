#include "app/KeptFileName.h"
#include "app/ui/shared/ProgressForm.h"
#include "messages/modern/IOS6MessageDb.h"
#include "messages/store/MsgAttachment.h"
#include "messages/support/MsgFixtures.h"
#include "messages/ui/BackupMMSThread.h"
#include "messages/ui/DeleteMMSThread.h"
#include "messages/ui/support/MsgUiFixtures.h"
#include "support/ForeignDisk.h"
#include "support/NameMark.h"
#include "support/TestEnv.h"

#include <QtTest>

using namespace MsgFixtures;
using namespace MsgUiFixtures;

namespace
{
// A local store filled from the generated device database, with its attachment files.
QString makeStore()
{
    const QString source = generate("ios6");
    if (source.isEmpty())
        return QString();
    MsgData data = loadFolder(source);
    const QString store = TestEnv::tempDir();
    ProgressForm form;
    BackupMMSThread thread(QDir(store), _CountryInfo(), data.messages(), form, nullptr);
    return runQuiet(form, thread) == 1 ? store : QString();
}

QList<_MsgMessage*> withAttachments(const MsgData& data)
{
    QList<_MsgMessage*> list;
    for (_MsgMessage* m : data.messages())
        if (!m->_attachments.isEmpty() && QFileInfo(m->attachments().first()->_path).isFile())
            list << m;
    return list;
}

// The messages of a store as its own page reads them, attachments an earlier version saved included.
MsgData loadOwnStore(const QString& store)
{
    MsgData data;
    IOS6MessageDb db(QDir(store), _CountryInfo(), false);
    db.readAsOwnStore(QDir(store + "/file-relay"));
    db.messages(data, 0);
    return data;
}

int runDelete(const QString& store, const QList<_MsgMessage*>& list, bool cancel)
{
    ProgressForm form;
    DeleteMMSThread thread(QDir(store), list, form, nullptr);
    if (cancel) {
        runCancelled(form, thread);
        return 0;
    }
    return runQuiet(form, thread);
}
} // namespace

class TestDeleteMMSThread : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void deleteRemovesRowsAndFreedFilesOnly()
    {
        const QString store = makeStore();
        QVERIFY(!store.isEmpty());
        MsgData data = loadFolder(store);
        const QList<_MsgMessage*> victims = withAttachments(data).mid(0, 1);
        QVERIFY(!victims.isEmpty());
        const _MsgAttachment* att = victims.first()->attachments().first();
        QVERIFY(QFileInfo(att->_path).isFile());
        // A second message still refers to the same attachment file: the file must stay.
        const QString shared = data.messages().last()->guid == victims.first()->guid
            ? data.messages().first()->guid
            : data.messages().last()->guid;
        QVERIFY(execSql(smsPath(store),
            QStringLiteral("insert into attachment(guid,filename) values('copy','%1')").arg(att->filename)));
        QVERIFY(execSql(smsPath(store),
            QStringLiteral(
                "insert into message_attachment_join select m.ROWID, a.ROWID from message m, attachment a "
                "where m.guid='%1' and a.guid='copy'")
                .arg(shared)));
        const qint64 before = data.p()->messages.size();
        QCOMPARE(runDelete(store, victims, false), 1);
        QCOMPARE(loadFolder(store).p()->messages.size(), before - 1);
        QVERIFY(QFileInfo(att->_path).isFile());

        QVERIFY(execSql(smsPath(store), "delete from attachment where guid='copy'"));
        MsgData again = loadFolder(store);
        const QList<_MsgMessage*> next = withAttachments(again).mid(0, 1);
        const QString file = next.first()->attachments().first()->_path;
        QVERIFY(QFileInfo(file).isFile());
        QCOMPARE(runDelete(store, next, false), 1);
        QVERIFY(!QFileInfo(file).exists());

        // A folder of the store that became a link to one outside: what lies there is not the
        // store's, and stays.
        MsgData third = loadFolder(store);
        const QList<_MsgMessage*> last = withAttachments(third).mid(0, 1);
        QVERIFY(!last.isEmpty());
        const QFileInfo linked(last.first()->attachments().first()->_path);
        const QString outside = TestEnv::tempDir() + "/outside";
        QVERIFY(QDir().rename(linked.absolutePath(), outside));
        QVERIFY(QFile::link(outside, linked.absolutePath()));
        QCOMPARE(runDelete(store, last, false), 1);
        QVERIFY(QFile::exists(outside + "/" + linked.fileName()));
    }

    // The file an earlier version kept an attachment in goes with the last record that leads to it,
    // by its name now or its earlier one: while another is left, the file may hold its bytes.
    void deleteRemovesEarlierFiles_data()
    {
        QTest::addColumn<QStringList>("records"); // device paths below one attachment folder
        QTest::addColumn<QStringList>("files"); // below that folder's copy, "name=bytes"
        QTest::addColumn<QList<int>>("deleted"); // rowids of the messages deleted
        QTest::addColumn<QStringList>("left"); // the folder's files afterwards
        QTest::addColumn<QString>("disk"); // the store's disk: empty for the tests' own, else its kind
        QTest::newRow("an earlier file taken")
            << QStringList { "a:b.jpg", "c.jpg" } << QStringList { "ab.jpg=one", "c.jpg=two" }
            << QList<int> { 1 } << QStringList { "c.jpg" } << QString();
        QTest::newRow("an earlier file two share, one deleted")
            << QStringList { "a:b.jpg", "a?b.jpg", "c:d.jpg" } << QStringList { "ab.jpg=one", "cd.jpg=two" }
            << QList<int> { 1, 3 } << QStringList { "ab.jpg" } << QString();
        QTest::newRow("an earlier file two share, both deleted")
            << QStringList { "a:b.jpg", "a?b.jpg" } << QStringList { "ab.jpg=one" } << QList<int> { 1, 2 }
            << QStringList() << QString();
        QTest::newRow("saved again by this version")
            << QStringList { "a:b.jpg", "c.jpg" }
            << QStringList { "ab" + nameMark("a:b.jpg") + ".jpg=new", "ab.jpg=old", "c.jpg=two" }
            << QList<int> { 1 } << QStringList { "c.jpg" } << QString();
        QTest::newRow("another's file now")
            << QStringList { "x:y.jpg", "xy.jpg", "z?.jpg" } << QStringList { "xy.jpg=plain", "z.jpg=alone" }
            << QList<int> { 1, 3 } << QStringList { "xy.jpg" } << QString();
        // The file at a deleted record's name now holds what an earlier version saved of one left.
        QTest::newRow("a file one left leads to by its earlier name")
            << QStringList { "ab.jpg", "a?b.jpg" } << QStringList { "ab.jpg=one" } << QList<int> { 1 }
            << QStringList { "ab.jpg" } << QString();
        QTest::newRow("a file one left leads to by another case")
            << QStringList { "ab.jpg", "AB.jpg" } << QStringList { "AB.jpg=one" } << QList<int> { 1 }
            << QStringList { "AB.jpg" } << QString("exfat");
        // An earlier version kept one file for both: the device's name, fitted now, finds it too.
        QTest::newRow("a file one left leads to by another case of a device's name")
            << QStringList { "AUX.jpg", "aux.jpg" } << QStringList { "AUX.jpg=one" } << QList<int> { 1 }
            << QStringList { "AUX.jpg" } << QString("exfat");
        // Two names in two cases as a save keeps them: each record's copy goes with it alone.
        const QString aside = KeptFileName::aside("photo.JPG");
        QTest::newRow("the copy set aside of a name in another case")
            << QStringList { "Photo.JPG", "photo.JPG" } << QStringList { "Photo.JPG=one", aside + "=two" }
            << QList<int> { 2 } << QStringList { "Photo.JPG" } << QString("exfat");
        QTest::newRow("the copy beside one set aside")
            << QStringList { "Photo.JPG", "photo.JPG" } << QStringList { "Photo.JPG=one", aside + "=two" }
            << QList<int> { 1 } << QStringList { aside } << QString("exfat");
        QTest::newRow("a file only the deleted leads to, by case")
            << QStringList { "ab.jpg", "AB.jpg" } << QStringList { "ab.jpg=one", "AB.jpg=two" }
            << QList<int> { 1 } << QStringList { "AB.jpg" } << QString();
    }
    void deleteRemovesEarlierFiles()
    {
        QFETCH(QStringList, records);
        QFETCH(QStringList, files);
        QFETCH(QList<int>, deleted);
        QFETCH(QStringList, left);
        QFETCH(QString, disk);
        std::unique_ptr<ForeignDisk> mounted;
        if (!disk.isEmpty()) {
            mounted = std::make_unique<ForeignDisk>(ForeignDisk::kindOf(disk));
            if (!mounted->isMounted())
                QSKIP(qPrintable(mounted->whyNot()));
        }
        const QString store = mounted ? mounted->path() + "/store" : TestEnv::tempDir();
        const QString folder = "var/mobile/Library/SMS/Attachments/ab/01/G/";
        for (QString& r : records)
            r.prepend("~/Library/SMS/Attachments/ab/01/G/");
        for (QString& f : files)
            f.prepend(folder);
        QVERIFY(makeStoreWith(store, records, files));
        MsgData data = loadOwnStore(store);
        QList<_MsgMessage*> victims;
        for (const int rowid : deleted)
            victims << data.p()->messages.value(rowid);
        QCOMPARE(runDelete(store, victims, false), 1);
        QCOMPARE(QDir(store + "/file-relay/" + folder).entryList(QDir::Files, QDir::Name), left);
    }

    void cancelAndFailureChangeNothing()
    {
        const QString store = makeStore();
        QVERIFY(!store.isEmpty());
        MsgData data = loadFolder(store);
        const QString rows = querySql(smsPath(store), "select count(*) from message");
        const QString file = withAttachments(data).first()->attachments().first()->_path;
        QCOMPARE(runDelete(store, data.messages(), true), 0);
        QCOMPARE(querySql(smsPath(store), "select count(*) from message"), rows);
        // A failing statement half-way (the join table gone) rolls back what went before.
        QVERIFY(execSql(smsPath(store), "alter table message_attachment_join rename to maj_old"));
        QCOMPARE(runDelete(store, data.messages(), false), 0);
        QVERIFY(execSql(smsPath(store), "alter table maj_old rename to message_attachment_join"));
        QCOMPARE(querySql(smsPath(store), "select count(*) from message"), rows);
        QVERIFY(QFileInfo(file).isFile());
    }

    void emptyListCommitsNothing()
    {
        const QString store = makeStore();
        QVERIFY(!store.isEmpty());
        QCOMPARE(runDelete(store, {}, false), 1);
    }
};

QTEST_MAIN(TestDeleteMMSThread)
#include "TestDeleteMMSThread.moc"
