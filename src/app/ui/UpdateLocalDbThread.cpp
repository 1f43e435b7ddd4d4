#include "app/ui/UpdateLocalDbThread.h"

#include "app/DataPaths.h"
#include "app/ui/DataSources.h"
#include "app/ui/shared/ProgressForm.h"

#include <QFile>
#include <exception>

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
            if (dir.exists("mms.db") && DataSources::canConvertOldMessages()) {
                m_form.invokeUpdateProgress(tr("IDS_UPDATING_LOCALDB_%1_MESSAGES").arg(dir.dirName()), -1);
                DataSources::convertOldMessagesThrow(dir);
                // Only a finished conversion lets the old files go.
                QFile::remove(dir.absoluteFilePath("mms.db"));
                g_delDirCascade(dir.absoluteFilePath("attachments"));
            }
            if (dir.exists("calendar.db") && DataSources::canConvertOldCalendars()) {
                m_form.invokeUpdateProgress(tr("IDS_UPDATING_LOCALDB_%1_CALENDARS").arg(dir.dirName()), -1);
                DataSources::convertOldCalendarsThrow(dir);
                QFile::remove(dir.absoluteFilePath("calendar.db"));
            }
        }
        m_form.invokeSucceed(QString());
    } catch (const std::exception& e) {
        m_form.invokeErrorOccurred(QString::fromUtf8(e.what()));
    }
}
