#include "app/ui/UpdateLocalDbThread.h"

#include "app/DataPaths.h"
#include "app/HeldFolder.h"
#include "app/StoreFileRemoval.h"
#include "app/sqlite/Sqlite3DB.h"
#include "app/ui/DataSources.h"
#include "app/ui/shared/ProgressForm.h"
#include "calls_calendars/LocalCalendarsDb.h"
#include "calls_calendars/_CalEvent.h"

#include <exception>

namespace
{

_CalEvent oldCalendarEvent(const Sqlite3Cursor& c)
{
    static const char* const freqs[] = { "FREQ=DAILY", "FREQ=WEEKLY", "FREQ=MONTHLY", "FREQ=YEARLY" };
    _CalEvent e(0, 0, QStringLiteral("DEFAULT_CALENDAR_NAME"));
    e.all_day = c.getInt("all_day");
    if (!c.isNull("start_date"))
        e.start_date = QDateTime::fromSecsSinceEpoch(c.getInt64("start_date")).toLocalTime();
    if (!c.isNull("end_date"))
        e.end_date = QDateTime::fromSecsSinceEpoch(c.getInt64("end_date")).toLocalTime();
    e.tz = c.getText("tz");
    e.summary = c.getText("summary");
    e.description = c.getText("description");
    const int freq = c.getInt("freq");
    if (freq >= 1 && freq <= 4)
        e.rrule = QLatin1String(freqs[freq - 1]);
    if (c.getInt("freq_interval") > 0)
        e.rrule += QStringLiteral(";INTERVAL=%1").arg(c.getInt("freq_interval"));
    return e;
}

} // namespace

void UpdateLocalDbThread::updateCalendarDbThrow(const QDir& folder)
{
    // The old file is only read; run() removes it after a successful conversion.
    Sqlite3DB old;
    old.openReadOnlyThrow(folder.absoluteFilePath(QStringLiteral("calendar.db")));
    LocalCalendarsDb store(folder.absoluteFilePath(QStringLiteral("calendars.db")));
    store.beginEdit();
    try {
        Sqlite3Cursor c = old.queryThrow("select * from calendar");
        while (c.moveNext())
            store.saveEvent(0, oldCalendarEvent(c), nullptr);
        store.endEdit(true);
    } catch (...) {
        store.endEdit(false);
        throw;
    }
}

UpdateLocalDbThread::UpdateLocalDbThread(ProgressForm& form, QObject* parent)
    : QThread(parent)
    , m_form(form)
{
}

QString UpdateLocalDbThread::firstFolderToUpdate()
{
    const QFileInfoList folders
        = g_localDbDir().entryInfoList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::Unsorted);
    for (const QFileInfo& folder : folders) {
        const QDir dir(folder.absoluteFilePath());
        if (dir.exists("mms.db") && DataSources::canConvertOldMessages())
            return dir.absolutePath();
        if (dir.exists("calendar.db") && DataSources::canConvertOldCalendars())
            return dir.absolutePath();
    }
    return QString();
}

void UpdateLocalDbThread::run()
{
    try {
        const QFileInfoList folders
            = g_localDbDir().entryInfoList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::Unsorted);
        for (const QFileInfo& folder : folders) {
            QDir dir(folder.absoluteFilePath());
            const bool messages = dir.exists("mms.db") && DataSources::canConvertOldMessages();
            const bool calendars = dir.exists("calendar.db") && DataSources::canConvertOldCalendars();
            if (!messages && !calendars)
                continue; // the usual case: nothing of the older layout
            // The old files go from the folder held now: one swapped meanwhile loses nothing.
            const HeldFolder held = HeldFolder::open(dir.absolutePath());
            if (messages) {
                m_form.invokeUpdateProgress(tr("IDS_UPDATING_LOCALDB_%1_MESSAGES").arg(dir.dirName()), -1);
                DataSources::convertOldMessagesThrow(dir);
                // Only a finished conversion lets the old files go.
                StoreFileRemoval::removeOwn(held, QStringLiteral("mms.db"));
                g_delDirCascade(dir.absoluteFilePath(QStringLiteral("attachments")));
            }
            if (calendars) {
                m_form.invokeUpdateProgress(tr("IDS_UPDATING_LOCALDB_%1_CALENDARS").arg(dir.dirName()), -1);
                updateCalendarDbThrow(dir);
                StoreFileRemoval::removeOwn(held, QStringLiteral("calendar.db"));
            }
        }
        m_form.invokeSucceed(QString());
    } catch (const std::exception& e) {
        m_form.invokeErrorOccurred(QString::fromUtf8(e.what()));
    }
}
