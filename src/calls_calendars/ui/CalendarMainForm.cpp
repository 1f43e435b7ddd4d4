#include "calls_calendars/ui/CalendarMainForm.h"

#include "app/StyleSheet.h"
#include "app/ui/ItemModelBK.h"
#include "app/ui/shared/DataSourceSelForm.h"
#include "app/ui/shared/PageActions.h"
#include "app/ui/shared/PageRead.h"
#include "app/ui/shared/ProgressForm.h"
#include "app/ui/shared/Tips.h"
#include "backup/BackupManifest.h"
#include "calls_calendars/LocalCalendarsDb.h"
#include "calls_calendars/ui/BackupCalendarThread.h"
#include "calls_calendars/ui/ExportCalendarThread.h"
#include "calls_calendars/ui/IOSLoadCalendarsThread.h"
#include "calls_calendars/ui/IOSRestoreCalendarsThread.h"
#include "calls_calendars/ui/Ui_CalendarMainForm.h"
#include "device/IOSDeviceMonitor.h"
#include "device/_IOSDevice.h"

#include <QAction>
#include <QCursor>
#include <QFileDialog>
#include <QFileInfo>
#include <QHeaderView>
#include <QMenu>
#include <QSet>

CalendarMainForm::CalendarMainForm(
    QSharedPointer<ICalendarDb> db, const BackupManifest* manifest, QWidget* parent)
    : QWidget(parent)
    , m_ui(new Ui_CalendarMainForm)
    , m_db(std::move(db))
    , m_manifest(manifest)
    , m_model(this)
    , m_load(manifest, ItemModelBK::KindCalendar)
    , m_read(new PageRead(this))
{
    m_ui->setupUi(this);
    connect(m_ui->listCalendars, &MyTreeView::createContextMenu, this, &CalendarMainForm::contextMenu);
    setStyleSheet(getStyleSheet());
    m_ui->listCalendars->setModel(&m_model);
    reload();
}

CalendarMainForm::~CalendarMainForm()
{
    m_read->end();
    delete m_ui;
}

void CalendarMainForm::reload()
{
    auto calendars = std::make_shared<QList<_Calendar>>();
    m_load.startReading();
    m_ui->lbCount->setText(tr("Total: %1").arg(m_load.shownCount(0)));
    m_read->start([db = m_db, calendars] { *calendars = db->calendars(); },
        [this, calendars](const QString& failure) {
            m_model.loadCalendars(*calendars);
            m_ui->listCalendars->expandAll();
            m_load.setReadFailure(failure);
            m_read->tellFailure(failure);
            m_ui->lbCount->setText(tr("Total: %1").arg(m_load.shownCount(calendars->size())));
        });
}

QList<QAction*> CalendarMainForm::makeActions(bool forMenu)
{
    QList<QAction*> list;
    auto add = [&](const char* icon, const QString& text, void (CalendarMainForm::*slot)()) {
        auto* action = new QAction(QIcon(QLatin1String(icon)), text, this);
        connect(action, &QAction::triggered, this, slot);
        list.append(action);
    };
    if (m_manifest)
        add(":/res/save-to-database.png", tr("IDS_BACKUP_CALENDARS"),
            forMenu ? &CalendarMainForm::miBackup : &CalendarMainForm::miToolbarBackup);
    add(":/res/db2i.png", tr("IDS_RESTORE_CALENDARS"),
        forMenu ? &CalendarMainForm::miRestore : &CalendarMainForm::miToolbarRestore);
    add(":/res/mi_export-sms.png", tr("IDS_EXPORT_CALENDARS"),
        forMenu ? &CalendarMainForm::miExport : &CalendarMainForm::miToolbarExport);
    if (!m_manifest)
        add(":/res/mi_delete.png", tr("IDS_DELETE_CALENDARS"),
            forMenu ? &CalendarMainForm::miDelete : &CalendarMainForm::miToolbarDelete);
    return list;
}

QList<QAction*> CalendarMainForm::toolbarActions()
{
    return makeActions(false);
}

bool CalendarMainForm::hasSelection() const
{
    return !m_ui->listCalendars->selectionModel()->selectedRows(0).isEmpty();
}

void CalendarMainForm::contextMenu()
{
    if (!hasSelection())
        return;
    QMenu menu(this);
    menu.addActions(makeActions(true));
    menu.exec(QCursor::pos());
}

QList<_CalEvent> CalendarMainForm::getSelections() const
{
    QList<_CalEvent> list;
    QSet<qint64> seen;
    auto take = [&](const _CalEvent& e) {
        if (!seen.contains(e.id)) {
            seen.insert(e.id);
            list.append(e);
        }
    };
    for (const QModelIndex& index : m_ui->listCalendars->selectionModel()->selectedRows(0)) {
        const AbsTreeItemModel::_ItemNode* node = AbsTreeItemModel::nodeOf(index);
        if (!node)
            continue;
        if (node->kind == 1)
            take(static_cast<const ItemModelCalendar::_CalEventItemNode*>(node)->event);
        else
            for (const _CalEvent& e :
                static_cast<const ItemModelCalendar::_CalendarItemNode*>(node)->calendar.events)
                take(e);
    }
    return list;
}

QList<_CalEvent> CalendarMainForm::allCalendarEvetns() const
{
    QList<_CalEvent> list;
    for (const _Calendar& cal : m_model.calendars())
        list += cal.events;
    return list;
}

void CalendarMainForm::miExport()
{
    exportCalendars(getSelections());
}
void CalendarMainForm::miBackup()
{
    backupCalendars(getSelections());
}
void CalendarMainForm::miRestore()
{
    restoreCalendars(getSelections());
}
void CalendarMainForm::miToolbarExport()
{
    exportCalendars(hasSelection() ? getSelections() : allCalendarEvetns());
}
void CalendarMainForm::miToolbarBackup()
{
    backupCalendars(hasSelection() ? getSelections() : allCalendarEvetns());
}
void CalendarMainForm::miToolbarRestore()
{
    restoreCalendars(hasSelection() ? getSelections() : allCalendarEvetns());
}

void CalendarMainForm::miDelete()
{
    auto* store = dynamic_cast<LocalCalendarsDb*>(m_db.data());
    const QList<_CalEvent> chosen = getSelections();
    const auto remove = [&] {
        if (!store)
            return false;
        PageActions::inOneEdit(*store, [&] {
            for (const _CalEvent& e : chosen)
                store->deleteEvent(e.id);
        });
        return true;
    };
    if (PageActions::confirmedDelete(this, tr("IDS_DELETE_CALENDARS"), tr("IDS_CONFIRM_DEL_CALENDAR_ITEMS"),
            remove, tr("IDS_DEL_CALENDAR_SUC"))) {
        reload();
        emit localDbChanged();
    }
}

void CalendarMainForm::miToolbarDelete()
{
    if (hasSelection())
        miDelete();
    else
        deleteAll();
}

void CalendarMainForm::deleteAll()
{
    auto* store = dynamic_cast<LocalCalendarsDb*>(m_db.data());
    const auto remove = [&] {
        if (store)
            store->deleteDbFile();
        return store != nullptr;
    };
    if (PageActions::confirmedDelete(this, tr("IDS_DELETE_CALENDARS"),
            tr("IDS_CONFIRM_DEL_ALL_CALENDAR_ITEMS"), remove, tr("IDS_DEL_ALL_CALENDAR_ITEMS_SUC"))) {
        reload();
        emit localDbChanged();
    }
}

void CalendarMainForm::resizeEvent(QResizeEvent* e)
{
    QWidget::resizeEvent(e);
    const int w = width() - 23;
    const double shares[5] = { 0.2, 0.2, 0.2, 0.15, 0.25 };
    for (int i = 0; i < 5; ++i)
        m_ui->listCalendars->header()->resizeSection(i, int(shares[i] * w));
}

void CalendarMainForm::exportCalendars(const QList<_CalEvent>& events)
{
    if (!m_load.exportable())
        return;
    const QString csv = tr("CSV Files(*.csv)");
    const QString ics = tr("iCalendar Files(*.ics)");
    QString selected = ics;
    const QString proposal = PageActions::proposedExportPath(QStringLiteral("calendar-events-"));
    QString path = QFileDialog::getSaveFileName(nullptr, QString(), proposal, csv + ";;" + ics, &selected);
    if (path.isEmpty() || (selected != csv && selected != ics))
        return;
    if (QFileInfo(path).suffix().isEmpty())
        path += selected == ics ? QStringLiteral(".ics") : QStringLiteral(".csv");
    exportCalendarsTo(events, path);
}

void CalendarMainForm::exportCalendarsTo(const QList<_CalEvent>& events, const QString& path)
{
    PageActions::runWorker(this, tr("IDS_TITLE_EXPORT_CALENDAR_ITEMS"), [&](ProgressForm& form) {
        return std::make_unique<ExportCalendarThread>(events, path, &form, this);
    });
}

void CalendarMainForm::backupCalendars(const QList<_CalEvent>& events)
{
    if (const std::optional<QDir> folder = PageActions::chooseLocalDb(this, m_manifest))
        backupCalendarsTo(events, *folder);
}

bool CalendarMainForm::backupCalendarsTo(const QList<_CalEvent>& events, const QDir& folder)
{
    LocalCalendarsDb store(folder.absoluteFilePath(QStringLiteral("calendars.db")));
    const bool ok
        = PageActions::runWorker(this, tr("IDS_TITLE_BACKUPING_CALENDAR_IEMS"), [&](ProgressForm& form) {
              return std::make_unique<BackupCalendarThread>(&store, events, &form, this);
          });
    if (ok)
        emit backupFinished(folder.dirName());
    return ok;
}

void CalendarMainForm::restoreCalendars(const QList<_CalEvent>& events)
{
    DataSourceSelForm picker(this);
    picker.exec();
    const QSharedPointer<_IOSDevice> device = IOSDeviceMonitor::getInstance()->devices.value(picker.udid);
    if (!device)
        return;
    Tips::info(tr("IDS_TIPS_BEFORE_RESTORE_CALENDARS"));
    restoreCalendarsTo(device, events);
}

void CalendarMainForm::restoreCalendarsTo(
    const QSharedPointer<_IOSDevice>& device, const QList<_CalEvent>& events)
{
    LocalCalendarsDb mirror { QString() }; // its place is set by the load, off the window's thread
    const bool loaded = PageActions::runWorker(this, QString(), [&](ProgressForm& form) {
        return std::make_unique<IOSLoadCalendarsThread>(device, mirror, form, this);
    });
    if (!loaded)
        return;
    PageActions::runWorker(this, tr("IDS_TRANSFERING_CALENDAR_EVENTS_TO_IOS"), [&](ProgressForm& form) {
        return std::make_unique<IOSRestoreCalendarsThread>(device, mirror, events, form, this);
    });
}
