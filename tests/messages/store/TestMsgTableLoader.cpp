#include "app/sqlite/Sqlite3DB.h"
#include "messages/store/MsgData.h"
#include "messages/store/MsgTableLoader.h"
#include "messages/store/MsgTableLoaderSplit.h"
#include "support/TestEnv.h"

#include <QtTest>
#include <limits>

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

    static const char* joinedRows()
    {
        return "select j.chat_id, m.* from chat_message_join as j inner join message as m on j.message_id = "
               "m.rowid";
    }

    // n messages over three chats, the join table laid out as "plain" (scanned by rowid),
    // "covering" (scanned along its unique primary key) or "uniqueless" (along an index that is
    // not unique). Join rows go in message order, so the primary key's order differs from the
    // rowid order. Every 10th message is also in a second chat, every 7th join row points at a
    // deleted message, every 11th message is a group event, every 13th has a NULL date, every
    // 17th a date in nanoseconds, every 5th an attachment and an attributed body; one join row has
    // a NULL chat.
    static void makeBulk(Sqlite3DB& db, const QString& file, const QString& layout, int n)
    {
        QFile::remove(file);
        db.openThrow(file, 6);
        db.executeThrow("PRAGMA page_size=1024");
        const QString key = layout == "plain" ? QString()
            : layout == "covering" ? QString(", message_date INTEGER, PRIMARY KEY (chat_id, message_id)")
                                   : QString(", message_date INTEGER");
        for (const QString& sql : {
                 QString("CREATE TABLE chat (ROWID INTEGER PRIMARY KEY, guid TEXT, chat_identifier TEXT)"),
                 QString(
                     "CREATE TABLE handle (ROWID INTEGER PRIMARY KEY, id TEXT, country TEXT, service TEXT)"),
                 QString("CREATE TABLE chat_handle_join (chat_id INTEGER, handle_id INTEGER)"),
                 QString("CREATE TABLE message (ROWID INTEGER PRIMARY KEY, guid TEXT, text TEXT, handle_id "
                         "INTEGER, "
                         "country TEXT, attributedBody BLOB, date INTEGER, item_type INTEGER)"),
                 "CREATE TABLE chat_message_join (chat_id INTEGER, message_id INTEGER" + key + ")",
                 QString("CREATE TABLE message_attachment_join (message_id INTEGER, attachment_id INTEGER)"),
                 QString("INSERT INTO chat VALUES (1, 'c1', '+1'), (2, 'c2', '+2'), (3, 'c3', 'g3')"),
                 QString("INSERT INTO handle VALUES (5, '+1', 'us', 'SMS'), (6, '+2', '', 'SMS')"),
                 QString("INSERT INTO chat_handle_join VALUES (1, 5), (2, 6), (3, 5), (3, 6)"),
             })
            db.executeThrow(sql);
        if (layout == "uniqueless")
            db.executeThrow("CREATE INDEX join_chat ON chat_message_join(chat_id, message_id)");
        db.beginTran();
        for (int i = 1; i <= n; ++i) {
            const QVariant date = i % 13 == 0 ? QVariant()
                : i % 17 == 0                 ? QVariant(qint64(400000000 + i) * 1000000000LL)
                                              : QVariant(400000000 + (i * 37) % 5000);
            const QByteArray body = i % 5 == 0 ? QByteArray("body-") + QByteArray::number(i) : QByteArray();
            db.executeThrow(Sqlite3Sql("INSERT INTO message VALUES (?, ?, ?, ?, '', ?, ?, ?)")
                                .addInt64Param(i)
                                .addTextParam(QString("guid-%1").arg(i, 4, 10, QChar('0')))
                                .addTextParam(QString("text %1 ").arg(i).repeated(3))
                                .addInt64Param(i % 2 ? 5 : 6)
                                .addParam(body.isEmpty() ? QVariant() : QVariant(body))
                                .addParam(date)
                                .addIntParam(i % 11 == 0 ? 2 : 0));
            const int chat = 1 + i % 3;
            const int message = i % 7 == 0 ? n + i : i; // a deleted message
            db.executeThrow(QString("INSERT INTO chat_message_join (chat_id, message_id) VALUES (%1, %2)")
                                .arg(chat)
                                .arg(message));
            if (i % 10 == 0)
                db.executeThrow(QString("INSERT INTO chat_message_join (chat_id, message_id) VALUES (%1, %2)")
                                    .arg(1 + (chat % 3))
                                    .arg(i));
            if (i % 5 == 0)
                db.executeThrow(QString("INSERT INTO message_attachment_join VALUES (%1, 9)").arg(i));
        }
        db.executeThrow("INSERT INTO chat_message_join (chat_id, message_id) VALUES (NULL, 4)");
        db.commitTran();
    }

    // Everything a load puts into the model, in the order the model's tables give it; first the
    // rowids in the order the model hands its messages out.
    static QStringList modelText(const __MsgData& d)
    {
        QStringList order;
        for (const _MsgMessage* m : d.messages.inOrder())
            order << QString::number(m->rowid);
        QStringList lines { "order " + order.join(',') };
        for (auto it = d.messages.cbegin(); it != d.messages.cend(); ++it) {
            const _MsgMessage* m = it.value();
            lines << QString("m %1 %2 %3 %4 date=%5 type=%6 body=%7 sort=%8 chat=%9 sender=%10 country=%11")
                         .arg(it.key())
                         .arg(m->rowid)
                         .arg(m->guid, QString(m->text))
                         .arg(m->date)
                         .arg(m->item_type)
                         .arg(QString::fromLatin1(m->attributedBody))
                         .arg(m->_sort_rowid)
                         .arg(m->_chat ? m->_chat->rowid : -1)
                         .arg(m->_sender ? m->_sender->id : QString("-"), m->country);
        }
        for (auto it = d.chats.cbegin(); it != d.chats.cend(); ++it)
            lines << QString("c %1 last=%2 messages=%3")
                         .arg(it.key())
                         .arg(it.value()->_last)
                         .arg(QStringList(it.value()->_messages.keys()).join(','));
        return lines;
    }

    static QStringList loadText(
        const QString& file, qint64 splitFrom, qint64 chat, bool lastDates, QString* error)
    {
        Sqlite3DB db;
        db.openThrow(file, SQLITE_OPEN_READWRITE);
        MsgData data;
        MsgTableLoader loader(db, *data.p());
        loader.setSplitFrom(splitFrom);
        try {
            loader.loadChats();
            loader.loadHandles({});
            loader.loadMessages(chat, true, MsgMessageColumns::Dates::Either, lastDates);
        } catch (const std::exception& e) {
            *error = QString::fromUtf8(e.what());
        }
        return modelText(*data.p());
    }

    static QList<QPair<qint64, qint64>> joinRows(Sqlite3DB& db, const Sqlite3Sql& sql)
    {
        QList<QPair<qint64, qint64>> rows;
        Sqlite3Cursor c = db.queryThrow(sql);
        while (c.moveNext())
            rows << qMakePair(c.isNull(0) ? -1 : c.getInt64(0), c.getInt64(1));
        return rows;
    }

    // The rowids of the messages a load takes (each once, its first row), in the order one
    // connection reads them.
    static QString readingOrder(const QString& file, qint64 chat)
    {
        Sqlite3DB db;
        db.openThrow(file, SQLITE_OPEN_READONLY);
        QString sql("select j.chat_id, m.rowid from chat_message_join as j inner join message as m on "
                    "j.message_id = m.rowid and m.item_type = 0");
        if (chat)
            sql += QString(" and j.chat_id=%1").arg(chat);
        QStringList order;
        QSet<qint64> seen;
        for (const auto& row : joinRows(db, Sqlite3Sql(sql)))
            if (!seen.contains(row.second)) {
                seen.insert(row.second);
                order << QString::number(row.second);
            }
        return "order " + order.join(',');
    }

private Q_SLOTS:
    // The two runs of a cut, read one after the other, give the query's rows in its own order,
    // wherever the cut falls; a scan that no key orders is not cut.
    void cutRunsKeepTheOrder_data()
    {
        QTest::addColumn<QString>("layout");
        QTest::addColumn<bool>("cuttable");
        QTest::newRow("join scanned by rowid") << "plain" << true;
        QTest::newRow("join scanned along its primary key") << "covering" << true;
        QTest::newRow("join scanned along an index that is not unique") << "uniqueless" << false;
    }
    void cutRunsKeepTheOrder()
    {
        QFETCH(QString, layout);
        QFETCH(bool, cuttable);
        Sqlite3DB db;
        makeBulk(db, TestEnv::tempDir() + "/cut-" + layout + ".db", layout, 60);
        const QString sql
            = QString("select j.chat_id, m.rowid from chat_message_join as j inner join message "
                      "as m on j.message_id = m.rowid");
        const auto whole = joinRows(db, Sqlite3Sql(sql));
        Sqlite3Cursor count = db.queryThrow("select count(*) from chat_message_join");
        QVERIFY(count.moveNext());
        const qint64 rows = count.getInt64(0);
        int cuts = 0;
        for (qint64 first = 1; first <= rows + 1; ++first) {
            MsgTableLoaderSplit split;
            if (!split.plan(db, sql, "chat_message_join", "j", first))
                continue;
            ++cuts;
            const auto a = joinRows(db, split.first(sql));
            const auto b = joinRows(db, split.second(sql));
            QCOMPARE(a + b, whole);
        }
        // With the NULL chat first in the key's order, no cut falls on it; nor beyond the last row.
        QCOMPARE(cuts, !cuttable ? 0 : layout == "plain" ? int(rows) : int(rows) - 1);
    }

    // A load read by two connections gives the model that one connection gives, row for row and
    // in the same table order: all chats or one alone, with the chats' dates or without.
    void splitLoadGivesTheSameModel_data()
    {
        QTest::addColumn<QString>("layout");
        QTest::addColumn<qint64>("chat");
        QTest::addColumn<bool>("lastDates");
        for (const char* layout : { "plain", "covering", "uniqueless" }) {
            QTest::addRow("%s, all chats, dates in the pass", layout) << QString(layout) << qint64(0) << true;
            QTest::addRow("%s, all chats", layout) << QString(layout) << qint64(0) << false;
            QTest::addRow("%s, one chat alone", layout) << QString(layout) << qint64(2) << false;
        }
    }
    void splitLoadGivesTheSameModel()
    {
        QFETCH(QString, layout);
        QFETCH(qint64, chat);
        QFETCH(bool, lastDates);
        const QString file = TestEnv::tempDir() + "/same-" + layout + ".db";
        {
            Sqlite3DB db;
            makeBulk(db, file, layout, 400);
        }
        QString error;
        const QStringList one = loadText(file, std::numeric_limits<qint64>::max(), chat, lastDates, &error);
        QCOMPARE(error, QString());
        const QStringList two = loadText(file, 1, chat, lastDates, &error);
        QCOMPARE(error, QString());
        QVERIFY(one.size() > (chat ? 100 : 300));
        QCOMPARE(two, one);
        QCOMPARE(one.first(), readingOrder(file, chat));
    }

    // A damaged page fails a load read by two connections with the error of a single one, and
    // the model keeps the same rows that were read before it.
    void splitLoadFailsAsOne_data()
    {
        QTest::addColumn<QString>("layout");
        QTest::addColumn<QString>("damaged");
        QTest::newRow("plain, early row") << "plain"
                                          << "guid-0040";
        QTest::newRow("plain, late row") << "plain"
                                         << "guid-0370";
        QTest::newRow("covering, late row") << "covering"
                                            << "guid-0370";
    }
    void splitLoadFailsAsOne()
    {
        QFETCH(QString, layout);
        QFETCH(QString, damaged);
        const QString file = TestEnv::tempDir() + "/damaged-" + layout + ".db";
        {
            Sqlite3DB db;
            makeBulk(db, file, layout, 400);
        }
        QFile f(file);
        QVERIFY(f.open(QIODevice::ReadWrite));
        const qint64 at = f.readAll().indexOf(damaged.toLatin1());
        QVERIFY(at > 0);
        QVERIFY(f.seek(at / 1024 * 1024));
        f.write(QByteArray(8, '\xff')); // the page's header
        f.close();
        QString oneError;
        QString twoError;
        const QStringList one = loadText(file, std::numeric_limits<qint64>::max(), 0, true, &oneError);
        const QStringList two = loadText(file, 1, 0, true, &twoError);
        QVERIFY(!oneError.isEmpty());
        QCOMPARE(twoError, oneError);
        QCOMPARE(two, one);
    }

    // The message query takes the columns a record reads, whatever their case and place among
    // columns it does not read; the rowid comes from the table's integer primary key. So does the
    // chat query: a column it does not read is never loaded, not even one too damaged to read.
    void takesKnownColumnsAmongOthers_data()
    {
        QTest::addColumn<QString>("table");
        QTest::addColumn<QString>("chat");
        const QString chat = "CREATE TABLE chat (ROWID INTEGER PRIMARY KEY, guid TEXT)";
        QTest::newRow("extra columns around")
            << "CREATE TABLE message (pad0 BLOB, ROWID INTEGER PRIMARY KEY, pad1 TEXT, GUID TEXT, \"Text\" "
               "TEXT, "
               "pad2 INTEGER, Date INTEGER, item_type INTEGER, \"odd \"\"name\" TEXT)"
            << chat;
        QTest::newRow("primary key under another name")
            << "CREATE TABLE message (id INTEGER PRIMARY KEY, guid TEXT, text TEXT, date INTEGER, pad TEXT)"
            << chat;
        const QString known
            = "CREATE TABLE message (ROWID INTEGER PRIMARY KEY, guid TEXT, text TEXT, date INTEGER)";
        QTest::newRow("known columns only") << known << chat;
        QTest::newRow("a huge damaged chat column not read")
            << known << "CREATE TABLE chat (ROWID INTEGER PRIMARY KEY, guid TEXT, pad BLOB)";
    }
    void takesKnownColumnsAmongOthers()
    {
        QFETCH(QString, table);
        QFETCH(QString, chat);
        Sqlite3DB db;
        const QString file = TestEnv::tempDir() + "/columns.db";
        QFile::remove(file);
        db.openThrow(file, 6);
        for (const QString& sql :
            { chat, table, QString("CREATE TABLE chat_message_join (chat_id INTEGER, message_id INTEGER)"),
                QString("CREATE TABLE message_attachment_join (message_id INTEGER, attachment_id INTEGER)"),
                QString("INSERT INTO chat (ROWID, guid) VALUES (1, 'c1')"),
                QString("INSERT INTO chat_message_join VALUES (1, 7)") })
            db.executeThrow(sql);
        Sqlite3Sql insert(table.contains("pad0")
                ? "INSERT INTO message (ROWID, pad0, guid, text, date, pad2) VALUES "
                  "(7, x'00ff', 'g7', 'hello', 400000123, 5)"
                : "INSERT INTO message (rowid, guid, text, date) VALUES "
                  "(7, 'g7', 'hello', 400000123)");
        db.executeThrow(insert);
        if (chat.contains("pad")) {
            // Its pages, the last of the file, zeroed: the value no longer reads whole.
            db.executeThrow("UPDATE chat SET pad = randomblob(400000) WHERE rowid = 1");
            db.close();
            QFile f(file);
            QVERIFY(f.open(QIODevice::ReadWrite) && f.seek(f.size() - 100000));
            f.write(QByteArray(100000, '\0'));
            f.close();
            db.openThrow(file, 2);
        }
        MsgData data;
        MsgTableLoader loader(db, *data.p());
        loader.loadChats();
        loader.loadMessages(0, table.contains("item_type"), MsgMessageColumns::Dates::Seconds, true);
        const _MsgMessage* m = data.p()->messages.value(7);
        QVERIFY(m);
        QCOMPARE(m->rowid, qint64(7));
        QCOMPARE(m->guid, QString("g7"));
        QCOMPARE(QString(m->text), QString("hello"));
        QCOMPARE(m->date, 400000123);
        QCOMPARE(data.p()->chats.value(1)->_last, 400000123);
    }

    // When the second connection cannot open the file (gone from its name while the first still
    // reads it), the first reads the rest itself: no error, the same model.
    void splitLoadWithoutSecondConnection()
    {
        const QString file = TestEnv::tempDir() + "/gone.db";
        {
            Sqlite3DB db;
            makeBulk(db, file, "covering", 300);
        }
        QString error;
        const QStringList one = loadText(file, std::numeric_limits<qint64>::max(), 0, true, &error);
        QCOMPARE(error, QString());
        Sqlite3DB db;
        db.openThrow(file, SQLITE_OPEN_READWRITE);
        MsgData data;
        MsgTableLoader loader(db, *data.p());
        loader.setSplitFrom(1);
        loader.loadChats();
        loader.loadHandles({});
        QVERIFY(QFile::remove(file));
        loader.loadMessages(0, true, MsgMessageColumns::Dates::Either, true);
        QCOMPARE(modelText(*data.p()), one);
    }

    // Rows not yet committed on the loading connection are loaded: no second connection, which
    // could not see them, reads alongside while a transaction is open, however it was begun.
    void loadInsideTransactionSeesItsRows_data()
    {
        QTest::addColumn<bool>("plainBegin");
        QTest::newRow("begun by the connection's own call") << false;
        QTest::newRow("begun by a BEGIN statement") << true;
    }
    void loadInsideTransactionSeesItsRows()
    {
        QFETCH(bool, plainBegin);
        const QString file = TestEnv::tempDir() + "/pending.db";
        Sqlite3DB db;
        makeBulk(db, file, "plain", 300);
        if (plainBegin)
            db.executeThrow("BEGIN");
        else
            db.beginTran();
        db.executeThrow(
            "INSERT INTO message (ROWID, guid, text, date, item_type) VALUES (9999, 'g', 'late', 1, 0)");
        db.executeThrow("INSERT INTO chat_message_join (chat_id, message_id) VALUES (3, 9999)");
        MsgData data;
        MsgTableLoader loader(db, *data.p());
        loader.setSplitFrom(1);
        loader.loadChats();
        loader.loadMessages(0, true, MsgMessageColumns::Dates::Either, true);
        QVERIFY(data.p()->messages.contains(9999));
        QVERIFY(data.p()->messages.contains(299));
        db.executeThrow("ROLLBACK");
    }

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
