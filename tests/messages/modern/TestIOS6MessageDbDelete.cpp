#include "app/sqlite/Sqlite3DB.h"
#include "messages/modern/IOS6MessageDb.h"
#include "messages/store/MsgChat.h"
#include "messages/store/MsgData.h"
#include "messages/store/MsgMessage.h"
#include "messages/support/MsgFixtures.h"
#include "support/TestEnv.h"

#include <QDir>
#include <QtTest>

using namespace MsgFixtures;

namespace
{
// A store of the program's own schema: chat 1 holds messages 1 and 2 (2 has an attachment), chat 3
// holds message 3; message 4 has no chat; message 5 is in chats 1 and 2.
QString makeStore()
{
    const QString folder = TestEnv::tempDir();
    IOS6MessageDb db(QDir(folder), _CountryInfo(), true);
    db.openCheck();
    db.close();
    const QString path = smsPath(folder);
    for (const char* sql : {
             "insert into chat(ROWID,guid) values(1,'c1'),(2,'c2'),(3,'c3')",
             "insert into message(ROWID,guid,item_type) "
             "values(1,'m1',0),(2,'m2',0),(3,'m3',0),(4,'m4',0),(5,'m5',0)",
             "insert into chat_message_join(chat_id,message_id) values(1,1),(1,2),(3,3),(1,5),(2,5)",
             "insert into attachment(ROWID,guid,filename) values(1,'a1','~/Library/SMS/Attachments/x.jpg')",
             "insert into message_attachment_join(message_id,attachment_id) values(2,1)",
         })
        if (!execSql(path, QString::fromLatin1(sql)))
            return QString();
    return folder;
}

void deleteRow(const QString& folder, qint64 rowid, _MsgChat* chat)
{
    IOS6MessageDb db(QDir(folder), _CountryInfo(), false);
    _MsgMessage m;
    m.rowid = rowid;
    m._chat = chat;
    db.beginEdit();
    db.deleteMessage(&m);
    db.endEdit(true);
}
} // namespace

class TestIOS6MessageDbDelete : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void totalCountsTheListedMessages_data()
    {
        QTest::addColumn<QString>("extra");
        QTest::addColumn<qint64>("expected");
        QTest::newRow("as built: five joins") << QString() << qint64(5);
        QTest::newRow("item type 4 left out") << "update message set item_type=4 where ROWID=1" << qint64(4);
        QTest::newRow("NULL item type: an ordinary message")
            << "update message set item_type=NULL where ROWID=3" << qint64(5);
        QTest::newRow("group events left out")
            << "update message set item_type=ROWID where ROWID in (1,2,3)" << qint64(2);
        QTest::newRow("join without message") << "insert into chat_message_join values(2,99)" << qint64(5);
        // Emptying the sync tables at the open gives the file's triggers back as off: the trigger
        // here would join a deleted message again.
        QTest::newRow("a trigger of the file, sync tables holding rows")
            << "create table sync_deleted_messages(ROWID INTEGER PRIMARY KEY, guid TEXT); insert into "
               "sync_deleted_messages(guid) values('gone'); create trigger rejoin after delete on message "
               "begin insert into chat_message_join(chat_id, message_id) values(3, old.ROWID); end"
            << qint64(5);
    }

    void totalCountsTheListedMessages()
    {
        QFETCH(QString, extra);
        QFETCH(qint64, expected);
        const QString folder = makeStore();
        QVERIFY(!folder.isEmpty());
        if (!extra.isEmpty())
            QVERIFY(execSql(smsPath(folder), extra));
        IOS6MessageDb db(QDir(folder), _CountryInfo(), false);
        QCOMPARE(db.total(), expected);
        // After a full load, which may have counted the list itself, and counted again, the count
        // follows a change by another connection and one by this one.
        MsgData loaded;
        db.messages(loaded, 0);
        QCOMPARE(db.total(), expected);
        QVERIFY(execSql(smsPath(folder), "insert into chat_message_join(chat_id,message_id) values(3,4)"));
        QCOMPARE(db.total(), expected + 1);
        _MsgMessage four;
        four.rowid = 4;
        db.beginEdit();
        db.deleteMessage(&four);
        db.endEdit(true);
        QCOMPARE(db.total(), expected);
    }

    void totalWithoutItemTypeColumnCountsEveryJoin()
    {
        const QString folder = TestEnv::tempDir();
        const QString path = smsPath(folder);
        QDir().mkpath(QFileInfo(path).absolutePath());
        {
            Sqlite3DB create;
            create.openThrow(path, 6);
        }
        QVERIFY(execSql(path, "create table message(ROWID INTEGER PRIMARY KEY, guid TEXT)"));
        QVERIFY(execSql(path, "create table chat_message_join(chat_id INTEGER, message_id INTEGER)"));
        QVERIFY(execSql(path, "insert into message values(1,'a'),(2,'b')"));
        QVERIFY(execSql(path, "insert into chat_message_join values(1,1),(1,2),(2,2)"));
        IOS6MessageDb db(QDir(folder), _CountryInfo(), false);
        QVERIFY(!db.isItemTypeEnabled()); // never opened yet
        QCOMPARE(db.total(), qint64(3));
        QVERIFY(!db.isItemTypeEnabled());
    }

    void deleteMessageKeepsOrDropsItsChat_data()
    {
        QTest::addColumn<qint64>("rowid");
        QTest::addColumn<qint64>("chat");
        QTest::addColumn<QString>("chatsLeft");
        QTest::addColumn<QString>("attachmentsLeft");
        QTest::newRow("one of several keeps the chat") << qint64(1) << qint64(1) << "3"
                                                       << "1";
        QTest::newRow("last message drops the chat") << qint64(3) << qint64(3) << "2"
                                                     << "1";
        QTest::newRow("without chat no chat goes") << qint64(4) << qint64(0) << "3"
                                                   << "1";
        QTest::newRow("attachment row follows its last join") << qint64(2) << qint64(1) << "3"
                                                              << "0";
        QTest::newRow("message in two chats leaves both joins") << qint64(5) << qint64(2) << "2"
                                                                << "1";
    }

    void deleteMessageKeepsOrDropsItsChat()
    {
        QFETCH(qint64, rowid);
        QFETCH(qint64, chat);
        QFETCH(QString, chatsLeft);
        QFETCH(QString, attachmentsLeft);
        const QString folder = makeStore();
        QVERIFY(!folder.isEmpty());
        _MsgChat c;
        c.rowid = chat;
        deleteRow(folder, rowid, chat ? &c : nullptr);
        const QString path = smsPath(folder);
        QCOMPARE(
            querySql(path, QStringLiteral("select count(*) from message where ROWID=%1").arg(rowid)), "0");
        QCOMPARE(querySql(path,
                     QStringLiteral("select count(*) from chat_message_join where message_id=%1").arg(rowid)),
            "0");
        QCOMPARE(querySql(path, "select count(*) from chat"), chatsLeft);
        QCOMPARE(querySql(path, "select count(*) from attachment"), attachmentsLeft);
    }

    void deletingAMessageNoLongerThereOnlyDropsAnEmptyChat()
    {
        const QString folder = makeStore();
        QVERIFY(execSql(smsPath(folder), "delete from chat_message_join where chat_id=3"));
        _MsgChat c;
        c.rowid = 3;
        deleteRow(folder, 42, &c);
        QCOMPARE(querySql(smsPath(folder), "select count(*) from chat"), "2");
        // The store's trigger drops every message left without a join (3, and 4 that never had one).
        QCOMPARE(querySql(smsPath(folder), "select count(*) from message"), "3");
    }

    void referencedAttachmentFile()
    {
        const QString folder = makeStore();
        IOS6MessageDb db(QDir(folder), _CountryInfo(), false);
        QVERIFY(db.isAttachmentFileReferenced("~/Library/SMS/Attachments/x.jpg"));
        QVERIFY(!db.isAttachmentFileReferenced("~/Library/SMS/Attachments/y.jpg"));
    }
};

QTEST_GUILESS_MAIN(TestIOS6MessageDbDelete)
#include "TestIOS6MessageDbDelete.moc"
