#include "messages/store/MsgData.h"

#include <QtTest>
#include <memory>
#include <thread>

class TestMsgData : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void emptyModel()
    {
        MsgData d;
        QVERIFY(d.chats().isEmpty());
        QVERIFY(d.messages().isEmpty());
        QVERIFY(d.chatMergeList().isEmpty());
    }

    void copiesShareOneOwner()
    {
        // A shared byte array tells whether the records holding it still exist.
        QByteArray probe(16, 'x');
        {
            MsgData a;
            {
                MsgData b = a;
                auto* m = new _MsgMessage;
                m->rowid = 5;
                m->attributedBody = probe;
                b.p()->messages.insert(5, m);
                auto* n = new _MsgMessage;
                n->rowid = -2047483649;
                n->attributedBody = probe;
                b.p()->messages.insert(n->rowid, n);
            }
            QVERIFY(!probe.isDetached());
            QCOMPARE(a.messages().size(), 2);
        }
        QVERIFY(probe.isDetached());
    }

    void removeMessageKeepsHandlesAndAttachments()
    {
        MsgData d;
        auto* c = new _MsgChat;
        c->rowid = 1;
        d.p()->chats.insert(1, c);
        auto* h = new _MsgHandle;
        h->rowid = 2;
        d.p()->handles.insert(2, h);
        auto* a = new _MsgAttachment;
        a->rowid = 3;
        d.p()->attachments.insert(3, a);
        auto* m = new _MsgMessage;
        m->rowid = 10;
        m->_chat = c;
        m->_sender = h;
        m->_attachments.insert("3", a);
        c->_messages.insert("10", m);
        d.p()->messages.insert(10, m);
        auto* orphan = new _MsgMessage;
        orphan->rowid = 11;
        d.p()->messages.insert(11, orphan);

        d.p()->removeMessage(m);
        QVERIFY(c->_messages.isEmpty());
        QCOMPARE(d.messages().size(), 1);
        QCOMPARE(d.p()->handles.size(), 1);
        QCOMPARE(d.p()->attachments.size(), 1);
        d.p()->removeMessage(orphan);
        QVERIFY(d.messages().isEmpty());
        d.p()->removeChat(c);
        QVERIFY(d.chats().isEmpty());
    }

    void blockMessagesLiveAndDieWithTheOwner_data()
    {
        QTest::addColumn<int>("count"); // spans several blocks of growing size
        QTest::addColumn<bool>("mixHeap");
        QTest::addColumn<bool>("adopted"); // made by another owner, on another thread, then taken over
        QTest::newRow("one") << 1 << false << false;
        QTest::newRow("first block full") << 256 << false << false;
        QTest::newRow("many blocks") << 5000 << false << false;
        QTest::newRow("blocks and plain new") << 700 << true << false;
        QTest::newRow("freed in bulk") << 30000 << true << false;
        QTest::newRow("adopted blocks") << 5000 << false << true;
        QTest::newRow("adopted blocks and plain new") << 700 << true << true;
    }
    void blockMessagesLiveAndDieWithTheOwner()
    {
        QFETCH(int, count);
        QFETCH(bool, mixHeap);
        QFETCH(bool, adopted);
        QByteArray probe(16, 'x');
        {
            MsgData d;
            auto other = std::make_unique<__MsgData>();
            __MsgData& maker = adopted ? *other : *d.p();
            // The owner's own blocks go on growing after the adopted ones.
            _MsgMessage* own = d.p()->newMessage();
            own->rowid = count;
            d.p()->messages.insert(own->rowid, own);
            auto* c = new _MsgChat;
            c->rowid = 1;
            d.p()->chats.insert(1, c);
            QList<_MsgMessage*> made;
            std::thread([&] {
                for (int i = 0; i < count; ++i)
                    made << (mixHeap && i % 3 == 0 ? new _MsgMessage : maker.newMessage());
            }).join();
            if (adopted) {
                d.p()->adoptMessageStorage(*other);
                other.reset();
            }
            for (int i = 0; i < count; ++i) {
                _MsgMessage* m = made[i];
                QCOMPARE(m->version, 10); // a default record
                m->rowid = i - count / 2; // negative rowids too
                m->attributedBody = probe;
                m->_chat = c;
                c->_messages.insert(d.p()->messageKey(m->rowid), m);
                d.p()->messages.insert(m->rowid, m);
            }
            // Keys are the decimal text of the rowid, found by any equal text.
            QCOMPARE(c->_messages.value(QString::number(made.last()->rowid)), made.last());
            QCOMPARE(c->_messages.size(), count);
            // A copy made in the blocks shares the links and values of its source.
            _MsgMessage* copy = d.p()->newMessage(*made.first());
            QCOMPARE(copy->_chat, c);
            QCOMPARE(copy->attributedBody, probe);
            copy->rowid = -9999999;
            d.p()->messages.insert(copy->rowid, copy);
            // Taking messages out, from the blocks and plain ones alike, leaves the rest intact.
            for (int i = 0; i < count; i += 2)
                d.p()->removeMessage(made[i]);
            QCOMPARE(c->_messages.size(), count / 2);
            QCOMPARE(d.p()->messages.size(), count / 2 + 2);
            for (int i = 1; i < count; i += 2)
                QCOMPARE(made[i]->attributedBody, probe);
            QVERIFY(!probe.isDetached());
        }
        // Every record, in blocks or not, released its values.
        QVERIFY(probe.isDetached());
    }

    void chatMergeGroupsByIdentifier()
    {
        MsgData d;
        auto add = [&](qint64 id, const QString& ident, int last) {
            auto* c = new _MsgChat;
            c->rowid = id;
            c->chat_identifier = ident;
            c->_last = last;
            auto* m = new _MsgMessage;
            m->rowid = id * 100;
            c->_messages.insert(QString::number(m->rowid), m);
            d.p()->messages.insert(m->rowid, m);
            d.p()->chats.insert(id, c);
        };
        add(1, "+1555", 10);
        add(2, "+1555", 30);
        add(3, "+1555 ", 5);
        add(4, "+1555x", 1);
        add(5, "A", 1);
        add(6, "a", 2);
        const auto groups = d.chatMergeList();
        QCOMPARE(groups.size(), 5);
        for (const auto& g : groups) {
            if (g.chats.size() == 2) {
                QCOMPARE(g._last, 30);
                QCOMPARE(g.messages().size(), 2);
            }
        }
    }
};

QTEST_GUILESS_MAIN(TestMsgData)
#include "TestMsgData.moc"
