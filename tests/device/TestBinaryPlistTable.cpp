#include "device/BinaryPlistTable.h"

#include <QtEndian>
#include <QtTest>
#include <cstring>

namespace
{

QByteArray be64(quint64 v)
{
    QByteArray b(8, '\0');
    qToBigEndian(v, b.data());
    return b;
}

// A binary property list of already encoded objects, with 1-byte offsets and references; the
// trailer fields can be overridden to make damaged tables.
struct Raw {
    QList<QByteArray> objects;
    quint64 top = 0;
    int offsetSize = 1;
    int refSize = 1;
    qint64 count = -1; // -1: the number of objects
    qint64 tableOffset = -1; // -1: where the table starts

    QByteArray bytes() const
    {
        QByteArray out("bplist00");
        QList<int> offsets;
        for (const QByteArray& o : objects) {
            offsets << int(out.size());
            out += o;
        }
        const quint64 table = quint64(out.size());
        for (int off : offsets)
            out += char(off);
        out += QByteArray(6, '\0');
        out += char(offsetSize);
        out += char(refSize);
        out += be64(count < 0 ? quint64(objects.size()) : quint64(count));
        out += be64(top);
        out += be64(tableOffset < 0 ? table : quint64(tableOffset));
        return out;
    }
};

QByteArray marker(uchar m, const QByteArray& rest = QByteArray())
{
    return QByteArray(1, char(m)) + rest;
}

QByteArray realObject(double d)
{
    quint64 bits;
    std::memcpy(&bits, &d, 8);
    return marker(0x23, be64(bits));
}

} // namespace

class TestBinaryPlistTable : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void refusesDamagedTrailers_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        const QList<QByteArray> one { marker(0x10, "\x05") };
        QTest::newRow("too short") << QByteArray("bplist00");
        QTest::newRow("not a plist") << QByteArray(64, 'x');
        Raw r { one };
        r.offsetSize = 0;
        QTest::newRow("offset size 0") << r.bytes();
        r = Raw { one };
        r.refSize = 9;
        QTest::newRow("reference size 9") << r.bytes();
        r = Raw { one };
        r.count = 0;
        QTest::newRow("no objects") << r.bytes();
        r = Raw { one };
        r.top = 1;
        QTest::newRow("top past the objects") << r.bytes();
        r = Raw { one };
        r.tableOffset = 4;
        QTest::newRow("table inside the header") << r.bytes();
        r = Raw { one };
        r.tableOffset = 1000;
        QTest::newRow("table past the end") << r.bytes();
        r = Raw { one };
        r.offsetSize = 4;
        r.count = qint64(1) << 62; // times 4 wraps to 0
        QTest::newRow("table size wraps") << r.bytes();
    }

    void refusesDamagedTrailers()
    {
        QFETCH(QByteArray, bytes);
        BinaryPlistTable t;
        QVERIFY(!t.open(bytes.constData(), bytes.size()));
    }

    void refusesLengthsPastTheObjects_data()
    {
        QTest::addColumn<QByteArray>("object");
        // UTF-16 units whose byte count (units * 2) wraps to 2 in 64 bits.
        QTest::newRow("utf-16 length wraps")
            << marker(0x6F, "\x13" + be64(0x8000000000000001ull) + QByteArray("\0a", 2));
        QTest::newRow("ascii length huge") << marker(0x5F, "\x13" + be64(~0ull) + "ab");
        QTest::newRow("data length huge") << marker(0x4F, "\x13" + be64(1ull << 63));
        QTest::newRow("length of 16 bytes") << marker(0x5F, "\x14" + QByteArray(16, '\xff'));
        QTest::newRow("length not an integer") << marker(0x5F, "\x23" + be64(1));
        QTest::newRow("length cut off") << marker(0x5F, "\x13\x01");
        QTest::newRow("ascii past the end") << marker(0x5E, "short");
    }

    void refusesLengthsPastTheObjects()
    {
        QFETCH(QByteArray, object);
        const QByteArray bytes = Raw { { object } }.bytes();
        BinaryPlistTable t;
        QVERIFY(t.open(bytes.constData(), bytes.size()));
        QByteArray out;
        QVERIFY(!t.bytes(0, out));
        QVERIFY(!t.isAscii(0, "ab", 2));
    }

    void refusesContainersPastTheObjects_data()
    {
        QTest::addColumn<QByteArray>("object");
        QTest::newRow("dictionary count doubles past 2^64") << marker(0xDF, "\x13" + be64(1ull << 63));
        QTest::newRow("dictionary count huge") << marker(0xDF, "\x13" + be64(~0ull));
        QTest::newRow("array references cut") << marker(0xA5, QByteArray("\x00\x00", 2));
        QTest::newRow("dictionary values cut") << marker(0xD2, QByteArray("\x00\x00", 2));
    }

    void refusesContainersPastTheObjects()
    {
        QFETCH(QByteArray, object);
        const QByteArray bytes = Raw { { object } }.bytes();
        BinaryPlistTable t;
        QVERIFY(t.open(bytes.constData(), bytes.size()));
        quint8 kind;
        quint64 n, first, value;
        QVERIFY(!t.references(0, kind, n, first));
        QVERIFY(!t.lookup(0, "k", value));
    }

    void convertsNumbersWithinRange_data()
    {
        QTest::addColumn<QByteArray>("object");
        QTest::addColumn<bool>("ok");
        QTest::addColumn<qint64>("value");
        QTest::newRow("int8") << marker(0x10, "\x7f") << true << qint64(127);
        QTest::newRow("int64 negative") << marker(0x13, be64(~0ull)) << true << qint64(-1);
        QTest::newRow("int128 low half") << marker(0x14, be64(0) + be64(42)) << true << qint64(42);
        QTest::newRow("int of 32 bytes") << marker(0x15, QByteArray(32, '\0')) << false << qint64(0);
        QTest::newRow("real truncates") << realObject(-3.9) << true << qint64(-3);
        QTest::newRow("real -2^63") << realObject(-9223372036854775808.0) << true
                                    << std::numeric_limits<qint64>::min();
        QTest::newRow("real 2^63") << realObject(9223372036854775808.0) << false << qint64(0);
        QTest::newRow("real 1e300") << realObject(1e300) << false << qint64(0);
        QTest::newRow("real -1e300") << realObject(-1e300) << false << qint64(0);
        QTest::newRow("real NaN") << realObject(std::nan("")) << false << qint64(0);
        QTest::newRow("float infinity")
            << marker(0x22, QByteArray("\x7f\x80\x00\x00", 4)) << false << qint64(0);
        QTest::newRow("float") << marker(0x22, QByteArray("\x40\x40\x00\x00", 4)) << true << qint64(3);
        QTest::newRow("string") << marker(0x51, "x") << false << qint64(0);
    }

    void convertsNumbersWithinRange()
    {
        QFETCH(QByteArray, object);
        QFETCH(bool, ok);
        QFETCH(qint64, value);
        const QByteArray bytes = Raw { { object } }.bytes();
        BinaryPlistTable t;
        QVERIFY(t.open(bytes.constData(), bytes.size()));
        qint64 v = 0;
        QCOMPARE(t.integer(0, v), ok);
        QCOMPARE(v, value);
    }

    void readsStringsAndLooksUpKeys()
    {
        Raw r { {
            marker(0xD2, QByteArray("\x01\x02\x03\x04", 4)), // {"key": "é✓", "other": 1}
            marker(0x53, "key"),
            marker(0x55, "other"),
            marker(0x62, QByteArray("\x00\xe9\x27\x13", 4)),
            marker(0x10, "\x01"),
        } };
        const QByteArray bytes = r.bytes();
        BinaryPlistTable t;
        QVERIFY(t.open(bytes.constData(), bytes.size()));
        quint64 value = 0;
        QVERIFY(t.lookup(0, "key", value));
        QCOMPARE(value, 3u);
        QByteArray text;
        QVERIFY(t.bytes(value, text));
        QCOMPARE(QString::fromUtf8(text), QString::fromUtf8("é✓"));
        QVERIFY(!t.lookup(0, "ke", value));
        QVERIFY(!t.lookup(1, "key", value)); // not a dictionary
        BinaryPlistTable::Header h;
        QVERIFY(!t.header(5, h)); // past the table
    }
};

QTEST_GUILESS_MAIN(TestBinaryPlistTable)
#include "TestBinaryPlistTable.moc"
