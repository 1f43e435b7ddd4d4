// The real address books of the fixtures, exported in every form through the export thread and
// the printer, and read back with the standard tools.
#include "app/IdsTranslator.h"
#include "app/ui/shared/ProgressForm.h"
#include "app/ui/support/EnglishTexts.h"
#include "contacts/support/ExportFixtures.h"
#include "contacts/ui/ContactsPrinter.h"
#include "contacts/ui/ExportToFileThread.h"
#include "support/TestEnv.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QProcess>
#include <QtTest>

namespace
{
bool exportThrough(const QList<pim::_Contact>& list, ExportToFileThread::TYPE type, const QString& path)
{
    ProgressForm form;
    form.setQuiet(true);
    ExportToFileThread thread(list, type, path, &form);
    thread.start();
    const int result = form.exec();
    thread.wait();
    return result == 1;
}

// Rows of the CSV, names of the HTML page's blocks and missing image files, as JSON.
const char* const kCheck = R"(
import csv, json, os, sys
from html.parser import HTMLParser
rows = list(csv.reader(open(sys.argv[1], newline='', encoding='utf-8')))
page = sys.argv[2]
class P(HTMLParser):
    def __init__(self):
        super().__init__(); self.missing = []; self.names = []; self.inName = False
    def handle_starttag(self, tag, attrs):
        a = dict(attrs)
        if tag == 'img' and not os.path.isfile(os.path.join(os.path.dirname(page), a['src'])): self.missing.append(a['src'])
        if tag == 'div' and a.get('class') == 'ct_name': self.inName = True; self.names.append('')
        if tag == 'br': self.inName = False
    def handle_endtag(self, tag):
        if tag == 'div': self.inName = False
    def handle_data(self, d):
        if self.inName: self.names[-1] += d.strip()
p = P(); p.feed(open(page, encoding='utf-8').read())
print(json.dumps({'rows': len(rows), 'widths': sorted({len(r) for r in rows}), 'names': p.names, 'missing': p.missing}))
)";
} // namespace

class TestRealBookExports : public QObject
{
    Q_OBJECT
    IdsTranslator m_translator;

private slots:
    void initTestCase() { installEnglishTexts(m_translator); }

    void everyForm_data()
    {
        QTest::addColumn<QString>("folder");
        QTest::newRow("tracy") << "tracy-phone-2012";
        QTest::newRow("ileapp") << "ileapp-ios15-contacts";
    }

    void everyForm()
    {
        QM_REQUIRE_SHARED();
        QFETCH(QString, folder);
        const QList<pim::_Contact> contacts = ExportFixtures::realBook(folder);
        QVERIFY(!contacts.isEmpty());
        const QString base = TestEnv::tempDir();
        QVERIFY(exportThrough(contacts, ExportToFileThread::CSV, base + "/c.csv"));
        QVERIFY(exportThrough(contacts, ExportToFileThread::TXT, base + "/c.txt"));
        QVERIFY(exportThrough(contacts, ExportToFileThread::HTML, base + "/c.html"));
        QString out;
        QCOMPARE(ExportFixtures::runPython(kCheck, { base + "/c.csv", base + "/c.html/c.html" }, &out), 0);
        const QJsonObject r = QJsonDocument::fromJson(out.toUtf8()).object();
        QCOMPARE(r["rows"].toInt(), contacts.size() + 1);
        QCOMPARE(r["widths"].toArray().size(), 1);
        QCOMPARE(r["missing"].toArray(), QJsonArray());
        QStringList names;
        for (const pim::_Contact& c : contacts)
            names.append(c.shownName());
        QStringList got;
        for (const QJsonValue& v : r["names"].toArray())
            got.append(v.toString());
        QCOMPARE(got, names);
        if (QStandardPaths::findExecutable("pdftotext").isEmpty())
            QSKIP("poppler-utils are not installed");
        ContactsPrinter printer;
        QCOMPARE(printer.printToPDF(contacts, base + "/c.pdf"), contacts.size());
        QProcess p;
        p.start("pdftotext", { base + "/c.pdf", "-" });
        QVERIFY(p.waitForFinished(60000));
        const QString text = QString::fromUtf8(p.readAllStandardOutput());
        for (const pim::_Contact& c : contacts)
            for (const QString& word : c.shownName().split(' ', Qt::SkipEmptyParts))
                if (!word.contains("fi"))
                    QVERIFY2(text.contains(word), qPrintable(word));
    }
};

QTEST_MAIN(TestRealBookExports)
#include "TestRealBookExports.moc"
