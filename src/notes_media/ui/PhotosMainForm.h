#pragma once

#include "backup/BackupManifest.h"

#include <QDir>
#include <QList>
#include <QWidget>

class ItemModelPhotoIcon;
class PhotoThumbThread;
class QAction;
class QLabel;
class QListView;

// The page of a backup's photos or videos: a grid of thumbnails, made while the user scrolls by
// the page's thumbnail thread and kept in the backup's cache folder, with the extraction of the
// selected files (or of all of them) into a folder. The thread ends with the page.
class PhotosMainForm : public QWidget
{
    Q_OBJECT
public:
    PhotosMainForm(const BackupManifest* manifest, const QList<const BackupManifest::_FileNode*>& files,
        QDir cacheDir, QWidget* parent = nullptr);
    ~PhotosMainForm() override;

    QList<QAction*> toolbarActions();
    // The selected files in grid order.
    QList<const BackupManifest::_FileNode*> selectedFiles() const;
    // Asks for a folder and extracts the files into it under a progress dialog, then tells how
    // many were written.
    void exportFiles(const QList<const BackupManifest::_FileNode*>& files);
    // Runs the extraction worker under a progress dialog; the extracted file count, or -1 when the
    // run did not end with success. Files without a stored copy are added to notStored when given.
    qint64 extract(
        const QList<const BackupManifest::_FileNode*>& files, const QDir& dest, qint64* notStored = nullptr);
    // Whether the page shows videos rather than photos: at first a guess from the files (every one
    // is a movie), which an empty list cannot make; the one who builds the page knows and says so.
    bool showsVideos() const { return m_videos; }
    void setShowsVideos(bool videos) { m_videos = videos; }

    QListView* listPhotos;
    QLabel* lbCount;
    ItemModelPhotoIcon* model;

public slots:
    void contextMenu(const QPoint& pos);
    void miExportSelected();
    void miToolbarExport();

private:
    QListView* newGrid();
    void startThumbnails(const QDir& cacheDir);
    QAction* newExportAction(QObject* parent);

    const BackupManifest* m_manifest;
    QList<const BackupManifest::_FileNode*> m_files;
    bool m_videos;
    PhotoThumbThread* m_thread = nullptr;
};
