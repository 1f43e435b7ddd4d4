#include "app/RxReplace.h"

#include <QtTest>

namespace
{

QString bracket(void* context, const QRegularExpressionMatch& match)
{
    ++*static_cast<int*>(context);
    return "[" + match.captured(1) + "]";
}

} // namespace

class TestRxReplace : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void replacesEachMatchWithCapturesAndContext()
    {
        int calls = 0;
        const QString out = rx_replace("a1b22c333", QRegularExpression("(\\d+)"), bracket, &calls);
        QCOMPARE(out, QString("a[1]b[22]c[333]"));
        QCOMPARE(calls, 3);
    }

    void keepsTextAroundAndWithoutMatches()
    {
        int calls = 0;
        QCOMPARE(
            rx_replace("12abc34", QRegularExpression("(\\d+)"), bracket, &calls), QString("[12]abc[34]"));
        QCOMPARE(
            rx_replace("no digits", QRegularExpression("(\\d+)"), bracket, &calls), QString("no digits"));
        QCOMPARE(rx_replace("", QRegularExpression("(\\d+)"), bracket, &calls), QString());
        QCOMPARE(calls, 2);
    }

    void matchesDoNotOverlapAndReplacementsAreNotRescanned()
    {
        // "aaa" holds one non-overlapping "aa"; the replacement itself contains the pattern.
        const auto doubled = [](const QRegularExpressionMatch&) { return QString("aaaa"); };
        QCOMPARE(rx_replace("aaa", QRegularExpression("aa"), doubled), QString("aaaaa"));
        QCOMPARE(rx_replace("xaax", QRegularExpression("aa"), doubled), QString("xaaaax"));
    }

    void emptyMatchesEnd()
    {
        // A pattern that can match nothing must still finish and keep every character.
        const auto mark = [](const QRegularExpressionMatch& m) { return "<" + m.captured(0) + ">"; };
        const QString out = rx_replace("ab1", QRegularExpression("\\d*"), mark);
        QCOMPARE(out.count('a'), 1);
        QCOMPARE(out.count('b'), 1);
        QVERIFY(out.contains("<1>"));
        QCOMPARE(rx_replace("", QRegularExpression("x*"), mark), QString("<>"));
    }

    void surrogatePairsStayWhole()
    {
        // U+1F600 is two UTF-16 units; the match hands both to the callback.
        const QString face = QString::fromUcs4(U"\U0001F600");
        const auto code = [](const QRegularExpressionMatch& m) {
            return QString::number(m.captured(0).toUcs4().value(0), 16).toUpper();
        };
        QCOMPARE(rx_replace("hi " + face + "!", QRegularExpression("([\\x{1F300}-\\x{1F6FF}])"), code),
            QString("hi 1F600!"));
    }

    void invalidPatternLeavesTextAlone()
    {
        int calls = 0;
        QCOMPARE(rx_replace("abc", QRegularExpression("(unclosed"), bracket, &calls), QString("abc"));
        QCOMPARE(calls, 0);
    }
};

QTEST_APPLESS_MAIN(TestRxReplace)
#include "TestRxReplace.moc"
