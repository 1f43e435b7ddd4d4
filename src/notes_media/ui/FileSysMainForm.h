#pragma once

#include "backup/BackupManifest.h"
#include "notes_media/ui/ItemModelFileSys.h"

#include <QDir>
#include <QList>
#include <QWidget>

class QAction;
class Ui_FileSysMainForm;

// The page of a backup's whole file tree, lazily filled, with the extraction of the selected
// files and folders (or of the whole tree) into a folder.
class FileSysMainForm : public QWidget
{
    Q_OBJECT
public:
    FileSysMainForm(const BackupManifest* manifest, QWidget* parent = nullptr);
    ~FileSysMainForm() override;

    QList<QAction*> toolbarActions();
    // The selected nodes none of whose ancestors is selected too, in selection order.
    QList<const BackupManifest::_FileNode*> selectedNodes() const;
    // Runs the extraction worker under a progress dialog; the extracted file count, or -1 when the
    // run did not end with success. Files without a stored copy are added to notStored when given.
    qint64 extract(
        const QList<const BackupManifest::_FileNode*>& nodes, const QDir& dest, qint64* notStored = nullptr);

    Ui_FileSysMainForm* ui;
    ItemModelFileSys model;

public slots:
    void onExpanded(const QModelIndex& index);
    void contextMenu();
    void miExportFiles();
    void miToolbarExport();

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    void extractAndReport(const QList<const BackupManifest::_FileNode*>& nodes);

    const BackupManifest* m_manifest;
};
