#include "app/ShownText.h"
#include "calls_calendars/ui/ItemModelCall.h"
#include "support/ui/PaintedTexts.h"

#include <QtTest>
#include <algorithm>

namespace
{

enum Dates { UtcDates, LocalDates, SomeInvalid };

// n calls whose durations number them; dates from `distinct` values, so a small one gives ties.
QList<_CallHistory> callsOf(int n, int distinct, Dates dates, bool ascending)
{
    QList<_CallHistory> list;
    quint32 seed = 7;
    for (int i = 0; i < n; ++i) {
        seed = seed * 1103515245u + 12345u;
        const int step = distinct >= n ? (ascending ? i : n - i) : int(seed >> 16) % distinct;
        _CallHistory c;
        c.duration = i;
        const qint64 ms = 1500000000000 + qint64(step) * 3600000;
        c.date = dates == LocalDates ? QDateTime::fromMSecsSinceEpoch(ms, Qt::LocalTime)
                                     : QDateTime::fromMSecsSinceEpoch(ms, Qt::UTC);
        if (dates == SomeInvalid && i % 7 == 3)
            c.date = QDateTime();
        list << c;
    }
    return list;
}

QList<int> numbers(const QList<_CallHistory>& calls)
{
    QList<int> out;
    for (const _CallHistory& c : calls)
        out << *c.duration;
    return out;
}

} // namespace

class TestItemModelCall : public QObject
{
    Q_OBJECT
private slots:
    // The page lists calls in the order a plain sort newest first gives, equal dates included.
    void newestFirstAsAPlainSort_data()
    {
        QTest::addColumn<QList<_CallHistory>>("calls");
        QTest::newRow("newest first already") << callsOf(300, 300, UtcDates, false);
        QTest::newRow("oldest first") << callsOf(300, 300, UtcDates, true);
        QTest::newRow("many equal dates") << callsOf(300, 9, UtcDates, false);
        QTest::newRow("local dates, equal ones") << callsOf(300, 9, LocalDates, false);
        QTest::newRow("some dates invalid") << callsOf(300, 40, SomeInvalid, false);
        QTest::newRow("one call") << callsOf(1, 1, UtcDates, false);
        QTest::newRow("none") << QList<_CallHistory>();
    }
    void newestFirstAsAPlainSort()
    {
        QFETCH(QList<_CallHistory>, calls);
        QList<_CallHistory> expected = calls;
        std::sort(expected.begin(), expected.end(), compareCallByDateLess);
        ItemModelCall model;
        model.loadCalls(calls);
        QCOMPARE(numbers(model.calls()), numbers(expected));
        QCOMPARE(model.rowCount(), calls.size());
        for (int row = 0; row < model.rowCount(); ++row)
            QCOMPARE(model.index(row, 4).data().toString(), QString("%1 s").arg(*expected[row].duration));
    }

    // A number or a contact of megabytes: the cell, its tool tip and what the view draws get a
    // bounded head of it, never the whole value.
    void longValuesAreBounded_data()
    {
        QTest::addColumn<QString>("address");
        QTest::addColumn<QString>("person");
        QTest::addColumn<int>("column");
        QTest::newRow("number of 1 MB") << QString(1 << 20, '5') << "Ann" << 1;
        QTest::newRow("contact of 10 MB") << "555" << QString(10 << 20, 'A') << 2;
    }
    void longValuesAreBounded()
    {
        QFETCH(QString, address);
        QFETCH(QString, person);
        QFETCH(int, column);
        _CallHistory call;
        call.address = address;
        call.person = person;
        call.date = QDateTime::fromSecsSinceEpoch(1500000000, Qt::UTC);
        ItemModelCall model;
        model.loadCalls({ call });
        const QString shown = model.index(0, column).data().toString();
        QCOMPARE(shown.size(), ShownText::kMaxLine);
        QVERIFY(shown.endsWith(QChar(0x2026)));
        QVERIFY(model.index(0, column).data(Qt::ToolTipRole).toString().size() < ShownText::kMaxLine + 100);
        QVERIFY(PaintedTexts::longest(&model) <= ShownText::kMaxLine);
        QCOMPARE(model.calls().first().address, address); // the call itself whole
    }
};

QTEST_MAIN(TestItemModelCall)
#include "TestItemModelCall.moc"
