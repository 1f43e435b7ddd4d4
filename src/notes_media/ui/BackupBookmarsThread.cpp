#include "notes_media/ui/BackupBookmarsThread.h"

#include "app/ui/shared/ProgressForm.h"
#include "notes_media/LocalBookmarkDb.h"

#include <exception>
#include <utility>

namespace
{

// Thrown out of the loop when the user cancels; caught in run().
struct Cancelled {
};

} // namespace

BackupBookmarsThread::BackupBookmarsThread(
    LocalBookmarkDb* store, QList<_Bookmark*> bookmarks, ProgressForm* form, QObject* parent)
    : QThread(parent)
    , m_store(store)
    , m_bookmarks(std::move(bookmarks))
    , m_form(form)
{
}

void BackupBookmarsThread::run()
{
    try {
        m_store->beginEdit();
    } catch (const std::exception& e) {
        m_form->invokeErrorOccurred(QString::fromUtf8(e.what()));
        return;
    }
    try {
        saveAllThrow();
    } catch (const Cancelled&) {
        rollBack();
    } catch (const std::exception& e) {
        rollBack();
        m_form->invokeErrorOccurred(QString::fromUtf8(e.what()));
    }
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

// A failing roll back must not leave run() by an exception: it is logged, and the connection is
// closed so that SQLite drops whatever is still open.
void BackupBookmarsThread::rollBack()
{
    try {
        m_store->endEdit(false);
    } catch (const std::exception& e) {
        qWarning("Bookmark save not rolled back: %s", e.what());
        m_store->close();
    }
}
