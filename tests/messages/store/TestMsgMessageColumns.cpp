#include "app/sqlite/Sqlite3DB.h"
#include "messages/store/MsgMessage.h"
#include "messages/store/MsgMessageColumns.h"
#include "messages/store/MsgText.h"
#include "support/TestEnv.h"

#include <QtTest>

class TestMsgMessageColumns : public QObject
{
    Q_OBJECT

    // A message table of the original columns only, one row per statement in rows.
    static QString messageDb(const QStringList& rows)
    {
        const QString path = TestEnv::tempDir() + "/m.db";
        Sqlite3DB db;
        db.openThrow(path, 6);
        db.executeThrow(
            "CREATE TABLE message (ROWID INTEGER PRIMARY KEY, guid TEXT, text TEXT, version INTEGER, date "
            "INTEGER, date_read INTEGER, date_delivered INTEGER, attributedBody BLOB, was_deduplicated "
            "INTEGER)");
        for (const QString& r : rows)
            db.executeThrow(r);
        return path;
    }

private Q_SLOTS:
    void datesInEachStoredForm()
    {
        const QString path = messageDb({ "INSERT INTO message (ROWID, date, date_read, date_delivered) "
                                         "VALUES (1, 600000000, 600000000000000000, -1500000000)" });
        Sqlite3DB db;
        db.openThrow(path, 1);
        Sqlite3Cursor c = db.queryThrow("select * from message");
        const MsgMessageColumns cols(c);
        QVERIFY(c.moveNext());
        _MsgMessage m;
        cols.fill(c, m, MsgMessageColumns::Dates::Seconds);
        QCOMPARE(m.date, 600000000);
        QCOMPARE(m.date_delivered, -1500000000);
        cols.fill(c, m, MsgMessageColumns::Dates::Nanoseconds);
        QCOMPARE(m.date, 0);
        QCOMPARE(m.date_read, 600000000);
        QCOMPARE(m.date_delivered, -1); // toward zero
        cols.fill(c, m, MsgMessageColumns::Dates::Either);
        QCOMPARE(m.date, 600000000);
        QCOMPARE(m.date_read, 600000000);
        QCOMPARE(m.date_delivered, -1500000000);
        QCOMPARE(MsgMessageColumns::secondsFromEither(600000000), 600000000);
        QCOMPARE(MsgMessageColumns::secondsFromEither(100000005000000000LL), 100000005);
    }

    void repeatedTextsReadAsStored_data()
    {
        QTest::addColumn<int>("distinct"); // distinct service values, cycled over the rows
        QTest::newRow("two values") << 2;
        QTest::newRow("as many as remembered") << 8;
        QTest::newRow("more than remembered") << 9;
        QTest::newRow("all different") << 400;
    }
    void repeatedTextsReadAsStored()
    {
        QFETCH(int, distinct);
        const QString path = TestEnv::tempDir() + "/r.db";
        QFile::remove(path);
        Sqlite3DB db;
        db.openThrow(path, 6);
        db.executeThrow("CREATE TABLE message (ROWID INTEGER PRIMARY KEY, service TEXT, account TEXT)");
        QStringList expected;
        db.beginTran();
        for (int i = 0; i < 400; ++i) {
            // NULL and empty texts in between keep their own (null or empty) value.
            const QString value = i % 7 == 3 ? QString()
                : i % 7 == 5                 ? ""
                                             : QString("s\u00e9rvice-%1").arg(i % distinct);
            Sqlite3Sql sql("INSERT INTO message (ROWID, service, account) VALUES (?, ?, 'same')");
            sql.addIntParam(i + 1);
            if (value.isNull())
                sql.addNullParam();
            else
                sql.addTextParam(value);
            db.executeThrow(sql);
            expected << value;
        }
        db.commitTran();
        Sqlite3Cursor c = db.queryThrow("select * from message order by rowid");
        const MsgMessageColumns cols(c);
        for (int i = 0; c.moveNext(); ++i) {
            _MsgMessage m;
            cols.fill(c, m, MsgMessageColumns::Dates::Seconds);
            QCOMPARE(m.service, expected[i]);
            QCOMPARE(m.service.isNull(), expected[i].isNull());
            QCOMPARE(m.account, QString("same"));
        }
    }

    void commonColumnsKeepLaterDefaults()
    {
        const QByteArray body = msgAttaAttributeBody("GUID-1");
        const QString path = messageDb({ "INSERT INTO message (ROWID, guid, text, version, attributedBody, "
                                         "was_deduplicated) VALUES (7, 'G7', '', 3, x'"
            + QString::fromLatin1(body.toHex()) + "', 1)" });
        Sqlite3DB db;
        db.openThrow(path, 1);
        // The leading column moves every position: they are found by name.
        Sqlite3Cursor c = db.queryThrow("select 42 as chat_id, m.* from message as m");
        const MsgMessageColumns cols(c);
        QVERIFY(c.moveNext());

        _MsgMessage common;
        cols.fillCommon(c, common, MsgMessageColumns::Dates::Seconds);
        QCOMPARE(common.rowid, qint64(7));
        QCOMPARE(common.guid, QString("G7"));
        QCOMPARE(common.version, 3);
        QCOMPARE(common.was_deduplicated, 1);
        QCOMPARE(common.attributedBody, body);
        QVERIFY(common.text.isEmpty()); // taken as stored
        QCOMPARE(common.other_handle, -1);

        _MsgMessage full;
        cols.fill(c, full, MsgMessageColumns::Dates::Seconds);
        QCOMPARE(full.other_handle, 0); // a lacking column reads 0, defaults do not survive
        QCOMPARE(QString(full.text), msgTextFromAttributedBody(body));
        QVERIFY(!full.text.isEmpty());
    }
};

QTEST_GUILESS_MAIN(TestMsgMessageColumns)
#include "TestMsgMessageColumns.moc"
