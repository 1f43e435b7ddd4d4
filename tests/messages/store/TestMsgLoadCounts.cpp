#include "app/sqlite/Sqlite3DB.h"
#include "messages/modern/IOS6MessageDb.h"
#include "messages/store/MsgData.h"
#include "messages/store/MsgLoadCounts.h"
#include "support/TestEnv.h"

#include <QtTest>

// The counts must be what a full load holds, row for row: each case is checked against one.
class TestMsgLoadCounts : public QObject
{
    Q_OBJECT

    // A database in the local store layout of folder, with the given message and chat columns.
    static void makeDb(const QString& folder, bool itemType, bool lastColumn, const QStringList& rows)
    {
        const QString dir = folder + "/file-relay/var/mobile/Library/SMS";
        QVERIFY(QDir().mkpath(dir));
        Sqlite3DB db;
        db.openThrow(dir + "/sms.db", SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE);
        const QString chat = lastColumn ? ", _last INTEGER DEFAULT 0" : "";
        const QString type = itemType ? ", item_type INTEGER" : "";
        for (const QString& sql : QStringList {
                 "CREATE TABLE chat (ROWID INTEGER PRIMARY KEY, guid TEXT, chat_identifier TEXT" + chat + ")",
                 "CREATE TABLE handle (ROWID INTEGER PRIMARY KEY, id TEXT, country TEXT, service TEXT)",
                 "CREATE TABLE chat_handle_join (chat_id INTEGER, handle_id INTEGER)",
                 "CREATE TABLE message (ROWID INTEGER PRIMARY KEY, guid TEXT, text TEXT, handle_id INTEGER, "
                 "date INTEGER"
                     + type + ")",
                 "CREATE TABLE chat_message_join (chat_id INTEGER, message_id INTEGER)",
                 "CREATE TABLE attachment (ROWID INTEGER PRIMARY KEY, guid TEXT, filename TEXT)",
                 "CREATE TABLE message_attachment_join (message_id INTEGER, attachment_id INTEGER)",
                 "INSERT INTO chat (ROWID, guid, chat_identifier) VALUES (1, 'c1', '+1'), (2, 'c2', '+2'), "
                 "(3, 'c3', '+3')",
             })
            db.executeThrow(sql);
        for (QString sql : rows) {
            if (!itemType && sql.startsWith("INSERT INTO message VALUES"))
                sql.replace(QRegularExpression(", *[^,]*\\)$"), ")");
            db.executeThrow(sql);
        }
    }

private Q_SLOTS:
    void countsMatchAFullLoad_data()
    {
        // Message rows are (ROWID, guid, text, handle_id, date, item_type); without the item_type
        // column their last value is dropped.
        QTest::addColumn<QStringList>("rows");
        // With the item_type column: the messages listed, which the tree's total counts too (-1:
        // not compared, a message there is in several chats).
        QTest::addColumn<int>("listed");
        QTest::newRow("empty") << QStringList {} << 0;
        QTest::newRow("plain") << QStringList {
            "INSERT INTO handle VALUES (5, '+1', 'us', 'SMS'), (6, '+2', '', 'SMS')",
            "INSERT INTO chat_handle_join VALUES (1, 5), (2, 5), (2, 6)",
            "INSERT INTO message VALUES (1, 'm1', 'a', 5, 10, 0)",
            "INSERT INTO message VALUES (2, 'm2', 'b', 6, 20, 0)",
            "INSERT INTO chat_message_join VALUES (1, 1), (2, 2)",
        } << 2;
        // NULL, a text that is no number and a value whose low 32 bits are 0 read as 0: listed.
        QTest::newRow("odd types") << QStringList {
            "INSERT INTO message VALUES (1, 'm1', 'a', 5, 10, NULL)",
            "INSERT INTO message VALUES (2, 'm2', 'b', 5, 20, 4)",
            "INSERT INTO message VALUES (3, 'm3', 'c', 5, 30, 2)",
            "INSERT INTO message VALUES (4, 'm4', 'd', 5, 40, 4294967296)",
            "INSERT INTO message VALUES (5, 'm5', 'e', 5, 50, '0')",
            "INSERT INTO message VALUES (6, 'm6', 'f', 5, 60, 'x')",
            "INSERT INTO message VALUES (7, 'm7', 'g', 5, 70, 0.5)",
            "INSERT INTO chat_message_join VALUES (1, 1), (1, 2), (1, 3), (1, 4), (1, 5), (1, 6), (1, 7)",
        } << 5;
        QTest::newRow("joins") << QStringList {
            "INSERT INTO handle VALUES (5, '+1', 'us', 'SMS'), (6, '+2', '', 'SMS'), (7, '+3', '', 'SMS')",
            "INSERT INTO chat_handle_join VALUES (1, 5), (1, 5), (2, 9)",
            "INSERT INTO message VALUES (1, 'm1', 'a', 5, 10, 0)",
            "INSERT INTO message VALUES (2, 'm2', 'b', 5, 20, 0)",
            "INSERT INTO message VALUES (3, 'm3', 'c', 5, 30, 0)",
            "INSERT INTO chat_message_join VALUES (1, 1), (2, 1), (3, 1), (2, 2), (1, 8)",
            "INSERT INTO attachment VALUES (8, 'a8', 'x.jpg'), (9, 'a9', 'y.jpg'), (10, 'a10', 'z.jpg')",
            "INSERT INTO message_attachment_join VALUES (1, 8), (2, 8), (3, 9), (2, 10), (1, 11)",
        } << -1;
    }

    void countsMatchAFullLoad()
    {
        QFETCH(QStringList, rows);
        QFETCH(int, listed);
        for (const bool itemType : { true, false })
            for (const bool lastColumn : { true, false }) {
                const QString folder = TestEnv::tempDir();
                makeDb(folder, itemType, lastColumn, rows);
                IOS6MessageDb db(QDir(folder), _CountryInfo(), false);
                const MsgLoadCounts n = db.loadCounts();
                MsgData data;
                db.messages(data, 0);
                const QString where = QStringLiteral("item_type %1, _last %2").arg(itemType).arg(lastColumn);
                QVERIFY2(n.chats == data.p()->chats.size(), qPrintable(where));
                QVERIFY2(n.handles == data.p()->handles.size(), qPrintable(where));
                QVERIFY2(n.messages == data.p()->messages.size(), qPrintable(where));
                QVERIFY2(n.attachments == data.p()->attachments.size(), qPrintable(where));
                if (itemType && listed >= 0) {
                    QVERIFY2(n.messages == listed, qPrintable(where));
                    QVERIFY2(db.total() == listed, qPrintable(where));
                }
            }
    }
};

QTEST_MAIN(TestMsgLoadCounts)
#include "TestMsgLoadCounts.moc"
