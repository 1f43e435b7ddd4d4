#include "app/ui/MainWindow.h"

#include "app/AppInfo.h"
#include "app/DataPaths.h"
#include "app/FolderAccess.h"
#include "app/StyleSheet.h"
#include "app/ui/AboutUsForm.h"
#include "app/ui/BKDescForm.h"
#include "app/ui/BackupRecordsThread.h"
#include "app/ui/CountBackupThread.h"
#include "app/ui/DataPageFactory.h"
#include "app/ui/DataSources.h"
#include "app/ui/GetStartForm.h"
#include "app/ui/LocalDbDescForm.h"
#include "app/ui/shared/CountLabelDelegate.h"
#include "app/ui/shared/DesktopOpener.h"
#include "app/ui/shared/ListedBackupReads.h"
#include "app/ui/shared/LoadItunesBackupDlg.h"
#include "app/ui/shared/LocalDbSelForm.h"
#include "app/ui/shared/ManifestInfoThread.h"
#include "app/ui/shared/MyTreeView.h"
#include "app/ui/shared/OffThread.h"
#include "app/ui/shared/PageLife.h"
#include "app/ui/shared/PageRead.h"
#include "app/ui/shared/PasscodeDlg.h"
#include "app/ui/shared/ProgressForm.h"
#include "app/ui/shared/Tips.h"
#include "app/ui/shared/WinMovable.h"
#include "app/ui/shared/WorkerEnd.h"
#include "backup/BackupManifest.h"
#include "backup/BkCacheDb.h"
#include "backup/CacheListDb.h"
#include "backup/lock/BackupFolderLock.h"
#include "backup/ui/ITunesCacheSMSThread.h"
#include "backup/ui/LoadBkThread.h"
#include "device/IOSDeviceMonitor.h"
#include "device/iosbackup.h"
#include "messages/store/MsgTempDir.h"
#include "messages/ui/SMSMainForm.h"

#include <QCoreApplication>
#include <QCursor>
#include <QDir>
#include <QFileInfo>
#include <QHeaderView>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QPushButton>
#include <QRegularExpression>
#include <QResizeEvent>
#include <QScopeGuard>
#include <QScrollArea>
#include <QSplitter>
#include <QStatusBar>
#include <QTimer>
#include <QToolBar>
#include <QVBoxLayout>
#include <dirent.h>
#include <exception>
#include <optional>
#include <sys/stat.h>

namespace
{

std::function<void()>& exitHandler()
{
    static std::function<void()> handler = [] { QCoreApplication::exit(0); };
    return handler;
}

// Keeps a page's backup alive for as long as the page exists: pages hold plain pointers to it,
// and the tree may let go of the backup (unlist, reload) while the page is still on screen.
class BackupHold : public QObject
{
public:
    BackupHold(QSharedPointer<BackupManifest> manifest, QObject* page)
        : QObject(page)
        , m_manifest(std::move(manifest))
    {
    }

private:
    QSharedPointer<BackupManifest> m_manifest;
};

// Pages keep their own minimum sizes; a page larger than the room left beside the tree scrolls
// instead of widening the window or squeezing the tree to bare icons. Returns the page layout.
QVBoxLayout* createPageHolder(QWidget* wdMain)
{
    auto* outer = new QVBoxLayout(wdMain);
    outer->setContentsMargins(0, 0, 0, 0);
    outer->setSpacing(0);
    auto* scroll = new QScrollArea(wdMain);
    scroll->setObjectName("pageScroll");
    scroll->setFrameShape(QFrame::NoFrame);
    scroll->setWidgetResizable(true);
    scroll->setStyleSheet("#pageScroll, #pageHolder { background: transparent; }");
    scroll->viewport()->setAutoFillBackground(false);
    auto* holder = new QWidget;
    holder->setObjectName("pageHolder");
    auto* pageLayout = new QVBoxLayout(holder);
    pageLayout->setContentsMargins(0, 0, 0, 0);
    pageLayout->setSpacing(0);
    scroll->setWidget(holder);
    outer->addWidget(scroll);
    return pageLayout;
}

// Whether a folder just removed still holds anything but hidden entries (which keep their folder);
// one that cannot be looked at holds what it held.
bool visibleEntriesLeft(const QString& folder)
{
    const QByteArray path = QFile::encodeName(folder);
    struct stat st;
    if (::lstat(path.constData(), &st) != 0)
        return errno != ENOENT;
    if (!S_ISDIR(st.st_mode))
        return false; // not the program's folder: left alone, as the removal leaves it
    DIR* dir = ::opendir(path.constData());
    if (!dir)
        return true;
    bool left = false;
    while (const dirent* entry = ::readdir(dir))
        if (entry->d_name[0] != '.') {
            left = true;
            break;
        }
    ::closedir(dir);
    return left;
}

QString cacheListPath()
{
    return BkCacheDb::cacheDir().absoluteFilePath("cache_list.db");
}

} // namespace

void Ui_MainWindow::setupUi(QMainWindow* window)
{
    if (window->objectName().isEmpty())
        window->setObjectName("MainWindow");
    window->resize(1000, 680);
    centralWidget = new QWidget(window);
    centralWidget->setObjectName("centralWidget");
    verticalLayout = new QVBoxLayout(centralWidget);
    verticalLayout->setObjectName("verticalLayout");
    verticalLayout->setSpacing(6);
    verticalLayout->setContentsMargins(0, 0, 0, 0);
    splitter = new QSplitter(centralWidget);
    splitter->setObjectName("splitter");
    splitter->setOrientation(Qt::Horizontal);
    splitter->setHandleWidth(1);
    splitter->setChildrenCollapsible(false);
    treeBK = new MyTreeView(splitter);
    treeBK->setObjectName("treeBK");
    treeBK->setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Preferred);
    treeBK->setIconSize(QSize(18, 18));
    treeBK->setIndentation(15);
    treeBK->header()->setVisible(false);
    // Names that begin alike ("Test Legacy Plain ...") stay apart in a narrow tree.
    treeBK->setTextElideMode(Qt::ElideMiddle);
    treeBK->setItemDelegate(new CountLabelDelegate(treeBK));
    splitter->addWidget(treeBK);
    wdMain = new QWidget(splitter);
    wdMain->setObjectName("wdMain");
    wdMain->setStyleSheet(QString());
    splitter->addWidget(wdMain);
    verticalLayout->addWidget(splitter);
    window->setCentralWidget(centralWidget);
    menuBar = new QMenuBar(window);
    menuBar->setObjectName("menuBar");
    menuBar->setGeometry(QRect(0, 0, 1000, 21));
    window->setMenuBar(menuBar);
    toolBar = new QToolBar(window);
    toolBar->setObjectName("toolBar");
    toolBar->setMovable(false);
    toolBar->setAllowedAreas(Qt::NoToolBarArea);
    toolBar->setIconSize(QSize(52, 52));
    toolBar->setFloatable(false);
    window->addToolBar(Qt::TopToolBarArea, toolBar);
    statusBar = new QStatusBar(window);
    statusBar->setObjectName("statusBar");
    window->setStatusBar(statusBar);
    retranslateUi(window);
}

void Ui_MainWindow::retranslateUi(QMainWindow* window)
{
    window->setWindowTitle(QCoreApplication::translate("MainWindow", "MainWindow"));
    toolBar->setWindowTitle(QCoreApplication::translate("MainWindow", "toolBar"));
}

void MainWindow::setExitHandler(std::function<void()> handler)
{
    exitHandler() = std::move(handler);
}

MainWindow::MainWindow(QWidget* parent)
    : QMainWindow(parent)
    , ui(new Ui_MainWindow)
    , m_model(this)
    , m_updateChecker(g_dataSaveDir().absoluteFilePath("last-check-version-time"))
{
    ui->setupUi(this);

    connect(ui->treeBK, &QTreeView::clicked, this, &MainWindow::bkSelected);
    connect(ui->treeBK, &MyTreeView::createContextMenu, this, &MainWindow::mainTreeContext);
    connect(ui->treeBK, &MyTreeView::onSelectionChanged, this, &MainWindow::mainTreeSelected);

    setStyleSheet(getStyleSheet());

    m_pageLayout = createPageHolder(ui->wdMain);
    // Above the page: why the load could not copy what the page reads, while that page is shown.
    m_loadFaultNotice = new QLabel(this);
    m_loadFaultNotice->setObjectName("lbLoadFault");
    m_loadFaultNotice->setWordWrap(true);
    m_loadFaultNotice->setTextFormat(Qt::PlainText);
    m_loadFaultNotice->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    m_loadFaultNotice->setStyleSheet("#lbLoadFault { background: #fdecea; color: #611a15; padding: 8px; }");
    m_loadFaultNotice->setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Maximum);
    m_loadFaultNotice->hide();
    m_pageLayout->addWidget(m_loadFaultNotice);
    m_curPage = new GetStartForm(this);
    m_pageLayout->addWidget(m_curPage);

    setWindowTitle(AppInfo::displayName());
    ui->treeBK->setModel(&m_model);

    QMenu* menu = ui->menuBar->addMenu(tr("IDS_MI_MENU"));
    m_loadBackupAction = menu->addAction(
        QIcon(":/res/load_itunes.png"), tr("IDS_MI_LOAD_BACKUP"), this, &MainWindow::miLoadiTunesBackup);
    menu->addAction(QIcon(":/res/mi_open_local_db_folder.png"), tr("IDS_MI_OPEN_LOCAL_DB_FOLDER"), this,
        &MainWindow::miOpenAppFolder);
    menu->addAction(QIcon(":/res/exit.png"), tr("IDS_MI_EXIT"), this, &QWidget::close);
    QMenu* tools = ui->menuBar->addMenu(tr("IDS_MI_TOOLS"));
    tools->addAction(tr("IDS_MI_CHECK_UPDATE"), this, &MainWindow::miCheckUpdate);
    tools->addAction(tr("IDS_MI_CLEAR_CACHES"), this, &MainWindow::miClearCaches);
    QMenu* help = ui->menuBar->addMenu(tr("IDS_MI_HELP"));
    help->addAction(QIcon(":/res/help.png"), tr("IDS_MI_HELP"), this, &MainWindow::miHelp);
    help->addAction(tr("IDS_MI_FEEDBACKUP"), this, &MainWindow::miFeedback);
    help->addAction(tr("IDS_MI_ABOUT_US"), this, &MainWindow::miAboutUs);

    auto* banner = new QLabel(ui->toolBar);
    banner->setObjectName("lbBanner");
    banner->setTextFormat(Qt::RichText);
    banner->setText("<img src=\":/res/banner.png\"/>");
    banner->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
    ui->toolBar->addWidget(banner);
    ui->toolBar->addAction(m_loadBackupAction);
    m_toolbarSeparator = ui->toolBar->addSeparator();
    auto* home = new QAction(QIcon(":/res/home.png"), tr("IDS_MI_HOME"), this);
    connect(home, &QAction::triggered, this, &MainWindow::miHome);
    ui->toolBar->addAction(home);

    auto* link = new QLabel(ui->statusBar);
    link->setObjectName("lbStatusLink");
    link->setTextFormat(Qt::RichText);
    // Opened through the desktop like the menu's pages, so a failure is shown with the address.
    connect(
        link, &QLabel::linkActivated, this, [](const QString& address) { DesktopOpener::openLink(address); });
    link->setText(
        QStringLiteral("<a href=\"%1\">%2</a>").arg(AppInfo::homePage(), tr("IDS_STATUS_HOME_LINK")));
    ui->statusBar->setStyleSheet("QStatusBar::item{border: 0px}");
    ui->statusBar->addWidget(link, 0);

    IOSDeviceMonitor::getInstance()->start();

    m_reads = new ListedBackupReads(this);
    connect(m_reads, &ListedBackupReads::ended, this, &MainWindow::onListedRead);
    relistBackups();
    listLocalDbs();
    ui->treeBK->expandAll();

    connect(&m_updateChecker, &UpdateChecker::downloadOffered, this, &MainWindow::onCheckVersionReadyRead);
    if (m_updateChecker.shouldCheck())
        m_updateChecker.start();
}

MainWindow::~MainWindow()
{
    delete ui;
}

void MainWindow::leaveModelsAtExit()
{
    if (auto* messages = qobject_cast<SMSMainForm*>(m_curPage))
        messages->leaveRecordsAtExit();
}

bool MainWindow::readingListedBackups() const
{
    return m_reads->anyUnderWay();
}

void MainWindow::relistBackups()
{
    QList<CacheListDb::_CacheItem> items;
    const QString path = cacheListPath();
    OffThread::run([&] { items = CacheListDb(path).cacheList(); });
    for (const CacheListDb::_CacheItem& item : items)
        m_model.addListedBackup(item.path, item.uid, m_reads->start(item.path));
}

void MainWindow::onListedRead(quint64 read, const ManifestInfoThread& thread)
{
    ItemModelBK::_BKItemNode* node = nullptr;
    for (AbsTreeItemModel::_ItemNode* child : std::as_const(m_model.bkRoot->children)) {
        if (static_cast<ItemModelBK::_BKItemNode*>(child)->read == read)
            node = static_cast<ItemModelBK::_BKItemNode*>(child);
    }
    if (!node)
        return; // unlisted meanwhile, or loaded again through the menu
    switch (thread.outcome()) {
    case ManifestInfoThread::Outcome::Read:
        m_model.showRead(node, thread.manifest());
        return;
    case ManifestInfoThread::Outcome::Unreadable:
    case ManifestInfoThread::Outcome::NotBackup: // only for an entry of a folder of backups
        // Kept, and tried again at the next start.
        qWarning("Backup %s not read: %s", qUtf8Printable(thread.path()), qUtf8Printable(thread.why()));
        m_model.showUnreadable(node, thread.why());
        return;
    case ManifestInfoThread::Outcome::Refused:
        tellRefused(thread.path(), thread.why());
        break;
    case ManifestInfoThread::Outcome::Missing:
        forgetListed(node->listUid);
        break;
    }
    m_dropped.append(read);
    dropNodes();
}

void MainWindow::dropNodes()
{
    if (m_treeEdits > 0 || m_dropped.isEmpty())
        return; // a page is being built over a node: dropped once it is in place
    const QList<quint64> dropped = std::exchange(m_dropped, {});
    TreeEdit edit(this);
    const QList<AbsTreeItemModel::_ItemNode*> nodes = m_model.bkRoot->children;
    for (AbsTreeItemModel::_ItemNode* node : nodes) {
        if (dropped.contains(static_cast<ItemModelBK::_BKItemNode*>(node)->read))
            m_model.removeNode(node);
    }
}

void MainWindow::tellRefused(const QString& path, const QString& why)
{
    // There, but the user may not read it now: kept with its cache, and told; those refused at about
    // the same time in one box. A folder above it may be the one named.
    const QString backup = QDir::toNativeSeparators(path);
    if (m_refused.isEmpty()) {
        QTimer::singleShot(100, this, [this] {
            const QStringList refused = std::exchange(m_refused, {});
            Tips::warning(tr("IDS_REMEMBERED_BACKUPS_UNREADABLE_%1").arg(refused.join(QLatin1Char('\n'))));
        });
    }
    m_refused.append(why.contains(backup) ? why : backup + QStringLiteral(": ") + why);
}

void MainWindow::forgetListed(const QString& listUid)
{
    // A cache folder is named by the 32-digit path hash; any other name read from the list (empty,
    // "..", an absolute path) would point the deletion outside the cache.
    static const QRegularExpression cacheName(QStringLiteral("^[0-9a-f]{32}$"));
    const QString list = cacheListPath();
    OffThread::run([&] {
        CacheListDb(list).remove(listUid);
        if (cacheName.match(listUid).hasMatch())
            g_delDirCascade(BkCacheDb::cacheDir().absoluteFilePath(listUid));
    });
}

bool MainWindow::listedBackupRead(ItemModelBK::_BKItemNode* node)
{
    if (node->read != 0 && m_reads->underWay(node->read) && !m_reads->waitFor(node->read, this))
        return false;
    if (!node->unreadable.isEmpty()) {
        m_loadFaultNotice->setText(
            tr("IDS_BACKUP_UNREADABLE_%1_%2").arg(QDir::toNativeSeparators(node->path), node->unreadable));
        m_loadFaultNotice->show();
    }
    return !node->manifest.isNull();
}

void MainWindow::listLocalDbs()
{
    const QFileInfoList folders
        = g_localDbDir().entryInfoList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::Unsorted);
    for (const QFileInfo& folder : folders)
        m_model.addLocalDb(QDir(folder.absoluteFilePath()), ItemModelBK::_LocalDbStat());
}

void MainWindow::resizeEvent(QResizeEvent* event)
{
    const int w = event->size().width();
    ui->splitter->setSizes({ int(0.2 * double(w)), int(0.8 * double(w)) });
}

void MainWindow::exitProgram()
{
    // A task under way ends first, as a quit asked of the system ends it.
    ProgressForm::endAllForQuit();
    close();
    exitHandler()();
}

void MainWindow::onCheckVersionReadyRead(const QString& address, bool firstCheck)
{
    QMessageBox box(firstCheck ? QMessageBox::Warning : QMessageBox::Question, AppInfo::displayName(),
        QString(), QMessageBox::NoButton, nullptr);
    box.setObjectName("UpdateBox");
    new WinMovable(&box);
    box.setWindowFlags(Qt::Dialog | Qt::FramelessWindowHint);
    box.setStyleSheet(getStyleSheet());
    if (firstCheck) {
        box.setText(
            QStringLiteral("This version of Quillmarrow software has become obsolete. Please download the "
                           "latest version to install on your computer."));
        box.addButton(QStringLiteral("Download"), QMessageBox::AcceptRole);
        Tips::exec(box);
        DesktopOpener::openLink(address);
        exitProgram();
        return;
    }
    box.setText(QStringLiteral("A new version of %1 is available. To support your phone, please download the "
                               "latest version.")
                    .arg(AppInfo::displayName()));
    QPushButton* now = box.addButton(QStringLiteral("Download now"), QMessageBox::AcceptRole);
    box.addButton(QStringLiteral("Download later"), QMessageBox::RejectRole);
    if (Tips::exec(box) == now) {
        DesktopOpener::openLink(address);
        exitProgram();
    } else {
        m_updateChecker.writeTimeFile();
    }
}

MainWindow::_CurSel MainWindow::curSel() const
{
    _CurSel sel;
    sel.node = AbsTreeItemModel::nodeOf(ui->treeBK->currentIndex());
    if (!ui->treeBK->currentIndex().isValid())
        sel.node = nullptr;
    if (!sel.node)
        return sel;
    AbsTreeItemModel::_ItemNode* owner = sel.node;
    if (owner->kind >= ItemModelBK::KindSms && owner->kind <= ItemModelBK::KindVideos)
        owner = owner->parentNode;
    if (owner && owner->kind == ItemModelBK::KindBackup)
        sel.bkNode = static_cast<ItemModelBK::_BKItemNode*>(owner);
    else if (owner && owner->kind == ItemModelBK::KindLocalDb)
        sel.localDbNode = static_cast<ItemModelBK::_LocalDbItemNode*>(owner);
    return sel;
}

MainWindow::TreeEdit::TreeEdit(MainWindow* window)
    : m_window(window)
{
    ++m_window->m_treeEdits;
}

MainWindow::TreeEdit::~TreeEdit()
{
    if (--m_window->m_treeEdits > 0)
        return;
    m_window->dropNodes();
    if (m_window->m_pageStale) {
        m_window->m_pageStale = false;
        m_window->loadItemMainForm();
    }
}

void MainWindow::mainTreeSelected(const QItemSelection& selected, const QItemSelection& deselected)
{
    Q_UNUSED(deselected);
    if (selected.isEmpty())
        return;
    if (m_treeEdits > 0) {
        m_pageStale = true;
        return;
    }
    loadItemMainForm();
}

void MainWindow::bkSelected(const QModelIndex& index)
{
    Q_UNUSED(index);
    // Only compared, never dereferenced: a click on the entry whose page the previous click left
    // builds that page again.
    static const QWidget* lastActive = nullptr;
    if (m_curPage && m_curPage == lastActive)
        loadItemMainForm();
    lastActive = m_curPage;
}

void MainWindow::mainTreeContext()
{
    if (m_treeContextActions.isEmpty())
        return;
    QMenu menu(this);
    menu.addActions(m_treeContextActions);
    menu.exec(QCursor::pos());
}

QAction* MainWindow::addContextAction(const QString& icon, const QString& text, void (MainWindow::*slot)())
{
    auto* action = icon.isEmpty() ? new QAction(text, this) : new QAction(QIcon(icon), text, this);
    connect(action, &QAction::triggered, this, slot);
    m_treeContextActions.append(action);
    return action;
}

void MainWindow::loadItemMainForm()
{
    // Building a page may handle events (a backup's progress dialogs): a selection changed meanwhile
    // builds its page once this one is in place, not in the middle of this build.
    TreeEdit building(this);
    clearPage();
    const _CurSel sel = curSel();
    QSharedPointer<BackupManifest> backup
        = sel.bkNode ? sel.bkNode->manifest : QSharedPointer<BackupManifest>();
    DataPageFactory::Page made;
    try {
        if (sel.node)
            made = pageOf(sel, backup);
    } catch (const std::exception& e) {
        Tips::plainError(QString::fromUtf8(e.what()));
    }
    placePage(made, sel, backup);
}

DataPageFactory::Page MainWindow::pageOf(const _CurSel& sel, QSharedPointer<BackupManifest>& backup)
{
    DataPageFactory::Page made;
    switch (sel.node->kind) {
    case ItemModelBK::KindLocalDbRoot:
        addContextAction(":/res/mi_open_local_db_folder.png", tr("IDS_MI_OPEN_LOCAL_DB_FOLDER"),
            &MainWindow::miOpenAppFolder);
        addContextAction(QString(), tr("Import Messages from iMessage(Mac) to Local Database"),
            &MainWindow::miImportMacMessages);
        break;
    case ItemModelBK::KindBackup:
        addContextAction(":/res/unmount.png", tr("IDS_MI_UNMOUNT_BACKUP"), &MainWindow::miUnmountBK);
        if (!listedBackupRead(sel.bkNode))
            break;
        backup = sel.bkNode->manifest;
        if (sel.bkNode->children.isEmpty() && !m_recordReads.contains(backup.data()) && loadBackup(backup))
            m_model.showBackupNode(sel.bkNode);
        if (m_recordReads.contains(backup.data()))
            break; // its records are still being read: no page reads it meanwhile
        made.page = new BKDescForm(backup.data(), this);
        break;
    case ItemModelBK::KindLocalDb:
        if (sel.localDbNode->children.isEmpty())
            loadLocalDb(sel.localDbNode->dir.dirName());
        made.page = new LocalDbDescForm(sel.localDbNode->dir, this);
        addContextAction(":/res/mi_delete.png", tr("IDS_MI_REMVOE_LOCALDB"), &MainWindow::miRemoveLocalDb);
        break;
    default:
        if (sel.node->kind < ItemModelBK::KindSms || sel.node->kind > ItemModelBK::KindVideos)
            break;
        if (sel.bkNode && backup)
            made.page = pendingBackupPage(sel.node->kind, backup);
        else if (sel.localDbNode)
            made = DataPageFactory::localDbPage(sel.node->kind, sel.localDbNode->dir, this);
        break;
    }
    return made;
}

void MainWindow::clearPage()
{
    // The page goes once nothing of its own runs any more (a reading it cancels now, a worker one
    // of its actions still waits for); its actions go with it.
    if (m_curPage) {
        m_pageLayout->removeWidget(m_curPage);
        PageLife::retire(m_curPage);
        m_curPage = nullptr;
    }
    for (QAction* action : std::as_const(m_pageToolbarActions))
        ui->toolBar->removeAction(action);
    m_pageToolbarActions.clear();
    for (QAction* action : std::as_const(m_treeContextActions))
        if (action->parent() == this)
            PageLife::retire(action);
    m_treeContextActions.clear();
    m_loadFaultNotice->hide();
    m_loadFaultNotice->clear();
}

void MainWindow::placePage(
    const DataPageFactory::Page& made, const _CurSel& sel, const QSharedPointer<BackupManifest>& backup)
{
    QWidget* page = made.page;
    if (page) {
        m_pageToolbarActions = made.actions;
        m_treeContextActions.append(made.actions);
        if (sel.bkNode && made.savesToLocalDb)
            connect(page, SIGNAL(backupFinished(QString)), this, SLOT(onBackupFinished(QString)));
        if (sel.localDbNode && page->metaObject()->indexOfSignal("localDbChanged()") >= 0)
            connect(page, SIGNAL(localDbChanged()), this, SLOT(onLocalDbChanged()));
    }
    if (page && backup)
        new BackupHold(backup, page);
    // Each page of the backup stands on its records: what they were read without is said on each.
    if (page && backup && !backup->readWithout().isEmpty()) {
        const QString shown = m_loadFaultNotice->text();
        m_loadFaultNotice->setText(
            shown.isEmpty() ? backup->readWithout() : backup->readWithout() + QStringLiteral("\n\n") + shown);
        m_loadFaultNotice->show();
    }
    if (!page) {
        m_curPage = new GetStartForm(this);
        m_pageLayout->addWidget(m_curPage);
        return;
    }
    m_curPage = page;
    m_pageLayout->addWidget(page, 1); // the notice above it takes only its lines
    for (QAction* action : std::as_const(m_pageToolbarActions)) {
        if (!action->icon().isNull())
            ui->toolBar->insertAction(m_toolbarSeparator, action);
    }
}

bool MainWindow::loadBackup(QSharedPointer<BackupManifest> manifest)
{
    QString refused;
    switch (FolderAccess::stateOf(manifest->dir.absolutePath(), &refused)) {
    case FolderAccess::State::Open:
        break;
    case FolderAccess::State::Missing:
        Tips::error(
            tr("IDS_BACKUP_FOLDER_GONE_%1").arg(QDir::toNativeSeparators(manifest->dir.absolutePath())));
        return false;
    case FolderAccess::State::Refused:
        Tips::error(refused);
        return false;
    }
    if (manifest->IsEncrypted) {
        PasscodeDlg dlg(manifest.data(), this);
        if (dlg.exec() != 1)
            return false;
    }
    // Held until the files are copied: a write by another program waits, and this load waits for one.
    std::unique_ptr<BackupFolderLock> hold = readRecords(manifest);
    const auto released = qScopeGuard([&hold] { OffThread::release(hold); });
    if (!hold)
        return false;
    // The backup still loads; only the files of the stopped write may not read as they should.
    if (manifest->earlierWriteUnsettled())
        Tips::error(
            tr("IDS_EARLIER_WRITE_UNSETTLED_%1").arg(QDir::toNativeSeparators(manifest->dir.absolutePath())));
    if (!cacheBackup(*manifest))
        return false;
    countBackup(*manifest, BkCacheDb::cacheDir().absoluteFilePath(manifest->dirPathMd5()));
    return true;
}

std::unique_ptr<BackupFolderLock> MainWindow::readRecords(const QSharedPointer<BackupManifest>& manifest)
{
    ProgressForm form(
        tr("IDS_READING_BACKUP_%1").arg(QDir::toNativeSeparators(manifest->dir.absolutePath())), this);
    form.setQuiet(true);
    auto* thread = new BackupRecordsThread(manifest, &form);
    connect(thread, &QThread::finished, &form, [&form] { form.succeed(QString()); });
    showRecordsBeingRead(manifest.data(), true);
    thread->start();
    if (form.exec() != 1) {
        thread->abandon();
        if (!thread->isFinished()) {
            // Left to end on its own (a disk that does not answer): its entry says it is being read.
            m_recordReads.insert(manifest.data());
            connect(thread, &QThread::finished, this, [this, thread, manifest] {
                m_recordReads.remove(manifest.data());
                showRecordsBeingRead(manifest.data(), false);
                thread->deleteLater();
            });
            return nullptr;
        }
    }
    showRecordsBeingRead(manifest.data(), false);
    std::unique_ptr<BackupFolderLock> hold = thread->takeHold();
    const QString error = thread->error();
    thread->deleteLater();
    if (!error.isEmpty())
        Tips::plainError(error);
    return hold;
}

void MainWindow::showRecordsBeingRead(const BackupManifest* manifest, bool reading)
{
    for (AbsTreeItemModel::_ItemNode* child : std::as_const(m_model.bkRoot->children)) {
        auto* node = static_cast<ItemModelBK::_BKItemNode*>(child);
        if (node->manifest.data() == manifest)
            m_model.showRecordsBeingRead(node, reading);
    }
}

void MainWindow::countBackup(BackupManifest& manifest, const QDir& cacheDir)
{
    ProgressForm form(tr("IDS_COUNTING_BACKUP"), this);
    form.setQuiet(true);
    CountBackupThread thread(manifest, cacheDir, form, this);
    thread.start();
    form.exec();
    WorkerEnd::waitFor(thread, form.cancelled.token(), this);
    DataSources::putBackupCounts(manifest, thread.counts());
}

bool MainWindow::cacheBackup(BackupManifest& manifest)
{
    const QList<const BackupManifest::_FileNode*> files = DataSources::backupFilesToCache(manifest);
    const QDir cacheDir(BkCacheDb::cacheDir().absoluteFilePath(manifest.dirPathMd5()));
    // The messages are copied at the same time as the other files; their progress shows after the
    // others'. What both could not copy is told once they are done, in one box, each file once
    // (the address book is copied by both). A backup without messages (an iPad, a partial
    // backup) has nothing to copy there and nothing to say about it.
    const bool withMessages = ITunesCacheSMSThread::holdsMessages(manifest);
    ProgressForm smsForm(QString(), this);
    smsForm.setQuiet(true);
    ITunesCacheSMSThread sms(manifest, smsForm, this);
    if (withMessages)
        sms.start();
    ProgressForm form(tr("IDS_LOADING_ITUNES_BACKUP"), this);
    form.setQuiet(true);
    LoadBkThread thread(&manifest, files, cacheDir, &form, this);
    thread.setShowWhatItCan(true);
    thread.start();
    const int result = form.exec();
    WorkerEnd::waitFor(thread, form.cancelled.token(), this);
    manifest.loadFaults = thread.faults();
    if (result != 1 || form.cancelled) {
        smsForm.cancelled = true;
        WorkerEnd::waitFor(sms, smsForm.cancelled.token(), this);
        // The forms are quiet: an error is told here, with its reason; a cancel says nothing.
        if (form.failed())
            Tips::error(form.resultText());
        return false;
    }
    const bool messagesFailed = withMessages && smsForm.exec() != 1 && smsForm.failed();
    WorkerEnd::waitFor(sms, smsForm.cancelled.token(), this);
    manifest.loadFaults.add(sms.faults());
    manifest.loadFaults.add(DataSources::unstoredFiles(manifest));
    const QString told = manifest.loadFaults.texts().join(QLatin1Char('\n'));
    QStringList box;
    if (!manifest.readWithout().isEmpty())
        box.append(manifest.readWithout());
    if (messagesFailed || !told.isEmpty())
        box.append(told.isEmpty() ? smsForm.resultText() : told);
    if (messagesFailed)
        Tips::error(box.join(QLatin1Char('\n')));
    else if (!box.isEmpty())
        Tips::info(box.join(QLatin1Char('\n')));
    return true;
}

QWidget* MainWindow::pendingBackupPage(int kind, const QSharedPointer<BackupManifest>& backup)
{
    auto* page = new QWidget(this);
    page->setObjectName(QStringLiteral("PendingPage"));
    auto* read = new PageRead(page);
    const QDir dataDir(BkCacheDb::cacheDir().absoluteFilePath(backup->dirPathMd5()));
    auto lacks = std::make_shared<bool>(false);
    // The cache is the program's own and may have been cleared since the load; it is looked at
    // beside the window, its disk may not answer. The faults are the load's as they stand now.
    read->start([backup, faults = backup->loadFaults, dataDir,
                    lacks] { *lacks = DataSources::cacheLacksFiles(*backup, faults, dataDir); },
        [this, kind, backup, lacks](const QString& failure) {
            if (!failure.isEmpty())
                qWarning("Cache of %s not looked at: %s", qUtf8Printable(backup->dir.absolutePath()),
                    qUtf8Printable(failure));
            showBackupPage(kind, backup, *lacks);
        });
    return page;
}

void MainWindow::showBackupPage(int kind, const QSharedPointer<BackupManifest>& backup, bool lacksFiles)
{
    TreeEdit building(this);
    const QDir dataDir(BkCacheDb::cacheDir().absoluteFilePath(backup->dirPathMd5()));
    // Its faults and counts are then those of the new copies.
    if (lacksFiles && cacheBackup(*backup))
        countBackup(*backup, dataDir);
    const _CurSel sel = curSel();
    if (!sel.node || sel.node->kind != kind || !sel.bkNode || sel.bkNode->manifest != backup)
        return; // the user went on meanwhile: the page of the new selection follows
    clearPage();
    DataPageFactory::Page made;
    try {
        made = backupDataPage(kind, *backup);
    } catch (const std::exception& e) {
        Tips::plainError(QString::fromUtf8(e.what()));
    }
    placePage(made, sel, backup);
}

DataPageFactory::Page MainWindow::backupDataPage(int kind, BackupManifest& backup)
{
    const QDir dataDir(BkCacheDb::cacheDir().absoluteFilePath(backup.dirPathMd5()));
    // What the load could not copy of the page's files is said on the page, once, in the load's
    // words; the page's own errors that name those files (a database cut short reads as
    // malformed, one not copied is not found) are that fault again, and so is every error of a page
    // whose reader could not read such a file at all (an empty one has none of its tables): only
    // the others are shown.
    QStringList faults;
    QStringList named;
    bool unread = false;
    for (const BackupManifest::_FileNode* node : DataSources::backupFilesOfKind(backup, kind)) {
        const QString why = node ? backup.loadFaults.of(node->item.backupFileName()) : QString();
        if (!why.isEmpty()) {
            faults.append(why);
            named << QDir::toNativeSeparators(backup.storedFilePath(node->item)) << node->name();
            unread = unread || backup.loadFaults.unread(node->item.backupFileName());
        }
    }
    if (faults.isEmpty())
        return DataPageFactory::backupPage(kind, &backup, dataDir, this);
    DataPageFactory::Page made;
    QStringList others;
    {
        const Tips::HeldErrors held;
        made = DataPageFactory::backupPage(kind, &backup, dataDir, this);
        for (const QString& error : unread ? QStringList() : held.texts())
            if (std::none_of(named.begin(), named.end(), [&](const QString& n) { return error.contains(n); }))
                others.append(error);
    }
    // The page reads beside the window: what its reading fails with later is told as above.
    PageRead::setToldIn(made.page, [unread, named](const QString& error) {
        return unread
            || std::any_of(named.begin(), named.end(), [&](const QString& n) { return error.contains(n); });
    });
    m_loadFaultNotice->setText(tr("IDS_PAGE_NOT_LOADED_%1").arg(faults.join(QLatin1Char('\n'))));
    m_loadFaultNotice->show();
    for (const QString& error : std::as_const(others))
        Tips::error(error);
    return made;
}

void MainWindow::miLoadiTunesBackup()
{
    QSharedPointer<BackupManifest> manifest;
    {
        LoadItunesBackupDlg dlg(this);
        if (dlg.exec() != 1)
            return;
        manifest = dlg.manifest;
    }
    try {
        if (!manifest || !loadBackup(manifest))
            return;
    } catch (const std::exception& e) {
        // A copy thread that could not even start: reported, and the tree stays as it was.
        Tips::plainError(QString::fromUtf8(e.what()));
        return;
    }
    const QString uid = manifest->dirPathMd5();
    ItemModelBK::_BKItemNode* node = nullptr;
    for (AbsTreeItemModel::_ItemNode* child : std::as_const(m_model.bkRoot->children)) {
        auto* bk = static_cast<ItemModelBK::_BKItemNode*>(child);
        if ((bk->manifest ? bk->manifest->dirPathMd5() : bk->listUid) == uid) {
            node = bk;
            break;
        }
    }
    TreeEdit edit(this);
    if (node) {
        // A page of the old backup keeps it alive through its hold until the page goes; a read of
        // it still under way is not waited for.
        m_model.clearChilds(node);
        m_model.showRead(node, manifest);
    } else {
        node = m_model.addBackup(manifest);
    }
    m_model.showBackupNode(node);
    ui->treeBK->expand(m_model.indexOfItemNode(m_model.bkRoot));
    ui->treeBK->expand(m_model.indexOfItemNode(node));
    ui->treeBK->setCurrentIndex(m_model.indexOfItemNode(node));
    const QString list = cacheListPath();
    const QString dir = manifest->dir.absolutePath();
    OffThread::run([&] { CacheListDb(list).save(uid, dir); });
}

void MainWindow::miUnmountBK()
{
    const _CurSel sel = curSel();
    if (!sel.bkNode)
        return;
    const QString list = cacheListPath();
    const QString uid = sel.bkNode->manifest ? sel.bkNode->manifest->dirPathMd5() : sel.bkNode->listUid;
    OffThread::run([&] { CacheListDb(list).remove(uid); });
    TreeEdit edit(this);
    m_model.removeNode(sel.bkNode);
}

void MainWindow::loadLocalDb(const QString& name)
{
    ItemModelBK::_LocalDbItemNode* node = nullptr;
    for (AbsTreeItemModel::_ItemNode* child : std::as_const(m_model.localDbRoot->children)) {
        auto* db = static_cast<ItemModelBK::_LocalDbItemNode*>(child);
        if (db->dir.dirName().compare(name, Qt::CaseInsensitive) == 0) {
            node = db;
            break;
        }
    }
    const QDir folder(g_localDbDir().absoluteFilePath(name));
    ItemModelBK::_LocalDbStat stat;
    OffThread::run([&] { stat = DataSources::countLocalDb(folder, true); });
    TreeEdit edit(this);
    if (!node)
        node = m_model.addLocalDb(folder, stat);
    else
        node->stat = stat;
    m_model.showLocalDbNode(node);
}

void MainWindow::onBackupFinished(const QString& dbName)
{
    loadLocalDb(dbName);
}

void MainWindow::onLocalDbChanged()
{
    const _CurSel sel = curSel();
    if (sel.localDbNode)
        loadLocalDb(sel.localDbNode->dir.dirName());
}

void MainWindow::miRemoveLocalDb()
{
    const _CurSel sel = curSel();
    if (!sel.localDbNode)
        return;
    if (!Tips::question(tr("IDS_CONFIRM_REMOVE_LOCAL_DB")))
        return;
    const QString path = sel.localDbNode->dir.absolutePath();
    bool stays = false;
    OffThread::run([&] {
        g_delDirCascade(path);
        stays = QFileInfo::exists(path);
    });
    if (stays) {
        Tips::error(tr("IDS_CANT_DEL_LOCAL_DB"));
        return;
    }
    Tips::info(tr("IDS_REMOVE_LOCALDB_SUC"));
    TreeEdit edit(this);
    m_model.removeNode(sel.localDbNode);
}

void MainWindow::miImportMacMessages()
{
    try {
        if (!DataPageFactory::importMacMessagesThrow(this))
            return;
        const QString name = DataPageFactory::lastImportedDbName();
        if (!name.isEmpty())
            onBackupFinished(name);
    } catch (const std::exception& e) {
        Tips::plainError(QString::fromUtf8(e.what()));
    }
}

void MainWindow::miOpenAppFolder()
{
    DesktopOpener::openFileOrFolder(g_localDbDir().absolutePath());
}

void MainWindow::miCheckUpdate()
{
    DesktopOpener::openLink(UpdateChecker::updatePageUrl().toString());
}

void MainWindow::miClearCaches()
{
    QString why;
    QStringList left;
    try {
        OffThread::run(
            [&] {
                const QString cache = BkCacheDb::cacheDir().absolutePath();
                const QString temp = iosbackup_temp_dir("sys").absolutePath();
                g_delDirCascade(cache);
                iosbackup_clear_temp("sys");
                for (const QString& folder : { cache, temp })
                    if (visibleEntriesLeft(folder))
                        left.append(QDir::toNativeSeparators(folder));
                // The thumbnails of message pictures (and of contact cards sent in messages) are kept
                // apart.
                if (!msgClearThumbnails(&why) && why.isEmpty())
                    why = QStringLiteral("?");
            },
            tr("IDS_CLEARING_CACHES"), this);
    } catch (const std::exception& e) {
        why = QString::fromUtf8(e.what());
    }
    if (!left.isEmpty())
        why.prepend(
            tr("IDS_CLEAR_CACHES_INCOMPLETE_%1").arg(left.join(QStringLiteral(", "))) + QLatin1Char('\n'));
    if (!why.isEmpty())
        Tips::plainError(why.trimmed());
    else
        Tips::info(tr("IDS_CLEAR_CACHES_SUC"));
}

void MainWindow::miHelp()
{
    DesktopOpener::openLink(AppInfo::helpPage());
}

void MainWindow::miFeedback()
{
    DesktopOpener::openLink(AppInfo::supportPage());
}

void MainWindow::miHome()
{
    DesktopOpener::openLink(AppInfo::homePage());
}

void MainWindow::miAboutUs()
{
    AboutUsForm dlg(this);
    dlg.exec();
}
