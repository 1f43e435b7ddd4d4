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
    if (writeAll()) {
        const QStringList leftOut = m_leftOut.lines(
            QStringLiteral("1 note was left out:"), QStringLiteral("%1 notes were left out:"));
        const QString done = tr("IDS_SUC_EXPORT_%1_NOTES").arg(written);
        m_form->invokeSucceed(m_fitted.after(leftOut.isEmpty() ? done : done + '\n' + leftOut.join('\n')));
    } else
        made.removeEmpty(); // a folder this run made and left empty goes
}

// False after a cancel or a reported failure.
bool ExportNotesThread::writeAll()
{
    const int total = int(m_notes.size());
    written = 0;
    int done = 0;
    QSet<QString> used;
    for (const _Notes& note : std::as_const(m_notes)) {
        if (m_form->cancelled)
            return false;
        ++done;
        m_form->invokeUpdateProgress(tr("IDS_EXPORTING_NOTES"), int(double(done) / total * 100.0),
            tr("Notes:%1 / %2").arg(done).arg(total));
        if (!writeNote(note, NotePageWriter::fileName(note, used)))
            return false;
    }
    return true;
}

// Writes one page; false after reporting a failure.
bool ExportNotesThread::writeNote(const _Notes& note, const QString& name)
{
    const QString path = m_held.filePath(name);
    // Nothing standing at the name is replaced, nor a link there written through.
    OutputFile file(m_held, name);
    file.setFitName(true);
    file.setKeepStanding(true);
    const QByteArray page = NotePageWriter::page(note);
    if (!file.open(QIODevice::WriteOnly) || file.write(page) != page.size() || !file.commit()) {
        // A name the disk takes in no form fitted to it costs this page alone.
        if (file.nameRefused()) {
            m_leftOut.add(file.failure());
            return true;
        }
        m_form->invokeErrorOccurred(tr("Cannot write %1. %2").arg(path, file.errorString()));
        return false;
    }
    ++written;
    m_fitted.add(path, file.placed());
    return true;
}
