#include "notes_media/ui/BackupNotesThread.h"

#include "app/ui/shared/ProgressForm.h"
#include "notes_media/LocalNotesDb.h"

#include <exception>
#include <utility>

namespace
{

struct Cancelled {
};

} // namespace

BackupNotesThread::BackupNotesThread(
    LocalNotesDb* store, QList<_Notes> notes, ProgressForm* form, QObject* parent)
    : QThread(parent)
    , m_store(store)
    , m_notes(std::move(notes))
    , m_form(form)
{
}

void BackupNotesThread::run()
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

// A failing roll back must not leave run() by an exception: it is logged, and the connection is
// closed so that SQLite drops whatever is still open.
void BackupNotesThread::rollBack()
{
    try {
        m_store->endEdit(false);
    } catch (const std::exception& e) {
        qWarning("Notes save not rolled back: %s", e.what());
        m_store->close();
    }
}
