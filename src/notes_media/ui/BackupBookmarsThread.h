#pragma once

#include "notes_media/_Bookmark.h"

#include <QList>
#include <QThread>

class LocalBookmarkDb;
class ProgressForm;

// Saves bookmark trees into a local bookmark store in one edit, under a progress dialog; a cancel
// or a failure rolls back everything of the run. Neither the store nor the trees are owned.
class BackupBookmarsThread : public QThread
{
    Q_OBJECT
public:
    BackupBookmarsThread(
        LocalBookmarkDb* store, QList<_Bookmark*> bookmarks, ProgressForm* form, QObject* parent = nullptr);

protected:
    void run() override;

private:
    void saveAllThrow();
    void rollBack();

    LocalBookmarkDb* m_store;
    QList<_Bookmark*> m_bookmarks;
    ProgressForm* m_form;
};
