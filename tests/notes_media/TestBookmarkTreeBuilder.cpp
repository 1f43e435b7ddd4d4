#include "notes_media/BookmarkTreeBuilder.h"

#include <QtTest>
#include <stdexcept>

namespace
{
// A chain of folders `depth` deep, as table rows, with one bookmark in the innermost folder.
BookmarkTreeBuilder chain(int depth)
{
    BookmarkTreeBuilder b;
    for (int i = 1; i <= depth; ++i)
        b.add({ i, i - 1, true, QStringLiteral("f%1").arg(i), QString(), 0, QString(), 0 });
    b.add({ depth + 1, depth, false, "bottom", "http://deep.example/", 0, QString(), 0 });
    return b;
}
} // namespace

class TestBookmarkTreeBuilder : public QObject
{
    Q_OBJECT
private slots:
    void depthUpToTheBound_data()
    {
        QTest::addColumn<int>("folders");
        QTest::addColumn<bool>("refused");
        QTest::newRow("one") << 1 << false;
        // The bookmark inside the innermost folder is one level deeper than it.
        QTest::newRow("bookmark at the bound") << BookmarkTreeBuilder::kMaxDepth - 1 << false;
        QTest::newRow("bookmark past the bound") << BookmarkTreeBuilder::kMaxDepth << true;
        QTest::newRow("200,000 deep") << 200000 << true;
    }
    void depthUpToTheBound()
    {
        QFETCH(int, folders);
        QFETCH(bool, refused);
        BookmarkTreeBuilder b = chain(folders);
        try {
            const QList<_Bookmark*> roots = b.build();
            QVERIFY(!refused);
            QCOMPARE(roots.size(), 1);
            QCOMPARE(_Bookmark::countOf(roots), 1);
            qDeleteAll(roots);
        } catch (const std::runtime_error& e) {
            QVERIFY2(refused, e.what());
            QCOMPARE(QString(e.what()),
                QString("The bookmark database is damaged: its folders nest more than %1 deep.")
                    .arg(BookmarkTreeBuilder::kMaxDepth));
        }
    }

    void deepTreeCountsAndFreesWithoutRecursion()
    {
        // Trees made elsewhere (a store, a test) may be deeper than the reader's bound.
        auto* root = new _Bookmark(nullptr, true, "root", QString(), 0, QString(), 0);
        _Bookmark* cur = root;
        for (int i = 0; i < 300000; ++i) {
            auto* next = new _Bookmark(cur, true, "f", QString(), 0, QString(), 0);
            cur->children.append(next);
            cur = next;
        }
        for (int i = 0; i < 3; ++i)
            cur->children.append(new _Bookmark(cur, false, "b", "http://b.example/", i, QString(), 0));
        QCOMPARE(root->bookmarkCount(), 3);
        QCOMPARE(_Bookmark::countOf({ root }), 3);
        delete root;
    }
};

QTEST_GUILESS_MAIN(TestBookmarkTreeBuilder)
#include "TestBookmarkTreeBuilder.moc"
