#include "app/sqlite/Sqlite3StmtCache.h"
#include "messages/store/MessageRecycleDb.h"
#include "messages/support/MsgFixtures.h"
#include "support/TestEnv.h"

#include <QFile>
#include <QtTest>
#include <memory>

using namespace MsgFixtures;

class TestMessageRecycleDb : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void createsSchemaOnFirstUse()
    {
        const QString path = TestEnv::tempDir() + "/recycle.db";
        MessageRecycleDb db(path);
        QVERIFY(!QFile::exists(path));
        QVERIFY(db.messages().isEmpty());
        QCOMPARE(querySql(path,
                     "select count(*) from sqlite_master where type='table' and name<>'sqlite_sequence'"),
            QString("3"));
        QCOMPARE(querySql(path, "select count(*) from sqlite_master where type='index' and sql is not null"),
            QString("7"));
    }

    void messagesRoundTrip()
    {
        const QString path = TestEnv::tempDir() + "/recycle.db";
        MessageRecycleDb db(path);
        _MsgMessage m;
        m.guid = "{not-a-uuid}";
        m.text = "recovered";
        m.date = 1234;
        m.cache_has_attachments = 1; // the store takes the attachment table instead
        const qint64 id = db.insertMessage(&m, "+1555", "+1555", 0);
        QVERIFY(id > 0);
        QCOMPARE(m.guid, QString("{not-a-uuid}"));
        QCOMPARE(db.findMessage(&m), id);
        _MsgMessage other = m;
        other.text = "else";
        QCOMPARE(db.findMessage(&other), qint64(0));
        const auto list = db.messages();
        QCOMPARE(list.size(), 1);
        QCOMPARE(list[0].rowid, -2047483648LL - id);
        QVERIFY(list[0]._recovered);
        QCOMPARE(list[0].cache_has_attachments, 0);
        QCOMPARE(list[0].chat_identifier, QString("+1555"));
        QVERIFY(list[0].service_center.isEmpty());
        QCOMPARE(querySql(path, "select src_rowid is null from message"), QString("1"));
        db.updateMessageChat(&m, "chat1", "h");
        QCOMPARE(db.messages()[0].chat_identifier, QString("chat1"));
    }

    // The prepared insert of a recovery run stores what the plain insert stores.
    void preparedInsertStoresTheSameRow_data()
    {
        QTest::addColumn<bool>("full");
        QTest::newRow("optional columns empty") << false;
        QTest::newRow("every column set") << true;
    }
    void preparedInsertStoresTheSameRow()
    {
        QFETCH(bool, full);
        const QString path = TestEnv::tempDir() + "/recycle.db";
        MessageRecycleDb db(path);
        _MsgMessage m;
        m.guid = "{not-a-uuid}"; // each insert makes a fresh one
        m.text = full ? "text" : QString();
        m.handle_id = 5000000000LL;
        m.date = 1234;
        m.is_from_me = 1;
        m.was_data_detected = 1;
        if (full) {
            m.service_center = "+1000";
            m.subject = "subject";
            m.country = "us";
            m.attributedBody = QByteArray("\x00\x01body", 6);
            m.service = "SMS";
            m.cache_roomnames = "room";
        }
        db.insertMessage(&m, "+1555", "+1555", full ? 42 : 0);
        {
            Sqlite3StmtCache cache(db);
            db.insertMessage(&m, "+1555", "+1555", full ? 42 : 0, &cache);
        }
        const QString cols = querySql(path,
            "select group_concat('quote(\"'||name||'\")', '||'',''||') from "
            "pragma_table_info('message') where name not in ('ROWID','guid')");
        const QString first = querySql(path, "select " + cols + " from message where rowid=1");
        QVERIFY(first.contains("1234"));
        QCOMPARE(querySql(path, "select " + cols + " from message where rowid=2"), first);
    }

    // A copy of a message cut short (the same date and conversation, one text beginning with the
    // other) is filed once, with the whole text, whichever copy comes first.
    void cutCopiesAreFiledOnce_data()
    {
        QTest::addColumn<QString>("first");
        QTest::addColumn<QString>("second");
        QTest::addColumn<bool>("sameChat");
        QTest::addColumn<bool>("sameGuid");
        QTest::addColumn<QStringList>("stored");
        QTest::newRow("cut copy after the whole") << "hello from ios5"
                                                  << "ios5" << true << false << QStringList();
        QTest::newRow("cut copy after the whole, prefix")
            << "hello from ios5"
            << "hello" << true << false << QStringList { "hello from ios5" };
        QTest::newRow("whole after the cut copy")
            << "hello"
            << "hello from ios5" << true << false << QStringList { "hello from ios5" };
        QTest::newRow("other conversation")
            << "hello from ios5"
            << "hello" << false << false << QStringList { "hello", "hello from ios5" };
        QTest::newRow("an empty text is no copy") << "hello"
                                                  << "" << true << false << QStringList { "", "hello" };
        QTest::newRow("same guid, text lost before") << ""
                                                     << "hello" << true << true << QStringList { "hello" };
    }
    void cutCopiesAreFiledOnce()
    {
        QFETCH(QString, first);
        QFETCH(QString, second);
        QFETCH(bool, sameChat);
        QFETCH(bool, sameGuid);
        QFETCH(QStringList, stored);
        if (stored.isEmpty())
            stored = QStringList { "hello from ios5", "ios5" }; // not a beginning: two messages
        for (bool cached : { false, true }) {
            MessageRecycleDb db(TestEnv::tempDir() + "/recycle.db");
            std::unique_ptr<Sqlite3StmtCache> cache;
            if (cached) {
                db.openCheck();
                cache = std::make_unique<Sqlite3StmtCache>(db);
            }
            _MsgMessage a;
            a.guid = "0000000A-0000-0000-0000-000000000001";
            a.text = first;
            a.date = 500;
            _MsgMessage b = a;
            b.text = second;
            if (!sameGuid)
                b.guid = "0000000A-0000-0000-0000-000000000002";
            QVERIFY(db.fileRecovered(&a, "+1555", "+1555", 0, cache.get()));
            db.fileRecovered(&b, sameChat ? "+1555" : "+1666", "+1555", 0, cache.get());
            cache.reset();
            QStringList texts;
            for (const RecycleMsg& m : db.messages())
                texts.append(m.text);
            texts.sort();
            QCOMPARE(texts, stored);
        }
    }

    void handles()
    {
        MessageRecycleDb db(TestEnv::tempDir() + "/recycle.db");
        _MsgHandle h;
        h.id = "a@b.c";
        h.country = "us";
        QCOMPARE(db.findHandle(&h), qint64(0));
        const qint64 id = db.insertHandle(&h, 42);
        QCOMPARE(db.findHandle(&h), id);
        QVERIFY_THROWS_EXCEPTION(std::exception, db.insertHandle(&h, 43));
        const _MsgHandle back = db.handleBySrcRowId(42);
        QCOMPARE(back.rowid, qint64(42));
        QCOMPARE(back.id, h.id);
        QVERIFY(back.country.isEmpty());
        const _MsgHandle none = db.handleBySrcRowId(7);
        QCOMPARE(none.rowid, qint64(0));
        QCOMPARE(none.service, QString("SMS"));
        QCOMPARE(db.handles().size(), 1);
    }
};

QTEST_GUILESS_MAIN(TestMessageRecycleDb)
#include "TestMessageRecycleDb.moc"
