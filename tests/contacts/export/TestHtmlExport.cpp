#include "contacts/export/HtmlExport.h"
#include "contacts/support/ExportFixtures.h"
#include "support/TestEnv.h"

#include <QFile>
#include <QtTest>

using ExportFixtures::contact;

namespace
{
// Writes the page P/N as the export thread does; returns its path.
QString writePage(HtmlExport& e, const QString& folder, const QList<pim::_Contact>& contacts)
{
    QByteArray out = e.initialize(contacts);
    for (const pim::_Contact& c : contacts)
        out += e.ct2Bytes(c);
    out += e.uninitialize();
    const QString page = folder + "/" + QFileInfo(folder).fileName();
    QFile f(page);
    f.open(QIODevice::WriteOnly);
    f.write(out);
    return page;
}

// Parses the page with Python's XML and HTML parsers; prints the texts of the name blocks, then
// "missing" for each image source that is not a file beside the page.
const char* const kCheck = R"(
import sys, os, xml.dom.minidom
from html.parser import HTMLParser
page = sys.argv[1]
data = open(page, encoding='utf-8').read()
xml.dom.minidom.parseString(data.split('\n', 1)[1])
class P(HTMLParser):
    def __init__(self):
        super().__init__(); self.names = []; self.inName = False
    def handle_starttag(self, tag, attrs):
        a = dict(attrs)
        if tag == 'img' and not os.path.isfile(os.path.join(os.path.dirname(page), a['src'])): print('missing', a['src'])
        if tag == 'div' and a.get('class') == 'ct_name': self.inName = True; self.names.append('')
        if tag == 'br' and self.inName: self.names[-1] += '|'
    def handle_endtag(self, tag):
        if tag == 'div': self.inName = False
    def handle_data(self, d):
        if self.inName: self.names[-1] += d.strip()
p = P(); p.feed(data)
for n in p.names: print(n)
)";
} // namespace

class TestHtmlExport : public QObject
{
    Q_OBJECT

private slots:
    void pageIsWellFormedAndEscaped()
    {
        if (ExportFixtures::python().isEmpty())
            QSKIP("no python3");
        const QString folder = TestEnv::tempDir() + "/out.html";
        HtmlExport e { QDir(folder) };
        const QList<pim::_Contact> contacts { contact("<script>alert(1)</script> & Co",
                                                  { { 5, { { "data1", "A&B" } } },
                                                      { 10, { { "data5", "Sales" } } },
                                                      { 2, { { "data15", ExportFixtures::png() } } },
                                                      { 12, { { "data4", "<i>1</i>" }, { "data2", 1 } } } }),
            contact("Twin", { { 2, { { "data15", ExportFixtures::jpeg() } } } }),
            contact("Broken", { { 2, { { "data15", QByteArray("nope") } } } }) };
        const QString page = writePage(e, folder, contacts);
        QString out;
        QCOMPARE(ExportFixtures::runPython(kCheck, { page }, &out), 0);
        QCOMPARE(out.split('\n', Qt::SkipEmptyParts),
            QStringList({ "<script>alert(1)</script> & Co|\"A&B\" - Sales", "Twin", "Broken" }));
        // Both contacts have the id 0: two photo files, not one.
        QCOMPARE(QDir(folder + "/photos").entryList(QDir::Files).size(), 3);
    }

    // A contact without a full name is headed by its company, which is not repeated below.
    void companyOnlyContactsAreNamed()
    {
        if (ExportFixtures::python().isEmpty())
            QSKIP("no python3");
        const QString folder = TestEnv::tempDir() + "/org.html";
        HtmlExport e { QDir(folder) };
        const QString page = writePage(e, folder,
            { contact("", { { 10, { { "data1", "Apple Inc." }, { "data4", "CEO" } } } }),
                contact("Tim", { { 10, { { "data1", "Apple Inc." }, { "data4", "CEO" } } } }),
                contact("", { { 10, { { "data1", "A & B" } } } }), contact("", {}) });
        QString out;
        QCOMPARE(ExportFixtures::runPython(kCheck, { page }, &out), 0);
        QCOMPARE(out.split('\n'), QStringList({ "Apple Inc.|CEO", "Tim|CEO|Apple Inc.", "A & B", "", "" }));
    }

    void sections()
    {
        HtmlExport e { QDir(TestEnv::tempDir()) };
        const QString block = QString::fromUtf8(e.ct2Bytes(contact("x",
            { { 10, { { "data1", "A" } } }, { 10, { { "data1", "B" }, { "data2", 1 } } },
                { 9, { { "data1", "n1\nn2" } } } })));
        QVERIFY(block.contains(
            "<h2 class=\"ent_group\">Organization:</h2>\r\n<ul class=\"ent_list\">\r\n<li>Work:B</li>"));
        QVERIFY(!block.contains("<li>Other:A</li>"));
        QVERIFY(block.contains("<li>n1<br/>n2</li>"));
        QVERIFY(block.contains("src=\"photos/contact.png\""));
    }

    void removeCreatedLeavesOthers()
    {
        const QString base = TestEnv::tempDir();
        const QString folder = base + "/new/out.html";
        {
            HtmlExport e { QDir(folder) };
            writePage(e, folder, { contact("a", { { 2, { { "data15", ExportFixtures::png() } } } }) });
            QFile::remove(folder + "/out.html"); // the thread removes its page first
            e.removeCreated();
        }
        QVERIFY(!QFileInfo::exists(base + "/new"));
        // An existing folder with a file of the user keeps both.
        QDir().mkpath(base + "/kept/photos");
        QFile keep(base + "/kept/photos/mine.jpg");
        keep.open(QIODevice::WriteOnly);
        keep.close();
        HtmlExport e2 { QDir(base + "/kept") };
        e2.initialize({});
        e2.ct2Bytes(contact("a", { { 2, { { "data15", ExportFixtures::png() } } } }));
        e2.removeCreated();
        QCOMPARE(QDir(base + "/kept/photos").entryList(QDir::Files), QStringList { "mine.jpg" });
    }
};

QTEST_MAIN(TestHtmlExport)
#include "TestHtmlExport.moc"
