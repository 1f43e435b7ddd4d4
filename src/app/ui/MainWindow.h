#pragma once

#include "app/UpdateChecker.h"
#include "app/ui/DataPageFactory.h"
#include "app/ui/ItemModelBK.h"

#include <QItemSelection>
#include <QList>
#include <QMainWindow>
#include <QSet>
#include <QSharedPointer>
#include <functional>
#include <memory>

class BackupFolderLock;
class BackupManifest;
class ListedBackupReads;
class ManifestInfoThread;
class MyTreeView;
class QAction;
class QLabel;
class QMenuBar;
class QSplitter;
class QStatusBar;
class QToolBar;
class QVBoxLayout;

// The widgets of the main window, named as the style sheet knows them.
struct Ui_MainWindow {
    QWidget* centralWidget = nullptr;
    QVBoxLayout* verticalLayout = nullptr;
    QSplitter* splitter = nullptr;
    MyTreeView* treeBK = nullptr;
    QWidget* wdMain = nullptr;
    QMenuBar* menuBar = nullptr;
    QToolBar* toolBar = nullptr;
    QStatusBar* statusBar = nullptr;

    void setupUi(QMainWindow* window);
    void retranslateUi(QMainWindow* window);
};

// The program's one top-level window: the tree of backups and local databases on the left, the
// page of the selected entry on the right, with menus, tool bar and status bar around them.
class MainWindow : public QMainWindow
{
    Q_OBJECT
public:
    // The current selection: the tree's node and the backup or local database it stands for.
    struct _CurSel {
        AbsTreeItemModel::_ItemNode* node = nullptr;
        ItemModelBK::_BKItemNode* bkNode = nullptr;
        ItemModelBK::_LocalDbItemNode* localDbNode = nullptr;
    };

    explicit MainWindow(QWidget* parent = nullptr);
    ~MainWindow() override;

    _CurSel curSel() const;
    void loadItemMainForm();
    bool loadBackup(QSharedPointer<BackupManifest> manifest);
    void loadLocalDb(const QString& name);
    // Ends the program after the user chose to download a new release: the window closes and the
    // event loop ends; no other process is touched.
    void exitProgram();

    // What exitProgram() does after closing the window; tests replace it.
    static void setExitHandler(std::function<void()> handler);
    // The program is ending (its event loop is over): the shown page's big models are left to the
    // system rather than freed one by one.
    void leaveModelsAtExit();

    Ui_MainWindow* ui;
    ItemModelBK& model() { return m_model; }
    QWidget* currentPage() const { return m_curPage; }
    const QList<QAction*>& pageToolbarActions() const { return m_pageToolbarActions; }
    const QList<QAction*>& treeContextActions() const { return m_treeContextActions; }
    QAction* toolbarSeparator() const { return m_toolbarSeparator; }
    UpdateChecker& updateChecker() { return m_updateChecker; }
    // Whether a remembered backup's Manifest.plist is still being read.
    bool readingListedBackups() const;

public Q_SLOTS:
    // The update check's answer named a download address: insist on it (first check) or offer it.
    void onCheckVersionReadyRead(const QString& address, bool firstCheck);
    void bkSelected(const QModelIndex& index);
    void mainTreeSelected(const QItemSelection& selected, const QItemSelection& deselected);
    void mainTreeContext();
    void miLoadiTunesBackup();
    void miOpenAppFolder();
    void miCheckUpdate();
    void miClearCaches();
    void miHelp();
    void miFeedback();
    void miAboutUs();
    void miHome();
    void miUnmountBK();
    void miRemoveLocalDb();
    void onBackupFinished(const QString& dbName);
    // A local page deleted records: its database's counts in the tree are read again.
    void onLocalDbChanged();
    void miImportMacMessages();

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    // Lists the remembered backups at once, each being read on a thread of its own.
    void relistBackups();
    void onListedRead(quint64 read, const ManifestInfoThread& thread);
    // Drops the nodes of remembered backups that are gone or refused, once no tree edit is under way.
    void dropNodes();
    // A remembered backup the user may not read (why names the folder that refuses) is told.
    void tellRefused(const QString& path, const QString& why);
    // A remembered backup that is gone leaves the list, and its cache goes.
    void forgetListed(const QString& listUid);
    // Whether the backup of node has its Manifest.plist read, waiting for a read under way under a
    // dialog the user may cancel; one that could not be read says why above the page.
    bool listedBackupRead(ItemModelBK::_BKItemNode* node);
    // Reads the backup's file records on a worker under a progress dialog the user may cancel,
    // its entry saying meanwhile that it is being read; the read's shared hold of the folder once
    // they are read, null when they are not (an error is told). A read the user stopped waiting
    // for is left to end on its own.
    std::unique_ptr<BackupFolderLock> readRecords(const QSharedPointer<BackupManifest>& manifest);
    void showRecordsBeingRead(const BackupManifest* manifest, bool reading);
    // Copies the files the pages read into the backup's cache folder, again wherever a copy is
    // missing or is not the backup's own file any more; false when the user cancelled or the copy
    // failed (the progress dialog has said why).
    bool cacheBackup(BackupManifest& manifest);
    // Counts the data kinds of a loaded backup from its cache folder into it, on a worker under a
    // progress dialog: a count its cancel stopped stays unknown.
    void countBackup(BackupManifest& manifest, const QDir& cacheDir);
    // The page of the selected node (its tree actions added); a node without one gives none.
    DataPageFactory::Page pageOf(const _CurSel& sel, QSharedPointer<BackupManifest>& backup);
    // The page shown goes (see PageLife), with its actions; the notice above it is emptied.
    void clearPage();
    // Shows made (the start page when it has none) with its actions, for the selection of sel.
    void placePage(
        const DataPageFactory::Page& made, const _CurSel& sel, const QSharedPointer<BackupManifest>& backup);
    // A page of a data kind of a loaded backup, shown at once: beside the window it looks whether
    // the backup's cache lacks a copy, then showBackupPage() follows.
    QWidget* pendingBackupPage(int kind, const QSharedPointer<BackupManifest>& backup);
    // Makes the cache again where it lacks a copy, then shows the page if its node is still selected.
    void showBackupPage(int kind, const QSharedPointer<BackupManifest>& backup, bool lacksFiles);
    // The page of a data kind of a loaded backup; one whose files the load could not copy as the
    // phone wrote them says why above it.
    DataPageFactory::Page backupDataPage(int kind, BackupManifest& backup);
    void listLocalDbs();
    void showPage(QWidget* page);
    QAction* addContextAction(const QString& icon, const QString& text, void (MainWindow::*slot)());

    // Tree edits can move the current index (rows removed under it); the page is rebuilt once
    // the edit is over rather than in the middle of it.
    class TreeEdit
    {
    public:
        explicit TreeEdit(MainWindow* window);
        ~TreeEdit();

    private:
        MainWindow* m_window;
    };
    int m_treeEdits = 0;
    bool m_pageStale = false;

    ListedBackupReads* m_reads = nullptr;
    QList<quint64> m_dropped; // the reads of remembered backups whose nodes go (dropNodes)
    QStringList m_refused; // remembered backups the user may not read, not told yet
    QSet<const BackupManifest*> m_recordReads; // backups whose records a read left going reads

    QWidget* m_curPage = nullptr;
    QVBoxLayout* m_pageLayout = nullptr;
    QLabel* m_loadFaultNotice = nullptr;
    ItemModelBK m_model;
    QAction* m_toolbarSeparator = nullptr;
    QAction* m_loadBackupAction = nullptr;
    QList<QAction*> m_pageToolbarActions;
    QList<QAction*> m_treeContextActions;
    UpdateChecker m_updateChecker;
};
