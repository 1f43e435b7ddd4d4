#include "notes_media/LocalBookmarkDb.h"
#include "support/TestEnv.h"

#include <QFile>
#include <QtTest>
#include <stdexcept>

namespace
{

QString shape(const QList<_Bookmark*>& list)
{
    QStringList parts;
    for (const _Bookmark* b : list)
        parts.append(b->isFolder ? b->title + "[" + shape(b->children) + "]" : b->title + "=" + b->url);
    return parts.join(",");
}

// bar[a, sub[b]] and a root bookmark c.
QList<_Bookmark*> sampleTree()
{
    auto* bar = new _Bookmark(nullptr, true, "bar", "", 0, "u-bar", 0);
    bar->children.append(new _Bookmark(bar, false, "a", "http://a/", 0, "u-a", 0));
    auto* sub = new _Bookmark(bar, true, "sub", "", 1, "u-sub", 0);
    bar->children.append(sub);
    sub->children.append(new _Bookmark(sub, false, "b", "http://b/", 0, "u-b", 0));
    return { bar, new _Bookmark(nullptr, false, "c", "http://c/", 1, "u-c", 0) };
}

} // namespace

class TestLocalBookmarkDb : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void savesTwiceWithoutDuplicates()
    {
        const QString path = TestEnv::tempDir() + "/bookmarks.db";
        LocalBookmarkDb store(path);
        QCOMPARE(store.total(), 0); // made empty on first use
        QVERIFY(QFile::exists(path));
        const QList<_Bookmark*> tree = sampleTree();
        QList<_Bookmark*> added;
        for (const _Bookmark* root : tree)
            store.saveBookmarks(root, added);
        QCOMPARE(added.size(), 3);
        added.clear();
        for (const _Bookmark* root : tree)
            store.saveBookmarks(root, added);
        QVERIFY(added.isEmpty());
        QCOMPARE(store.total(), 3);
        const QList<_Bookmark*> read = store.bookmarks();
        QCOMPARE(shape(read), QString("c=http://c/,bar[a=http://a/,sub[b=http://b/]]"));
        QVERIFY(read.first()->id > 0);
        qDeleteAll(read);
        qDeleteAll(tree);
    }

    // A bookmark saved on its own lands inside its folder chain, made where it is missing.
    void savesInsideParentChain()
    {
        LocalBookmarkDb store(TestEnv::tempDir() + "/bookmarks.db");
        const QList<_Bookmark*> tree = sampleTree();
        const _Bookmark* b = tree.first()->children.at(1)->children.first();
        QList<_Bookmark*> added;
        store.saveBookmarks(b, added);
        QCOMPARE(added, QList<_Bookmark*> { const_cast<_Bookmark*>(b) });
        const QList<_Bookmark*> read = store.bookmarks();
        QCOMPARE(shape(read), QString("bar[sub[b=http://b/]]"));
        qDeleteAll(read);
        qDeleteAll(tree);
    }

    void deletesSubtreeAndFile()
    {
        const QString path = TestEnv::tempDir() + "/bookmarks.db";
        LocalBookmarkDb store(path);
        const QList<_Bookmark*> tree = sampleTree();
        QList<_Bookmark*> added;
        for (const _Bookmark* root : tree)
            store.saveBookmarks(root, added);
        QList<_Bookmark*> read = store.bookmarks();
        store.beginEdit();
        store.deleteBookmark(read.last()); // the folder "bar" with everything below it
        store.endEdit(true);
        qDeleteAll(read);
        read = store.bookmarks();
        QCOMPARE(shape(read), QString("c=http://c/"));
        QCOMPARE(store.total(), 1);
        qDeleteAll(read);
        store.deleteDbFile();
        QVERIFY(!QFile::exists(path));
        QCOMPARE(store.total(), 0); // opening again makes a new empty store
        qDeleteAll(tree);
    }

    void unreadableStoreIsNotCounted()
    {
        const QString path = TestEnv::tempDir() + "/bookmarks.db";
        QFile f(path);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write("not a database at all, just text that is long enough to be looked at by SQLite....");
        f.close();
        QVERIFY_THROWS_EXCEPTION(std::runtime_error, LocalBookmarkDb(path).total());
    }
};

QTEST_GUILESS_MAIN(TestLocalBookmarkDb)
#include "TestLocalBookmarkDb.moc"
