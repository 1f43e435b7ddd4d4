#include "notes_media/ui/ExportNotesThread.h"

#include "app/MadeFolders.h"
#include "app/OutputFile.h"
#include "app/ui/shared/ProgressForm.h"
#include "notes_media/NotePageWriter.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSet>
#include <utility>

ExportNotesThread::ExportNotesThread(
    const QList<_Notes>& notes, QString folder, ProgressForm* form, QObject* parent)
    : QThread(parent)
    , m_notes(notes)
    , m_folder(std::move(folder))
    , m_form(form)
{
}

void ExportNotesThread::run()
{
    QString why;
    MadeFolders made;
    if (!made.makeDestination(m_folder, &why)) {
        m_form->invokeErrorOccurred(why);
        return;
    }
    // The pages go into the folder made or found, even when another program moves it meanwhile.
    m_held = made.destination();
    if (writeAll())
        m_form->invokeSucceed(m_fitted.after(tr("IDS_SUC_EXPORT_%1_NOTES").arg(written)));
    else
        made.removeEmpty(); // a folder this run made and left empty goes
}

// False after a cancel or a reported failure.
bool ExportNotesThread::writeAll()
{
    const int total = int(m_notes.size());
    written = 0;
    QSet<QString> used;
    for (const _Notes& note : std::as_const(m_notes)) {
        if (m_form->cancelled)
            return false;
        ++written;
        m_form->invokeUpdateProgress(tr("IDS_EXPORTING_NOTES"), int(double(written) / total * 100.0),
            tr("Notes:%1 / %2").arg(written).arg(total));
        if (!writeNote(note, NotePageWriter::fileName(note, used)))
            return false;
    }
    return true;
}

// Writes one page; false after reporting a failure.
bool ExportNotesThread::writeNote(const _Notes& note, const QString& name)
{
    const QString path = m_held.filePath(name);
    // A link standing at the name is replaced, never written through.
    OutputFile file(m_held, name);
    file.setFitName(true);
    const QByteArray page = NotePageWriter::page(note);
    if (!file.open(QIODevice::WriteOnly) || file.write(page) != page.size() || !file.commit()) {
        m_form->invokeErrorOccurred(file.nameRefused()
                ? m_fitted.after(file.failure())
                : tr("Cannot write %1. %2").arg(path, file.errorString()));
        return false;
    }
    if (file.placedName() != name)
        m_fitted.add(path, file.placedName());
    return true;
}
