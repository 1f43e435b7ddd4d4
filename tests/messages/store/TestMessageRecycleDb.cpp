#include "messages/store/MessageRecycleDb.h"
#include "messages/support/MsgFixtures.h"
#include "support/TestEnv.h"

#include <QFile>
#include <QtTest>

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
