#include "notes_media/IOSBookmarkDb.h"
#include "notes_media/support/NotesFixtures.h"
#include "support/TestEnv.h"

#include <QtTest>
#include <memory>

namespace
{

// Roots (and children) as "title[children...]" in tree order, to compare whole trees at once.
QString shape(const QList<_Bookmark*>& list)
{
    QStringList parts;
    for (const _Bookmark* b : list)
        parts.append(b->isFolder ? b->title + "[" + shape(b->children) + "]" : b->title);
    return parts.join(",");
}

struct Roots {
    QList<_Bookmark*> list;
    ~Roots() { qDeleteAll(list); }
};

} // namespace

class TestIOSBookmarkDb : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void realBackupTree()
    {
        QM_REQUIRE_SHARED();
        const QString file = TestEnv::realFixture("otapki-iphone/HomeDomain/Library/Safari/Bookmarks.db");
        IOSBookmarkDb db(nullptr, NotesFixtures::bookmarksCache(file));
        QCOMPARE(db.total(), 9);
        Roots roots { db.bookmarks() };
        QCOMPARE(shape(roots.list),
            QString("Google,Bing,iPhone User Guide,iPhone Quick Start,AT&T MyAccount,"
                    "BookmarksBar[Apple,Disney,ESPN,Yahoo]"));
        QCOMPARE(_Bookmark::countOf(roots.list), 9);
        const _Bookmark* bar = roots.list.last();
        QCOMPARE(bar->bookmarkCount(), 4);
        QCOMPARE(bar->srcId, QString("F4704D46-5174-4956-A2F1-52ED9754C279"));
        QCOMPARE(bar->children.first()->parent, bar);
        QCOMPARE(bar->children.first()->url, QString("http://www.apple.com/"));
        QVERIFY(bar->url.isEmpty());
        QCOMPARE(bar->id, 0);
    }

    // Rows attach to their folder whatever the order of ids; a parent cycle becomes a root.
    void generatedTree()
    {
        const QString file = NotesFixtures::generate("make_bookmarks_db.py", {}, "Bookmarks.db");
        IOSBookmarkDb db(nullptr, NotesFixtures::bookmarksCache(file));
        Roots roots { db.bookmarks() };
        QCOMPARE(shape(roots.list),
            QString("Search & Find,Plain,javascript,BookmarksBar[Bar zero,Bar one,Sub <folder>[Deep "
                    "\"quoted\",Type two]],"
                    "Late folder[Low id[In low id]],Cycle A[Cycle B[In cycle]]"));
        // The count beside the tree is the page's: type 2 is shown and counted; rows below hidden
        // folders and below bookmarks are neither.
        QCOMPARE(_Bookmark::countOf(roots.list), 9);
        QCOMPARE(db.total(), 9);
        // A second call builds an independent tree.
        Roots again { db.bookmarks() };
        QCOMPARE(shape(again.list), shape(roots.list));
        QVERIFY(again.list.first() != roots.list.first());
    }

    void missingAndEmpty()
    {
        IOSBookmarkDb missing(nullptr, QDir(TestEnv::tempDir()));
        QVERIFY_THROWS_EXCEPTION(std::runtime_error, missing.total());
        try {
            missing.bookmarks();
            QFAIL("no exception");
        } catch (const std::runtime_error& e) {
            QCOMPARE(QString(e.what()), QString("Cannot find Bookmarks.db."));
        }
        const QString file = NotesFixtures::generate("make_bookmarks_db.py", { "--empty" }, "Bookmarks.db");
        IOSBookmarkDb empty(nullptr, NotesFixtures::bookmarksCache(file));
        QCOMPARE(empty.total(), 0);
        QVERIFY(empty.bookmarks().isEmpty());
    }

    void siblingOrder_data()
    {
        QTest::addColumn<int>("orderA");
        QTest::addColumn<QString>("titleA");
        QTest::addColumn<int>("orderB");
        QTest::addColumn<QString>("titleB");
        QTest::addColumn<bool>("less");
        QTest::addColumn<bool>("greater");
        QTest::newRow("capital first") << 0 << "Apple" << 0 << "apple" << true << false;
        QTest::newRow("by title") << 0 << "apple" << 0 << "banana" << true << false;
        QTest::newRow("equal") << 3 << "same" << 3 << "same" << false << false;
        QTest::newRow("order wins") << 1 << "a" << 0 << "z" << false << true;
    }
    void siblingOrder()
    {
        QFETCH(int, orderA);
        QFETCH(QString, titleA);
        QFETCH(int, orderB);
        QFETCH(QString, titleB);
        const _Bookmark a(nullptr, false, titleA, "u", orderA, "", 0);
        const _Bookmark b(nullptr, false, titleB, "u", orderB, "", 0);
        QTEST(compareBookmarkLess(&a, &b), "less");
        QTEST(compareBookmarkLess(&b, &a), "greater");
    }

    void countsAndOwnership()
    {
        auto* folder = new _Bookmark(nullptr, true, "f", "", 0, "", 0);
        auto* sub = new _Bookmark(folder, true, "sub", "", 0, "", 0);
        folder->children.append(sub);
        sub->children.append(new _Bookmark(sub, false, "x", "u", 0, "", 0));
        folder->children.append(new _Bookmark(folder, false, "y", "u", 1, "", 0));
        folder->children.append(new _Bookmark(folder, true, "empty", "", 2, "", 0));
        QCOMPARE(folder->bookmarkCount(), 2);
        QCOMPARE(sub->bookmarkCount(), 1);
        const _Bookmark leaf(nullptr, false, "l", "u", 0, "", 0);
        QCOMPARE(leaf.bookmarkCount(), 0);
        QCOMPARE(_Bookmark::countOf({ folder, const_cast<_Bookmark*>(&leaf) }), 3);
        delete folder; // the whole subtree goes with it (checked by the sanitizers and valgrind runs)
    }
};

QTEST_GUILESS_MAIN(TestIOSBookmarkDb)
#include "TestIOSBookmarkDb.moc"
