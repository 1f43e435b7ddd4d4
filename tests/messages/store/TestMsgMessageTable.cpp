#include "messages/store/MsgMessage.h"
#include "messages/store/MsgMessageTable.h"

#include <QtTest>
#include <deque>
#include <stdexcept>

class TestMsgMessageTable : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    // A script of steps, each a letter and a rowid: + inserts a new record, = inserts a new one
    // in place of the one there, * asks for the record and makes one when there is none, ! asks
    // with a maker that throws, 0 with one that makes none, - removes; &9:1 also lists the record
    // of rowid 1 under 9. Records are named by the order they were made in (1, 2, ...). Expected:
    // the names inOrder() gives, or with "any " first the names in any order.
    void handsMessagesOutInTheOrderPutIn_data()
    {
        QTest::addColumn<QString>("script");
        QTest::addColumn<QString>("expected");
        QTest::newRow("empty") << ""
                               << "";
        QTest::newRow("in the order put in, not by rowid") << "+3 +1 +2"
                                                           << "1 2 3";
        QTest::newRow("asked twice, made once") << "*1 *2 *1 *3"
                                                << "1 2 3";
        QTest::newRow("removed ones leave, the rest keep their places") << "+1 +2 +3 +4 -2 -4"
                                                                        << "1 3";
        QTest::newRow("removing a rowid not there") << "+1 -5 +2"
                                                    << "1 2";
        QTest::newRow("put in after a removal") << "+1 +2 +3 -2 +5"
                                                << "1 3 4";
        QTest::newRow("asked for after a removal") << "*1 *2 -1 *1"
                                                   << "2 3";
        QTest::newRow("one put in place of another goes last") << "+1 +2 +3 =1"
                                                               << "2 3 4";
        QTest::newRow("the same record again changes nothing") << "+1 +2 &1:1"
                                                               << "1 2";
        QTest::newRow("a maker that throws leaves nothing") << "*1 !2 *3"
                                                            << "1 2";
        QTest::newRow("a maker that makes none leaves nothing") << "*1 02 *3"
                                                                << "1 2";
        QTest::newRow("one record under two rowids") << "+1 &9:1 +2"
                                                     << "1 1 2";
        QTest::newRow("one of its two rowids removed") << "+1 &9:1 +2 -1"
                                                       << "any 1 2";
        QTest::newRow("and more put in after that") << "+1 &9:1 +2 -1 +3 -3 +4"
                                                    << "any 1 2 4";
        QTest::newRow("all removed") << "+1 +2 -1 -2"
                                     << "";
    }
    void handsMessagesOutInTheOrderPutIn()
    {
        QFETCH(QString, script);
        QFETCH(QString, expected);
        std::deque<_MsgMessage> records;
        const auto make = [&records] {
            records.emplace_back();
            records.back().guid = QString::number(records.size());
            return &records.back();
        };
        MsgMessageTable table;
        table.reserve(4);
        for (const QString& step : script.split(' ', Qt::SkipEmptyParts)) {
            const QChar op = step.at(0);
            const QStringList rowids = step.mid(1).split(':');
            const qint64 rowid = rowids.first().toLongLong();
            if (op == '+' || op == '=')
                table.insert(rowid, make());
            else if (op == '*')
                QVERIFY(table.valueOrInsert(rowid, make));
            else if (op == '!')
                QVERIFY_THROWS_EXCEPTION(std::runtime_error,
                    table.valueOrInsert(rowid, []() -> _MsgMessage* { throw std::runtime_error("full"); }));
            else if (op == '0')
                QVERIFY(!table.valueOrInsert(rowid, [] { return static_cast<_MsgMessage*>(nullptr); }));
            else if (op == '-')
                table.remove(rowid);
            else if (op == '&')
                table.insert(rowid, table.value(rowids.last().toLongLong()));
        }
        QStringList names;
        for (const _MsgMessage* m : table.inOrder())
            names << QString(m->guid);
        QStringList all;
        for (const _MsgMessage* m : table)
            all << QString(m->guid);
        QCOMPARE(names.size(), table.size());
        if (expected.startsWith("any ")) {
            names.sort();
            expected = expected.mid(4);
        }
        QCOMPARE(names.join(' '), expected);
        std::sort(names.begin(), names.end());
        std::sort(all.begin(), all.end());
        QCOMPARE(names, all);
    }

    void handedOutListStaysAsItWas()
    {
        // A list handed out shares the table's: changing either leaves the other as it was.
        _MsgMessage a, b, c;
        MsgMessageTable table;
        table.insert(1, &a);
        table.insert(2, &b);
        QList<_MsgMessage*> list = table.inOrder();
        table.insert(3, &c);
        QCOMPARE(list, QList<_MsgMessage*>({ &a, &b }));
        list[0] = &c;
        QCOMPARE(table.inOrder(), QList<_MsgMessage*>({ &a, &b, &c }));
        table.remove(1);
        QCOMPARE(table.inOrder(), QList<_MsgMessage*>({ &b, &c }));
        QCOMPARE(list, QList<_MsgMessage*>({ &c, &b }));
    }
};

QTEST_GUILESS_MAIN(TestMsgMessageTable)
#include "TestMsgMessageTable.moc"
