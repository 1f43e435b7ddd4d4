#include "calls_calendars/ui/CallHistoryMainForm.h"

#include "app/StyleSheet.h"
#include "app/ui/ItemModelBK.h"
#include "app/ui/shared/BackupReadForWrite.h"
#include "app/ui/shared/LoadItunesBackupDlg.h"
#include "app/ui/shared/OffThread.h"
#include "app/ui/shared/PageActions.h"
#include "app/ui/shared/PageRead.h"
#include "app/ui/shared/ProgressForm.h"
#include "app/ui/shared/Tips.h"
#include "backup/BackupManifest.h"
#include "backup/lock/BackupFolderLock.h"
#include "calls_calendars/LocalCallHistoryDb.h"
#include "calls_calendars/ui/BackupCallsThread.h"
#include "calls_calendars/ui/CallsDeviceRestore.h"
#include "calls_calendars/ui/CallsMergeRoad.h"
#include "calls_calendars/ui/ExportCallHistoryThread.h"
#include "calls_calendars/ui/Ui_CallHistoryMainForm.h"

#include <QAction>
#include <QCursor>
#include <QFileDialog>
#include <QFileInfo>
#include <QHeaderView>
#include <QMenu>
#include <QScopeGuard>
#include <optional>

CallHistoryMainForm::CallHistoryMainForm(
    const BackupManifest* manifest, QSharedPointer<ICallHistoryDb> db, QWidget* parent)
    : QWidget(parent)
    , m_ui(new Ui_CallHistoryMainForm)
    , m_manifest(manifest)
    , m_db(std::move(db))
    , m_model(this)
    , m_load(manifest, ItemModelBK::KindCallHistory)
    , m_read(new PageRead(this))
{
    m_ui->setupUi(this);
    setStyleSheet(getStyleSheet());
    connect(m_ui->listCalls, &MyTreeView::createContextMenu, this, &CallHistoryMainForm::contextMenu);
    m_ui->listCalls->setModel(&m_model);
    reload();
}

CallHistoryMainForm::~CallHistoryMainForm()
{
    m_read->end();
    delete m_ui;
}

void CallHistoryMainForm::reload()
{
    auto calls = std::make_shared<QList<_CallHistory>>();
    m_load.startReading();
    m_ui->lbCount->setText(QStringLiteral("Total:%1").arg(m_load.shownCount(0)));
    m_read->start([db = m_db, calls] { *calls = db->callHistories(); },
        [this, calls](const QString& failure) {
            m_model.loadCalls(*calls);
            m_load.setReadFailure(failure);
            m_read->tellFailure(failure);
            m_ui->lbCount->setText(QStringLiteral("Total:%1").arg(m_load.shownCount(m_model.calls().size())));
        });
}

QList<QAction*> CallHistoryMainForm::makeActions(bool forMenu)
{
    const bool local = m_manifest == nullptr;
    QList<QAction*> list;
    auto add = [&](const char* icon, const QString& text, void (CallHistoryMainForm::*slot)()) {
        auto* action = new QAction(icon ? QIcon(QLatin1String(icon)) : QIcon(), text, this);
        connect(action, &QAction::triggered, this, slot);
        list.append(action);
    };
    if (local)
        add(nullptr, QStringLiteral("Export Call History to iTunes Backup"),
            forMenu ? &CallHistoryMainForm::mi2Itunes : &CallHistoryMainForm::miAll2Itunes);
    else
        add(":/res/save-to-database.png", tr("IDS_BACKUP_CALLS"),
            forMenu ? &CallHistoryMainForm::miBackup : &CallHistoryMainForm::miToolbarBackup);
    add(":/res/db2i.png", tr("IDS_RESTORE_CALLS"),
        forMenu ? &CallHistoryMainForm::miRestore : &CallHistoryMainForm::miToolbarRestore);
    add(":/res/mi_export-sms.png", forMenu ? tr("IDS_EXPORT_CALLS") : tr("IDS_EXPORT_CALL_HISTORIES"),
        forMenu ? &CallHistoryMainForm::miExport : &CallHistoryMainForm::miToolbarExport);
    if (local)
        add(":/res/mi_delete.png", tr("IDS_DELETE_CALLS"),
            forMenu ? &CallHistoryMainForm::miDelete : &CallHistoryMainForm::miToolbarDelete);
    return list;
}

QList<QAction*> CallHistoryMainForm::toolbarActions()
{
    return makeActions(false);
}

void CallHistoryMainForm::contextMenu()
{
    if (m_ui->listCalls->selectionModel()->selectedRows(0).isEmpty())
        return;
    QMenu menu(this);
    menu.addActions(makeActions(true));
    menu.exec(QCursor::pos());
}

QList<_CallHistory> CallHistoryMainForm::getSelections() const
{
    QList<_CallHistory> list;
    for (const QModelIndex& index : m_ui->listCalls->selectionModel()->selectedRows(0))
        if (const auto* node
            = static_cast<const ItemModelCall::_CallItemNode*>(AbsTreeItemModel::nodeOf(index)))
            list.append(node->call);
    return list;
}

QList<_CallHistory> CallHistoryMainForm::toolbarSelection() const
{
    return m_ui->listCalls->selectionModel()->selectedRows(0).isEmpty() ? m_model.calls() : getSelections();
}

void CallHistoryMainForm::miExport()
{
    exportCallHistories(getSelections());
}
void CallHistoryMainForm::miToolbarExport()
{
    exportCallHistories(toolbarSelection());
}
void CallHistoryMainForm::miBackup()
{
    backupCallHistories(getSelections());
}
void CallHistoryMainForm::miToolbarBackup()
{
    backupCallHistories(toolbarSelection());
}
void CallHistoryMainForm::miRestore()
{
    restoreCallHistories(getSelections());
}
void CallHistoryMainForm::miToolbarRestore()
{
    restoreCallHistories(toolbarSelection());
}
void CallHistoryMainForm::mi2Itunes()
{
    export2iTunes(getSelections());
}
void CallHistoryMainForm::miAll2Itunes()
{
    export2iTunes(m_model.calls());
}

void CallHistoryMainForm::miDelete()
{
    auto* store = dynamic_cast<LocalCallHistoryDb*>(m_db.data());
    const QList<_CallHistory> chosen = getSelections();
    const auto remove = [&] {
        if (!store)
            return false;
        PageActions::inOneEdit(*store, [&] {
            for (const _CallHistory& call : chosen)
                store->deleteCallHistory(call.id);
        });
        return true;
    };
    if (PageActions::confirmedDelete(
            this, tr("IDS_DELETE_CALLS"), tr("IDS_CONFIRM_DEL_CALLS"), remove, tr("IDS_DEL_CALLS_SUC"))) {
        reload();
        emit localDbChanged();
    }
}

void CallHistoryMainForm::miToolbarDelete()
{
    if (!m_ui->listCalls->selectionModel()->selectedRows(0).isEmpty())
        miDelete();
    else
        deleteAll();
}

void CallHistoryMainForm::deleteAll()
{
    auto* store = dynamic_cast<LocalCallHistoryDb*>(m_db.data());
    const auto remove = [&] {
        if (store)
            store->deleteDbFile();
        return store != nullptr;
    };
    if (PageActions::confirmedDelete(this, tr("IDS_DELETE_CALLS"), tr("IDS_CONFIRM_DEL_ALL_CALLS"), remove,
            tr("IDS_DEL_ALL_CALLS_SUC"))) {
        reload();
        emit localDbChanged();
    }
}

void CallHistoryMainForm::resizeEvent(QResizeEvent* e)
{
    QWidget::resizeEvent(e);
    const int w = (width() - 23) / 5;
    for (int i = 0; i < 5; ++i)
        m_ui->listCalls->header()->resizeSection(i, w);
}

void CallHistoryMainForm::backupCallHistories(const QList<_CallHistory>& calls)
{
    if (const std::optional<QDir> folder = PageActions::chooseLocalDb(this, m_manifest))
        backupCallHistoriesTo(calls, *folder);
}

bool CallHistoryMainForm::backupCallHistoriesTo(const QList<_CallHistory>& calls, const QDir& folder)
{
    LocalCallHistoryDb store(folder.absoluteFilePath(QStringLiteral("calls.db")));
    const bool ok = PageActions::runWorker(this, tr("IDS_TITLE_BACKUPING_CALL_HISTORY"),
        [&](ProgressForm& form) { return std::make_unique<BackupCallsThread>(store, calls, form, this); });
    if (ok)
        emit backupFinished(folder.dirName());
    return ok;
}

void CallHistoryMainForm::exportCallHistories(const QList<_CallHistory>& calls)
{
    if (!m_load.exportable())
        return;
    const QString txt = tr("Text Files(*.txt)");
    const QString csv = tr("CSV Files(*.csv)");
    QString selected = csv;
    const QString proposal = PageActions::proposedExportPath(QStringLiteral("call_histories-"));
    QString path = QFileDialog::getSaveFileName(nullptr, QString(), proposal, txt + ";;" + csv, &selected);
    if (path.isEmpty())
        return;
    if (selected != csv && selected != txt)
        return;
    if (QFileInfo(path).suffix().isEmpty())
        path += selected == csv ? QStringLiteral(".csv") : QStringLiteral(".txt");
    exportCallHistoriesTo(calls, path);
}

void CallHistoryMainForm::exportCallHistoriesTo(const QList<_CallHistory>& calls, const QString& path)
{
    PageActions::runWorker(nullptr, tr("IDS_TITLE_EXPORT_CALL_HISTORIES"),
        [&](ProgressForm& form) { return std::make_unique<ExportCallHistoryThread>(calls, path, &form); });
}

void CallHistoryMainForm::restoreCallHistories(const QList<_CallHistory>& calls)
{
    CallsDeviceRestore(this).run(calls);
}

void CallHistoryMainForm::export2iTunes(const QList<_CallHistory>& calls)
{
    LoadItunesBackupDlg dlg(this);
    if (dlg.exec() != 1 || !dlg.manifest)
        return;
    QSharedPointer<BackupManifest> manifest = dlg.manifest;
    // Held from the reading to the write: no other program changes the backup in between.
    std::unique_ptr<BackupFolderLock> hold = BackupReadForWrite::chosen(this, manifest);
    const auto released = qScopeGuard([&hold] { OffThread::release(hold); });
    if (!hold)
        return;
    export2iTunesTo(calls, *manifest);
}

void CallHistoryMainForm::export2iTunesTo(const QList<_CallHistory>& calls, BackupManifest& manifest)
{
    int n = -1;
    try {
        n = CallsMergeRoad::run(
            manifest, calls, [this](const QString& title, const CallsMergeRoad::MakeWorker& make) {
                return PageActions::runWorker(this, title, make);
            });
    } catch (const std::exception& e) {
        Tips::plainError(QString::fromUtf8(e.what()));
        return;
    }
    if (n >= 0)
        Tips::info(tr("IDS_SUC_EXPORT_%1_CALLS_TO_BACKUP").arg(n));
}
