#pragma once

#include "app/ui/shared/StoreSaveThread.h"
#include "notes_media/_Bookmark.h"

#include <QList>

class LocalBookmarkDb;

// Saves bookmark trees into a local bookmark store in one edit, under a progress dialog; a cancel
// or a failure rolls back everything of the run. Neither the store nor the trees are owned.
class BackupBookmarsThread : public StoreSaveThread
{
    Q_OBJECT
public:
    BackupBookmarsThread(
        LocalBookmarkDb* store, QList<_Bookmark*> bookmarks, ProgressForm* form, QObject* parent = nullptr);

protected:
    void saveAllThrow() override;

private:
    LocalBookmarkDb* m_store;
    QList<_Bookmark*> m_bookmarks;
};
