#include "app/sqlite/Sqlite3DB.h"
#include "messages/store/MsgData.h"
#include "messages/store/MsgTableLoader.h"
#include "support/TestEnv.h"

#include <QtTest>

class TestMsgTableLoader : public QObject
{
    Q_OBJECT

    // Two chats sharing a handle; message 3 is in both chats, message 4 is not a plain message.
    static void makeSchema(Sqlite3DB& db)
    {
        db.openThrow(TestEnv::tempDir() + "/sms.db", 6);
        for (const char* sql : {
                 "CREATE TABLE chat (ROWID INTEGER PRIMARY KEY, guid TEXT, chat_identifier TEXT)",
                 "CREATE TABLE handle (ROWID INTEGER PRIMARY KEY, id TEXT, country TEXT, service TEXT)",
                 "CREATE TABLE chat_handle_join (chat_id INTEGER, handle_id INTEGER)",
                 "CREATE TABLE message (ROWID INTEGER PRIMARY KEY, guid TEXT, text TEXT, handle_id INTEGER, "
                 "country TEXT, other_handle INTEGER, item_type INTEGER)",
                 "CREATE TABLE chat_message_join (chat_id INTEGER, message_id INTEGER)",
                 "CREATE TABLE attachment (ROWID INTEGER PRIMARY KEY, guid TEXT, filename TEXT)",
                 "CREATE TABLE message_attachment_join (message_id INTEGER, attachment_id INTEGER)",
                 "INSERT INTO chat VALUES (1, 'c1', '+1'), (2, 'c2', '+2')",
                 "INSERT INTO handle VALUES (5, '+1', 'us', 'SMS'), (6, '+2', '', 'SMS')",
                 "INSERT INTO chat_handle_join VALUES (1, 5), (2, 5), (2, 6)",
                 "INSERT INTO message VALUES (1, 'm1', 'a', 5, '', 6, 0), (2, 'm2', 'b', 6, 'fr', 0, 0), "
                 "(3, 'm3', 'c', 0, '', 9, 0), (4, 'm4', 'd', 5, '', 0, 2)",
                 "INSERT INTO chat_message_join VALUES (1, 1), (2, 2), (1, 3), (2, 3), (1, 4)",
                 "INSERT INTO attachment VALUES (8, 'a8', 'x.jpg')",
                 "INSERT INTO message_attachment_join VALUES (1, 8), (3, 8)",
             })
            db.executeThrow(sql);
    }

private Q_SLOTS:
    // Only a message joined to an attachment keeps its attributed body; an empty text is taken
    // from the body either way.
    void bodyKeptOnlyWithAttachments_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("attached");
        QTest::addColumn<QString>("expectText");
        QTest::addColumn<bool>("expectBody");
        QTest::newRow("text, attachment") << "t" << true << "t" << true;
        QTest::newRow("text, no attachment") << "t" << false << "t" << false;
        QTest::newRow("empty text, attachment") << "" << true << "hello" << true;
        QTest::newRow("empty text, no attachment") << "" << false << "hello" << false;
    }

    void bodyKeptOnlyWithAttachments()
    {
        QFETCH(QString, text);
        QFETCH(bool, attached);
        QFETCH(QString, expectText);
        QFETCH(bool, expectBody);
        const QByteArray body = QByteArray(
            "\x04\x0bstreamtyped\x81\xe8\x03\x84\x01@\x84\x84\x84\x08NSString\x01\x84\x01+\x05hello");
        Sqlite3DB db;
        db.openThrow(TestEnv::tempDir() + "/body.db", 6);
        for (const char* sql :
            {
                "CREATE TABLE chat (ROWID INTEGER PRIMARY KEY, guid TEXT)",
                "CREATE TABLE message (ROWID INTEGER PRIMARY KEY, guid TEXT, text TEXT, attributedBody BLOB)",
                "CREATE TABLE chat_message_join (chat_id INTEGER, message_id INTEGER)",
                "CREATE TABLE message_attachment_join (message_id INTEGER, attachment_id INTEGER)",
                "INSERT INTO chat VALUES (1, 'c1')",
                "INSERT INTO chat_message_join VALUES (1, 7)",
            })
            db.executeThrow(sql);
        db.executeThrow(
            Sqlite3Sql("INSERT INTO message VALUES (7, 'm7', ?, ?)").addTextParam(text).addBlobParam(body));
        if (attached)
            db.executeThrow("INSERT INTO message_attachment_join VALUES (7, 8)");
        MsgData data;
        MsgTableLoader loader(db, *data.p());
        loader.loadChats();
        loader.loadMessages(0, false, MsgMessageColumns::Dates::Seconds);
        const _MsgMessage* m = data.p()->messages.value(7);
        QVERIFY(m);
        QCOMPARE(QString(m->text), expectText);
        QCOMPARE(m->attributedBody, expectBody ? body : QByteArray());
    }

    void loadsAndLinksOnce()
    {
        Sqlite3DB db;
        makeSchema(db);
        MsgData data;
        __MsgData* d = data.p();
        MsgTableLoader loader(db, *d);
        loader.loadChats();
        int created = 0;
        loader.loadHandles([&](_MsgHandle& h) {
            ++created;
            h.id += "!";
        });
        QCOMPARE(d->chats.size(), 2);
        QCOMPARE(created, 2);
        QCOMPARE(d->chats.value(2)->_handles.size(), 2);
        QCOMPARE(d->chats.value(1)->_handles.value("5"), d->handles.value(5));
        QCOMPARE(d->handles.value(5)->id, QString("+1!"));

        loader.loadMessages(0, true, MsgMessageColumns::Dates::Seconds);
        QCOMPARE(d->messages.size(), 3);
        _MsgMessage* m1 = d->messages.value(1);
        QCOMPARE(m1->_sort_rowid, qint64(1));
        QCOMPARE(m1->_sender, d->handles.value(5));
        QCOMPARE(m1->country, QString("us")); // from the sender
        QCOMPARE(m1->_other_handle, d->handles.value(6));
        QCOMPARE(d->messages.value(2)->country, QString("fr"));
        _MsgMessage* m3 = d->messages.value(3);
        QVERIFY(!m3->_sender && !m3->_other_handle);
        QVERIFY(d->chats.value(1)->_messages.contains("3") && d->chats.value(2)->_messages.contains("3"));

        QList<bool> seen;
        const auto each = [&](_MsgAttachment& a, bool made) {
            seen << made;
            a._path = a.filename;
        };
        loader.loadAttachments(0, each);
        QCOMPARE(seen, QList<bool>({ true, false, false })); // one row for each chat of a message
        QCOMPARE(m1->_attachments.value("8"), d->attachments.value(8));
        QCOMPARE(m3->_attachments.value("8"), d->attachments.value(8));

        // A second load takes what the model holds as it is and adds nothing twice.
        m1->text = QString("kept");
        MsgTableLoader again(db, *d);
        again.loadChats();
        again.loadHandles([&](_MsgHandle&) { ++created; });
        again.loadMessages(1, true, MsgMessageColumns::Dates::Seconds);
        QCOMPARE(created, 2);
        QCOMPARE(d->messages.size(), 3);
        QCOMPARE(QString(m1->text), QString("kept"));
        QCOMPARE(d->handles.value(5)->id, QString("+1!"));
    }
};

QTEST_GUILESS_MAIN(TestMsgTableLoader)
#include "TestMsgTableLoader.moc"
