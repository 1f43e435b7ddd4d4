#include "contacts/export/CSVExport.h"
#include "contacts/export/TxtExport.h"
#include "contacts/support/ExportFixtures.h"
#include "support/TestEnv.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QtTest>

using ExportFixtures::contact;

namespace
{
QByteArray exportAll(AbsExport& e, const QList<pim::_Contact>& contacts)
{
    QByteArray out = e.initialize(contacts);
    for (const pim::_Contact& c : contacts)
        out += e.ct2Bytes(c);
    return out + e.uninitialize();
}

// Python's csv module over the file: the rows as JSON.
QJsonArray pythonRows(const QByteArray& csv)
{
    const QString path = TestEnv::tempDir() + "/c.csv";
    QFile f(path);
    f.open(QIODevice::WriteOnly);
    f.write(csv);
    f.close();
    QString out;
    const int rc = ExportFixtures::runPython(
        "import csv, json, sys\nprint(json.dumps(list(csv.reader(open(sys.argv[1], newline='', "
        "encoding='utf-8')))))",
        { path }, &out);
    return rc == 0 ? QJsonDocument::fromJson(out.toUtf8()).array() : QJsonArray();
}
} // namespace

class TestAbsTextExport : public QObject
{
    Q_OBJECT

private slots:
    void columns_data()
    {
        QTest::addColumn<QList<pim::_Contact>>("contacts");
        QTest::addColumn<QString>("header");
        QTest::newRow("none") << QList<pim::_Contact> { contact("x", { { 2, { { "data15", "x" } } } }) }
                              << "\n";
        QTest::newRow("order")
            << QList<pim::_Contact> { contact("a",
                   { { 9, {} }, { 12, { { "data2", 2 }, { "data7", "C" }, { "data4", "S" } } },
                       { 12, { { "data2", 1 }, { "data10", "X" } } },
                       { 6, { { "data1", "d" }, { "data2", 3 } } },
                       { 1, { { "data3", "L" }, { "data5", " " } } }, { 3, { { "data2", 7 } } },
                       { 10, { { "data4", "T" } } }, { 8, { { "data5", 0 }, { "data6", "custom" } } } }) }
            << "Prefix,Last Name,Job Title,Tel:,Date:Birthday,Addr:Home:Country,Addr:Work:City,"
               "Addr:Work:Street,IM:Other,Notes\n";
    }

    void columns()
    {
        QFETCH(QList<pim::_Contact>, contacts);
        QFETCH(QString, header);
        CSVExport csv;
        QCOMPARE(QString::fromUtf8(csv.initialize(contacts)), header);
    }

    void rows_data()
    {
        QTest::addColumn<pim::_Contact>("input");
        QTest::addColumn<QString>("row");
        QTest::newRow("two mobiles joined") << contact(
            "x", { { 3, { { "data1", "1" }, { "data2", 2 } } }, { 3, { { "data1", "2" }, { "data2", 2 } } } })
                                            << "1; 2\n";
        QTest::newRow("empty keeps earlier") << contact(
            "x", { { 3, { { "data1", "1" }, { "data2", 2 } } }, { 3, { { "data1", "" }, { "data2", 2 } } } })
                                             << "1\n";
        QTest::newRow("quoting") << contact("x", { { 9, { { "data1", "a,\"b\"" } } } })
                                 << "\"a,\"\"b\"\"\"\n";
        QTest::newRow("lone carriage return quoted")
            << contact("x", { { 9, { { "data1", "a\rb" } } } }) << "\"a\rb\"\n";
        QTest::newRow("lone quote beside non-ASCII")
            << contact("x", { { 1, { { "data2", "Zo\u00eb" }, { "data3", "\"" } } } })
            << "Zo\u00eb,\"\"\"\"\n";
        QTest::newRow("apostrophes bare")
            << contact("x", { { 9, { { "data1", "it's; ok" } } } }) << "it's; ok\n";
        // What the screen bounds, the export writes whole.
        QTest::newRow("note of 10 MB") << contact("x", { { 9, { { "data1", QString(10 << 20, 'n') } } } })
                                       << QString(10 << 20, 'n') + "\n";
    }

    void rows()
    {
        QFETCH(pim::_Contact, input);
        QFETCH(QString, row);
        CSVExport csv;
        csv.initialize({ input });
        QCOMPARE(QString::fromUtf8(csv.ct2Bytes(input)), row);
    }

    void csvReadsInPython()
    {
        if (ExportFixtures::python().isEmpty())
            QSKIP("no python3");
        QList<pim::_Contact> contacts = ExportFixtures::generatedBook({ "--edge" });
        QVERIFY(!contacts.isEmpty());
        contacts.append(contact("Odd",
            { { 9, { { "data1", "line\rbreak, \"quoted\"\nnext" } } },
                { 1, { { "data2", "O" }, { "data3", "D,D" } } } }));
        CSVExport csv;
        const QJsonArray rows = pythonRows(exportAll(csv, contacts));
        QCOMPARE(rows.size(), contacts.size() + 1);
        const QJsonArray header = rows.first().toArray();
        for (const QJsonValue& r : rows)
            QCOMPARE(r.toArray().size(), header.size());
        const QJsonArray last = rows.last().toArray();
        QCOMPARE(last.at(csv.colIndex.value("Notes")).toString(), QString("line\rbreak, \"quoted\"\nnext"));
        QCOMPARE(last.at(csv.colIndex.value("Last Name")).toString(), QString("D,D"));
    }

    void textLayout()
    {
        const pim::_Contact c = contact(
            "x", { { 1, { { "data2", "Ann" }, { "data3", "Lee" } } }, { 9, { { "data1", "a\r\nb" } } } });
        TxtExport txt;
        const QString header = QString::fromUtf8(txt.initialize({ c }));
        QCOMPARE(header,
            QString("First Name") + QString(15, ' ') + "Last Name" + QString(16, ' ') + "Notes"
                + QString(95, ' ') + "\n");
        const QString row = QString::fromUtf8(txt.ct2Bytes(c));
        QCOMPARE(row,
            QString("Ann").leftJustified(25) + QString("Lee").leftJustified(25)
                + QString("a  b").leftJustified(100) + "\n");
        // A long value is written whole and pushes the line right.
        const pim::_Contact longMail = contact("x", { { 4, { { "data1", QString(30, 'm') } } } });
        TxtExport txt2;
        txt2.initialize({ longMail });
        QCOMPARE(txt2.ct2Bytes(longMail), QByteArray(30, 'm') + "\n");
    }
};

QTEST_GUILESS_MAIN(TestAbsTextExport)
#include "TestAbsTextExport.moc"
