#include "app/IdsTranslator.h"
#include "app/ui/ItemModelBK.h"
#include "app/ui/MainWindow.h"
#include "app/ui/shared/MyTreeView.h"
#include "app/ui/shared/PasscodeDlg.h"
#include "app/ui/support/MainWindowTree.h"
#include "app/ui/support/ModalAnswerer.h"
#include "backup/BackupManifest.h"
#include "backup/BkCacheDb.h"
#include "backup/CacheListDb.h"
#include "backup/support/GenBackup.h"
#include "notes_media/ui/ItemModelPhotoIcon.h"
#include "notes_media/ui/PhotosMainForm.h"
#include "support/TestEnv.h"
#include "support/ui/GuiTestEnv.h"

#include <QAction>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>
#include <QToolBar>
#include <QtTest>
#include <algorithm>

// The photo and video pages as the main window's tree opens them, over plain and encrypted backups.
class TestMainWindowPhotos : public QObject
{
    Q_OBJECT
    IdsTranslator m_english;

    static void select(MainWindow& w, const AbsTreeItemModel::_ItemNode* node)
    {
        MainWindowTree::select(w, node);
    }
    static void enterPassword(ModalAnswerer& answerer, const QString& password)
    {
        answerer.answerWith([password](QWidget* modal) {
            auto* dlg = qobject_cast<PasscodeDlg*>(modal);
            if (!dlg)
                return false;
            QTimer::singleShot(20, dlg, [dlg, password] {
                dlg->edPassword->setText(password);
                dlg->btnOK->click();
            });
            return true;
        });
    }
    static QStringList texts(const QList<QAction*>& actions)
    {
        QStringList list;
        for (const QAction* a : actions)
            list << a->text();
        return list;
    }

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY(m_english.load(":/en.qm"));
        QCoreApplication::installTranslator(&m_english);
    }

    void pagesOpenFromTheTree_data()
    {
        QTest::addColumn<bool>("encrypted");
        QTest::newRow("plain") << false;
        QTest::newRow("encrypted") << true;
    }
    void pagesOpenFromTheTree()
    {
        QFETCH(bool, encrypted);
        QStringList args { "--photos", "5", "--videos", "2" };
        if (encrypted)
            args << "--password"
                 << "1234"
                 << "--dpic"
                 << "5";
        const QString dir = GenBackup::make(args);
        QVERIFY(!dir.isEmpty());
        QDir().mkpath(BkCacheDb::cacheDir().absolutePath());
        const QString uid = BackupManifest(dir).dirPathMd5();
        CacheListDb(BkCacheDb::cacheDir().absoluteFilePath("cache_list.db")).save(uid, dir);

        MainWindow w;
        w.resize(1000, 680);
        w.show();
        auto* node = static_cast<ItemModelBK::_BKItemNode*>(w.model().bkRoot->children.last());
        ModalAnswerer answerer;
        if (encrypted)
            enterPassword(answerer, "1234");
        select(w, node);
        QCOMPARE(node->children.size(), 11);
        QCOMPARE(node->children.at(0)->text, QString("Photos(5)"));
        QCOMPARE(node->children.at(1)->text, QString("Videos(2)"));

        select(w, node->children.at(0));
        auto* photos = qobject_cast<PhotosMainForm*>(w.currentPage());
        QVERIFY(photos);
        QCOMPARE(photos->model->rowCount(), 5);
        QCOMPARE(texts(w.treeContextActions()), QStringList({ "Extract Photos" }));
        QVERIFY(w.ui->toolBar->actions().contains(w.pageToolbarActions().first()));
        QTRY_VERIFY_WITH_TIMEOUT(photos->isVisible(), 5000);
        QTRY_VERIFY_WITH_TIMEOUT(photos->model->hasPicture(4), 20000);
        // The thumbnails are kept in the backup's cache folder.
        const QDir thumbs(BkCacheDb::cacheDir().absoluteFilePath(uid + "/thumbnails"));
        QTRY_COMPARE(thumbs.entryList(QDir::Files).size(), 5);

        select(w, node->children.at(1));
        auto* videos = qobject_cast<PhotosMainForm*>(w.currentPage());
        QVERIFY(videos);
        QVERIFY(videos->showsVideos());
        QCOMPARE(videos->model->rowCount(), 2);
        QCOMPARE(texts(w.treeContextActions()), QStringList({ "Extract Videos" }));
        QCOMPARE(answerer.seen(), QStringList());
    }

    // An empty page still knows its kind from the tree: its action and texts name what it shows.
    void emptyPagesKeepTheirKind_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<int>("kind");
        QTest::addColumn<QString>("action");
        QTest::newRow("videos of a backup without videos") << QStringList { "--photos", "3", "--videos",
            "0" } << int(ItemModelBK::KindVideos) << "Extract Videos";
        QTest::newRow("photos of a backup without photos") << QStringList { "--photos", "0", "--videos",
            "2" } << int(ItemModelBK::KindPhotos) << "Extract Photos";
    }
    void emptyPagesKeepTheirKind()
    {
        QFETCH(QStringList, args);
        QFETCH(int, kind);
        QFETCH(QString, action);
        const QString dir = GenBackup::make(args);
        QVERIFY(!dir.isEmpty());
        QDir().mkpath(BkCacheDb::cacheDir().absolutePath());
        CacheListDb(BkCacheDb::cacheDir().absoluteFilePath("cache_list.db"))
            .save(BackupManifest(dir).dirPathMd5(), dir);
        MainWindow w;
        w.resize(1000, 680);
        w.show();
        auto* node = static_cast<ItemModelBK::_BKItemNode*>(w.model().bkRoot->children.last());
        ModalAnswerer answerer;
        select(w, node);
        const auto* empty = *std::find_if(node->children.begin(), node->children.end(),
            [kind](const AbsTreeItemModel::_ItemNode* n) { return n->kind == kind; });
        select(w, empty);
        auto* page = qobject_cast<PhotosMainForm*>(w.currentPage());
        QVERIFY(page);
        QCOMPARE(page->model->rowCount(), 0);
        QCOMPARE(page->showsVideos(), kind == ItemModelBK::KindVideos);
        QCOMPARE(texts(w.treeContextActions()), QStringList({ action }));
        QCOMPARE(answerer.seen(), QStringList());
        QTRY_VERIFY(page->isVisible());
        if (kind == ItemModelBK::KindVideos)
            GuiTestEnv::screenshot(&w, "videos-page");
    }
};

QTEST_MAIN(TestMainWindowPhotos)
#include "TestMainWindowPhotos.moc"
