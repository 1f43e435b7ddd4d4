#include "app/ui/support/ModalAnswerer.h"
#include "contacts/support/ExportFixtures.h"
#include "contacts/ui/ContactsPrinter.h"
#include "support/TestEnv.h"
#include "support/ui/GuiTestEnv.h"

#include <QPrintPreviewDialog>
#include <QProcess>
#include <QtTest>

using ExportFixtures::contact;

namespace
{
QString run(const QString& exe, const QStringList& args)
{
    QProcess p;
    p.start(exe, args);
    p.waitForFinished(60000);
    return QString::fromUtf8(p.readAllStandardOutput());
}

QList<pim::_Contact> many(int n)
{
    QList<pim::_Contact> list;
    for (int i = 0; i < n; ++i)
        list.append(contact(QString("Person %1").arg(i + 1),
            { { 3, { { "data1", QString("555-%1").arg(i) }, { "data2", 1 } } },
                { 3, { { "data1", QString("777-%1").arg(i) }, { "data2", 2 } } },
                { 4, { { "data1", QString("p%1@example.com").arg(i) } } },
                { 6, { { "data1", "1990-01-02T00:00:00" }, { "data2", 1 } } },
                { 6, { { "data1", "1985-03-12T00:00:00" }, { "data2", 3 } } },
                { 10, { { "data1", "Acme" }, { "data4", "Chief" } } },
                { 12,
                    { { "data4", "1 Long Street Name That Wraps" }, { "data7", "Boston" },
                        { "data10", "USA" } } },
                { 2, { { "data15", i % 2 ? ExportFixtures::png(60, 80) : QByteArray("junk") } } } }));
    return list;
}
} // namespace

class TestContactsPrinter : public QObject
{
    Q_OBJECT

private slots:
    void pdfHoldsTheCardsAsText()
    {
        if (QStandardPaths::findExecutable("pdftotext").isEmpty())
            QSKIP("poppler-utils are not installed");
        const QString path = TestEnv::tempDir() + "/c.pdf";
        ContactsPrinter printer;
        QCOMPARE(printer.printToPDF(many(9), path), 9);
        QVERIFY(run("pdfinfo", { path }).contains(QRegularExpression("Pages:\\s+2")));
        const QString text = run("pdftotext", { "-layout", path, "-" });
        for (const char* s : { "Person 1", "Person 9", "Chief Acme", "Mobile: 777-0", "Home: 555-8",
                 "E-Mail: p3@example.com", "Boston" })
            QVERIFY2(text.contains(s), s);
        // Mobile before Home; the anniversary is not printed.
        QVERIFY(text.indexOf("777-0") < text.indexOf("555-0"));
        QVERIFY(!text.contains("1990"));
    }

    // A contact without a full name is printed under its company's name, once.
    void companyOnlyContactsAreNamed()
    {
        if (QStandardPaths::findExecutable("pdftotext").isEmpty())
            QSKIP("poppler-utils are not installed");
        const QString path = TestEnv::tempDir() + "/org.pdf";
        ContactsPrinter printer;
        QCOMPARE(printer.printToPDF(
                     { contact("", { { 10, { { "data1", "Orchard Computers" } } } }),
                         contact("Tim", { { 10, { { "data1", "Pear Ltd" }, { "data4", "CEO" } } } }),
                         contact("", { { 10, { { "data1", "Quince" }, { "data4", "Shop" } } } }) },
                     path),
            3);
        const QString text = run("pdftotext", { path, "-" });
        QCOMPARE(text.count("Orchard Computers"), 1);
        QVERIFY2(text.contains("Tim") && text.contains("CEO Pear Ltd"), qPrintable(text));
        QCOMPARE(text.count("Quince"), 2); // the name, then the title line
        QVERIFY(text.contains("Shop Quince"));
    }

    void longValuesPrintWhole()
    {
        if (QStandardPaths::findExecutable("pdftotext").isEmpty())
            QSKIP("poppler-utils are not installed");
        const QString path = TestEnv::tempDir() + "/long.pdf";
        ContactsPrinter printer;
        QCOMPARE(
            printer.printToPDF({ contact("Grace Hopper",
                                   { { 3, { { "data1", "+1 555 123 0002 extension 4711" }, { "data2", 2 } } },
                                       { 4, { { "data1", "grace.hopper.longname@example.com" } } } }) },
                path),
            1);
        // Whole, though perhaps wrapped over two lines.
        QString text = run("pdftotext", { "-layout", path, "-" });
        text.remove(QRegularExpression("\\s+"));
        for (const char* s : { "grace.hopper.longname@example.com", "+15551230002extension4711" })
            QVERIFY2(text.contains(s), qPrintable(text));
        QVERIFY(!text.contains(QChar(0x2026)));
    }

    void emptyListGivesOnePage()
    {
        const QString path = TestEnv::tempDir() + "/e.pdf";
        ContactsPrinter printer;
        QCOMPARE(printer.printToPDF({}, path), 0);
        QVERIFY(QFileInfo(path).size() > 0);
    }

    void pdfThatCannotBeCreatedIsAnError()
    {
        ContactsPrinter printer;
        QVERIFY_THROWS_EXCEPTION(std::runtime_error, printer.printToPDF(many(1), "/no/such/folder/x.pdf"));
    }

    void preview()
    {
        ModalAnswerer answerer;
        bool seen = false;
        answerer.answerWith([&](QWidget* modal) {
            auto* dialog = qobject_cast<QPrintPreviewDialog*>(modal);
            if (!dialog)
                return false;
            seen = dialog->windowTitle() == "IDS_PRINT_CONTACTS" || dialog->windowTitle() == "Print Contacts";
            QTest::qWait(300);
            GuiTestEnv::screenshot(dialog, "contacts-print-preview");
            dialog->reject();
            return true;
        });
        ContactsPrinter printer;
        printer.printContacts(many(5));
        QVERIFY(seen);
        QCOMPARE(printer.paintedCount(), 5);
    }
};

QTEST_MAIN(TestContactsPrinter)
#include "TestContactsPrinter.moc"
