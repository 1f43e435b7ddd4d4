#include "app/EmojiReplace.h"

#include <QStringList>
#include <QtTest>

namespace
{

// Records each code and returns a marker holding it.
QString record(void* context, QString code)
{
    static_cast<QStringList*>(context)->append(code);
    return "[" + code + "]";
}

// Returns text that itself looks like an emoji, to show replacements are not scanned again.
QString emojiAgain(void*, QString)
{
    return QString(QChar(0xE001)) + QString::fromUtf16(u"\U0001F604");
}

} // namespace

class TestEmojiReplace : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void noEmojiNoCall()
    {
        QStringList codes;
        const QString text = "plain text \u00e9 \u4e2d \U0001F900";
        QCOMPARE(emoji_replace(text, record, &codes), text);
        QVERIFY(codes.isEmpty());
    }

    void rangeEdgesAndSymbols()
    {
        QStringList codes;
        const QString text = QString(QChar(0xE537)) + QChar(0xE538) + QChar(0x2714) + QChar(0x2715)
            + QChar(0x3030) + QChar(0xE000) + QChar(0x203C);
        QCOMPARE(emoji_replace(text, record, &codes),
            QString("[E537]") + QChar(0xE538) + "[2714]" + QChar(0x2715) + "[3030][E000][203C]");
        QCOMPARE(codes, QStringList({ "E537", "2714", "3030", "E000", "203C" }));
    }

    void surrogatePairs()
    {
        QStringList codes;
        const QString text = QString::fromUtf16(u"a\U0001F604b\U0001F300c\U0001F7FF\U0001F900");
        QCOMPARE(
            emoji_replace(text, record, &codes), QString::fromUtf16(u"a[1F604]b[1F300]c[1F7FF]\U0001F900"));
        QCOMPARE(codes, QStringList({ "1F604", "1F300", "1F7FF" }));
    }

    void passOrderThenTextOrder()
    {
        QStringList codes;
        const QString text = QString::fromUtf16(u"\U0001F604") + QChar(0xE001)
            + QString::fromUtf16(u"\U0001F601") + QChar(0x2611);
        QCOMPARE(emoji_replace(text, record, &codes), QString("[1F604][E001][1F601][2611]"));
        QCOMPARE(codes, QStringList({ "E001", "2611", "1F604", "1F601" }));
    }

    void replacementsAreNotRescannedWithinAPass()
    {
        // Pass 1's output is pass 2's input, so only the pass-2 form of a pass-1 replacement is seen.
        int calls = 0;
        auto counting = [](void* ctx, QString) -> QString {
            ++*static_cast<int*>(ctx);
            return QString(QChar(0xE001));
        };
        const QString out = emoji_replace(QString(QChar(0xE001)) + QChar(0xE002), counting, &calls);
        QCOMPARE(calls, 2);
        QCOMPARE(out, QString(QChar(0xE001)) + QChar(0xE001));

        const QString twice = emoji_replace(QString::fromUtf16(u"\U0001F604"), emojiAgain, nullptr);
        QCOMPARE(twice, emojiAgain(nullptr, QString()));
    }

    // Where the count-th emoji ends, in text order whatever the pass that replaces it.
    void spanEnd_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("count");
        QTest::addColumn<int>("end");
        const QString mixed = QString::fromUtf16(u"a\U0001F604b") + QChar(0xE001) + "c" + QChar(0x2611)
            + QChar(0x2612) + QString::fromUtf16(u"\U0001F900\U0001F7FF") + "d";
        QTest::newRow("first, a pair") << mixed << 1 << 3;
        QTest::newRow("second, a private-use unit") << mixed << 2 << 5;
        QTest::newRow("third, a symbol") << mixed << 3 << 7;
        QTest::newRow("past a non-emoji symbol and pair") << mixed << 4 << 12;
        QTest::newRow("fewer than asked") << mixed << 5 << int(mixed.size());
        QTest::newRow("lone high surrogates") << QString(QChar(0xD83D)) + "x" + QChar(0xD83C) << 1 << 3;
    }
    void spanEnd()
    {
        QFETCH(QString, text);
        QFETCH(int, count);
        QFETCH(int, end);
        QCOMPARE(emoji_span_end(text, count), qsizetype(end));
    }

    void loneHighSurrogateStays()
    {
        QStringList codes;
        const QString text = QString(QChar(0xD83D)) + "x" + QChar(0xD83C);
        QCOMPARE(emoji_replace(text, record, &codes), text);
        QVERIFY(codes.isEmpty());

        // Emoji around a lone surrogate are still found by both passes.
        const QString mixed = QString(QChar(0xE001)) + QChar(0xDC00) + QString::fromUtf16(u"\U0001F604");
        QCOMPARE(emoji_replace(mixed, record, &codes), "[E001]" + QString(QChar(0xDC00)) + "[1F604]");
        QCOMPARE(codes, QStringList({ "E001", "1F604" }));
    }
};

QTEST_GUILESS_MAIN(TestEmojiReplace)
#include "TestEmojiReplace.moc"
