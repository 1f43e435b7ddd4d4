#include "messages/ui/SMSMainForm.h"

#include "app/DataPaths.h"
#include "app/LeaveAtExit.h"
#include "app/ShownText.h"
#include "app/StyleSheet.h"
#include "app/ui/ItemModelBK.h"
#include "app/ui/shared/LocalDbSelForm.h"
#include "app/ui/shared/MyTreeView.h"
#include "app/ui/shared/OffThread.h"
#include "app/ui/shared/PageActions.h"
#include "app/ui/shared/PageRead.h"
#include "app/ui/shared/ProgressForm.h"
#include "app/ui/shared/Tips.h"
#include "app/ui/shared/WorkerEnd.h"
#include "backup/BackupManifest.h"
#include "messages/modern/IOS6MessageDb.h"
#include "messages/store/IOS5MessageDb.h"
#include "messages/store/LocalMessageStoreRemoval.h"
#include "messages/store/MsgChat.h"
#include "messages/store/MsgCopyMarks.h"
#include "messages/store/MsgMessage.h"
#include "messages/ui/AttachmentExtractThread.h"
#include "messages/ui/BackupMMSThread.h"
#include "messages/ui/BubbleViewMgr.h"
#include "messages/ui/DeleteMMSThread.h"
#include "messages/ui/ExportMessagesThread.h"
#include "messages/ui/ItemModelSMSHandle.h"
#include "messages/ui/ItemModelSms.h"
#include "messages/ui/MMSPrinter.h"
#include "messages/ui/SMSRestoreRoads.h"
#include "messages/ui/Ui_SMSMainForm.h"

#include <QAction>
#include <QCursor>
#include <QDateTime>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QRegularExpression>
#include <QSet>
#include <QSplitter>
#include <QToolButton>
#include <QVBoxLayout>
#include <stdexcept>

namespace
{
const char kSmsRel[] = "file-relay/var/mobile/Library/SMS/sms.db";

enum Offered { Always = 0, LocalOnly = 1, BackupOnly = 2 };

} // namespace

SMSMainForm::SMSMainForm(const QDir& folder, BackupManifest* backup, QWidget* parent)
    : QWidget(parent)
    , dataDir(folder)
    , manifest(backup)
    , modelHandle(new ItemModelSMSHandle(this))
    , modelSMS(new ItemModelSms(this))
    , bubbleView(new BubbleViewMgr(this))
    , m_load(backup, ItemModelBK::KindSms)
    , m_read(new PageRead(this))
{
    askExtractFolder = [this] {
        return QFileDialog::getExistingDirectory(this, tr("IDS_TITLE_SEL_OUTPUT_FOLDER_EXTRACT_MEDIA_FILES"),
            QDir::homePath(), QFileDialog::ShowDirsOnly);
    };
    askExportPath = [this](const QString& proposed, const QString& filters, QString* selected) {
        // What the export writes is asked about once its name is known (see confirmExportPath).
        return QFileDialog::getSaveFileName(this, tr("IDS_SEL_EXPORT_MMS_PATH"), proposed, filters, selected,
            QFileDialog::DontConfirmOverwrite);
    };
    askLocalDb = [this](const QString& preset, bool* ok) {
        LocalDbSelForm dlg(this, preset);
        *ok = dlg.exec() == 1;
        return dlg.dbDir;
    };
    // The records load beside the window while the widgets are built (starting the web view takes a
    // while); nothing touches them or their database until the load has ended (the page and its
    // actions wait meanwhile). The reading touches no widget, and its end is shown once this returns.
    m_load.startReading();
    m_read->start([this] { loadThrow(); }, [this](const QString& failure) { showLoaded(failure); });
    setupUi(this);
    connectUi();
    lbCount->setText(tr("Total: %1").arg(m_load.shownCount(0)));
}

SMSMainForm::~SMSMainForm()
{
    m_read->end();
    // The views point into msgData: empty them before the records go.
    modelSMS->clear();
    modelHandle->loadHandles({});
    // When the program ends, a second reference to the records is left to the system, so that
    // they are not freed one by one here.
    if (m_leaveRecords)
        leaveAtExit(std::make_unique<MsgData>(msgData));
}

void SMSMainForm::connectUi()
{
    connect(listHandle, &MyTreeView::onSelectionChanged, this, &SMSMainForm::onHandleItemSelected);
    connect(treeViewSMS, &MyTreeView::onSelectionChanged, this, &SMSMainForm::onSMSItemSelected);
    connect(btnSearchHandle, &QToolButton::pressed, this, &SMSMainForm::findNextContact);
    connect(btnSearchSMS, &QToolButton::pressed, this, &SMSMainForm::findNextSMS);
    connect(listHandle, &MyTreeView::createContextMenu, this, &SMSMainForm::handleContextMenu);
    connect(treeViewSMS, &MyTreeView::createContextMenu, this, &SMSMainForm::SMSContextMenu);
    txtHandleKeyword->installEventFilter(this);
    txtSMSKeyword->installEventFilter(this);
    setStyleSheet(getStyleSheet());
    listHandle->setModel(modelHandle);
    treeViewSMS->setModel(modelSMS);
    treeViewSMS->setSortingEnabled(true);
    treeViewSMS->header()->setSectionsMovable(false);
    treeViewSMS->header()->setSortIndicator(0, Qt::AscendingOrder);
    connect(treeViewSMS->header(), &QHeaderView::sortIndicatorChanged, this,
        &SMSMainForm::onSMSSortIndicatorChanged);
    bubbleView->setWebview(webViewSMS);
    lbConversation->setText(tr("IDS_ALL_MMS"));
}

void SMSMainForm::loadThrow()
{
    const QString path = dataDir.absoluteFilePath(QLatin1String(kSmsRel));
    m_marksUnread.clear();
    // A backup without messages (an iPad, a partial backup) or a local database whose messages
    // were all deleted: an empty page, as for any kind with nothing in it.
    if (!QFileInfo::exists(path))
        return;
    const _CountryInfo country;
    switch (AbsIOSMessageDb::checkDbType(path)) {
    case 5:
        msgDb.reset(new IOS5MessageDb(dataDir, country));
        break;
    case 6: {
        auto* modern = new IOS6MessageDb(dataDir, country, false);
        msgDb.reset(modern);
        // A local database's store is the program's own, which an earlier version may have saved.
        if (!manifest)
            modern->readAsOwnStore(QDir(dataDir.absoluteFilePath(QStringLiteral("file-relay"))));
        break;
    }
    default:
        throw std::runtime_error("invalid IOS db.");
    }
    msgDb->messages(msgData, 0);
    // Attachments whose copies the backup's load found not to be what the phone wrote.
    MsgCopyMarks::apply(msgData, dataDir, &m_marksUnread);
}

void SMSMainForm::showLoaded(const QString& failure)
{
    m_load.setReadFailure(failure);
    if (!failure.isEmpty()) {
        // An unreadable or damaged message database is told; the page stays, empty.
        m_read->tellFailure(tr("IDS_CAN_NOT_OPEN_MESSAGES_%1").arg(failure));
        clearShowSMS();
        return;
    }
    modelHandle->loadHandles(msgData.chatMergeList());
    showSMS(msgData.messages(), nullptr);
    if (!m_marksUnread.isEmpty())
        Tips::warning(m_marksUnread); // the messages stand; their copies are not vouched for
}

void SMSMainForm::showSMS(QList<_MsgMessage*> list, _MsgChat* chat)
{
    curChat = chat;
    // A strict order with the source-row rule for messages of one moment (safe for any sort).
    sortMsgMessages(list, treeViewSMS->header()->sortIndicatorOrder() != Qt::DescendingOrder);
    modelSMS->loadSMS(list);
    lbCount->setText(tr("Total: %1").arg(m_load.shownCount(list.size())));
    bubbleView->showBubble(list);
    if (!chat) {
        lbConversation->setText(tr("IDS_ALL_MMS"));
        return;
    }
    QString name = chat->displayName(false);
    if (name.size() >= 26)
        name = name.left(ShownText::boundaryBefore(name, 25)) + QStringLiteral("...");
    lbConversation->setText(name);
}

void SMSMainForm::clearShowSMS()
{
    curChat = nullptr;
    modelSMS->clear();
    bubbleView->showBubble({});
    lbCount->setText(tr("Total: %1").arg(m_load.shownCount(0)));
    lbConversation->setText(tr("IDS_ALL_MMS"));
}

QList<_MsgMessage*> SMSMainForm::getSMSSelections() const
{
    QList<_MsgMessage*> list;
    for (const QModelIndex& index : treeViewSMS->selectionModel()->selectedRows(0))
        if (auto* m = static_cast<_MsgMessage*>(index.internalPointer()))
            list << m;
    return list;
}

void SMSMainForm::onHandleItemSelected(const QItemSelection&, const QItemSelection&)
{
    const QModelIndexList rows = listHandle->selectionModel()->selectedRows(0);
    if (rows.isEmpty())
        return;
    const auto* node
        = static_cast<ItemModelSMSHandle::_HandleItemNode*>(AbsTreeItemModel::nodeOf(rows.first()));
    if (!node || node->merge.chats.isEmpty()) {
        clearShowSMS();
        return;
    }
    showSMS(node->merge.messages(), node->merge.chats.first());
}

void SMSMainForm::onSMSItemSelected(const QItemSelection& selected, const QItemSelection&)
{
    const QModelIndexList indexes = selected.indexes();
    if (indexes.isEmpty() || !indexes.first().internalPointer())
        return;
    bubbleView->scrollToPos(indexes.first().row());
}

void SMSMainForm::onSMSSortIndicatorChanged(int logicalIndex, Qt::SortOrder)
{
    if (logicalIndex == 0) {
        showSMS(modelSMS->messages(), curChat);
        return;
    }
    // Only the date sorts; any other column puts the indicator back, which sorts oldest first.
    treeViewSMS->header()->setSortIndicator(0, Qt::AscendingOrder);
}

void SMSMainForm::findNextSMS()
{
    const QString key = txtSMSKeyword->text().trimmed();
    if (key.isEmpty())
        return;
    const QList<_MsgMessage*>& list = modelSMS->messages();
    if (list.isEmpty()) {
        Tips::info(tr("IDS_CAN_NOT_FOUND_AND_SMS"));
        return;
    }
    const QModelIndex cur = treeViewSMS->currentIndex();
    const int start = cur.isValid() ? cur.row() : -1;
    const int n = list.size();
    for (int k = 1; k <= n; ++k) {
        const int row = (start + k) % n;
        // The text as stored: an emoji typed is found, and a long text costs no copy of its markup.
        if (list.at(row)->summaryRawEmoji().contains(key, Qt::CaseInsensitive)) {
            treeViewSMS->setCurrentIndex(modelSMS->indexOfPos(row));
            return;
        }
    }
    Tips::info(tr("IDS_CAN_NOT_FOUNDSMS_KEYWORD_%0").arg(key.toHtmlEscaped()));
}

void SMSMainForm::findNextContact()
{
    const QString key = txtHandleKeyword->text().trimmed();
    if (key.isEmpty())
        return;
    const QList<AbsTreeItemModel::_ItemNode*>& nodes = modelHandle->roots;
    const QModelIndex cur = listHandle->currentIndex();
    const int start = cur.isValid() ? cur.row() + 1 : 0;
    const int n = nodes.size();
    for (int k = 0; k < n; ++k) {
        const int row = (start + k) % n;
        if (nodes.at(row)->text.contains(key, Qt::CaseInsensitive)) {
            listHandle->setCurrentIndex(modelHandle->indexOfItemNode(nodes.at(row)));
            return;
        }
    }
    Tips::info(tr("IDS_CAN_NOT_FOUNDCONTACT_KEYWORD_%0").arg(key.toHtmlEscaped()));
}

bool SMSMainForm::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent*>(event)->key();
        if (key == Qt::Key_Return || key == Qt::Key_Enter) {
            if (watched == txtSMSKeyword) {
                findNextSMS();
                return true;
            }
            if (watched == txtHandleKeyword) {
                findNextContact();
                return true;
            }
        }
    }
    return QObject::eventFilter(watched, event);
}

void SMSMainForm::resizeEvent(QResizeEvent*)
{
    const int w = width();
    const int h = height();
    splitter_2->setSizes({ int(0.4 * w), int(0.6 * w) });
    splitter->setSizes({ int(0.3 * h), int(0.7 * h) });
    const int W = int(0.6 * w - 23);
    QHeaderView* header = treeViewSMS->header();
    header->resizeSection(0, int(0.35 * W));
    header->resizeSection(1, int(0.10 * W));
    header->resizeSection(2, int(0.25 * W));
    header->resizeSection(3, int(0.30 * W));
}

// ---- Menus and tool bar ----

bool SMSMainForm::isOffered(const ActionDef& def) const
{
    if (def.offered == LocalOnly)
        return manifest == nullptr;
    if (def.offered == BackupOnly)
        return manifest != nullptr;
    return true;
}

QString SMSMainForm::actionText(const ActionDef& def) const
{
    // The first entry's text is fixed English, not a key.
    return def.icon ? tr(def.text) : QString::fromLatin1(def.text);
}

void SMSMainForm::runMenu(const QList<ActionDef>& defs)
{
    QMenu menu(this);
    for (const ActionDef& def : defs) {
        if (!isOffered(def))
            continue;
        QAction* a = def.icon ? menu.addAction(QIcon(QLatin1String(def.icon)), actionText(def))
                              : menu.addAction(actionText(def));
        connect(a, &QAction::triggered, this, def.slot);
    }
    menu.exec(QCursor::pos());
}

void SMSMainForm::handleContextMenu()
{
    if (!listHandle->selectionModel() || listHandle->selectionModel()->selectedRows().isEmpty())
        return;
    runMenu({
        { nullptr, "Export SMS to iTunes Backup", &SMSMainForm::miHandle2Itunes, LocalOnly },
        { ":res/save-to-database.png", "IDS_MI_BACKUP_HANDLE_MMS", &SMSMainForm::miBackupHandle, BackupOnly },
        { ":res/db2i.png", "IDS_MI_RESTORE_HANDLE_MMS_TO_DEVICE", &SMSMainForm::miRestoreHandle, Always },
        { ":res/extract_meida_files.png", "IDS_MI_EXTRACT_HANDLE_MMS_MEDIA_FILES",
            &SMSMainForm::miExtractHandleMedia, Always },
        { ":res/mi_export-sms.png", "IDS_MI_EXPORT_HANDLE_MMS", &SMSMainForm::miExportHandle, Always },
        { ":res/mi_print.png", "IDS_MI_PRINT_HANDLE_MMS", &SMSMainForm::miPrintHandle, Always },
        { ":res/mi_delete.png", "IDS_MI_DEL_HANDLE_MMS", &SMSMainForm::miDelHandle, LocalOnly },
    });
}

void SMSMainForm::SMSContextMenu()
{
    if (!treeViewSMS->selectionModel() || treeViewSMS->selectionModel()->selectedRows().isEmpty())
        return;
    runMenu({
        { nullptr, "Export SMS to iTunes Backup", &SMSMainForm::miMMS2Itunes, LocalOnly },
        { ":res/save-to-database.png", "IDS_MI_BACKUP_SEL_MMS", &SMSMainForm::miBackupMMS, BackupOnly },
        { ":res/db2i.png", "IDS_MI_RESTORE_SEL_MMS_TO_DEVICE", &SMSMainForm::miRestoreSMS, Always },
        { ":res/extract_meida_files.png", "IDS_MI_EXTRACT_SEL_MMS_MEDIA_FILES",
            &SMSMainForm::miExtractMMSMedia, Always },
        { ":res/mi_export-sms.png", "IDS_MI_EXPORT_SEL_MMS", &SMSMainForm::miExportMMS, Always },
        { ":res/mi_print.png", "IDS_MI_PRINT_SEL_MMS", &SMSMainForm::miPrintMMS, Always },
        { ":res/mi_delete.png", "IDS_MI_DEL_SEL_MMS", &SMSMainForm::miDelMMS, LocalOnly },
    });
}

QList<QAction*> SMSMainForm::toolbarActions()
{
    const QList<ActionDef> defs = {
        { nullptr, "Export SMS to iTunes Backup", &SMSMainForm::miHandle2Itunes, LocalOnly },
        { ":res/save-to-database.png", "IDS_MI_BACKUP_MMS", &SMSMainForm::miToolbarBakcup, BackupOnly },
        { ":res/db2i.png", "IDS_MI_RESTORE_MMS", &SMSMainForm::miToolbarRestore, Always },
        { ":res/extract_meida_files.png", "IDS_MI_EXTRACT_MMS_MEDIA_FILES",
            &SMSMainForm::miToolbarExtractMedia, Always },
        { ":res/mi_export-sms.png", "IDS_MI_EXPORT_MMS", &SMSMainForm::miToolbarExport, Always },
        { ":res/mi_print.png", "IDS_MI_PRINT_MMS", &SMSMainForm::miToolbarPrint, Always },
        { ":res/mi_delete.png", "IDS_MI_DELETE_MMS", &SMSMainForm::miToolbarDel, LocalOnly },
    };
    QList<QAction*> actions;
    for (const ActionDef& def : defs) {
        if (!isOffered(def))
            continue;
        auto* a = def.icon ? new QAction(QIcon(QLatin1String(def.icon)), actionText(def), this)
                           : new QAction(actionText(def), this);
        connect(a, &QAction::triggered, this, def.slot);
        actions << a;
    }
    return actions;
}

// ---- Slots by source of messages ----

bool SMSMainForm::hasSelectedMessages() const
{
    return !treeViewSMS->selectionModel()->selectedRows(0).isEmpty();
}

QList<_MsgMessage*> SMSMainForm::toolbarMessages() const
{
    return hasSelectedMessages() ? getSMSSelections() : modelSMS->messages();
}

void SMSMainForm::miRestoreSMS()
{
    restoreSMS(getSMSSelections());
}
void SMSMainForm::miExportMMS()
{
    exportMMS(getSMSSelections());
}
void SMSMainForm::miExtractMMSMedia()
{
    extractMediaFiles(getSMSSelections());
}
void SMSMainForm::miPrintMMS()
{
    printMMS(getSMSSelections());
}
void SMSMainForm::miBackupMMS()
{
    backupMMS(getSMSSelections());
}
void SMSMainForm::miRestoreHandle()
{
    restoreSMS(modelSMS->messages());
}
void SMSMainForm::miExportHandle()
{
    exportMMS(modelSMS->messages());
}
void SMSMainForm::miExtractHandleMedia()
{
    extractMediaFiles(modelSMS->messages());
}
void SMSMainForm::miPrintHandle()
{
    printMMS(modelSMS->messages());
}
void SMSMainForm::miBackupHandle()
{
    backupMMS(modelSMS->messages());
}
void SMSMainForm::miToolbarBakcup()
{
    backupMMS(toolbarMessages());
}
void SMSMainForm::miToolbarRestore()
{
    restoreSMS(toolbarMessages());
}
void SMSMainForm::miToolbarExtractMedia()
{
    extractMediaFiles(toolbarMessages());
}
void SMSMainForm::miToolbarExport()
{
    exportMMS(toolbarMessages());
}
void SMSMainForm::miToolbarPrint()
{
    printMMS(toolbarMessages());
}
void SMSMainForm::miHandle2Itunes()
{
    export2iTunes(modelSMS->messages());
}
void SMSMainForm::miMMS2Itunes()
{
    export2iTunes(getSMSSelections());
}

// ---- Action bodies ----

bool SMSMainForm::runStep(
    const QString& title, const std::function<std::unique_ptr<QThread>(ProgressForm&)>& make)
{
    ProgressForm form(title, this);
    std::unique_ptr<QThread> thread = make(form);
    thread->start(QThread::InheritPriority);
    const int result = form.exec();
    WorkerEnd::waitFor(*thread, form.cancelled.token(), this);
    return result == 1 && !form.cancelled;
}

void SMSMainForm::backupMMS(const QList<_MsgMessage*>& messages)
{
    static const QRegularExpression forbidden(QStringLiteral("[\\\\/:*?\"<>|\\n\\r\\t]+"));
    QString preset = manifest ? manifest->DeviceName : QString();
    preset.replace(forbidden, QString());
    bool ok = false;
    const QDir folder = askLocalDb(preset, &ok);
    if (!ok)
        return;
    // A save that names attachments it kept as they are ends with an error, yet the store holds it.
    bool saved = false;
    runStep(tr("IDS_TITLE_BACKUPING_MMS"), [&](ProgressForm& form) {
        auto thread = std::make_unique<BackupMMSThread>(folder, _CountryInfo(), messages, form, this);
        connect(
            thread.get(), &QThread::finished, thread.get(),
            [&saved, t = thread.get()] { saved = t->saved(); }, Qt::DirectConnection);
        return thread;
    });
    if (saved)
        emit backupFinished(folder.dirName());
}

void SMSMainForm::extractMediaFiles(const QList<_MsgMessage*>& messages)
{
    if (!m_load.exportable())
        return;
    const QString chosen = askExtractFolder();
    if (chosen.isEmpty())
        return;
    const QString target = QDir(chosen).absoluteFilePath(
        QStringLiteral("attachments(%1)")
            .arg(QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd-hhmmss"))));
    runStep(tr("IDS_TITLE_EXTRACT_MEDIA_FILES"), [&](ProgressForm& form) {
        return std::make_unique<AttachmentExtractThread>(&form, messages, target, nullptr);
    });
}

void SMSMainForm::exportMMS(const QList<_MsgMessage*>& messages)
{
    if (!m_load.exportable())
        return;
    const QStringList filters = { tr("Text Files(*.txt)"), tr("CSV Files(*.csv)"), tr("PDF Files(*.pdf)"),
        tr("HTML Files(*.html)") };
    const QString proposed = QDir::home().absoluteFilePath(QStringLiteral("mms(%1)").arg(
        QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd-hhmmss"))));
    QString selected;
    const QString name = askExportPath(proposed, filters.join(QStringLiteral(";;")), &selected);
    if (name.isEmpty())
        return;
    const int format = filters.indexOf(selected);
    const QString path = exportPath(name, format);
    if (path.isEmpty()) {
        Tips::error(QStringLiteral("unknown export format."));
        return;
    }
    if (confirmExportPath(path, format))
        runExport(messages, path, format);
}

// The question is about what the export writes: the text or CSV file it replaces, or the folder
// of pages it adds to (it replaces nothing there), never the name typed in the dialog.
bool SMSMainForm::confirmExportPath(const QString& path, int format)
{
    bool stands = false;
    const bool looked = OffThread::run(
        [&] {
            const QFileInfo at(path);
            stands = at.exists() || at.isSymLink();
        },
        QString(), this);
    if (!looked)
        return false; // cancelled while the disk did not answer: nothing is written
    if (!stands)
        return true;
    const QString shown = QDir::toNativeSeparators(path);
    return Tips::question(
        format >= 2 ? tr("IDS_EXPORT_INTO_FOLDER_%1").arg(shown) : tr("IDS_EXPORT_REPLACE_%1").arg(shown));
}

QString SMSMainForm::exportPath(const QString& name, int format)
{
    const QFileInfo info(name);
    switch (format) {
    case 0:
    case 1:
        // A name with any suffix keeps it, even that of another format.
        return info.suffix().isEmpty() ? name + (format == 0 ? ".txt" : ".csv") : name;
    case 2:
    case 3: {
        // A folder beside the name: its part before the first dot, then "-pdf" or "-html".
        const QString base = info.suffix().isEmpty() ? name : info.dir().absoluteFilePath(info.baseName());
        return base + (format == 2 ? "-pdf" : "-html");
    }
    default:
        return QString();
    }
}

void SMSMainForm::runExport(const QList<_MsgMessage*>& messages, const QString& path, int format)
{
    runStep(QString(), [&](ProgressForm& form) {
        return std::make_unique<ExportMessagesThread>(
            messages, path, ExportMessagesThread::FormatType(format), form, this);
    });
}

void SMSMainForm::printMMS(const QList<_MsgMessage*>& messages)
{
    runPrint(messages);
}

void SMSMainForm::runPrint(const QList<_MsgMessage*>& messages)
{
    MMSPrinter printer(this);
    printer.printMMS(messages);
}

void SMSMainForm::restoreSMS(const QList<_MsgMessage*>& messages)
{
    SMSRestoreRoads::restoreSMS(this, messages);
}

void SMSMainForm::export2iTunes(const QList<_MsgMessage*>& messages)
{
    SMSRestoreRoads::export2iTunes(this, messages);
}

// ---- Deleting (local databases) ----

bool SMSMainForm::deleteMessagesStep(const QList<_MsgMessage*>& messages)
{
    return runStep(QString(),
        [&](ProgressForm& form) { return std::make_unique<DeleteMMSThread>(dataDir, messages, form, this); });
}

void SMSMainForm::removeRecords(const QList<_MsgMessage*>& messages)
{
    for (_MsgMessage* m : messages)
        msgData.p()->removeMessage(m);
}

void SMSMainForm::miDelMMS()
{
    const QList<_MsgMessage*> selected = getSMSSelections();
    if (selected.isEmpty() || !Tips::question(tr("IDS_CONFIRM_DEL_SEL_MMS")))
        return;
    if (!deleteMessagesStep(selected))
        return;
    emit localDbChanged();
    // The views let go of the records before they are destroyed.
    const QModelIndex current = listHandle->currentIndex();
    const AbsTreeItemModel::_ItemNode* node = current.isValid() ? AbsTreeItemModel::nodeOf(current) : nullptr;
    clearShowSMS();
    removeRecords(selected);
    if (node) {
        listHandle->setCurrentIndex(QModelIndex());
        QMetaObject::invokeMethod(listHandle, "setCurrentIndex", Qt::QueuedConnection,
            Q_ARG(QModelIndex, modelHandle->indexOfItemNode(node)));
    } else {
        showSMS(msgData.messages(), nullptr);
    }
}

void SMSMainForm::miDelHandle()
{
    if (!Tips::question(tr("IDS_CONFIRM_DEL_HANDEL_MMS")))
        return;
    const QModelIndex current = listHandle->currentIndex();
    auto* node = current.isValid()
        ? static_cast<ItemModelSMSHandle::_HandleItemNode*>(AbsTreeItemModel::nodeOf(current))
        : nullptr;
    if (!node)
        return;
    // The messages of the conversation that goes, whatever the message list shows.
    const QList<_MsgMessage*> messages = node->merge.messages();
    const QList<_MsgChat*> chats = node->merge.chats;
    if (!deleteMessagesStep(messages))
        return;
    emit localDbChanged();
    clearShowSMS();
    removeRecords(messages);
    listHandle->setCurrentIndex(QModelIndex());
    const QSet<_MsgChat*> freed(chats.begin(), chats.end());
    for (_MsgMessage* m : msgData.messages())
        if (freed.contains(m->_chat))
            m->_chat = nullptr;
    for (_MsgChat* chat : chats)
        msgData.p()->removeChat(chat);
    modelHandle->removeNode(node);
    showSMS(msgData.messages(), nullptr);
}

void SMSMainForm::miToolbarDel()
{
    if (hasSelectedMessages())
        return miDelMMS();
    if (listHandle->selectionModel() && !listHandle->selectionModel()->selectedRows().isEmpty())
        return miDelHandle();
    deleteAllMessages();
}

void SMSMainForm::deleteAllMessages()
{
    const QSharedPointer<AbsIOSMessageDb> store = msgDb;
    const QString folder = dataDir.absolutePath();
    const auto remove = [store, folder] {
        if (store)
            store->close();
        if (!LocalMessageStoreRemoval::removeThrow(folder))
            throw std::runtime_error(tr("IDS_DELETE_ALL_MMS_FAIL").toStdString());
        return true;
    };
    if (!PageActions::confirmedDelete(
            this, tr("IDS_MI_DELETE_MMS"), tr("IDS_DELETE_ALL_MMS"), remove, tr("IDS_DELETE_ALL_MMS_SUC")))
        return;
    emit localDbChanged();
    modelHandle->loadHandles({});
    clearShowSMS();
}
