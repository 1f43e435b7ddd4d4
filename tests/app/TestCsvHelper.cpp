#include "app/CsvHelper.h"
#include "support/FailDevice.h"

#include <QBuffer>
#include <QtTest>

using namespace csvhelper;

namespace
{

// A device over fixed bytes.
struct Input {
    explicit Input(const QByteArray& bytes)
        : data(bytes)
    {
        buffer.setBuffer(&data);
        buffer.open(QIODevice::ReadOnly);
    }
    QByteArray data;
    QBuffer buffer;
};

} // namespace

class TestCsvHelper : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void formatCellQuoting()
    {
        QCOMPARE(formatCell("plain"), QString("plain"));
        QCOMPARE(formatCell(""), QString(""));
        QCOMPARE(formatCell("a,b"), QString("\"a,b\""));
        QCOMPARE(formatCell("say \"hi\""), QString("\"say \"\"hi\"\"\""));
        QCOMPARE(formatCell("two\nlines"), QString("\"two\nlines\""));
        QCOMPARE(formatCell("cr\ronly"), QString("cr\ronly"));
        QCOMPARE(formatCell("\u4e2d\u6587\uff0c"),
            QString("\u4e2d\u6587\uff0c")); // a full-width comma is no comma
    }

    void totalRecordsCountsLineFeedsOutsideQuotes()
    {
        Input in("h1,h2\n\"multi\nline\",x\nlast,row\nno newline");
        QCOMPARE(totalRecords(&in.buffer), 3);
        QVERIFY(in.buffer.atEnd());
        Input empty("");
        QCOMPARE(totalRecords(&empty.buffer), 0);
    }

    void rowBasics()
    {
        Input in("a,b\r\n\"q,\"\"x\"\"\",\"line\nbreak\"\nlast");
        QStringList row;
        QVERIFY(utf8CSVRow(row, &in.buffer, false));
        QCOMPARE(row, QStringList({ "a", "b" }));
        row.clear();
        QVERIFY(utf8CSVRow(row, &in.buffer, false));
        QCOMPARE(row, QStringList({ "q,\"x\"", "line\nbreak" }));
        row.clear();
        QVERIFY(!utf8CSVRow(row, &in.buffer, false));
        QCOMPARE(row, QStringList({ "last" }));
    }

    void rowAppendsAndHandlesEmptyDevice()
    {
        QStringList row { "kept" };
        Input empty1("");
        QVERIFY(!utf8CSVRow(row, &empty1.buffer, true));
        QCOMPARE(row, QStringList({ "kept" }));
        Input empty2("");
        QVERIFY(!utf8CSVRow(row, &empty2.buffer, false));
        QCOMPARE(row, QStringList({ "kept", "" }));
    }

    void byteOrderMark()
    {
        QStringList row;
        Input bom("\xEF\xBB\xBFname,\xC3\xA9t\xC3\xA9\n");
        QVERIFY(utf8CSVRow(row, &bom.buffer, true));
        QCOMPARE(row, QStringList({ "name", "\u00e9t\u00e9" }));

        // Three bytes that are no mark are the row's own.
        row.clear();
        Input plain("abc");
        QVERIFY(!utf8CSVRow(row, &plain.buffer, true));
        QCOMPARE(row, QStringList({ "abc" }));

        // A row shorter than three bytes does not swallow the start of the next one.
        row.clear();
        Input shortRows("a\nbc\n");
        QVERIFY(utf8CSVRow(row, &shortRows.buffer, true));
        QCOMPARE(row, QStringList({ "a" }));
        row.clear();
        QVERIFY(utf8CSVRow(row, &shortRows.buffer, true));
        QCOMPARE(row, QStringList({ "bc" }));
    }

    void quoteRulesInsideCells()
    {
        QStringList row;
        // A quote opening mid-cell, and a quote after a closed section that is kept as text.
        Input in("ab\"c,d\"e,\"x\"y\"z\n");
        QVERIFY(utf8CSVRow(row, &in.buffer, false));
        QCOMPARE(row, QStringList({ "abc,de", "xy\"z" }));
        // Cell text stops at a NUL byte.
        row.clear();
        Input nul(QByteArray("ab\0cd,e\n", 8));
        QVERIFY(utf8CSVRow(row, &nul.buffer, false));
        QCOMPARE(row, QStringList({ "ab", "e" }));
    }

    void skipShortRows()
    {
        QStringList row;
        Input in("\xEF\xBB\xBFonly\n\xEF\xBB\xBF"
                 "a,b,c\nx\n");
        QVERIFY(utf8CSVRowSkip(row, &in.buffer, 3));
        QCOMPARE(row, QStringList({ "a", "b", "c" }));
        row.clear();
        QVERIFY(!utf8CSVRowSkip(row, &in.buffer, 3));
    }

    void readErrorsThrow()
    {
        FailDevice broken(QIODevice::ReadOnly, 0, "device broke");
        QStringList row;
        QVERIFY_THROWS_EXCEPTION(std::runtime_error, utf8CSVRow(row, &broken, false));
        QVERIFY_THROWS_EXCEPTION(std::runtime_error, utf8CSVRow(row, &broken, true));
        QVERIFY_THROWS_EXCEPTION(std::runtime_error, totalRecords(&broken));
        try {
            totalRecords(&broken);
        } catch (const std::runtime_error& e) {
            QCOMPARE(QString::fromUtf8(e.what()), QString("device broke"));
        }
        // A device that breaks part-way through the records.
        FailDevice midway(QIODevice::ReadOnly, 6, "device broke");
        midway.setInput("a,b\nc,d\ne,f\n");
        QVERIFY(utf8CSVRow(row, &midway, false));
        QVERIFY_THROWS_EXCEPTION(std::runtime_error, utf8CSVRow(row, &midway, false));
    }

    void headerAndCells()
    {
        const auto header = toHeader({ "a", "b", "a" });
        QCOMPARE(header.value("a"), 2);
        QCOMPARE(header.value("b"), 1);
        const QStringList row { "0", "1" };
        QCOMPARE(getCell(header, row, "b", "d"), QString("1"));
        QCOMPARE(getCell(header, row, "a", "d"), QString("d")); // row too short
        QCOMPARE(getCell(header, row, "zz", "d"), QString("d"));
        QHash<QString, int> negative { { "n", -1 } };
        QCOMPARE(getCell(negative, row, "n", "d"), QString("d"));
    }
};

QTEST_GUILESS_MAIN(TestCsvHelper)
#include "TestCsvHelper.moc"
