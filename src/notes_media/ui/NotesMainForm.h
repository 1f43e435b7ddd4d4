#pragma once

#include "app/ui/shared/PageLoad.h"
#include "notes_media/INotesDb.h"
#include "notes_media/ui/ItemModelNotes.h"

#include <QList>
#include <QSharedPointer>
#include <QWidget>

class BackupManifest;
class MyTreeView;
class PageRead;
class QAction;
class QLabel;

// The notes page: the notes of a backup or of a local store as a list (title, date modified,
// summary), with the save into a local store (backup source) and the export as pages.
class NotesMainForm : public QWidget
{
    Q_OBJECT
public:
    NotesMainForm(QSharedPointer<INotesDb> source, const BackupManifest* manifest, QWidget* parent = nullptr);
    ~NotesMainForm() override;

    // Reads the notes beside the window; the list fills once they are read.
    void reload();
    QList<QAction*> toolbarActions();
    // The selected notes in list order, or every note when withAll and nothing is selected.
    QList<_Notes> selectedNotes(bool withAll) const;
    void backupNotes(QList<_Notes> notes);
    void exportNotes(QList<_Notes> notes);

    MyTreeView* listNotes;
    QLabel* lbCount;

signals:
    void backupFinished(QString name);

public slots:
    void contextMenu();
    void miBackup();
    void miExport();
    void miToolbarBackup();
    void miToolbarExport();

private:
    QSharedPointer<INotesDb> m_source;
    const BackupManifest* m_manifest;
    ItemModelNotes* m_model;
    QList<_Notes> m_notes;
    PageLoad m_load;
    PageRead* m_read;
};
