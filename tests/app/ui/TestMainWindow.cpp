#include "app/AppInfo.h"
#include "app/DataPaths.h"
#include "app/IdsTranslator.h"
#include "app/TaskCancel.h"
#include "app/sqlite/Sqlite3DB.h"
#include "app/support/LoopbackHttpServer.h"
#include "app/support/SyntheticBackup.h"
#include "app/ui/BKDescForm.h"
#include "app/ui/DataSources.h"
#include "app/ui/GetStartForm.h"
#include "app/ui/MainWindow.h"
#include "app/ui/shared/LoadItunesBackupDlg.h"
#include "app/ui/shared/MyTreeView.h"
#include "app/ui/shared/PasscodeDlg.h"
#include "app/ui/shared/ProgressForm.h"
#include "app/ui/support/DialogAnswers.h"
#include "app/ui/support/HeldManifestReads.h"
#include "app/ui/support/MainWindowTree.h"
#include "app/ui/support/ModalAnswerer.h"
#include "backup/BackupManifest.h"
#include "backup/BkCacheDb.h"
#include "backup/CacheListDb.h"
#include "backup/MBDBParser.h"
#include "backup/ui/BackupWaitUi.h"
#include "contacts/export/VCardThumbnail.h"
#include "messages/store/MsgAttachment.h"
#include "messages/store/MsgTempDir.h"
#include "messages/support/MsgFixtures.h"
#include "messages/ui/ItemModelSMSHandle.h"
#include "messages/ui/ItemModelSms.h"
#include "messages/ui/SMSMainForm.h"
#include "support/ForeignDisk.h"
#include "support/TestEnv.h"
#include "support/ui/GuiTestEnv.h"
#include "support/ui/TickGaps.h"

#include <QDesktopServices>
#include <QElapsedTimer>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QProcess>
#include <QPushButton>
#include <QScopeGuard>
#include <QSplitter>
#include <QStatusBar>
#include <QTemporaryDir>
#include <QToolBar>
#include <QtTest>
#include <thread>
#include <unistd.h>

using MainWindowTree::actionTexts;
namespace
{
// A folder that cannot be removed while it lives: a mount point (as root, whom permissions do not
// stop), else a folder whose file cannot be unlinked.
class UnremovableFolder
{
public:
    explicit UnremovableFolder(const QString& path)
        : m_path(path)
    {
        QDir().mkpath(path);
        if (::geteuid() == 0) {
            m_mounted = QProcess::execute("mount", { "--bind", m_empty.path(), path }) == 0;
        } else {
            QFile(path + "/kept").open(QIODevice::WriteOnly);
            QFile::setPermissions(path, QFile::ReadOwner | QFile::ExeOwner);
        }
    }
    ~UnremovableFolder()
    {
        if (m_mounted)
            QProcess::execute("umount", { m_path });
        QFile::setPermissions(m_path, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    }

private:
    QTemporaryDir m_empty;
    QString m_path;
    bool m_mounted = false;
};
} // namespace

using MainWindowTree::listedRead;
using MainWindowTree::select;
using MainWindowTree::texts;

class TestMainWindow : public QObject
{
    Q_OBJECT
    IdsTranslator m_english;
    QString m_backups; // a folder of synthetic backups made once
    QList<QUrl> m_opened;
    int m_exits = 0;

    QString plainBackup() const { return m_backups + "/plain"; }
    QString lockedBackup() const { return m_backups + "/locked"; }

    static QString cacheList() { return BkCacheDb::cacheDir().absoluteFilePath("cache_list.db"); }
    static QString uidOf(const QString& path)
    {
        BackupManifest m(path);
        return m.dirPathMd5();
    }
    // Shows the window and loads the backup in folder through the menu; the backup's node.
    static ItemModelBK::_BKItemNode* loadThroughTheMenu(
        MainWindow& w, ModalAnswerer& answerer, const QString& folder)
    {
        w.resize(1000, 680);
        w.show();
        DialogAnswers::chooseBackup(answerer, folder);
        w.miLoadiTunesBackup();
        return static_cast<ItemModelBK::_BKItemNode*>(w.model().bkRoot->children.value(0));
    }
    // Answers the password dialog with the texts in turn; the box after each wrong one is closed.
    static void enterPasswords(ModalAnswerer& answerer, const QStringList& passwords, bool closeAtEnd = false)
    {
        auto tries = std::make_shared<QStringList>(passwords);
        answerer.answerWith([tries, closeAtEnd](QWidget* modal) {
            auto* dlg = qobject_cast<PasscodeDlg*>(modal);
            if (!dlg)
                return false;
            auto* timer = new QTimer(dlg);
            QObject::connect(timer, &QTimer::timeout, dlg, [dlg, tries, closeAtEnd, timer] {
                if (QApplication::activeModalWidget() != dlg)
                    return; // a warning is still open
                if (tries->isEmpty()) {
                    timer->stop();
                    if (closeAtEnd)
                        dlg->btnClose->click();
                    return;
                }
                dlg->edPassword->setText(tries->takeFirst());
                dlg->btnOK->click();
            });
            timer->start(20);
            return true;
        });
    }

public Q_SLOTS:
    void openUrl(const QUrl& url) { m_opened << url; }

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY(m_english.load(":/en.qm"));
        QCoreApplication::installTranslator(&m_english);
        m_backups = TestEnv::tempDir();
        QVERIFY(SyntheticBackup::make(plainBackup(), { "--demo" }));
        QVERIFY(SyntheticBackup::makeEncrypted(lockedBackup(), "1234"));
        for (const char* scheme : { "http", "https", "file" })
            QDesktopServices::setUrlHandler(scheme, this, "openUrl");
        MainWindow::setExitHandler([this] { ++m_exits; });
    }

    void cleanupTestCase()
    {
        for (const char* scheme : { "http", "https", "file" })
            QDesktopServices::unsetUrlHandler(scheme);
    }

    void init()
    {
        g_delDirCascade(g_dataSaveDir().absolutePath());
        QDir(g_dataSaveDir().absolutePath()).removeRecursively();
        m_opened.clear();
        m_exits = 0;
        UpdateChecker::setServiceBase(QUrl());
    }

    void frame()
    {
        MainWindow w;
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        QCOMPARE(w.objectName(), QString("MainWindow"));
        QCOMPARE(w.windowTitle(), QString("Quillmarrow"));
        for (const char* name :
            { "centralWidget", "splitter", "treeBK", "wdMain", "menuBar", "toolBar", "statusBar" })
            QVERIFY2(w.findChild<QWidget*>(name), name);
        QVERIFY(qobject_cast<GetStartForm*>(w.currentPage()));
        QCOMPARE(w.model().rowCount(), 2);
        QVERIFY(w.ui->treeBK->isHeaderHidden());
        w.resize(1000, 680);
        QTRY_VERIFY(w.currentPage()->isVisible());
        GuiTestEnv::screenshot(&w, "main-window-start");

        QStringList menus;
        QStringList entries;
        for (QAction* m : w.menuBar()->actions()) {
            menus << m->text();
            for (QAction* a : m->menu()->actions()) {
                entries << a->text();
                QVERIFY(a->shortcut().isEmpty());
            }
        }
        QCOMPARE(menus, QStringList({ "Menu", "Tools", "Help" }));
        QCOMPARE(entries,
            QStringList({ "Load iTunes Backup", "Open Database Folder", "Exit", "Check for Update",
                "Clear Cache files", "Help", "Feedback and Support", "About" }));

        const QList<QAction*> tools = w.ui->toolBar->actions();
        QCOMPARE(tools.size(), 4);
        QVERIFY(qobject_cast<QLabel*>(w.ui->toolBar->widgetForAction(tools[0])));
        QCOMPARE(actionTexts(tools.mid(1)), QStringList({ "Load iTunes Backup", "|", "Homepage" }));
        QCOMPARE(w.ui->toolBar->iconSize(), QSize(52, 52));
        QVERIFY(!w.ui->toolBar->isMovable());

        // The tree takes a fifth of the width; the page the rest, less the one-pixel handle.
        w.resize(1000, 680);
        QTRY_COMPARE(w.ui->splitter->sizes(), QList<int>({ 200, 799 }));
        w.resize(999, 680);
        QTRY_COMPARE(w.ui->splitter->sizes(), QList<int>({ 199, 799 }));
    }

    // At 800 x 600 every page makes room (wraps or scrolls): the window keeps its width and the
    // tree its fifth, so names are readable; at 1000 the tree can be widened past the page's wish.
    void narrowWindowKeepsTheTreeLabels()
    {
        const QString one = TestEnv::tempDir() + "/one";
        const QString two = TestEnv::tempDir() + "/two";
        QVERIFY(SyntheticBackup::make(
            one, { "--demo", "--device-name", "Test Legacy Plain Backup One", "--udid", QString(40, '1') }));
        QVERIFY(SyntheticBackup::make(
            two, { "--demo", "--device-name", "Test Legacy Plain Backup Two", "--udid", QString(40, '2') }));
        {
            QDir().mkpath(BkCacheDb::cacheDir().absolutePath());
            CacheListDb list(cacheList());
            list.save(uidOf(one), one);
            list.save(uidOf(two), two);
        }
        g_localDbDir().mkpath("Saved messages of a long local database name");
        MainWindow w;
        QVERIFY(listedRead(w));
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        const auto* first = w.model().bkRoot->children.first();
        using Node = const AbsTreeItemModel::_ItemNode*;
        const QList<QPair<std::function<Node()>, QString>> pages = {
            { [&] { return w.model().bkRoot; }, "main-window-narrow-start" },
            { [&] { return first; }, "main-window-narrow" },
            { [&] { return w.model().localDbRoot->children.first(); }, "main-window-narrow-local-db" },
            { [&] { return first->children.value(2); }, "main-window-narrow-messages" },
        };
        for (const auto& [nodeOf, picture] : pages) {
            const Node node = nodeOf();
            QVERIFY(node);
            select(w, node);
            w.resize(800, 600);
            QTRY_COMPARE(w.width(), 800);
            QTRY_COMPARE(w.ui->splitter->sizes().value(0), 160);
            QTRY_VERIFY(w.currentPage()->isVisible());
            GuiTestEnv::screenshot(&w, picture);
            w.resize(1000, 680);
            QTRY_COMPARE(w.width(), 1000);
            w.ui->splitter->setSizes({ 420, 579 });
            QTRY_COMPARE(w.ui->splitter->sizes().value(0), 420);
        }
        // Names that begin alike stay apart when cut to the tree's width.
        QCOMPARE(w.ui->treeBK->textElideMode(), Qt::ElideMiddle);
    }

    void relistsRememberedBackups()
    {
        const QString missing = m_backups + "/gone";
        const QString noPlist = TestEnv::tempDir() + "/no-plist";
        QVERIFY(QDir().mkpath(noPlist));
        {
            QDir().mkpath(BkCacheDb::cacheDir().absolutePath());
            CacheListDb list(cacheList());
            list.save(uidOf(plainBackup()), plainBackup());
            list.save(uidOf(missing), missing);
            list.save(uidOf(noPlist), noPlist);
        }
        const QDir missingCache(BkCacheDb::cacheDir().absoluteFilePath(uidOf(missing)));
        QVERIFY(QDir().mkpath(missingCache.absoluteFilePath("file-relay")));

        MainWindow w;
        QVERIFY(listedRead(w));
        // One that is there but holds no readable backup is listed as such, and says why.
        QStringList shown = texts(w.model().bkRoot->children);
        shown.sort();
        QCOMPARE(shown, QStringList({ "Demo iPhone-plain", "no-plist (not readable)" }));
        const auto* unreadable = w.model().bkRoot->children.value(shown.indexOf("no-plist (not readable)"));
        QCOMPARE(w.model().indexOfItemNode(unreadable).data(Qt::ToolTipRole).toString(),
            QString("The folder %1 is not a readable iTunes backup.\nCannot find %1/Manifest.plist. This "
                    "folder is not a device backup.")
                .arg(noPlist));
        QVERIFY(!missingCache.exists());
        QStringList paths;
        for (const auto& item : CacheListDb(cacheList()).cacheList())
            paths << item.path;
        paths.sort();
        QStringList expected { plainBackup(), noPlist };
        expected.sort();
        QCOMPARE(paths, expected);
    }

    void foreignCacheNamesInTheListDeleteNothing()
    {
        // A damaged list whose entries name no hash: dropping them must not delete what they point at.
        const QString outside = TestEnv::tempDir() + "/keep";
        QVERIFY(QDir().mkpath(outside));
        QFile keep(outside + "/precious.txt");
        QVERIFY(keep.open(QIODevice::WriteOnly));
        keep.write("x");
        keep.close();
        QVERIFY(QDir().mkpath(g_localDbDir().absoluteFilePath("Saved")));
        QVERIFY(QDir().mkpath(BkCacheDb::cacheDir().absoluteFilePath(uidOf(plainBackup()))));
        {
            CacheListDb list(cacheList());
            list.save("..", m_backups + "/gone1");
            list.save(outside, m_backups + "/gone2");
            list.save(QString(), m_backups + "/gone3");
        }
        MainWindow w;
        QVERIFY(listedRead(w));
        QCOMPARE(w.model().bkRoot->children.size(), 0);
        QVERIFY(QFile::exists(outside + "/precious.txt"));
        QVERIFY(g_localDbDir().exists("Saved"));
        QVERIFY(BkCacheDb::cacheDir().exists(uidOf(plainBackup())));
        QCOMPARE(CacheListDb(cacheList()).cacheList().size(), 0);
    }

    void aRememberedBackupBeingRead_data() { HeldManifestReads::addRows(); }
    // A remembered backup whose read does not end (a disk that stopped answering) holds neither the
    // window nor the other backups: it shows as being read; selected, it is waited for under a dialog
    // that may be cancelled; then it shows as the backup, or as not readable and why.
    void aRememberedBackupBeingRead()
    {
        QFETCH(bool, damaged);
        QFETCH(bool, cancel);
        const QString held = TestEnv::tempDir() + "/held";
        QVERIFY(HeldManifestReads::makeBackup(held, damaged));
        {
            QDir().mkpath(BkCacheDb::cacheDir().absolutePath());
            CacheListDb list(cacheList());
            list.save(uidOf(held), held);
            list.save(uidOf(plainBackup()), plainBackup());
        }
        HeldManifestReads reads({ held });
        MainWindow w;
        QCOMPARE(reads.left(), 0);
        w.resize(1000, 680);
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        QTRY_COMPARE(reads.holding(), 1);
        QTRY_VERIFY(texts(w.model().bkRoot->children).contains("Demo iPhone-plain"));
        ItemModelBK::_BKItemNode* node = nullptr;
        for (auto* child : std::as_const(w.model().bkRoot->children)) {
            if (static_cast<ItemModelBK::_BKItemNode*>(child)->path == held)
                node = static_cast<ItemModelBK::_BKItemNode*>(child);
        }
        QVERIFY(node);
        QCOMPARE(node->text, QString("held (reading...)"));
        const QString waitText = QString("Reading the backup %1 now. Please wait...").arg(held);
        QCOMPARE(w.model().indexOfItemNode(node).data(Qt::ToolTipRole).toString(), waitText);
        // The window answers meanwhile.
        select(w, w.model().localDbRoot);
        QVERIFY(qobject_cast<GetStartForm*>(w.currentPage()));
        QTRY_VERIFY(w.currentPage()->isVisible());
        if (!damaged && !cancel)
            GuiTestEnv::screenshot(&w, "main-window-backup-being-read");
        ModalAnswerer answerer;
        QString status;
        DialogAnswers::answerProgress(answerer, &status, cancel, [&](ProgressForm* form) {
            if (!damaged && !cancel)
                GuiTestEnv::screenshot(form, "backup-being-read-wait");
            if (!cancel)
                reads.release();
        });
        select(w, node);
        QCOMPARE(status, waitText);
        QCOMPARE(answerer.pending(), 0);
        if (cancel) {
            // Not waited for any longer; the read goes on, and the backup shows once it ends.
            QVERIFY(qobject_cast<GetStartForm*>(w.currentPage()));
            QCOMPARE(node->text, QString("held (reading...)"));
            reads.release();
            QVERIFY(listedRead(w));
            QCOMPARE(node->text, QString("Held Phone-held"));
            QCOMPARE(node->children.size(), 0);
            return;
        }
        QCOMPARE(answerer.seen(), QStringList());
        if (!damaged) {
            QCOMPARE(node->text, QString("Held Phone-held"));
            QCOMPARE(node->children.size(), 11);
            QVERIFY(qobject_cast<BKDescForm*>(w.currentPage()));
            return;
        }
        const QString why = QString("The folder %1 is not a readable iTunes backup.\n%1/Manifest.plist is "
                                    "damaged: it is not a readable property list.")
                                .arg(held);
        QCOMPARE(node->text, QString("held (not readable)"));
        QCOMPARE(w.model().indexOfItemNode(node).data(Qt::ToolTipRole).toString(), why);
        auto* notice = w.findChild<QLabel*>("lbLoadFault");
        QVERIFY(notice && notice->isVisible());
        QCOMPARE(notice->text(), why);
        QVERIFY(qobject_cast<GetStartForm*>(w.currentPage()));
        QTRY_VERIFY(w.currentPage()->isVisible());
        GuiTestEnv::screenshot(&w, "main-window-backup-not-readable");
        // Kept for the next start, and may be unlisted.
        QCOMPARE(actionTexts(w.treeContextActions()), QStringList({ "Unlist this iTunes Backup" }));
        w.miUnmountBK();
        QCOMPARE(texts(w.model().bkRoot->children), QStringList({ "Demo iPhone-plain" }));
        QCOMPARE(CacheListDb(cacheList()).cacheList().size(), 1);
    }

    void recordsOfASelectedBackupAreReadOffTheWindow_data()
    {
        QTest::addColumn<bool>("cancel");
        QTest::newRow("waited for") << false;
        QTest::newRow("cancelled, left to end") << true;
    }

    // Selected, a backup's records are read on a worker under a dialog the user may cancel: the
    // window answers meanwhile (a timer fires every 20 ms) and the entry says it is being read. A
    // read left going keeps saying so, no page reads the backup meanwhile, and it is not read twice;
    // once it has ended the backup loads when selected.
    void recordsOfASelectedBackupAreReadOffTheWindow()
    {
        QFETCH(bool, cancel);
        {
            QDir().mkpath(BkCacheDb::cacheDir().absolutePath());
            CacheListDb(cacheList()).save(uidOf(plainBackup()), plainBackup());
        }
        MainWindow w;
        QVERIFY(listedRead(w));
        w.resize(1000, 680);
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        auto* node = static_cast<ItemModelBK::_BKItemNode*>(w.model().bkRoot->children.first());
        HeldManifestReads reads({ plainBackup() });
        QElapsedTimer clock;
        qint64 last = 0;
        qint64 longest = 0;
        QTimer tick;
        tick.setInterval(20);
        connect(&tick, &QTimer::timeout, &tick, [&] {
            longest = std::max(longest, clock.elapsed() - last);
            last = clock.elapsed();
        });
        ModalAnswerer answerer;
        QString status;
        QString shown;
        DialogAnswers::answerProgress(answerer, &status, cancel, [&](ProgressForm*) {
            QTRY_COMPARE(reads.holding(), 1);
            shown = node->text;
            clock.start();
            tick.start();
            QTest::qWait(1000);
            tick.stop();
            if (!cancel) {
                GuiTestEnv::screenshot(&w, "main-window-records-being-read");
                reads.release();
            }
        });
        select(w, node);
        QCOMPARE(status, QString("Reading the backup %1 now. Please wait...").arg(plainBackup()));
        QCOMPARE(shown, QString("plain (reading...)"));
        QVERIFY2(longest > 0 && longest < 200, qPrintable(QString::number(longest)));
        if (cancel) {
            for (int i = 0; i < 2; ++i) {
                QCOMPARE(node->text, QString("plain (reading...)"));
                QVERIFY(qobject_cast<GetStartForm*>(w.currentPage()));
                QCOMPARE(node->children.size(), 0);
                QCOMPARE(reads.holding(), 1);
                select(w, w.model().localDbRoot);
                select(w, node);
            }
            reads.release();
            QTRY_COMPARE(node->text, QString("Demo iPhone-plain"));
            select(w, w.model().localDbRoot);
            select(w, node);
        }
        QCOMPARE(node->text, QString("Demo iPhone-plain"));
        QCOMPARE(node->children.size(), 11);
        QVERIFY(qobject_cast<BKDescForm*>(w.currentPage()));
    }

    // The window closes while a read is held where no cancel reaches (a disk that stopped
    // answering): it goes at once, and the read is told to stop and left to end on its own.
    void closingWhileABackupIsReadEndsAtOnce()
    {
        {
            QDir().mkpath(BkCacheDb::cacheDir().absolutePath());
            CacheListDb(cacheList()).save(uidOf(plainBackup()), plainBackup());
        }
        HeldManifestReads reads({ plainBackup() });
        {
            MainWindow w;
            w.show();
            QTRY_COMPARE(reads.holding(), 1);
            w.close();
        }
        QCOMPARE(reads.holding(), 1);
        QTRY_VERIFY(reads.cancelSeen());
    }

    void loadingABackupThroughTheMenu()
    {
        MainWindow w;
        w.resize(1000, 680);
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        {
            ModalAnswerer answerer;
            DialogAnswers::chooseBackup(answerer, plainBackup());
            w.miLoadiTunesBackup();
            QCOMPARE(answerer.seen(), QStringList());
        }
        QCOMPARE(w.model().bkRoot->children.size(), 1);
        auto* node = static_cast<ItemModelBK::_BKItemNode*>(w.model().bkRoot->children.first());
        QCOMPARE(node->children.size(), 11);
        QCOMPARE(node->children.at(0)->text, QString("Photos(3)"));
        QCOMPARE(node->children.at(1)->text, QString("Videos(2)"));
        QCOMPARE(node->children.at(2)->text, QString("SMS(16)"));
        QCOMPARE(w.model().indexOfItemNode(node), w.ui->treeBK->currentIndex());
        QVERIFY(qobject_cast<BKDescForm*>(w.currentPage()));
        QCOMPARE(actionTexts(w.treeContextActions()), QStringList({ "Unlist this iTunes Backup" }));
        const QList<CacheListDb::_CacheItem> listed = CacheListDb(cacheList()).cacheList();
        QCOMPARE(listed.size(), 1);
        QCOMPARE(listed.first().path, QDir(plainBackup()).absolutePath());
        QVERIFY(BkCacheDb::cacheDir().exists(node->manifest->dirPathMd5()));
        QTRY_VERIFY(w.currentPage()->isVisible());
        GuiTestEnv::screenshot(&w, "main-window-backup");

        select(w, node->children.at(2));
        QVERIFY(qobject_cast<SMSMainForm*>(w.currentPage()));
        QTRY_VERIFY(w.currentPage()->isVisible());
        GuiTestEnv::screenshot(&w, "main-window-messages");

        // Loading it again keeps one node, rebuilt from a fresh backup object.
        QWeakPointer<BackupManifest> old = node->manifest;
        {
            ModalAnswerer answerer;
            DialogAnswers::chooseBackup(answerer, plainBackup());
            w.miLoadiTunesBackup();
        }
        QCOMPARE(w.model().bkRoot->children.size(), 1);
        QCOMPARE(node->children.size(), 11);
        QVERIFY(node->manifest != old.toStrongRef());
        QTRY_VERIFY(!old); // freed once the old page is gone
        QCOMPARE(CacheListDb(cacheList()).cacheList().size(), 1);

        // Unlisting drops the node and the list entry; the cache stays.
        const QString uid = node->manifest->dirPathMd5();
        select(w, node);
        w.miUnmountBK();
        QCOMPARE(w.model().bkRoot->children.size(), 0);
        QCOMPARE(CacheListDb(cacheList()).cacheList().size(), 0);
        QVERIFY(BkCacheDb::cacheDir().exists(uid));
    }

    // A database of a backup that cannot be read, damaged or holding what SQLite or its reader cannot
    // read: "?" in the tree, never 0, and the page's box names its stored copy and record with why.
    void damagedDatabasesOfABackup_data()
    {
        QTest::addColumn<QString>("file"); // the record's path in HomeDomain
        QTest::addColumn<int>("row"); // its kind's row in the tree
        QTest::addColumn<QString>("damage"); // SQL run in the stored copy, or how its bytes are lost
        QTest::addColumn<QString>("why"); // what the box says of it, after the stored copy
        const QString sms = "Library/SMS/sms.db";
        QTest::newRow("no database") << sms << 2 << "bytes"
                                     << "file is not a database";
        for (const auto& [file, row] : QList<QPair<const char*, int>> {
                 { "Library/AddressBook/AddressBook.sqlitedb", 3 }, { "Library/Voicemail/voicemail.db", 4 },
                 { "Library/CallHistoryDB/CallHistory.storedata", 7 }, { "Library/Safari/Bookmarks.db", 9 } })
            QTest::addRow("no database %s", file) << QString(file) << row << "bytes"
                                                  << "file is not a database";
        // It keeps its first page (it opens) and loses the others (its queries fail).
        QTest::newRow("pages lost") << "Library/Calendar/Calendar.sqlitedb" << 5 << "pages"
                                    << "database disk image is malformed";
        QTest::newRow("a view where a table is read")
            << "Library/Notes/notes.sqlite" << 6
            << "alter table ZNOTE rename to Stored; create view ZNOTE as select * from Stored"
            << "is a view (a query the file holds)";
        QTest::newRow("a table of a module no build has")
            << sms << 2
            << "alter table message rename to Stored; pragma writable_schema=1; insert into sqlite_master "
               "values('table', 'message', 'message', 0, 'CREATE VIRTUAL TABLE message USING "
               "nosuchmod(guid)')"
            << ": no such module: nosuchmod";
        QTest::newRow("a message table without row ids")
            << sms << 2
            << "alter table message rename to Stored; create table message(guid text primary key, text) "
               "without rowid"
            << ": no such column: m.rowid";
        QTest::newRow("a collation no build has")
            << sms << 2
            << "pragma writable_schema=1; update sqlite_master set sql=replace(sql, 'message_id INTEGER', "
               "'message_id INTEGER COLLATE nosuch') where name='chat_message_join'"
            << ": no such collation sequence: nosuch";
        QTest::newRow("a schema the parser rejects")
            << sms << 2
            << "pragma writable_schema=1; update sqlite_master set sql='CREATE TABLE message(' where "
               "name='message'"
            << "malformed database schema (message)";
    }
    void damagedDatabasesOfABackup()
    {
        QFETCH(QString, file);
        QFETCH(int, row);
        QFETCH(QString, damage);
        QFETCH(QString, why);
        const QString folder = TestEnv::tempDir() + "/damaged-"
            + QString(QTest::currentDataTag()).replace(' ', '-').replace('/', '-');
        QVERIFY(SyntheticBackup::make(folder, { "--demo", "--udid", QString(40, 'd') }));
        const QString stored
            = MBDBParser::getBKFilePath(QDir(folder), MBDBParser::backupFileName("HomeDomain", file), false);
        if (damage == "bytes" || damage == "pages") {
            QFile f(stored);
            QVERIFY(f.open(QIODevice::ReadWrite));
            const QByteArray bytes = f.readAll();
            const int pageSize = (uchar(bytes.at(16)) << 8) | uchar(bytes.at(17));
            QVERIFY(bytes.size() > pageSize);
            const bool all = damage == "bytes";
            QVERIFY(f.seek(all ? 0 : pageSize));
            f.write(QByteArray(all ? 4096 : int(bytes.size()) - pageSize, 'x'));
            if (all)
                f.resize(4096);
        } else {
            Sqlite3DB db;
            db.openThrow(stored, SQLITE_OPEN_READWRITE);
            db.executeThrow(damage);
        }
        MainWindow w;
        {
            ModalAnswerer answerer;
            DialogAnswers::chooseBackup(answerer, folder);
            w.miLoadiTunesBackup();
        }
        auto* node = static_cast<ItemModelBK::_BKItemNode*>(w.model().bkRoot->children.first());
        for (int other = 2; other <= 9; ++other) // only the damaged one is not known
            QVERIFY2(node->children.at(other)->text.endsWith("(?)") == (other == row),
                qPrintable(node->children.at(other)->text));
        {
            ModalAnswerer answerer;
            select(w, node->children.at(row));
            QTRY_VERIFY(!answerer.seen().isEmpty());
            const QString shown = answerer.seen().first();
            QVERIFY2(shown.contains(QDir::toNativeSeparators(stored)) && shown.contains(why)
                    && shown.contains("Record: HomeDomain " + file),
                qPrintable(shown));
            QVERIFY2(!shown.contains(BkCacheDb::cacheDir().absolutePath()), qPrintable(shown));
        }
        // Nor does its page count what it did not read as none (no message page is made).
        auto* count = w.currentPage()->findChild<QLabel*>("lbCount");
        QVERIFY(count || row == 2);
        if (count)
            QVERIFY2(count->text().endsWith('?'), qPrintable(count->text()));
        if (row == 3) {
            w.resize(1000, 680);
            w.show();
            QTRY_VERIFY(w.currentPage()->isVisible());
            GuiTestEnv::screenshot(&w, "unread-address-book-page");
        }
        // A page that read nothing (the calendar's) says why in its export.
        for (QAction* action : w.pageToolbarActions())
            if (action->text().startsWith("Extract")) {
                ModalAnswerer answerer;
                action->trigger();
                QVERIFY2(answerer.seen().value(0).contains("Cannot extract anything from this page")
                        && answerer.seen().value(0).contains("Record: HomeDomain " + file),
                    qPrintable(answerer.seen().value(0)));
            }
    }

    // A stored copy that is not what the phone wrote is named by the load, once per load and not
    // again by each page, in a box that names no copy that is gone; the page that reads it says
    // the load's reason above it, in place of what its reader made of the copy. The message page
    // knows an attachment of it for what it is.
    void aDamagedCopyIsToldOncePerLoad_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<QString>("told"); // what the load's box and the page say of the copy
        QTest::addColumn<int>("messages"); // what the message page then shows
        QTest::addColumn<int>("marked"); // attachments the page knows are not what the phone wrote
        QTest::addColumn<int>("noticed"); // the tree row whose page says why, -1 none, -2 every page
        const QStringList encrypted { "--password", "pw", "--iter", "5", "--dpic", "5" };
        const auto cut = [](const QString& path, const char* how) {
            return QStringList { "--stored-damage", path + "=" + how };
        };
        QTest::newRow("message database") << encrypted + cut("Library/SMS/sms.db", "cut-half")
                                          << "decrypts to were not kept" << 0 << 0 << 2;
        QTest::newRow("message attachment")
            << encrypted + cut("Library/SMS/Attachments/25/01/DEMO-ATTACHMENT-0001/IMG_4101.JPG", "cut-half")
            << "ends without its padding" << 16 << 1 << -1;
        QTest::newRow("plain message database")
            << cut("Library/SMS/sms.db", "short-1000") << "bytes were not kept" << 0 << 0 << 2;
        // Copied by the load of the pages and by that of the messages: told once.
        QTest::newRow("plain address book") << cut("Library/AddressBook/AddressBook.sqlitedb", "short-half")
                                            << "the database's own header" << 16 << 0 << 3;
        // One that cannot be read at all is not copied again at each page: the load has said why.
        QTest::newRow("plain address book unreadable")
            << cut("Library/AddressBook/AddressBook.sqlitedb", "unreadable") << "Input/output error" << 16
            << 0 << 3;
        // Every other page that reads a database of the load says it too.
        QList<QPair<const char*, int>> pages { { "Library/Voicemail/voicemail.db", 4 },
            { "Library/Calendar/Calendar.sqlitedb", 5 }, { "Library/Notes/notes.sqlite", 6 },
            { "Library/CallHistoryDB/CallHistory.storedata", 7 }, { "Media/Recordings/Recordings.db", 8 },
            { "Library/Safari/Bookmarks.db", 9 } };
        for (const auto& [path, row] : pages)
            QTest::addRow("plain %s", path)
                << cut(path, "short-half") << "the database's own header" << 16 << 0 << row;
        // An empty copy has none of its reader's tables: the page says the load's words, not those.
        pages.append({ "Library/AddressBook/AddressBook.sqlitedb", 3 });
        for (const auto& [path, row] : pages)
            QTest::addRow("empty %s", path) << cut(path, "empty") << "it is empty" << 16 << 0 << row;
        // One the backup lists that its folder does not hold (a copy into it that did not end) is
        // not counted and says so, the message database too.
        pages.append({ "Library/SMS/sms.db", 2 });
        for (const auto& [path, row] : pages)
            QTest::addRow("not stored %s", path)
                << cut(path, "not-stored")
                << QString(": the backup lists this file, but the backup folder does not hold it.")
                << (row == 2 ? 0 : 16) << 0 << row;
        // The records of every page were read without what stands where their journal would.
        for (const char* kind : { "fifo", "device" })
            QTest::addRow("Manifest.db's journal a %s", kind)
                << QStringList { "--journal-kind", kind }
                << "which is not a file but stands where SQLite looks for the journal" << 16 << 0 << -2;
    }
    void aDamagedCopyIsToldOncePerLoad()
    {
        QFETCH(QStringList, args);
        QFETCH(QString, told);
        QFETCH(int, messages);
        QFETCH(int, marked);
        QFETCH(int, noticed);
        const QString folder = TestEnv::tempDir() + "/cut-" + QTest::currentDataTag();
        QVERIFY(SyntheticBackup::make(folder, QStringList { "--demo", "--udid", QString(40, 'b') } + args));
        MainWindow w;
        ModalAnswerer answerer;
        auto* notice = w.findChild<QLabel*>("lbLoadFault");
        QVERIFY(notice);
        for (int load = 1; load <= 2; ++load) {
            DialogAnswers::chooseBackup(answerer, folder);
            if (args.contains("--password"))
                enterPasswords(answerer, { "pw" });
            w.miLoadiTunesBackup();
            QCOMPARE(answerer.seen().size(), load);
            const QString shown = answerer.seen().last();
            QVERIFY2(shown.contains(told), qPrintable(shown));
            QCOMPARE(TestEnv::copyNamedButGone(shown), QString());
            auto* node = static_cast<ItemModelBK::_BKItemNode*>(w.model().bkRoot->children.first());
            QCOMPARE(node->children.size(), 11);
            for (int row = -1; row < node->children.size(); ++row) {
                select(w, row < 0 ? node : node->children.at(row)); // the backup's own page first
                QCOMPARE(!notice->isHidden(), (row >= 0 && row == noticed) || noticed == -2);
                // A page that read nothing of its data does not count it as none.
                if (auto* count = w.currentPage()->findChild<QLabel*>("lbCount"))
                    QVERIFY2(count->text().endsWith('?') == (row >= 0 && row == noticed),
                        qPrintable(count->text()));
                QVERIFY2(noticed != -2 || notice->text().contains(told), qPrintable(notice->text()));
                if (row >= 0 && row == noticed) {
                    QVERIFY2(node->children.at(row)->text.endsWith("(?)"),
                        qPrintable(node->children.at(row)->text));
                    QVERIFY2(notice->text().contains(told), qPrintable(notice->text()));
                    QCOMPARE(TestEnv::copyNamedButGone(notice->text()), QString());
                    // Its exports say why they have nothing to extract, before asking where to.
                    ModalAnswerer exports;
                    for (QAction* action : w.pageToolbarActions())
                        if (action->text().startsWith("Extract")) {
                            action->trigger();
                            const QString said = exports.seen().value(exports.seen().size() - 1);
                            QVERIFY2(said.contains("Cannot extract anything from this page")
                                    && said.contains(told),
                                qPrintable(said));
                        }
                    QVERIFY(!exports.seen().isEmpty());
                }
                if (row == noticed && load == 2
                    && QTest::currentDataTag() == QString("empty Library/AddressBook/AddressBook.sqlitedb")) {
                    w.resize(1000, 680);
                    w.show();
                    QTRY_VERIFY(w.currentPage()->isVisible());
                    GuiTestEnv::screenshot(&w, "empty-address-book-page");
                }
                if (auto* page = qobject_cast<SMSMainForm*>(w.currentPage())) {
                    QCOMPARE(page->smsModel()->rowCount(), messages);
                    // Messages that were not read are not counted as none.
                    QCOMPARE(page->findChild<QLabel*>("lbCount")->text(),
                        QString("Total: %1").arg(row == noticed ? "?" : QString::number(messages)));
                    int known = 0;
                    for (const _MsgAttachment* a : page->data().p()->attachments)
                        known += a->_notAsWritten.isEmpty() ? 0 : 1;
                    QCOMPARE(known, marked);
                    // Nor does a new order of the list.
                    page->treeViewSMS->header()->setSortIndicator(0, Qt::DescendingOrder);
                    QCOMPARE(page->lbCount->text(),
                        QString("Total: %1").arg(row == noticed ? "?" : QString::number(messages)));
                    if (QTest::currentDataTag() == QString("plain message database") && load == 2) {
                        w.resize(1000, 680);
                        w.show();
                        QTRY_VERIFY(page->isVisible());
                        GuiTestEnv::screenshot(&w, "messages-page-load-failed");
                    }
                }
            }
            QCOMPARE(answerer.seen().size(), load);
            select(w, w.model().bkRoot);
            QVERIFY(notice->isHidden());
        }
    }

    // An iPad or a partial backup holds no messages: it loads without a word, its count 0 as any
    // other kind the backup lacks.
    void aBackupWithoutMessagesLoadsWithoutABox()
    {
        const QString folder = TestEnv::tempDir() + "/no-messages";
        QVERIFY(SyntheticBackup::make(folder, { "--no-well-known", "--udid", QString(40, 'e') }));
        MainWindow w;
        ModalAnswerer answerer;
        auto* node = loadThroughTheMenu(w, answerer, folder);
        QCOMPARE(answerer.seen(), QStringList());
        QCOMPARE(w.model().bkRoot->children.size(), 1);
        QCOMPARE(node->children.size(), 11);
        QCOMPARE(node->children.at(2)->text, QString("SMS(0)"));
        QCOMPARE(node->manifest->msgCount, qint64(0));
        QTRY_VERIFY(w.currentPage()->isVisible());
        GuiTestEnv::screenshot(&w, "no-message-db");

        // Its message page opens empty, as the page of any other kind with nothing in it.
        select(w, node->children.at(2));
        auto* page = qobject_cast<SMSMainForm*>(w.currentPage());
        QVERIFY(page);
        QCOMPARE(answerer.seen(), QStringList());
        QCOMPARE(page->handleModel()->rowCount(), 0);
        QCOMPARE(page->smsModel()->rowCount(), 0);
        QCOMPARE(page->lbCount->text(), QString("Total: 0"));
        QTRY_VERIFY(page->isVisible());
        GuiTestEnv::screenshot(&w, "no-message-db-page");
    }

    // The cache is the program's own: a page whose copy is gone (the caches cleared, or one copy
    // lost) has it made again from the backup as it is now, never from an older copy.
    void pagesMakeTheirCacheAgain_data()
    {
        QTest::addColumn<bool>("clearAll");
        QTest::newRow("caches cleared") << true;
        QTest::newRow("one copy gone") << false;
    }
    void pagesMakeTheirCacheAgain()
    {
        QFETCH(bool, clearAll);
        const QString before = MsgFixtures::generate("bulk", { "--messages", "7" });
        const QString after = MsgFixtures::generate("bulk", { "--messages", "12" });
        QVERIFY(!before.isEmpty() && !after.isEmpty());
        const QString folder = TestEnv::tempDir() + "/recached";
        QVERIFY(SyntheticBackup::make(folder, { "--demo", "--sms-db", before, "--udid", QString(40, 'c') }));
        MainWindow w;
        ModalAnswerer answerer;
        auto* node = loadThroughTheMenu(w, answerer, folder);
        QCOMPARE(node->children.at(2)->text, QString("SMS(7)"));
        select(w, node->children.at(2));
        QCOMPARE(qobject_cast<SMSMainForm*>(w.currentPage())->smsModel()->rowCount(), 7);

        // The backup's message database changes in place (a newer backup of the same device).
        QDir cache(BkCacheDb::cacheDir().absoluteFilePath(node->manifest->dirPathMd5()));
        const QString stored = node->manifest->storedFilePath(node->manifest->smsNode->item);
        QVERIFY(QFile::remove(stored) && QFile::copy(after, stored));
        if (clearAll) {
            w.miClearCaches();
            QVERIFY(!cache.exists());
        } else {
            const QString notes = MBDBParser::backupFileName("HomeDomain", "Library/Notes/notes.sqlite");
            QVERIFY(cache.exists(notes) && cache.remove(notes));
        }
        select(w, node);
        select(w, node->children.at(2));
        QVERIFY(cache.exists(MBDBParser::backupFileName("HomeDomain", "Library/Notes/notes.sqlite")));
        auto* page = qobject_cast<SMSMainForm*>(w.currentPage());
        QVERIFY(page);
        QCOMPARE(page->smsModel()->rowCount(), 12);
        QCOMPARE(
            answerer.seen(), clearAll ? QStringList({ "Successfully cleared cache files." }) : QStringList());
        QTRY_VERIFY(page->isVisible());
        if (clearAll)
            GuiTestEnv::screenshot(&w, "cleared-cache");
    }

    void pagesKeepTheirBackupWhileShown()
    {
        MainWindow w;
        {
            ModalAnswerer answerer;
            DialogAnswers::chooseBackup(answerer, plainBackup());
            w.miLoadiTunesBackup();
        }
        auto* node = static_cast<ItemModelBK::_BKItemNode*>(w.model().bkRoot->children.first());
        select(w, node->children.at(2));
        QPointer<QWidget> page = w.currentPage();
        QWeakPointer<BackupManifest> backup = node->manifest;
        // The tree lets go of the backup while its page is still on screen.
        node->manifest.reset();
        QVERIFY(backup);
        select(w, w.model().bkRoot);
        QTRY_VERIFY(!page);
        QTRY_VERIFY(!backup);
    }

    void selectingARememberedBackupLoadsItOnce()
    {
        {
            QDir().mkpath(BkCacheDb::cacheDir().absolutePath());
            CacheListDb(cacheList()).save(uidOf(plainBackup()), plainBackup());
        }
        MainWindow w;
        auto* node = static_cast<ItemModelBK::_BKItemNode*>(w.model().bkRoot->children.first());
        QCOMPARE(node->children.size(), 0);
        select(w, node);
        QCOMPARE(node->children.size(), 11);
        QVERIFY(qobject_cast<BKDescForm*>(w.currentPage()));
        select(w, w.model().localDbRoot);
        QVERIFY(qobject_cast<GetStartForm*>(w.currentPage()));
        QCOMPARE(actionTexts(w.treeContextActions()),
            QStringList({ "Open Database Folder", "Import Messages from iMessage(Mac) to Local Database" }));
        select(w, w.model().bkRoot);
        QVERIFY(w.treeContextActions().isEmpty());
        select(w, node);
        QCOMPARE(node->children.size(), 11);
    }

    // Loading a backup shows its progress and handles events meanwhile: a selection made then gets
    // its own page once the backup's is done, and the backup's page goes.
    void aSelectionMadeWhileABackupLoads()
    {
        {
            QDir().mkpath(BkCacheDb::cacheDir().absolutePath());
            CacheListDb(cacheList()).save(uidOf(plainBackup()), plainBackup());
        }
        MainWindow w;
        auto* node = static_cast<ItemModelBK::_BKItemNode*>(w.model().bkRoot->children.first());
        QTimer::singleShot(0, &w, [&] { select(w, w.model().localDbRoot); });
        select(w, node);
        QCOMPARE(node->children.size(), 11);
        QTRY_VERIFY(qobject_cast<GetStartForm*>(w.currentPage()));
        QCOMPARE(w.model().indexOfItemNode(w.model().localDbRoot), w.ui->treeBK->currentIndex());
        QTRY_COMPARE(w.findChildren<BKDescForm*>().size(), 0);
        QTRY_COMPARE(w.findChildren<GetStartForm*>().size(), 1);
    }

    void clickingTheSelectedEntryAgainRebuildsItsPage()
    {
        g_localDbDir().mkpath("Alpha");
        MainWindow w;
        w.resize(1000, 680);
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        auto* db = w.model().localDbRoot->children.first();
        select(w, db);
        auto click = [&](const AbsTreeItemModel::_ItemNode* node) {
            const QRect rect = w.ui->treeBK->visualRect(w.model().indexOfItemNode(node));
            QTest::mouseClick(w.ui->treeBK->viewport(), Qt::LeftButton, {}, rect.center());
        };
        auto* sms = db->children.first();
        click(sms);
        QPointer<QWidget> first = w.currentPage();
        QVERIFY(qobject_cast<SMSMainForm*>(first));
        click(sms);
        QVERIFY(w.currentPage() != first.data());
        QVERIFY(qobject_cast<SMSMainForm*>(w.currentPage()));
        // A click on another entry builds its page once.
        auto* contacts = db->children.at(1);
        click(contacts);
        QPointer<QWidget> contactsPage = w.currentPage();
        QVERIFY(contactsPage);
        QTRY_VERIFY(!first);
    }

    void encryptedBackupAsksForThePassword()
    {
        {
            QDir().mkpath(BkCacheDb::cacheDir().absolutePath());
            CacheListDb(cacheList()).save(uidOf(lockedBackup()), lockedBackup());
        }
        MainWindow w;
        QVERIFY(listedRead(w));
        auto* node = static_cast<ItemModelBK::_BKItemNode*>(w.model().bkRoot->children.first());
        {
            // Closed without a password: nothing loaded, no message.
            ModalAnswerer answerer;
            enterPasswords(answerer, {}, true);
            select(w, node);
            QCOMPARE(node->children.size(), 0);
            QCOMPARE(answerer.seen(), QStringList());
            QVERIFY(qobject_cast<BKDescForm*>(w.currentPage()));
        }
        {
            // Three wrong passwords, each with its warning, then the right one.
            ModalAnswerer answerer;
            enterPasswords(answerer, { "0000", "1111", "2222", "1234" });
            select(w, w.model().bkRoot);
            select(w, node);
            QCOMPARE(answerer.seen(),
                QStringList({ "Invalid password.", "Invalid password.", "Invalid password." }));
            QCOMPARE(node->children.size(), 11);
        }
    }

    void realEncryptedBackupThroughTheMenu()
    {
        QM_REQUIRE_SHARED();
        const QString backup = TestEnv::copyToTemp(TestEnv::realFixture("pyiosbackup/backup_ios9_mbdb"));
        QVERIFY(!backup.isEmpty());
        MainWindow w;
        ModalAnswerer answerer;
        DialogAnswers::chooseBackup(answerer, backup);
        enterPasswords(answerer, { "1234", "0000" });
        w.miLoadiTunesBackup();
        QCOMPARE(w.model().bkRoot->children.size(), 1);
        auto* node = static_cast<ItemModelBK::_BKItemNode*>(w.model().bkRoot->children.first());
        QVERIFY(node->manifest->isUnlocked());
        QCOMPARE(node->children.size(), 11);
        QCOMPARE(node->children.at(2)->text, QString("SMS(0)"));
        // The wrong password only: the message folder this backup lacks is no error.
        QCOMPARE(answerer.seen(), QStringList({ "Invalid password." }));
    }

    // A backup whose Manifest.plist says it is not encrypted (a decrypting tool's, copied over) while
    // its stored files are: the load asks for the password, and the tree counts the phone's data.
    void backupSaidPlainAsksForThePassword_data()
    {
        QTest::addColumn<QStringList>("options");
        QTest::newRow("Manifest.mbdb") << QStringList { "--layout", "mbdb" };
        QTest::newRow("Manifest.db of iOS 10.0") << QStringList { "--no-manifest-key" };
        QTest::newRow("half-decrypted") << QStringList { "--half-decrypted" };
    }
    void backupSaidPlainAsksForThePassword()
    {
        QFETCH(QStringList, options);
        const QString folder
            = TestEnv::tempDir() + "/said-plain-" + QString::fromLatin1(QTest::currentDataTag());
        QVERIFY(SyntheticBackup::make(folder,
            options
                + QStringList { "--password", "1234", "--iter", "1", "--dpic", "1", "--manifest-plist",
                    "not-encrypted" }));
        MainWindow w;
        ModalAnswerer answerer;
        DialogAnswers::chooseBackup(answerer, folder);
        enterPasswords(answerer, { "0000", "1234" });
        w.miLoadiTunesBackup();
        QCOMPARE(w.model().bkRoot->children.size(), 1);
        auto* node = static_cast<ItemModelBK::_BKItemNode*>(w.model().bkRoot->children.first());
        QVERIFY(node->manifest->isUnlocked());
        QCOMPARE(node->children.size(), 11);
        QCOMPARE(node->children.at(2)->text, QString("SMS(2)"));
        QCOMPARE(answerer.seen(), QStringList({ "Invalid password." }));
    }

    void passwordDialogScreenshot()
    {
        MainWindow w;
        w.resize(1000, 680);
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        QSharedPointer<BackupManifest> m(new BackupManifest(lockedBackup()));
        m->readManifestInfo();
        ModalAnswerer answerer;
        answerer.answerWith([](QWidget* modal) {
            auto* dlg = qobject_cast<PasscodeDlg*>(modal);
            if (!dlg)
                return false;
            dlg->edPassword->setText("1234");
            GuiTestEnv::screenshot(dlg, "password-dialog");
            dlg->btnClose->click();
            return true;
        });
        QVERIFY(!w.loadBackup(m));
    }

    void backupRemovedWhileListed()
    {
        const QString doomed = TestEnv::tempDir() + "/doomed";
        QVERIFY(SyntheticBackup::make(doomed, { "--udid", QString(40, 'f') }));
        {
            QDir().mkpath(BkCacheDb::cacheDir().absolutePath());
            CacheListDb(cacheList()).save(uidOf(doomed), doomed);
        }
        MainWindow w;
        QVERIFY(listedRead(w));
        auto* node = static_cast<ItemModelBK::_BKItemNode*>(w.model().bkRoot->children.first());
        QVERIFY(QDir(doomed).removeRecursively());
        ModalAnswerer answerer;
        answerer.answerWith([](QWidget* modal) {
            auto* box = qobject_cast<QMessageBox*>(modal);
            if (!box)
                return false;
            GuiTestEnv::screenshot(box, "error-backup-removed");
            return ModalAnswerer::click(box, QMessageBox::Ok);
        });
        select(w, node);
        QCOMPARE(answerer.seenIcons(), QList<QMessageBox::Icon>({ QMessageBox::Critical }));
        QVERIFY2(answerer.seen().value(0).contains(
                     QString("The backup folder %1 is gone").arg(QDir::toNativeSeparators(doomed))),
            qPrintable(answerer.seen().value(0)));
        QCOMPARE(node->children.size(), 0);
        QVERIFY(qobject_cast<BKDescForm*>(w.currentPage()));
        // The node stays; once the folder is back, selecting it again loads it.
        QVERIFY(SyntheticBackup::make(doomed, { "--udid", QString(40, 'f') }));
        select(w, w.model().bkRoot);
        select(w, node);
        QCOMPARE(node->children.size(), 11);
    }

    void damagedManifestDbIsNamedAsTheUserKnowsIt()
    {
        const QString damaged = TestEnv::tempDir() + "/damaged";
        QVERIFY(SyntheticBackup::make(damaged, { "--udid", QString(40, 'e') }));
        QFile db(damaged + "/Manifest.db");
        QVERIFY(db.open(QIODevice::WriteOnly | QIODevice::Truncate));
        db.write(QByteArray(4096, 'x'));
        db.close();
        {
            QDir().mkpath(BkCacheDb::cacheDir().absolutePath());
            CacheListDb(cacheList()).save(uidOf(damaged), damaged);
        }
        MainWindow w;
        QVERIFY(listedRead(w));
        ModalAnswerer answerer;
        select(w, w.model().bkRoot->children.first());
        QCOMPARE(answerer.seenIcons(), QList<QMessageBox::Icon>({ QMessageBox::Critical }));
        const QString shown = answerer.seen().value(0);
        QVERIFY2(shown.contains(QDir::toNativeSeparators(damaged + "/Manifest.db") + " is damaged"),
            qPrintable(shown));
        QVERIFY2(!shown.contains("mode=ro") && !shown.contains("file:"), qPrintable(shown));
    }

    // An earlier write into the backup that cannot be finished or undone (its record cannot be
    // read, here as it is a folder) is told once; the backup loads all the same.
    void unsettledWriteIsToldOnce()
    {
        const QString backup = TestEnv::tempDir() + "/unsettled";
        QVERIFY(SyntheticBackup::make(backup, { "--udid", QString(40, 'd') }));
        QVERIFY(QDir(backup).mkpath("Manifest.qmwrite/inside"));
        {
            QDir().mkpath(BkCacheDb::cacheDir().absolutePath());
            CacheListDb(cacheList()).save(uidOf(backup), backup);
        }
        MainWindow w;
        QVERIFY(listedRead(w));
        ModalAnswerer answerer;
        auto* node = static_cast<ItemModelBK::_BKItemNode*>(w.model().bkRoot->children.first());
        select(w, node);
        QCOMPARE(answerer.seenIcons(), QList<QMessageBox::Icon>({ QMessageBox::Critical }));
        const QString shown = answerer.seen().value(0);
        QVERIFY2(shown.contains(QString("Cannot finish or undo the earlier write into %1.")
                                    .arg(QDir::toNativeSeparators(backup))),
            qPrintable(shown));
        QCOMPARE(node->children.size(), 11);
    }

    void aLoadWaitsForAWriteElsewhere_data()
    {
        QTest::addColumn<bool>("cancel");
        QTest::newRow("waited for") << false;
        QTest::newRow("cancelled") << true;
    }

    // A backup that another program is writing into (it holds the folder's lock) loads once the
    // write has ended; meanwhile a dialog says what the load waits for, and Cancel ends the wait
    // without loading.
    void aLoadWaitsForAWriteElsewhere()
    {
        QFETCH(bool, cancel);
        const QString backup = TestEnv::tempDir() + "/busy";
        QVERIFY(SyntheticBackup::make(backup, { "--udid", QString(40, 'b') }));
        {
            QDir().mkpath(BkCacheDb::cacheDir().absolutePath());
            CacheListDb(cacheList()).save(uidOf(backup), backup);
        }
        QProcess writer; // holds the folder as a write does, until its input closes
        writer.start("python3",
            { "-c",
                "import fcntl, os, sys\nfd = os.open(sys.argv[1], os.O_RDONLY)\n"
                "fcntl.flock(fd, fcntl.LOCK_EX)\nprint('held', flush=True)\nsys.stdin.read()",
                backup });
        QVERIFY(writer.waitForReadyRead(10000));
        BackupWaitUi::install();
        MainWindow w;
        QVERIFY(listedRead(w));
        w.resize(1000, 680);
        w.show();
        ModalAnswerer answerer;
        QString status;
        // The records are read on a worker, whose wait for the write is said in the reading's dialog.
        answerer.answerWith([&](QWidget* modal) {
            auto* form = qobject_cast<ProgressForm*>(modal);
            if (!form || !form->isVisible() || !form->statusText().startsWith("Waiting"))
                return false;
            status = form->statusText();
            GuiTestEnv::screenshot(form, "backup-busy-wait");
            if (cancel)
                QTimer::singleShot(0, form, [form] { form->reject(); });
            else
                writer.closeWriteChannel();
            return true;
        });
        if (cancel)
            answerer.answer(QMessageBox::Yes);
        auto* node = static_cast<ItemModelBK::_BKItemNode*>(w.model().bkRoot->children.first());
        select(w, node);
        QCOMPARE(status,
            QString("Waiting for another window or program to finish writing into the backup %1...")
                .arg(QDir::toNativeSeparators(backup)));
        QCOMPARE(node->children.size(), cancel ? 0 : 11);
        QCOMPARE(answerer.seen().size(), cancel ? 1 : 0);
        writer.closeWriteChannel();
        QVERIFY(writer.state() == QProcess::NotRunning || writer.waitForFinished(10000));
    }

    // A count that would not end is stopped by the cancel of the load's count: the backup is listed,
    // and that count and those after it are unknown, not 0.
    void aCancelledCountStaysUnknown()
    {
        const QString folder = TestEnv::tempDir() + "/endless-count";
        QVERIFY(SyntheticBackup::make(folder, { "--demo", "--udid", QString(40, 'c') }));
        DataSources::setBeforeEachCount([] {
            QElapsedTimer waited;
            for (waited.start(); !TaskCancel::requested() && waited.elapsed() < 30000;)
                QThread::msleep(5);
        });
        const std::shared_ptr<void> unhook(nullptr, [](void*) { DataSources::setBeforeEachCount({}); });
        MainWindow w;
        ModalAnswerer answerer;
        DialogAnswers::chooseBackup(answerer, folder);
        answerer.answerWith([](QWidget* modal) {
            auto* form = qobject_cast<ProgressForm*>(modal);
            if (!form || !form->isVisible()
                || form->statusText() != "Counting what the backup holds. Please wait...")
                return false;
            QTimer::singleShot(0, form, [form] { form->reject(); });
            return true;
        });
        answerer.answer(QMessageBox::Yes); // "Are You Sure You Want To Cancel?"
        TestEnv::endsWithin(60, "The load", [&] { w.miLoadiTunesBackup(); });
        QCOMPARE(answerer.pending(), 0);
        auto* node = static_cast<ItemModelBK::_BKItemNode*>(w.model().bkRoot->children.first());
        QCOMPARE(node->children.size(), 11);
        QCOMPARE(node->children.at(2)->text, QString("SMS(?)"));
        QCOMPARE(node->children.at(3)->text, QString("Contacts(?)"));
    }

    // Without a desktop to open them, the menu entries, the Homepage button and the folder
    // entries say so, with the address or folder in the box to copy.
    void desktopFailuresShowTheAddress_data()
    {
        QTest::addColumn<QString>("entry");
        QTest::addColumn<QString>("shown");
        QTest::newRow("help") << "miHelp" << AppInfo::helpPage();
        QTest::newRow("feedback") << "miFeedback" << AppInfo::supportPage();
        QTest::newRow("homepage") << "miHome" << AppInfo::homePage();
        QTest::newRow("check for update") << "miCheckUpdate" << UpdateChecker::updatePageUrl().toString();
        QTest::newRow("database folder") << "miOpenAppFolder" << g_localDbDir().absolutePath();
        QTest::newRow("status bar link") << "status link" << AppInfo::homePage();
    }

    void desktopFailuresShowTheAddress()
    {
        QFETCH(QString, entry);
        QFETCH(QString, shown);
        for (const char* scheme : { "http", "https", "file" })
            QDesktopServices::unsetUrlHandler(scheme);
        MainWindow w;
        ModalAnswerer answerer;
        answerer.answerWith([](QWidget* modal) {
            auto* box = qobject_cast<QMessageBox*>(modal);
            if (!box)
                return false;
            GuiTestEnv::screenshot(box, "desktop-cannot-open");
            return ModalAnswerer::click(box, QMessageBox::Ok);
        });
        if (entry == "status link")
            Q_EMIT w.findChild<QLabel*>("lbStatusLink")->linkActivated(shown);
        else
            QVERIFY(QMetaObject::invokeMethod(&w, entry.toLatin1().constData()));
        for (const char* scheme : { "http", "https", "file" })
            QDesktopServices::setUrlHandler(scheme, this, "openUrl");
        QCOMPARE(answerer.seenIcons(), QList<QMessageBox::Icon>({ QMessageBox::Warning }));
        const QString text = answerer.seen().value(0);
        QVERIFY2(
            text.contains("could not be started") && text.endsWith(shown.toHtmlEscaped()), qPrintable(text));
    }

    void importingMacMessagesWithoutTheirDatabase()
    {
        MainWindow w;
        ModalAnswerer answerer;
        w.miImportMacMessages();
        QCOMPARE(answerer.seenIcons(), QList<QMessageBox::Icon>({ QMessageBox::Critical }));
        QCOMPARE(w.model().localDbRoot->children.size(), 0);
        QVERIFY(g_localDbDir().entryList(QDir::Dirs | QDir::NoDotAndDotDot).isEmpty());
    }

    // Where the caches are, and what the user is told once they are cleared.
    void clearingTheCaches_data()
    {
        QTest::addColumn<QString>("where");
        QTest::addColumn<QString>("told");
        const QString done = "Successfully cleared cache files.";
        QTest::newRow("the data folder and the thumbnails") << "" << done;
        // The window answers and shows the wait; the caches go once the disk answers again.
        QTest::newRow("thumbnails on a disk that stops answering") << "stopping disk" << done;
        QTest::newRow("a cache folder that cannot be emptied")
            << "held folder"
            << "Not all cache files could be removed: %1 still holds some of them.";
    }
    void clearingTheCaches()
    {
        QFETCH(QString, where);
        QFETCH(QString, told);
        std::unique_ptr<ForeignDisk> disk;
        if (where == "stopping disk") {
            disk = std::make_unique<ForeignDisk>(ForeignDisk::Kind::Fat);
            if (!disk->isMounted())
                QSKIP(qPrintable(disk->whyNot()));
            qputenv("XDG_CACHE_HOME", QFile::encodeName(disk->path()));
        }
        const auto restore = qScopeGuard([] { qunsetenv("XDG_CACHE_HOME"); });
        QVERIFY(QDir().mkpath(BkCacheDb::cacheDir().absoluteFilePath("0123/file-relay")));
        {
            CacheListDb(cacheList()).save(uidOf(plainBackup()), plainBackup());
        }
        // The thumbnails of message pictures and contact cards go; nothing a link leads to does.
        const QString thumbs = msgPrivateTempDir();
        const QString thumb = thumbs + "/" + g_pathHash("a") + ".thumb";
        const QString drawnFrom = thumbs + "/" + g_pathHash("a") + ".of";
        const QString card = VCardThumbnail::cacheDir() + "/" + g_pathHash("b") + ".jpg";
        const QString elsewhere = TestEnv::tempDir() + "/kept.thumb";
        for (const QString& path : { thumb, drawnFrom, card, elsewhere, thumbs + "/notes.txt" })
            QVERIFY(QFile(path).open(QIODevice::WriteOnly));
        const QString link = thumbs + "/" + g_pathHash("c") + ".thumb";
        QFile::remove(link);
        if (!disk)
            QVERIFY(QFile::link(elsewhere, link));
        const QString held = BkCacheDb::cacheDir().absoluteFilePath("0123/held");
        std::unique_ptr<UnremovableFolder> hold;
        if (where == "held folder")
            hold = std::make_unique<UnremovableFolder>(held);
        MainWindow w;
        QVERIFY(listedRead(w));
        ModalAnswerer answerer;
        QString title;
        QString status;
        if (disk) {
            DialogAnswers::answerProgress(
                answerer, &status, false, [&title](ProgressForm* form) { title = form->windowTitle(); });
            QVERIFY(disk->stop());
        }
        std::thread rescue([&disk] {
            QThread::msleep(3000);
            if (disk)
                disk->resume();
        });
        TickGaps gaps;
        w.miClearCaches();
        const qint64 longest = gaps.stop();
        rescue.join();
        const QString expected = told.arg(QDir::toNativeSeparators(BkCacheDb::cacheDir().absolutePath()));
        QCOMPARE(answerer.seen().size(), 1);
        QVERIFY2(
            answerer.seen().first().contains(expected.toHtmlEscaped()), qPrintable(answerer.seen().first()));
        if (disk) {
            QCOMPARE(title, QString("Clearing cache files..."));
            QVERIFY2(longest < 200, qPrintable(QString::number(longest)));
        }
        QVERIFY(!QFileInfo::exists(thumb) && !QFileInfo::exists(drawnFrom) && !QFileInfo::exists(card));
        QVERIFY(QFileInfo::exists(elsewhere) && QFileInfo::exists(thumbs + "/notes.txt"));
        QCOMPARE(BkCacheDb::cacheDir().exists(), bool(hold));
        MainWindow next;
        QCOMPARE(next.model().bkRoot->children.size(), 0);
    }

    void updateOfferedOnFirstCheckEndsTheProgram()
    {
        LoopbackHttpServer server;
        server.setResponse(200, "http://dl.quillmarrow.example/latest");
        UpdateChecker::setServiceBase(server.baseUrl());
        ModalAnswerer answerer;
        answerer.answerText("Download");
        MainWindow w;
        w.show();
        QVERIFY(server.waitForRequests(1));
        QTRY_COMPARE(m_exits, 1);
        QCOMPARE(answerer.seen().size(), 1);
        QVERIFY(answerer.seen().first().contains("has become obsolete"));
        QCOMPARE(m_opened, QList<QUrl>({ QUrl("http://dl.quillmarrow.example/latest") }));
        QVERIFY(!w.updateChecker().timeFileExists());
        QVERIFY(!w.isVisible());
    }

    void updateOfferedLaterRecordsTheCheck()
    {
        MainWindow w;
        w.updateChecker().writeTimeFile(5);
        {
            ModalAnswerer answerer;
            answerer.answerText("Download later");
            w.onCheckVersionReadyRead("https://dl.quillmarrow.example/x", false);
            QVERIFY(answerer.seen().first().startsWith("A new version of Quillmarrow is available."));
        }
        QCOMPARE(m_exits, 0);
        QVERIFY(m_opened.isEmpty());
        QVERIFY(!w.updateChecker().shouldCheck());
        {
            ModalAnswerer answerer;
            answerer.answerText("Download now");
            w.onCheckVersionReadyRead("https://dl.quillmarrow.example/x", false);
        }
        QCOMPARE(m_exits, 1);
        QCOMPARE(m_opened, QList<QUrl>({ QUrl("https://dl.quillmarrow.example/x") }));
    }

    void checkForUpdateOpensTheUpdatePage()
    {
        MainWindow w;
        UpdateChecker::setServiceBase(QUrl("http://updates.quillmarrow.example"));
        w.miCheckUpdate();
        QCOMPARE(m_opened.size(), 1);
        QCOMPARE(m_opened.first(),
            QUrl("http://updates.quillmarrow.example/sms_check_update.php"
                 "?pid=7C2E41A9D05B38F6E19A4C7D2B60F853&ver=39&sys=linux"));
    }
};

QM_SHARDED_TEST_MAIN(TestMainWindow)
#include "TestMainWindow.moc"
