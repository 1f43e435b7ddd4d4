#pragma once

#include "app/FittedNames.h"
#include "app/HeldFolder.h"
#include "notes_media/_Notes.h"

#include <QList>
#include <QString>
#include <QThread>

class ProgressForm;

// Writes one XHTML page per note into a folder under a progress dialog, held from its making (see
// MadeFolders). Pages already written stay after a cancel or a failure; a folder the run made and
// left empty goes. A page whose name the disk refuses is written under one fitted to it (see
// OutputFile::setFitName), and one whose name another file holds beside it (see
// OutputFile::setKeepStanding), told at the end; a page the disk takes no name for is left out and
// named there.
class ExportNotesThread : public QThread
{
    Q_OBJECT
public:
    ExportNotesThread(
        const QList<_Notes>& notes, QString folder, ProgressForm* form, QObject* parent = nullptr);

    int written = 0;

protected:
    void run() override;

private:
    bool writeAll();
    bool writeNote(const _Notes& note, const QString& name);

    QList<_Notes> m_notes;
    QString m_folder;
    HeldFolder m_held; // the folder written into
    FittedNames m_fitted; // pages written under names the disk takes, as it refused their own
    NamedCount m_leftOut; // pages the disk takes no name for
    ProgressForm* m_form;
};
