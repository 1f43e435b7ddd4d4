#pragma once

#include "app/ui/shared/PageLoad.h"
#include "calls_calendars/ICalendarDb.h"
#include "calls_calendars/ui/ItemModelCalendar.h"

#include <QDir>
#include <QSharedPointer>
#include <QWidget>

class BackupManifest;
class PageRead;
class QAction;
struct Ui_CalendarMainForm;
struct _IOSDevice;

// The calendar page: the calendars of a backup (manifest set) or of a local database (manifest
// null, the source a LocalCalendarsDb) as a tree, with save, restore, export and delete.
class CalendarMainForm : public QWidget
{
    Q_OBJECT
public:
    CalendarMainForm(
        QSharedPointer<ICalendarDb> db, const BackupManifest* manifest, QWidget* parent = nullptr);
    ~CalendarMainForm() override;

    // Reads the calendars beside the window; the list fills once they are read.
    void reload();
    QList<QAction*> toolbarActions();
    QList<_CalEvent> getSelections() const;
    QList<_CalEvent> allCalendarEvetns() const;
    const ItemModelCalendar& model() const { return m_model; }
    Ui_CalendarMainForm* ui() const { return m_ui; }

    void exportCalendars(const QList<_CalEvent>& events);
    void backupCalendars(const QList<_CalEvent>& events);
    void restoreCalendars(const QList<_CalEvent>& events);

    // The steps after the user's choice of file, folder or device.
    void exportCalendarsTo(const QList<_CalEvent>& events, const QString& path);
    bool backupCalendarsTo(const QList<_CalEvent>& events, const QDir& folder);
    void restoreCalendarsTo(const QSharedPointer<_IOSDevice>& device, const QList<_CalEvent>& events);

signals:
    void backupFinished(QString name);
    // Records of the page's local database were deleted: its counts changed.
    void localDbChanged();

protected slots:
    void contextMenu();
    void miExport();
    void miBackup();
    void miRestore();
    void miDelete();
    void miToolbarExport();
    void miToolbarBackup();
    void miToolbarRestore();
    void miToolbarDelete();

protected:
    void resizeEvent(QResizeEvent* e) override;

private:
    QList<QAction*> makeActions(bool forMenu);
    bool hasSelection() const;
    void deleteAll();

    Ui_CalendarMainForm* m_ui;
    QSharedPointer<ICalendarDb> m_db;
    const BackupManifest* m_manifest;
    ItemModelCalendar m_model;
    PageLoad m_load;
    PageRead* m_read;
};
