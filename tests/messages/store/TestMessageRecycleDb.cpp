#include "app/sqlite/Sqlite3StmtCache.h"
#include "messages/store/MessageRecycleDb.h"
#include "messages/store/RecoveredMessageIndex.h"
#include "messages/support/MsgFixtures.h"
#include "support/TestEnv.h"

#include <QFile>
#include <QRandomGenerator>
#include <QRegularExpression>
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
            m.attributedBody = QByteArray("\x00\x01" "body", 6);
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
        for (const int mode : { 0, 1, 2 }) { // no cache, cache, cache and index
            const bool cached = mode > 0;
            MessageRecycleDb db(TestEnv::tempDir() + QString("/recycle%1.db").arg(mode));
            std::unique_ptr<Sqlite3StmtCache> cache;
            RecoveredMessageIndex loaded;
            RecoveredMessageIndex* index = mode == 2 ? &loaded : nullptr;
            if (cached) {
                db.openCheck();
                cache = std::make_unique<Sqlite3StmtCache>(db);
            }
            if (index)
                index->load(*cache);
            _MsgMessage a;
            a.guid = "0000000A-0000-0000-0000-000000000001";
            a.text = first;
            a.date = 500;
            _MsgMessage b = a;
            b.text = second;
            if (!sameGuid)
                b.guid = "0000000A-0000-0000-0000-000000000002";
            QVERIFY(db.fileRecovered(&a, "+1555", "+1555", 0, cache.get(), index));
            db.fileRecovered(&b, sameChat ? "+1555" : "+1666", "+1555", 0, cache.get(), index);
            cache.reset();
            QStringList texts;
            for (const RecycleMsg& m : db.messages())
                texts.append(m.text);
            texts.sort();
            QCOMPARE(texts, stored);
        }
    }

    // Filing through the index finds what the store's query finds, in the same order, also for
    // rows stored before the run (read when the index is loaded) and for guids the store replaces.
    void indexedFilingStoresTheSameRows_data()
    {
        QTest::addColumn<int>("seed");
        QTest::addColumn<int>("before"); // messages filed without the index first
        QTest::newRow("empty store") << 1 << 0;
        QTest::newRow("store with rows") << 2 << 150;
        QTest::newRow("store with rows, other draw") << 3 << 40;
    }
    void indexedFilingStoresTheSameRows()
    {
        QFETCH(int, seed);
        QFETCH(int, before);
        // Few dates, conversations and guids, texts that begin one another, and guids of other
        // shapes, so that every branch of the duplicate test is taken many times.
        QRandomGenerator rnd(seed);
        const QStringList texts { "", "hi", "hi there", "hi there you", "other", "ot" };
        const QStringList chats { "", "+1555", "+1666" };
        QList<std::pair<_MsgMessage, QString>> all;
        for (int i = 0; i < 600; ++i) {
            _MsgMessage m;
            const int g = rnd.bounded(40);
            m.guid = g < 4 ? QString("bad-%1").arg(g)
                           : QString("0000000A-0000-0000-0000-%1").arg(g, 12, 10, QChar('0'));
            m.date = 700 + rnd.bounded(6);
            m.is_from_me = rnd.bounded(2);
            m.text = texts[rnd.bounded(texts.size())];
            all.append({ m, chats[rnd.bounded(chats.size())] });
        }
        QStringList dumps;
        for (const bool indexed : { false, true }) {
            MessageRecycleDb db(TestEnv::tempDir() + QString("/recycle-%1-%2.db").arg(seed).arg(indexed));
            db.openCheck();
            QList<bool> added;
            for (int i = 0; i < before; ++i)
                added.append(db.fileRecovered(&all[i].first, all[i].second, "h", i));
            Sqlite3StmtCache cache(db);
            RecoveredMessageIndex index;
            if (indexed)
                index.load(cache);
            for (int i = before; i < all.size(); ++i)
                added.append(db.fileRecovered(
                    &all[i].first, all[i].second, "h", i, &cache, indexed ? &index : nullptr));
            // Guids the store made itself differ between the two stores: compared by their shape.
            QString dump = QString::number(added.count(true)) + ";";
            for (const bool a : added)
                dump += a ? '1' : '0';
            Sqlite3Cursor c = db.queryThrow(
                "select rowid, guid like 'bad-%' or guid like '0000000A-%', text, date, is_from_me,"
                " chat_identifier, src_rowid from message order by rowid");
            while (c.moveNext()) {
                for (int k = 0; k < 7; ++k)
                    dump += "|" + c.getText(k);
            }
            dumps.append(dump);
        }
        QCOMPARE(dumps[1], dumps[0]);
        QVERIFY(dumps[0].count('|') > 7 * 20);
    }

    void deviceGuidShape_data()
    {
        QTest::addColumn<QString>("guid");
        const QString good = "0A1b2C3d-0000-ffff-ZZZZ-0123456789ab";
        QTest::newRow("device guid") << good;
        QTest::newRow("empty") << "";
        QTest::newRow("null") << QString();
        QTest::newRow("final line break") << good + "\n";
        QTest::newRow("two line breaks") << good + "\n\n";
        QTest::newRow("final carriage return") << good + "\r";
        QTest::newRow("leading line break") << "\n" + good;
        QTest::newRow("one short") << good.left(35);
        QTest::newRow("one long") << good + "a";
        QTest::newRow("dash moved") << "0A1b2C3-d0000-ffff-ZZZZ-0123456789ab";
        QTest::newRow("underscore") << "0A1b2C3d_0000-ffff-ZZZZ-0123456789ab";
        QTest::newRow("accented letter") << QString("0A1b2C3d-0000-ffff-ZZZ\u00e9-0123456789ab");
        QTest::newRow("full-width digit") << QString("0A1b2C3d-0000-ffff-ZZZZ-012345678\uff19ab");
        QTest::newRow("braces") << "{0A1b2C3d-0000-ffff-ZZZZ-0123456789}";
        QTest::newRow("older device id") << "p:0/+15555550123";
        QTest::newRow("all dashes") << QString(36, '-');
    }
    void deviceGuidShape()
    {
        QFETCH(QString, guid);
        // The pattern the check stands for, as a regular expression reads it.
        static const QRegularExpression shape(
            "^[a-zA-Z0-9]{8}\\-[a-zA-Z0-9]{4}\\-[a-zA-Z0-9]{4}\\-[a-zA-Z0-9]{4}\\-[a-zA-Z0-9]{12}$");
        QCOMPARE(MessageRecycleDb::hasDeviceGuidShape(guid), shape.match(guid).hasMatch());
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
