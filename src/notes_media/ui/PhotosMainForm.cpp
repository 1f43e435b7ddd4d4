#include "notes_media/ui/PhotosMainForm.h"

#include "app/StyleSheet.h"
#include "app/ui/shared/ProgressForm.h"
#include "app/ui/shared/Tips.h"
#include "notes_media/ui/ExportBKFileThread.h"
#include "notes_media/ui/ItemModelPhotoIcon.h"
#include "notes_media/ui/MediaExtract.h"
#include "notes_media/ui/PhotoThumbThread.h"

#include <QAction>
#include <QCursor>
#include <QFileDialog>
#include <QLabel>
#include <QListView>
#include <QMenu>
#include <QStyledItemDelegate>
#include <QVBoxLayout>
#include <algorithm>

namespace
{
// Every cell of the grid has the grid's size: the view need not lay out the texts of a row to
// learn its size whenever a thumbnail arrives.
class GridCellDelegate : public QStyledItemDelegate
{
public:
    GridCellDelegate(const QSize& cell, QObject* parent)
        : QStyledItemDelegate(parent)
        , m_cell(cell)
    {
    }
    QSize sizeHint(const QStyleOptionViewItem&, const QModelIndex&) const override { return m_cell; }

private:
    QSize m_cell;
};
} // namespace

PhotosMainForm::PhotosMainForm(const BackupManifest* manifest,
    const QList<const BackupManifest::_FileNode*>& files, QDir cacheDir, QWidget* parent)
    : QWidget(parent)
    , model(new ItemModelPhotoIcon(files, this))
    , m_manifest(manifest)
    , m_files(files)
    , m_videos(!files.isEmpty()
          && std::all_of(files.begin(), files.end(),
              [](const BackupManifest::_FileNode* f) { return ItemModelPhotoIcon::isVideoName(f->name()); }))
{
    setObjectName("PhotosMainForm");
    auto* layout = new QVBoxLayout(this);
    layout->setSpacing(0);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(newGrid());
    lbCount = new QLabel(tr("Total:%1").arg(files.size()), this);
    lbCount->setObjectName("lbCount");
    lbCount->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    layout->addWidget(lbCount);
    setStyleSheet(getStyleSheet());
    connect(listPhotos, &QWidget::customContextMenuRequested, this, &PhotosMainForm::contextMenu);
    if (manifest)
        startThumbnails(cacheDir);
}

void PhotosMainForm::startThumbnails(const QDir& cacheDir)
{
    const QSize box(ItemModelPhotoIcon::kThumbSide, ItemModelPhotoIcon::kThumbSide);
    m_thread = new PhotoThumbThread(m_manifest, m_files, cacheDir, box, this);
    connect(model, &ItemModelPhotoIcon::thumbnailsWanted, m_thread, &PhotoThumbThread::want);
    connect(m_thread, &PhotoThumbThread::thumbnailReady, model, &ItemModelPhotoIcon::setThumbnail,
        Qt::QueuedConnection);
    m_thread->start(QThread::LowPriority);
}

QListView* PhotosMainForm::newGrid()
{
    listPhotos = new QListView(this);
    listPhotos->setObjectName("listPhotos");
    listPhotos->setStyleSheet(QStringLiteral("border:none;"));
    listPhotos->setViewMode(QListView::IconMode);
    listPhotos->setMovement(QListView::Static);
    listPhotos->setResizeMode(QListView::Adjust);
    listPhotos->setUniformItemSizes(true);
    listPhotos->setIconSize(QSize(ItemModelPhotoIcon::kThumbSide, ItemModelPhotoIcon::kThumbSide));
    const QSize cell(ItemModelPhotoIcon::kThumbSide + 32, ItemModelPhotoIcon::kThumbSide + 62);
    listPhotos->setGridSize(cell);
    listPhotos->setItemDelegate(new GridCellDelegate(cell - QSize(4, 4), listPhotos));
    listPhotos->setSelectionMode(QAbstractItemView::ExtendedSelection);
    listPhotos->setEditTriggers(QAbstractItemView::NoEditTriggers);
    listPhotos->setContextMenuPolicy(Qt::CustomContextMenu);
    listPhotos->setVerticalScrollMode(QAbstractItemView::ScrollPerPixel);
    listPhotos->setModel(model);
    return listPhotos;
}

PhotosMainForm::~PhotosMainForm()
{
    // Before the model and the backup go: the thread reads the backup and feeds the model.
    if (m_thread)
        m_thread->stop();
}

QAction* PhotosMainForm::newExportAction(QObject* parent)
{
    return new QAction(QIcon(QStringLiteral(":/res/extract_meida_files.png")),
        m_videos ? tr("IDS_EXPORT_VIDEOS") : tr("IDS_EXPORT_PHOTOS"), parent);
}

QList<QAction*> PhotosMainForm::toolbarActions()
{
    QAction* a = newExportAction(this);
    connect(a, &QAction::triggered, this, &PhotosMainForm::miToolbarExport);
    return { a };
}

void PhotosMainForm::contextMenu(const QPoint&)
{
    if (listPhotos->selectionModel()->selectedIndexes().isEmpty())
        return;
    QMenu menu;
    QAction* a = newExportAction(&menu);
    menu.addAction(a);
    connect(a, &QAction::triggered, this, &PhotosMainForm::miExportSelected);
    menu.exec(QCursor::pos());
}

QList<const BackupManifest::_FileNode*> PhotosMainForm::selectedFiles() const
{
    QList<int> rows;
    for (const QModelIndex& index : listPhotos->selectionModel()->selectedIndexes())
        rows.append(index.row());
    std::sort(rows.begin(), rows.end());
    rows.erase(std::unique(rows.begin(), rows.end()), rows.end());
    QList<const BackupManifest::_FileNode*> files;
    for (int row : std::as_const(rows))
        files.append(model->fileOf(row));
    return files;
}

qint64 PhotosMainForm::extract(
    const QList<const BackupManifest::_FileNode*>& files, const QDir& dest, qint64* notStored)
{
    return MediaExtract::run(this, m_videos ? tr("IDS_TITLE_EXPORT_VIDEOS") : tr("IDS_TITLE_EXPORT_PHOTOS"),
        m_manifest, files, dest, notStored);
}

void PhotosMainForm::exportFiles(const QList<const BackupManifest::_FileNode*>& files)
{
    const QString dest = QFileDialog::getExistingDirectory(
        this, QString(), QDir::home().absolutePath(), QFileDialog::ShowDirsOnly);
    if (dest.isEmpty())
        return;
    qint64 notStored = 0;
    const qint64 n = extract(files, QDir(dest), &notStored);
    if (n >= 0)
        Tips::info(ExportBKFileThread::withNotStored(
            m_videos ? tr("IDS_SUC_EXPORT_%1_VIDEOS").arg(n) : tr("IDS_SUC_EXPORT_%1_PHOTOS").arg(n),
            notStored));
}

void PhotosMainForm::miExportSelected()
{
    exportFiles(selectedFiles());
}

void PhotosMainForm::miToolbarExport()
{
    const QList<const BackupManifest::_FileNode*> chosen = selectedFiles();
    exportFiles(chosen.isEmpty() ? m_files : chosen);
}
