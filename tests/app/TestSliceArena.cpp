#include "app/SliceArena.h"

#include <QtTest>
#include <memory>

class TestSliceArena : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void textReadsAsFromUtf8_data()
    {
        QTest::addColumn<QByteArray>("utf8");
        QTest::newRow("ascii") << QByteArray("hello");
        QTest::newRow("accents and emoji") << QByteArray("caf\xc3\xa9 \xf0\x9f\x98\x80");
        QTest::newRow("chinese") << QByteArray("\xe4\xb8\xad\xe6\x96\x87");
        QTest::newRow("invalid bytes") << QByteArray("a\xff\xfe b \xc3");
        QTest::newRow("byte order mark") << QByteArray("\xef\xbb\xbfx");
        QTest::newRow("empty") << QByteArray("");
        QTest::newRow("null") << QByteArray();
        QTest::newRow("long") << QByteArray(20000, 'x');
    }
    void textReadsAsFromUtf8()
    {
        QFETCH(QByteArray, utf8);
        auto arena = std::make_unique<SliceArena>();
        const QByteArrayView view = utf8.isNull() ? QByteArrayView() : QByteArrayView(utf8);
        const QString t = arena->text(view);
        const QString expected = QString::fromUtf8(view);
        arena.reset(); // the values outlive the arena
        QCOMPARE(t, expected);
        QCOMPARE(t.isNull(), expected.isNull());
        QCOMPARE(t.utf16()[t.size()], u'\0');
    }

    void bytesAreOwnedSlices()
    {
        auto arena = std::make_unique<SliceArena>();
        QList<QByteArray> values;
        for (int i = 0; i < 5000; ++i) // several blocks
            values << arena->bytes(
                QByteArray::number(i * 7919).constData(), QByteArray::number(i * 7919).size());
        QByteArray first = values.first();
        arena.reset();
        for (int i = 0; i < values.size(); ++i) {
            QCOMPARE(values[i], QByteArray::number(i * 7919));
            QCOMPARE(values[i].constData()[values[i].size()], '\0');
        }
        // Changing one value leaves its neighbours alone.
        values[1].append("changed");
        values[0][0] = 'X';
        QCOMPARE(values[1], QByteArray::number(7919) + "changed");
        QCOMPARE(values[2], QByteArray::number(2 * 7919));
        QCOMPARE(first, QByteArray("0"));
        values.clear();
        first.append("!"); // the last holder of its block may write in place
        QCOMPARE(first, QByteArray("0!"));
    }

    void aValueOnItsOwnTakesNoMoreThanItself()
    {
        // Callers that fill one record at a time make a fresh arena each time.
        for (int i = 0; i < 3; ++i) {
            SliceArena arena;
            const QByteArray guid("0123456789abcdef0123456789abcdef0123");
            QVERIFY(arena.bytes(guid.constData(), guid.size()).capacity() <= guid.size() + 16);
            QVERIFY(arena.text(QByteArrayView(guid)).capacity() <= guid.size() + 16);
        }
    }

    void emptyAndLargeBytesAreOrdinaryArrays()
    {
        SliceArena arena;
        QCOMPARE(arena.bytes(nullptr, 0), QByteArray("", 0));
        QCOMPARE(arena.bytes("", 0).isNull(), QByteArray("", 0).isNull());
        const QByteArray big(100000, 'b');
        QCOMPARE(arena.bytes(big.constData(), big.size()), big);
    }
};

QTEST_GUILESS_MAIN(TestSliceArena)
#include "TestSliceArena.moc"
