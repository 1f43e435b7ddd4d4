#include "notes_media/ui/RestoreBookmarksThread.h"

#include "app/ui/shared/ProgressForm.h"

#include <utility>

RestoreBookmarksThread::RestoreBookmarksThread(
    QString udid, QList<_Bookmark*> bookmarks, ProgressForm* form, QObject* parent)
    : QThread(parent)
    , m_udid(std::move(udid))
    , m_bookmarks(std::move(bookmarks))
    , m_form(form)
{
}

void RestoreBookmarksThread::run()
{
    m_form->invokeErrorOccurred(tr("IDS_RESTORE_BOOKMARKS_NOT_AVAILABLE"));
}
