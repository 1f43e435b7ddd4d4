#include "app/IdsTranslator.h"
#include "app/ui/shared/ProgressForm.h"
#include "app/ui/support/EnglishTexts.h"
#include "notes_media/IOSBookmarkDb.h"
#include "notes_media/LocalBookmarkDb.h"
#include "notes_media/support/NotesFixtures.h"
#include "notes_media/ui/BackupBookmarsThread.h"
#include "notes_media/ui/ExportBookmarkThread.h"
#include "support/TestEnv.h"

#include <QFile>
#include <QtTest>
#include <csignal>
#include <sys/resource.h>

namespace
{

// Parses a bookmark file with Python's html.parser and prints its tree as "title[...]" and
// "title=url" items, the nesting taken from the DL elements alone.
const char kParse[] = R"(
import sys, html.parser
class P(html.parser.HTMLParser):
    def __init__(s):
        super().__init__(); s.stack=[[]]; s.text=None; s.href=None; s.pending=None
    def handle_starttag(s, tag, attrs):
        if tag=='dl':
            if s.pending is not None:
                node=[s.pending, []]; s.stack[-1].append(node); s.stack.append(node[1]); s.pending=None
            elif len(s.stack)==1 and not s.stack[0]: pass
        elif tag in ('h3','a'): s.text=''; s.href=dict(attrs).get('href')
    def handle_endtag(s, tag):
        if tag=='dl' and len(s.stack)>1: s.stack.pop()
        elif tag=='h3': s.pending=s.text; s.text=None
        elif tag=='a': s.stack[-1].append(s.text+'='+s.href); s.text=None
    def handle_data(s, d):
        if s.text is not None: s.text+=d
def show(l): return ','.join(x if isinstance(x,str) else x[0]+'['+show(x[1])+']' for x in l)
p=P(); p.feed(open(sys.argv[1],encoding='utf-8').read()); print(show(p.stack[0]))
)";

// Lowers the file size limit of the process for a scope; writes beyond it fail (EFBIG).
struct FileSizeLimit {
    rlimit old {};
    explicit FileSizeLimit(rlim_t bytes)
    {
        signal(SIGXFSZ, SIG_IGN);
        getrlimit(RLIMIT_FSIZE, &old);
        rlimit lower = old;
        lower.rlim_cur = bytes;
        setrlimit(RLIMIT_FSIZE, &lower);
    }
    ~FileSizeLimit() { setrlimit(RLIMIT_FSIZE, &old); }
};

struct Roots {
    QList<_Bookmark*> list;
    ~Roots() { qDeleteAll(list); }
};

QString runExport(
    const QList<_Bookmark*>& roots, const QString& path, int* result = nullptr, QString* text = nullptr)
{
    ProgressForm form;
    form.setQuiet(true);
    ExportBookmarkThread t(roots, path, &form);
    t.start();
    const int r = form.exec();
    t.wait();
    if (result)
        *result = r;
    if (text)
        *text = form.resultText();
    return NotesFixtures::python(kParse, { path }).trimmed();
}

int runSave(LocalBookmarkDb& store, const QList<_Bookmark*>& roots, QString* text)
{
    ProgressForm form;
    form.setQuiet(true);
    BackupBookmarsThread t(&store, roots, &form);
    t.start();
    const int r = form.exec();
    t.wait();
    *text = form.resultText();
    return r;
}

} // namespace

class TestBookmarkThreads : public QObject
{
    Q_OBJECT
    IdsTranslator m_translator;
private Q_SLOTS:
    void initTestCase() { installEnglishTexts(m_translator); }

    void exportsRealBookmarks()
    {
        QM_REQUIRE_SHARED();
        const QString file = TestEnv::realFixture("otapki-iphone/HomeDomain/Library/Safari/Bookmarks.db");
        IOSBookmarkDb db(nullptr, NotesFixtures::bookmarksCache(file));
        Roots roots { db.bookmarks() };
        const QString path = TestEnv::tempDir() + "/bookmarks.html";
        QString text;
        QCOMPARE(runExport(roots.list, path, nullptr, &text),
            QString("BookmarksBar[Apple=http://www.apple.com/,Disney=http://www.disney.com/,ESPN=http://"
                    "espn.go.com/,"
                    "Yahoo=http://www.yahoo.com/],Google=http://www.google.com/,Bing=http://www.bing.com/"
                    "?pc=APPM,"
                    "iPhone User Guide=http://help.apple.com/iphone/guide/,"
                    "iPhone Quick Start=http://help.apple.com/iosquickstart/iphone/,"
                    "AT&T MyAccount=https://www.wireless.att.com/my-account"));
        QCOMPARE(text, QString("Successfully extracted 9 Bookmarks."));
        QFile f(path);
        QVERIFY(f.open(QIODevice::ReadOnly));
        QVERIFY(f.readAll().contains(">AT&amp;T MyAccount</A>"));
    }

    void exportsEscapedNestedTree()
    {
        const QString file = NotesFixtures::generate("make_bookmarks_db.py", {}, "Bookmarks.db");
        IOSBookmarkDb db(nullptr, NotesFixtures::bookmarksCache(file));
        Roots roots { db.bookmarks() };
        const QString path = TestEnv::tempDir() + "/gen.html";
        QCOMPARE(runExport(roots.list, path),
            QString("BookmarksBar[Bar zero=http://bar.example/0,"
                    "Sub <folder>[Deep \"quoted\"=http://deep.example/\"q\",Type two=http://two.example/],"
                    "Bar one=http://bar.example/1],Cycle A[Cycle B[In cycle=http://cycle.example/]],"
                    "Search & Find=https://example.com/?q=a&b=<c>,Plain=http://example.org/,"
                    "Late folder[Low id[In low id=http://low.example/]],"
                    "javascript=javascript:alert(1)"));
    }

    // What the screen bounds, the export writes whole.
    void longValuesWrittenWhole_data()
    {
        QTest::addColumn<QString>("title");
        QTest::addColumn<QString>("url");
        QTest::newRow("title of 1 MB") << QString(1 << 20, 't') << "http://example.org/";
        QTest::newRow("address of 10 MB") << "t"
                                          << "http://example.org/" + QString(10 << 20, 'u');
    }
    void longValuesWrittenWhole()
    {
        QFETCH(QString, title);
        QFETCH(QString, url);
        _Bookmark b(nullptr, false, title, url, 0, "1", 0);
        const QString path = TestEnv::tempDir() + "/long.html";
        int result = 0;
        runExport({ &b }, path, &result);
        QCOMPARE(result, 1);
        QFile f(path);
        QVERIFY(f.open(QIODevice::ReadOnly));
        const QByteArray written = f.readAll();
        QVERIFY(written.contains(title.toUtf8()));
        QVERIFY(written.contains(url.toUtf8()));
    }

    void emptyListAndFailures()
    {
        const QString path = TestEnv::tempDir() + "/empty.html";
        int result = 0;
        QString text;
        runExport({}, path, &result, &text);
        QCOMPARE(result, 1);
        QCOMPARE(text, QString("Successfully extracted 0 Bookmarks."));
        QFile f(path);
        QVERIFY(f.open(QIODevice::ReadOnly));
        QCOMPARE(f.readAll().count('\n'), 4);
        // A write that fails (here: over the file size limit, as on a full disk) is reported, not
        // success, and the partial file goes.
        _Bookmark b(nullptr, false, QString(500, 'x'), "http://x/", 0, "", 0);
        const QString big = TestEnv::tempDir() + "/big.html";
        {
            FileSizeLimit limit(200);
            runExport({ &b }, big, &result, &text);
        }
        QCOMPARE(result, 0);
        QVERIFY2(text.startsWith("Cannot write " + big), qPrintable(text));
        QVERIFY(!QFile::exists(big));
        runExport({ &b }, TestEnv::tempDir() + "/no/such/folder/x.html", &result, &text);
        QCOMPARE(result, 0);
    }

    void savesTwiceWithSameCount()
    {
        const QString file = NotesFixtures::generate("make_bookmarks_db.py", {}, "Bookmarks.db");
        IOSBookmarkDb db(nullptr, NotesFixtures::bookmarksCache(file));
        Roots roots { db.bookmarks() };
        LocalBookmarkDb store(TestEnv::tempDir() + "/bookmarks.db");
        QString text;
        QCOMPARE(runSave(store, roots.list, &text), 1);
        QCOMPARE(text, QString("Successfully backup 9 Bookmarks"));
        QCOMPARE(runSave(store, roots.list, &text), 1);
        QCOMPARE(text, QString("Successfully backup 9 Bookmarks"));
        QCOMPARE(store.total(), 9);
        Roots read { store.bookmarks() };
        QCOMPARE(_Bookmark::countOf(read.list), 9);
    }

    // A failure on the last tree rolls back the earlier ones, and the error reaches the dialog.
    void failureRollsBackEverything()
    {
        LocalBookmarkDb store(TestEnv::tempDir() + "/bookmarks.db");
        store.open();
        store.db.executeThrow("create trigger no_bad before insert on bookmarks when new.title='bad' "
                              "begin select raise(abort, 'refused'); end");
        _Bookmark good(nullptr, false, "good", "http://g/", 0, "", 0);
        _Bookmark bad(nullptr, false, "bad", "http://b/", 1, "", 0);
        QString text;
        QCOMPARE(runSave(store, { &good, &bad }, &text), 0);
        QVERIFY2(text.contains("refused"), qPrintable(text));
        QCOMPARE(store.total(), 0);
        QCOMPARE(store.db.tranDepth(), 0);
    }
};

QTEST_MAIN(TestBookmarkThreads)
#include "TestBookmarkThreads.moc"
