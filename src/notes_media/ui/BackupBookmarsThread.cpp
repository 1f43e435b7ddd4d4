#include "notes_media/ui/BackupBookmarsThread.h"

#include "app/ui/shared/ProgressForm.h"
#include "notes_media/LocalBookmarkDb.h"

#include <utility>

BackupBookmarsThread::BackupBookmarsThread(
    LocalBookmarkDb* store, QList<_Bookmark*> bookmarks, ProgressForm* form, QObject* parent)
    : StoreSaveThread(store, form, parent)
    , m_store(store)
    , m_bookmarks(std::move(bookmarks))
{
}

void BackupBookmarsThread::saveAllThrow()
{
    const int total = _Bookmark::countOf(m_bookmarks);
    int saved = 0;
    for (const _Bookmark* root : std::as_const(m_bookmarks)) {
        if (m_form->cancelled)
            throw Cancelled();
        saved += root->isFolder ? root->bookmarkCount() : 1;
        const int percent = total > 0 ? int(double(saved) / total * 100.0) : -1;
        m_form->invokeUpdateProgress(
            tr("IDS_BACKUPING_BOOKMARKS"), percent, tr("Bookmarks:%1 / %2").arg(saved).arg(total));
        QList<_Bookmark*> added;
        m_store->saveBookmarks(root, added);
    }
    m_store->endEdit(true);
    m_form->invokeSucceed(tr("IDS_SUC_BACKUP_%1_BOOKMARKS").arg(saved));
}
