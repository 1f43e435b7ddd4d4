#include "notes_media/ui/FileSysMainForm.h"

#include "app/ui/shared/MyTreeView.h"
#include "app/ui/shared/Tips.h"
#include "notes_media/ui/ExportBKFileThread.h"
#include "notes_media/ui/MediaExtract.h"
#include "notes_media/ui/Ui_FileSysMainForm.h"

#include <QAction>
#include <QCursor>
#include <QFileDialog>
#include <QHeaderView>
#include <QMenu>
#include <QResizeEvent>
#include <QSet>

FileSysMainForm::FileSysMainForm(const BackupManifest* manifest, QWidget* parent)
    : QWidget(parent)
    , ui(new Ui_FileSysMainForm)
    , model(manifest, this)
    , m_manifest(manifest)
{
    ui->setupUi(this);
    connect(ui->treeFiles, &QTreeView::expanded, this, &FileSysMainForm::onExpanded);
    connect(ui->treeFiles, &MyTreeView::createContextMenu, this, &FileSysMainForm::contextMenu);
    ui->treeFiles->setModel(&model);
}

FileSysMainForm::~FileSysMainForm()
{
    delete ui;
}

QList<QAction*> FileSysMainForm::toolbarActions()
{
    auto* a = new QAction(QIcon(QStringLiteral(":/res/mi_export-sms.png")), tr("IDS_EXPORT_FILES"), this);
    connect(a, &QAction::triggered, this, &FileSysMainForm::miToolbarExport);
    return { a };
}

void FileSysMainForm::resizeEvent(QResizeEvent* event)
{
    const double w = event->size().width() - 23;
    QHeaderView* h = ui->treeFiles->header();
    h->resizeSection(0, int(0.45 * w));
    h->resizeSection(1, int(0.2 * w));
    h->resizeSection(2, int(0.2 * w));
    h->resizeSection(3, int(0.15 * w));
}

void FileSysMainForm::onExpanded(const QModelIndex& index)
{
    auto* node = static_cast<ItemModelFileSys::_FileNodeItemNode*>(AbsTreeItemModel::nodeOf(index));
    if (node && !node->grandsonLoaded)
        model.loadGrandson(node);
}

void FileSysMainForm::contextMenu()
{
    if (ui->treeFiles->selectionModel()->selectedRows(0).isEmpty())
        return;
    QMenu menu;
    connect(menu.addAction(QIcon(QStringLiteral(":/res/mi_export-sms.png")), tr("IDS_EXPORT_FILES")),
        &QAction::triggered, this, &FileSysMainForm::miExportFiles);
    menu.exec(QCursor::pos());
}

QList<const BackupManifest::_FileNode*> FileSysMainForm::selectedNodes() const
{
    QList<const BackupManifest::_FileNode*> chosen;
    for (const QModelIndex& index : ui->treeFiles->selectionModel()->selectedRows(0))
        if (const BackupManifest::_FileNode* n = ItemModelFileSys::fileNodeOf(index))
            chosen.append(n);
    const QSet<const BackupManifest::_FileNode*> set(chosen.begin(), chosen.end());
    QList<const BackupManifest::_FileNode*> result;
    for (const BackupManifest::_FileNode* n : std::as_const(chosen)) {
        bool inside = false;
        for (const BackupManifest::_FileNode* p = n->parent; p && !inside; p = p->parent)
            inside = set.contains(p);
        if (!inside)
            result.append(n);
    }
    return result;
}

qint64 FileSysMainForm::extract(
    const QList<const BackupManifest::_FileNode*>& nodes, const QDir& dest, qint64* notStored)
{
    return MediaExtract::run(this, tr("IDS_TITLE_EXPORT_FILES"), m_manifest, nodes, dest, notStored);
}

void FileSysMainForm::extractAndReport(const QList<const BackupManifest::_FileNode*>& nodes)
{
    const QString dest = QFileDialog::getExistingDirectory(
        this, QString(), QDir::home().absolutePath(), QFileDialog::ShowDirsOnly);
    if (dest.isEmpty())
        return;
    qint64 notStored = 0;
    const qint64 n = extract(nodes, QDir(dest), &notStored);
    if (n >= 0)
        Tips::info(ExportBKFileThread::withNotStored(tr("SUC_EXPORT_%1_FILES").arg(n), notStored));
}

void FileSysMainForm::miExportFiles()
{
    extractAndReport(selectedNodes());
}

void FileSysMainForm::miToolbarExport()
{
    if (!ui->treeFiles->selectionModel()->selectedRows(0).isEmpty()) {
        miExportFiles();
        return;
    }
    QList<const BackupManifest::_FileNode*> all;
    for (const BackupManifest::_FileNode* n : m_manifest->rootNode()->children)
        all.append(n);
    extractAndReport(all);
}
