#pragma once

#include "app/ui/shared/PageLoad.h"
#include "calls_calendars/ICallHistoryDb.h"
#include "calls_calendars/ui/ItemModelCall.h"

#include <QDir>
#include <QList>
#include <QSharedPointer>
#include <QWidget>

class BackupManifest;
class PageRead;
class QAction;
struct Ui_CallHistoryMainForm;

// The call-history page: the calls of a backup (manifest set) or of a local database (manifest
// null, the source a LocalCallHistoryDb), newest first, with save, restore, export, write into a
// computer backup and delete.
class CallHistoryMainForm : public QWidget
{
    Q_OBJECT
public:
    CallHistoryMainForm(
        const BackupManifest* manifest, QSharedPointer<ICallHistoryDb> db, QWidget* parent = nullptr);
    ~CallHistoryMainForm() override;

    // Reads the calls beside the window; the list fills once they are read.
    void reload();
    QList<QAction*> toolbarActions();
    QList<_CallHistory> getSelections() const;
    const ItemModelCall& model() const { return m_model; }
    Ui_CallHistoryMainForm* ui() const { return m_ui; }

    void backupCallHistories(const QList<_CallHistory>& calls);
    void exportCallHistories(const QList<_CallHistory>& calls);
    void restoreCallHistories(const QList<_CallHistory>& calls);
    void export2iTunes(const QList<_CallHistory>& calls);

    // The steps after the user's choice of folder, file or backup.
    bool backupCallHistoriesTo(const QList<_CallHistory>& calls, const QDir& folder);
    void exportCallHistoriesTo(const QList<_CallHistory>& calls, const QString& path);
    void export2iTunesTo(const QList<_CallHistory>& calls, BackupManifest& manifest);

signals:
    void backupFinished(QString name);
    // Records of the page's local database were deleted: its counts changed.
    void localDbChanged();

protected slots:
    void contextMenu();
    void miExport();
    void miToolbarExport();
    void miBackup();
    void miToolbarBackup();
    void miRestore();
    void miToolbarRestore();
    void miDelete();
    void miToolbarDelete();
    void mi2Itunes();
    void miAll2Itunes();

protected:
    void resizeEvent(QResizeEvent* e) override;

private:
    QList<QAction*> makeActions(bool forMenu);
    QList<_CallHistory> toolbarSelection() const;
    void deleteAll();

    Ui_CallHistoryMainForm* m_ui;
    const BackupManifest* m_manifest;
    QSharedPointer<ICallHistoryDb> m_db;
    ItemModelCall m_model;
    PageLoad m_load;
    PageRead* m_read;
};
