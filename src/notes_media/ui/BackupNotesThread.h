#pragma once

#include "notes_media/_Notes.h"

#include <QList>
#include <QThread>

class LocalNotesDb;
class ProgressForm;

// Saves notes into a local notes store in one edit, under a progress dialog; a cancel or a failure
// rolls back everything of the run. The store is not owned.
class BackupNotesThread : public QThread
{
    Q_OBJECT
public:
    BackupNotesThread(
        LocalNotesDb* store, QList<_Notes> notes, ProgressForm* form, QObject* parent = nullptr);

protected:
    void run() override;

private:
    void saveAllThrow();
    void rollBack();

    LocalNotesDb* m_store;
    QList<_Notes> m_notes;
    ProgressForm* m_form;
};
