#include "notes_media/ui/BookmarksMainForm.h"

#include "app/DataPaths.h"
#include "app/StyleSheet.h"
#include "app/ui/ItemModelBK.h"
#include "app/ui/shared/DataSourceSelForm.h"
#include "app/ui/shared/MyTreeView.h"
#include "app/ui/shared/PageActions.h"
#include "app/ui/shared/PageRead.h"
#include "app/ui/shared/ProgressForm.h"
#include "app/ui/shared/Tips.h"
#include "backup/BackupManifest.h"
#include "device/IOSDeviceMonitor.h"
#include "notes_media/LocalBookmarkDb.h"
#include "notes_media/ui/BackupBookmarsThread.h"
#include "notes_media/ui/ExportBookmarkThread.h"
#include "notes_media/ui/RestoreBookmarksThread.h"
#include "notes_media/ui/Ui_BookmarksMainForm.h"

#include <QAction>
#include <QCursor>
#include <QFileDialog>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QResizeEvent>
#include <QSet>
#include <QToolButton>
#include <QUrl>
#include <exception>

struct BookmarksMainForm::Operation {
    const char* key;
    const char* icon;
    void (BookmarksMainForm::*toolbarSlot)();
    void (BookmarksMainForm::*menuSlot)();
};

BookmarksMainForm::BookmarksMainForm(
    QSharedPointer<IBookmarkDb> db, const BackupManifest* manifest, QWidget* parent)
    : QWidget(parent)
    , ui(new Ui_BookmarksMainForm)
    , model(this)
    , bookmarkDb(std::move(db))
    , m_manifest(manifest)
    , m_load(manifest, ItemModelBK::KindBookmarks)
    , m_read(new PageRead(this))
{
    ui->setupUi(this);
    setStyleSheet(getStyleSheet());
    connect(ui->listBookmarks, &QTreeView::doubleClicked, this, &BookmarksMainForm::bookmarkDoubleClicked);
    connect(ui->listBookmarks, &MyTreeView::createContextMenu, this, &BookmarksMainForm::contextMenu);
    connect(ui->btnSearch, &QToolButton::pressed, this, &BookmarksMainForm::btnSearchClicked);
    connect(ui->txtKeyword, &QLineEdit::returnPressed, this, &BookmarksMainForm::btnSearchClicked);
    ui->listBookmarks->setModel(&model);
    reload();
}

BookmarksMainForm::~BookmarksMainForm()
{
    m_read->end();
    delete ui;
    model.loadBookmarks({});
    qDeleteAll(m_bookmarks);
}

void BookmarksMainForm::reload()
{
    // The trees read are owned here until the page takes them: a cancelled reading frees its own.
    struct Trees {
        QList<_Bookmark*> list;
        ~Trees() { qDeleteAll(list); }
    };
    auto fresh = std::make_shared<Trees>();
    m_load.startReading();
    ui->lbCount->setText(tr("Total:%1").arg(m_load.shownCount(0)));
    m_read->start([db = bookmarkDb, fresh] { fresh->list = db->bookmarks(); },
        [this, fresh](const QString& failure) {
            const QList<_Bookmark*> old = m_bookmarks;
            m_bookmarks = fresh->list;
            fresh->list.clear(); // the page owns them now
            model.loadBookmarks(m_bookmarks);
            qDeleteAll(old);
            m_load.setReadFailure(failure);
            m_read->tellFailure(failure);
            ui->lbCount->setText(tr("Total:%1").arg(m_load.shownCount(_Bookmark::countOf(m_bookmarks))));
        });
}

QList<BookmarksMainForm::Operation> BookmarksMainForm::operations() const
{
    QList<Operation> ops;
    if (m_manifest)
        ops.append({ "IDS_BACKUP_BOOKMARKS", ":/res/save-to-database.png",
            &BookmarksMainForm::miToolbarBackup, &BookmarksMainForm::miBackup });
    ops.append({ "IDS_RESTORE_BOOKMARKS", ":/res/db2i.png", &BookmarksMainForm::miToolbarRestore,
        &BookmarksMainForm::miRestore });
    ops.append({ "IDS_EXPORT_BOOKMARKS", ":/res/mi_export-sms.png", &BookmarksMainForm::miToolbarExport,
        &BookmarksMainForm::miExport });
    if (!m_manifest)
        ops.append({ "IDS_DELETE_BOOKMARKS", ":/res/mi_delete.png", &BookmarksMainForm::miToolbarDelete,
            &BookmarksMainForm::miDelete });
    return ops;
}

QList<QAction*> BookmarksMainForm::toolbarActions()
{
    QList<QAction*> actions;
    for (const Operation& op : operations()) {
        auto* a = new QAction(QIcon(QString::fromLatin1(op.icon)), tr(op.key), this);
        connect(a, &QAction::triggered, this, op.toolbarSlot);
        actions.append(a);
    }
    return actions;
}

void BookmarksMainForm::resizeEvent(QResizeEvent* event)
{
    const double w = event->size().width() - 23;
    ui->listBookmarks->header()->resizeSection(0, int(0.4 * w));
    ui->listBookmarks->header()->resizeSection(1, int(0.6 * w));
}

void BookmarksMainForm::expandUntilShowNode(const AbsTreeItemModel::_ItemNode* node)
{
    for (; node; node = node->parentNode)
        ui->listBookmarks->expand(model.indexOfItemNode(node));
}

bool BookmarksMainForm::hasSelection() const
{
    return !ui->listBookmarks->selectionModel()->selectedRows(0).isEmpty();
}

QList<_Bookmark*> BookmarksMainForm::getSelections() const
{
    QList<_Bookmark*> chosen;
    for (const QModelIndex& index : ui->listBookmarks->selectionModel()->selectedRows(0))
        if (const _Bookmark* b = ItemModelBookmark::bookmarkOf(index))
            chosen.append(const_cast<_Bookmark*>(b));
    const QSet<_Bookmark*> set(chosen.begin(), chosen.end());
    QList<_Bookmark*> result;
    for (_Bookmark* b : std::as_const(chosen)) {
        bool inside = false;
        for (const _Bookmark* p = b->parent; p && !inside; p = p->parent)
            inside = set.contains(const_cast<_Bookmark*>(p));
        if (!inside)
            result.append(b);
    }
    return result;
}

void BookmarksMainForm::btnSearchClicked()
{
    const QString keyword = ui->txtKeyword->text().trimmed();
    if (keyword.isEmpty())
        return;
    const AbsTreeItemModel::_ItemNode* start = AbsTreeItemModel::nodeOf(ui->listBookmarks->currentIndex());
    const QList<const AbsTreeItemModel::_ItemNode*> all = model.nodes();
    const qsizetype s = start ? all.indexOf(start) : -1;
    auto matches = [&](qsizetype i) {
        const auto* n = static_cast<const ItemModelBookmark::_BookmarkItemNode*>(all.at(i));
        return n->bookmark->title.contains(keyword, Qt::CaseInsensitive);
    };
    qsizetype found = -1;
    for (qsizetype i = s + 1; i < all.size() && found < 0; ++i)
        if (matches(i))
            found = i;
    for (qsizetype i = 0; found < 0 && s + 1 > 0 && i <= s; ++i)
        if (matches(i))
            found = i;
    if (found < 0) {
        Tips::info(tr("IDS_CANNOT_FIND_BOOKMARKS_KW_%1").arg(keyword));
        return;
    }
    expandUntilShowNode(all.at(found));
    ui->listBookmarks->setCurrentIndex(model.indexOfItemNode(all.at(found)));
}

// Opens the selected bookmarks in the web browser; only web addresses are handed on, so a
// bookmark cannot start a local file or another program.
void BookmarksMainForm::bookmarkDoubleClicked()
{
    for (const QModelIndex& index : ui->listBookmarks->selectionModel()->selectedRows(0)) {
        const _Bookmark* b = ItemModelBookmark::bookmarkOf(index);
        if (!b || b->isFolder)
            continue;
        if (isWebAddress(b->url))
            g_openLink(b->url.trimmed());
    }
}

bool BookmarksMainForm::isWebAddress(const QString& address)
{
    const QUrl url(address.trimmed(), QUrl::StrictMode);
    const QString scheme = url.scheme().toLower();
    return url.isValid() && !url.host().isEmpty()
        && (scheme == QLatin1String("http") || scheme == QLatin1String("https"));
}

void BookmarksMainForm::contextMenu()
{
    if (!hasSelection())
        return;
    QMenu menu(this);
    for (const Operation& op : operations())
        connect(menu.addAction(QIcon(QString::fromLatin1(op.icon)), tr(op.key)), &QAction::triggered, this,
            op.menuSlot);
    menu.exec(QCursor::pos());
}

void BookmarksMainForm::exportBookmarks(QList<_Bookmark*> list)
{
    if (!m_load.exportable())
        return;
    const QString proposed
        = PageActions::proposedExportPath(QStringLiteral("bookmarks-"), QStringLiteral(".html"));
    const QString path = QFileDialog::getSaveFileName(this, QString(), proposed, QString());
    if (path.isEmpty())
        return;
    PageActions::runWorker(this, tr("IDS_TITLE_EXPORT_BOOKMARKS"),
        [&](ProgressForm& form) { return std::make_unique<ExportBookmarkThread>(list, path, &form, this); });
}

void BookmarksMainForm::backupBookmarks(QList<_Bookmark*> list)
{
    const std::optional<QDir> folder = PageActions::chooseLocalDb(this, m_manifest);
    if (!folder)
        return;
    LocalBookmarkDb store(folder->absoluteFilePath(QStringLiteral("bookmarks.db")));
    if (PageActions::runWorker(this, tr("IDS_TITLE_BACKUPING_BOOKMARKS"), [&](ProgressForm& form) {
            return std::make_unique<BackupBookmarsThread>(&store, list, &form, this);
        }))
        emit backupFinished(folder->dirName());
}

void BookmarksMainForm::restoreBookmarks(QList<_Bookmark*> list)
{
    DataSourceSelForm sel(this);
    sel.exec();
    if (!IOSDeviceMonitor::getInstance()->devices.contains(sel.udid))
        return;
    Tips::info(tr("IDS_TIPS_BEFORE_RESTORE_BOOKMARKS"));
    PageActions::runWorker(this, tr("IDS_RESTORING_BOOKMARKS_TO_IOS_DEVICE"), [&](ProgressForm& form) {
        return std::make_unique<RestoreBookmarksThread>(sel.udid, list, &form, this);
    });
}

void BookmarksMainForm::miExport()
{
    exportBookmarks(getSelections());
}

void BookmarksMainForm::miBackup()
{
    backupBookmarks(getSelections());
}

void BookmarksMainForm::miRestore()
{
    restoreBookmarks(getSelections());
}

void BookmarksMainForm::miDelete()
{
    auto* store = dynamic_cast<LocalBookmarkDb*>(bookmarkDb.data());
    const QList<_Bookmark*> chosen = getSelections();
    const auto remove = [&] {
        if (!store)
            return false;
        PageActions::inOneEdit(*store, [&] {
            for (const _Bookmark* b : chosen)
                store->deleteBookmark(b);
        });
        return true;
    };
    if (PageActions::confirmedDelete(this, tr("IDS_DELETE_BOOKMARKS"), tr("IDS_CONFIRM_DEL_BOOKMARKS"),
            remove, tr("IDS_DEL_BOOKMARKS_SUC"))) {
        reload();
        emit localDbChanged();
    }
}

void BookmarksMainForm::miToolbarExport()
{
    hasSelection() ? miExport() : exportBookmarks(m_bookmarks);
}

void BookmarksMainForm::miToolbarBackup()
{
    hasSelection() ? miBackup() : backupBookmarks(m_bookmarks);
}

void BookmarksMainForm::miToolbarRestore()
{
    hasSelection() ? miRestore() : restoreBookmarks(m_bookmarks);
}

void BookmarksMainForm::miToolbarDelete()
{
    if (hasSelection()) {
        miDelete();
        return;
    }
    auto* store = dynamic_cast<LocalBookmarkDb*>(bookmarkDb.data());
    const auto remove = [&] {
        if (store)
            store->deleteDbFile();
        return store != nullptr;
    };
    if (PageActions::confirmedDelete(this, tr("IDS_DELETE_BOOKMARKS"), tr("IDS_CONFIRM_DEL_ALL_BOOKMARKS"),
            remove, tr("IDS_DEL_ALL_BOOKMARKS_SUC"))) {
        reload();
        emit localDbChanged();
    }
}
