#include "app/ShownText.h"

#include <QtTest>

// What a list, a header or a title shows of a stored text: short texts whole, long ones cut
// between two characters and marked, at a cost that does not grow with the text.
class TestShownText : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    // cut: the count of UTF-16 units kept before the mark; -1: the text whole.
    void line_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("max");
        QTest::addColumn<int>("cut");
        const int n = int(ShownText::kMaxLine);
        const QString pair = QString::fromUtf8("\xF0\x9F\x98\x80"); // one character, two units
        const QString flag = QString::fromUtf8("\xF0\x9F\x87\xAB\xF0\x9F\x87\xB7"); // two indicators
        const QString family = QString::fromUtf8("\xF0\x9F\x91\xA9\xE2\x80\x8D\xF0\x9F\x91\xA7");
        QTest::newRow("empty") << QString() << n << -1;
        QTest::newRow("short") << "Ann Lee" << n << -1;
        QTest::newRow("exactly the bound") << QString(n, 'x') << n << -1;
        QTest::newRow("one over") << QString(n + 1, 'x') << n << n - 1;
        QTest::newRow("10 MB") << QString(10 * 1024 * 1024, 'w') << n << n - 1;
        QTest::newRow("pair across the cut") << QString(n - 2, 'x') + pair + "yy" << n << n - 2;
        QTest::newRow("pair before the cut") << QString(n - 3, 'x') + pair + "yy" << n << n - 1;
        QTest::newRow("accent after the cut") << QString(n - 2, 'x') + "e\u0301zz" << n << n - 2;
        QTest::newRow("flag across the cut") << QString(n - 3, 'x') + flag + "z" << n << n - 3;
        QTest::newRow("joined emoji across the cut") << QString(n - 4, 'x') + family + "z" << n << n - 4;
        QTest::newRow("only marks: cut inside them") << "a" + QString(2 * n, QChar(0x301)) << n << n - 1;
        QTest::newRow("a small bound") << "abcdef" << 4 << 3;
    }
    void line()
    {
        QFETCH(QString, text);
        QFETCH(int, max);
        QFETCH(int, cut);
        const QString shown = ShownText::line(text, max);
        if (cut < 0) {
            QCOMPARE(shown, text);
            QVERIFY(text.isEmpty() || shown.isSharedWith(text)); // no copy of a text shown whole
            return;
        }
        QVERIFY2(shown.size() <= max, qPrintable(QString::number(shown.size())));
        QCOMPARE(shown.size(), cut + 1);
        QVERIFY(QStringView(shown).left(cut) == QStringView(text).left(cut));
        QCOMPARE(shown.back(), QChar(0x2026));
    }
};

QTEST_MAIN(TestShownText)
#include "TestShownText.moc"
