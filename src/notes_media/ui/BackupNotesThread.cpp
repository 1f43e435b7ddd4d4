#include "notes_media/ui/BackupNotesThread.h"

#include "app/ui/shared/ProgressForm.h"
#include "notes_media/LocalNotesDb.h"

#include <utility>

BackupNotesThread::BackupNotesThread(
    LocalNotesDb* store, QList<_Notes> notes, ProgressForm* form, QObject* parent)
    : StoreSaveThread(store, form, parent)
    , m_store(store)
    , m_notes(std::move(notes))
{
}

void BackupNotesThread::saveAllThrow()
{
    const int total = int(m_notes.size());
    int saved = 0;
    for (const _Notes& note : std::as_const(m_notes)) {
        if (m_form->cancelled)
            throw Cancelled();
        ++saved;
        m_form->invokeUpdateProgress(tr("IDS_BACKUPING_NOTES"), int(double(saved) / total * 100.0),
            tr("Notes:%1 / %2").arg(saved).arg(total));
        m_store->saveNote(note);
    }
    m_store->endEdit(true);
    m_form->invokeSucceed(tr("IDS_SUC_BACKUP_%1_NOTES").arg(saved));
}
