#pragma once

#include "app/ui/shared/StoreSaveThread.h"
#include "notes_media/_Notes.h"

#include <QList>

class LocalNotesDb;

// Saves notes into a local notes store in one edit, under a progress dialog; a cancel or a failure
// rolls back everything of the run. The store is not owned.
class BackupNotesThread : public StoreSaveThread
{
    Q_OBJECT
public:
    BackupNotesThread(
        LocalNotesDb* store, QList<_Notes> notes, ProgressForm* form, QObject* parent = nullptr);

protected:
    void saveAllThrow() override;

private:
    LocalNotesDb* m_store;
    QList<_Notes> m_notes;
};
