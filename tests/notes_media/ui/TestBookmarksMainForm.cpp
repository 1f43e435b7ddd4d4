#include "app/IdsTranslator.h"
#include "app/ShownText.h"
#include "app/ui/shared/MyTreeView.h"
#include "app/ui/support/EnglishTexts.h"
#include "app/ui/support/ModalAnswerer.h"
#include "backup/BackupManifest.h"
#include "notes_media/IOSBookmarkDb.h"
#include "notes_media/LocalBookmarkDb.h"
#include "notes_media/support/NotesFixtures.h"
#include "notes_media/ui/BookmarksMainForm.h"
#include "notes_media/ui/Ui_BookmarksMainForm.h"
#include "support/TestEnv.h"
#include "support/ui/GuiTestEnv.h"
#include "support/ui/PaintedTexts.h"

#include <QAction>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QtTest>

namespace
{

QSharedPointer<IBookmarkDb> generatedSource()
{
    const QString file = NotesFixtures::generate("make_bookmarks_db.py", {}, "Bookmarks.db");
    return QSharedPointer<IBookmarkDb>(new IOSBookmarkDb(nullptr, NotesFixtures::bookmarksCache(file)));
}

QStringList texts(const QList<QAction*>& actions)
{
    QStringList out;
    for (const QAction* a : actions)
        out.append(a->text());
    return out;
}

QString currentTitle(BookmarksMainForm& page)
{
    const _Bookmark* b = ItemModelBookmark::bookmarkOf(page.ui->listBookmarks->currentIndex());
    return b ? b->title : QString();
}

void select(BookmarksMainForm& page, const QStringList& titles)
{
    auto* sel = page.ui->listBookmarks->selectionModel();
    sel->clear();
    for (const AbsTreeItemModel::_ItemNode* n : page.model.nodes())
        if (titles.contains(n->text))
            sel->select(
                page.model.indexOfItemNode(n), QItemSelectionModel::Select | QItemSelectionModel::Rows);
}

} // namespace

class TestBookmarksMainForm : public QObject
{
    Q_OBJECT
    IdsTranslator m_translator;
private Q_SLOTS:
    void initTestCase() { installEnglishTexts(m_translator); }

    void showsTreeCountAndActions()
    {
        BackupManifest manifest(TestEnv::tempDir());
        BookmarksMainForm page(generatedSource(), &manifest);
        QVERIFY(GuiTestEnv::pageRead(&page));
        page.resize(700, 500);
        page.show();
        QCOMPARE(page.ui->lbCount->text(), QString("Total:9"));
        QCOMPARE(page.model.roots.size(), 6);
        QCOMPARE(page.model.roots.first()->text, QString("BookmarksBar"));
        QCOMPARE(texts(page.toolbarActions()),
            QStringList({ "Backup Bookmarks", "Restore Bookmarks", "Extract Bookmarks" }));
        page.ui->listBookmarks->expandAll();
        page.resize(523, 500);
        QTest::qWait(20);
        QCOMPARE(page.ui->listBookmarks->header()->sectionSize(0), 200);
        page.resize(700, 500);
        QTest::qWait(20);
        GuiTestEnv::screenshot(&page, "bookmarks-page");
    }

    // Search continues after the current row and wraps; titles only, without regard to case.
    void searchWrapsAndExpands()
    {
        BookmarksMainForm page(generatedSource(), nullptr);
        QVERIFY(GuiTestEnv::pageRead(&page));
        page.ui->txtKeyword->setText("  CYCLE ");
        QStringList found;
        for (int i = 0; i < 4; ++i) {
            page.btnSearchClicked();
            found.append(currentTitle(page));
        }
        QCOMPARE(found, QStringList({ "Cycle A", "Cycle B", "In cycle", "Cycle A" }));
        QVERIFY(page.ui->listBookmarks->isExpanded(page.ui->listBookmarks->currentIndex()));
        ModalAnswerer answerer;
        page.ui->txtKeyword->setText(" example ");
        page.btnSearchClicked();
        QVERIFY(answerer.waitHandled(1));
        QCOMPARE(answerer.seen().value(0), QString("Find no Bookmarks with keyword example."));
        page.ui->txtKeyword->setText("   ");
        page.btnSearchClicked();
        QCOMPARE(answerer.handled(), 1);
    }

    void selectionStandsForSubtree()
    {
        BookmarksMainForm page(generatedSource(), nullptr);
        QVERIFY(GuiTestEnv::pageRead(&page));
        select(page, { "Bar one", "BookmarksBar", "Deep \"quoted\"", "Plain" });
        QStringList titles;
        for (const _Bookmark* b : page.getSelections())
            titles.append(b->title);
        titles.sort();
        QCOMPARE(titles, QStringList({ "BookmarksBar", "Plain" }));
    }

    // A title or an address of 10 MB: the list's cells, tool tips and what the view draws get a
    // bounded head of it.
    void longBookmarksAreBounded_data()
    {
        QTest::addColumn<int>("column");
        QTest::newRow("title of 10 MB") << 0;
        QTest::newRow("address of 10 MB") << 1;
    }
    void longBookmarksAreBounded()
    {
        QFETCH(int, column);
        const QString big(10 << 20, 'B');
        _Bookmark folder(nullptr, true, "Folder", "", 0, "1", 0);
        auto* leaf = new _Bookmark(&folder, false, column == 0 ? big : "t",
            column == 1 ? "https://" + big : "https://x.org", 0, "2", 0);
        folder.children.append(leaf);
        ItemModelBookmark model;
        model.loadBookmarks({ &folder });
        const QModelIndex index = model.index(0, column, model.index(0, 0));
        for (const int role : { int(Qt::DisplayRole), int(Qt::ToolTipRole) }) {
            const QString shown = index.data(role).toString();
            QCOMPARE(shown.size(), ShownText::kMaxLine);
            QVERIFY(shown.contains("BBBB") && shown.endsWith(QChar(0x2026)));
        }
        QVERIFY(PaintedTexts::longest(&model) <= ShownText::kMaxLine);
    }

    void opensWebAddressesOnly_data()
    {
        QTest::addColumn<QString>("address");
        QTest::addColumn<bool>("opened");
        QTest::newRow("http") << "http://example.org/" << true;
        QTest::newRow("https upper") << "HTTPS://example.org/a?b" << true;
        QTest::newRow("javascript") << "javascript:alert(1)" << false;
        QTest::newRow("file") << "file:///etc/passwd" << false;
        QTest::newRow("no scheme") << "example.org" << false;
        QTest::newRow("other program") << "smb://host/share" << false;
        QTest::newRow("empty") << "" << false;
    }
    void opensWebAddressesOnly()
    {
        QFETCH(QString, address);
        QTEST(BookmarksMainForm::isWebAddress(address), "opened");
    }

    void deletesFromLocalStore()
    {
        const QString path = TestEnv::tempDir() + "/bookmarks.db";
        {
            IOSBookmarkDb source(nullptr,
                NotesFixtures::bookmarksCache(
                    NotesFixtures::generate("make_bookmarks_db.py", {}, "Bookmarks.db")));
            LocalBookmarkDb store(path);
            QList<_Bookmark*> roots = source.bookmarks(), added;
            for (const _Bookmark* r : roots)
                store.saveBookmarks(r, added);
            qDeleteAll(roots);
        }
        auto* store = new LocalBookmarkDb(path);
        BookmarksMainForm page(QSharedPointer<IBookmarkDb>(store), nullptr);
        QVERIFY(GuiTestEnv::pageRead(&page));
        QCOMPARE(texts(page.toolbarActions()),
            QStringList({ "Restore Bookmarks", "Extract Bookmarks", "Delete Bookmarks" }));
        QCOMPARE(page.ui->lbCount->text(), QString("Total:9"));
        select(page, { "Sub <folder>" });
        QSignalSpy changed(&page, &BookmarksMainForm::localDbChanged);
        ModalAnswerer answerer;
        answerer.answer(QMessageBox::Yes);
        page.miToolbarDelete();
        QCOMPARE(answerer.seen().value(0), QString("Confirm to delete selected Bookmarks?"));
        QCOMPARE(answerer.seen().value(1), QString("Successfully deleted Bookmarks."));
        QVERIFY(GuiTestEnv::pageRead(&page));
        QCOMPARE(page.ui->lbCount->text(), QString("Total:7"));
        page.ui->listBookmarks->selectionModel()->clear();
        answerer.answer(QMessageBox::Yes);
        page.miToolbarDelete();
        QCOMPARE(answerer.seen().value(2), QString("Confirm to delete all Bookmarks?"));
        QVERIFY(GuiTestEnv::pageRead(&page));
        QCOMPARE(page.ui->lbCount->text(), QString("Total:0"));
        QCOMPARE(changed.count(), 2); // the tree recounts the database after each
    }

    void readingFailureKeepsEmptyPage()
    {
        ModalAnswerer answerer;
        BookmarksMainForm page(
            QSharedPointer<IBookmarkDb>(new IOSBookmarkDb(nullptr, QDir(TestEnv::tempDir()))), nullptr);
        QVERIFY(GuiTestEnv::pageRead(&page));
        QVERIFY(answerer.waitHandled(1));
        QVERIFY(answerer.seen().value(0).contains("Cannot find Bookmarks.db."));
        QCOMPARE(page.ui->lbCount->text(), QString("Total:?")); // not counted, so not none
    }
};

QTEST_MAIN(TestBookmarksMainForm)
#include "TestBookmarksMainForm.moc"
