#pragma once

#include "app/ui/shared/PageLoad.h"
#include "messages/store/MsgData.h"
#include "messages/ui/Ui_SMSMainForm.h"

#include <QDir>
#include <QItemSelection>
#include <QList>
#include <QSharedPointer>
#include <QWidget>
#include <functional>
#include <memory>

class AbsIOSMessageDb;
class BackupManifest;
class BubbleViewMgr;
class ItemModelSMSHandle;
class ItemModelSms;
class MyTreeView;
class PageRead;
class ProgressForm;
class QAction;
class QLabel;
class QLineEdit;
class QMenu;
class QSplitter;
class QThread;
class QToolButton;
class _MsgChat;
class _MsgMessage;

// The page of the messages of one source (a backup's cache folder, or a local database folder):
// the conversation list with its search field on the left, the message list with its search field
// above the bubble view on the right, and the actions on messages (save, extract, export, print,
// delete). The page reads the whole message database beside the window once it is built, and tells
// why when it cannot; a folder without one gives an empty page.
class SMSMainForm : public QWidget, public Ui_SMSMainForm
{
    Q_OBJECT
public:
    SMSMainForm(const QDir& folder, BackupManifest* manifest, QWidget* parent);
    ~SMSMainForm() override;

    void showSMS(QList<_MsgMessage*> list, _MsgChat* chat);
    void clearShowSMS();
    QList<_MsgMessage*> getSMSSelections() const;
    QList<QAction*> toolbarActions();
    // The program is ending: the page's records are left to the system rather than freed.
    void leaveRecordsAtExit() { m_leaveRecords = true; }

    bool eventFilter(QObject* watched, QEvent* event) override;

    // Where an export of the given format (0 text, 1 CSV, 2 PDF, 3 HTML) goes for the name the user
    // chose: a file for text and CSV, a folder for PDF and HTML; empty for an unknown format.
    static QString exportPath(const QString& name, int format);

    // Seams for dialogs that tests answer: the folder of an extraction, the file of an export
    // (with the chosen filter), the local database of a save (empty: cancelled).
    std::function<QString()> askExtractFolder;
    std::function<QString(const QString& proposed, const QString& filters, QString* selected)> askExportPath;
    std::function<QDir(const QString& presetName, bool* ok)> askLocalDb;

    // Read by tests and the actions.
    ItemModelSMSHandle* handleModel() const { return modelHandle; }
    ItemModelSms* smsModel() const { return modelSMS; }
    BubbleViewMgr* bubbles() const { return bubbleView; }
    _MsgChat* currentChat() const { return curChat; }
    const MsgData& data() const { return msgData; }

signals:
    void backupFinished(QString localDbName);
    // Records of the page's local database were deleted: its counts changed.
    void localDbChanged();

public slots:
    void onHandleItemSelected(const QItemSelection& selections, const QItemSelection&);
    void onSMSItemSelected(const QItemSelection& selected, const QItemSelection&);
    void onSMSSortIndicatorChanged(int logicalIndex, Qt::SortOrder order);
    void findNextSMS();
    void findNextContact();
    void handleContextMenu();
    void SMSContextMenu();
    void miRestoreSMS();
    void miExportMMS();
    void miExtractMMSMedia();
    void miPrintMMS();
    void miDelMMS();
    void miBackupMMS();
    void miRestoreHandle();
    void miExportHandle();
    void miExtractHandleMedia();
    void miPrintHandle();
    void miDelHandle();
    void miBackupHandle();
    void miToolbarBakcup();
    void miToolbarRestore();
    void miToolbarExtractMedia();
    void miToolbarExport();
    void miToolbarPrint();
    void miToolbarDel();
    void miHandle2Itunes();
    void miMMS2Itunes();

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    void connectUi();
    // Opens the message database and reads its records; touches no widget.
    void loadThrow();
    // Shows what loadThrow() read, or tells why it could not.
    void showLoaded(const QString& failure);

    // One action entry (menu or tool bar) as the page offers it.
    struct ActionDef {
        const char* icon;
        const char* text;
        void (SMSMainForm::*slot)();
        int offered; // 0 always, 1 local database only, 2 backup only
    };
    bool isOffered(const ActionDef& def) const;
    void runMenu(const QList<ActionDef>& defs);
    QString actionText(const ActionDef& def) const;

    void backupMMS(const QList<_MsgMessage*>& messages);
    void extractMediaFiles(const QList<_MsgMessage*>& messages);
    void exportMMS(const QList<_MsgMessage*>& messages);
    void printMMS(const QList<_MsgMessage*>& messages);
    void restoreSMS(const QList<_MsgMessage*>& messages);
    void export2iTunes(const QList<_MsgMessage*>& messages);
    void runExport(const QList<_MsgMessage*>& messages, const QString& path, int format);
    // Whether the user lets the export write path, asked only where something stands there.
    bool confirmExportPath(const QString& path, int format);
    void runPrint(const QList<_MsgMessage*>& messages);
    bool runStep(const QString& title, const std::function<std::unique_ptr<QThread>(ProgressForm&)>& make);
    bool deleteMessagesStep(const QList<_MsgMessage*>& messages);
    void removeRecords(const QList<_MsgMessage*>& messages);
    void deleteAllMessages();
    QList<_MsgMessage*> toolbarMessages() const;
    bool hasSelectedMessages() const;

    QDir dataDir;
    BackupManifest* manifest;
    ItemModelSMSHandle* modelHandle;
    ItemModelSms* modelSMS;
    BubbleViewMgr* bubbleView;
    MsgData msgData;
    QString m_marksUnread; // why no attachment copy is known to be whole, when that is so
    _MsgChat* curChat = nullptr;
    QSharedPointer<AbsIOSMessageDb> msgDb; // null when the folder has no message database
    bool m_leaveRecords = false;
    PageLoad m_load;
    PageRead* m_read;
};
