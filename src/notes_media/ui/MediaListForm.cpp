#include "notes_media/ui/MediaListForm.h"

#include "app/StyleSheet.h"
#include "app/ui/shared/MyTreeView.h"
#include "app/ui/shared/PageRead.h"
#include "app/ui/shared/Tips.h"
#include "notes_media/ui/ExportBKFileThread.h"
#include "notes_media/ui/MediaExtract.h"

#include <QAction>
#include <QCursor>
#include <QHeaderView>
#include <QLabel>
#include <QMenu>
#include <QVBoxLayout>
#include <algorithm>
#include <exception>

namespace
{

QIcon exportIcon()
{
    return QIcon(QStringLiteral(":/res/mi_export-sms.png"));
}

} // namespace

MediaListForm::MediaListForm(const BackupManifest* manifest, int kind, const QString& name, QWidget* parent)
    : QWidget(parent)
    , m_manifest(manifest)
    , m_load(manifest, kind)
    , m_read(new PageRead(this))
{
    setObjectName(name);
    resize(951, 640);
}

MyTreeView* MediaListForm::buildList(const QString& name, QAbstractItemModel* model)
{
    auto* layout = new QVBoxLayout(this);
    layout->setSpacing(0);
    layout->setContentsMargins(0, 0, 0, 0);
    m_list = new MyTreeView(this);
    m_list->setObjectName(name);
    m_list->setStyleSheet(QStringLiteral("border:none;"));
    m_list->setSelectionMode(QAbstractItemView::ExtendedSelection);
    m_list->setRootIsDecorated(false);
    m_list->setModel(model);
    layout->addWidget(m_list);
    lbCount = new QLabel(tr("Total:%1").arg(0), this);
    lbCount->setObjectName("lbCount");
    lbCount->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    layout->addWidget(lbCount);
    setStyleSheet(getStyleSheet());
    connect(m_list, &MyTreeView::createContextMenu, this, &MediaListForm::contextMenu);
    return m_list;
}

void MediaListForm::endReading()
{
    m_read->end();
}

void MediaListForm::reload()
{
    auto shows = std::make_shared<std::function<int()>>();
    m_load.startReading();
    lbCount->setText(tr("Total:%1").arg(m_load.shownCount(0)));
    m_read->start([this, shows] { *shows = readRows(); },
        [this, shows](const QString& failure) {
            int count = 0;
            if (failure.isEmpty() && *shows) {
                count = (*shows)();
                const QList<int> widths = columnWidths();
                for (int i = 0; i < widths.size(); ++i)
                    m_list->header()->resizeSection(i, widths.at(i));
            }
            m_load.setReadFailure(failure);
            m_read->tellFailure(failure);
            lbCount->setText(tr("Total:%1").arg(m_load.shownCount(count)));
        });
}

QList<QAction*> MediaListForm::toolbarActions()
{
    auto* a = new QAction(exportIcon(), exportText(), this);
    connect(a, &QAction::triggered, this, &MediaListForm::miToolbarExport);
    return { a };
}

QList<int> MediaListForm::selectedRowNumbers(int rowCount) const
{
    QList<int> rows;
    for (const QModelIndex& index : m_list->selectionModel()->selectedRows(0))
        if (index.row() >= 0 && index.row() < rowCount)
            rows.append(index.row());
    std::sort(rows.begin(), rows.end());
    return rows;
}

void MediaListForm::contextMenu()
{
    if (selectedRowNumbers(m_list->model()->rowCount()).isEmpty())
        return;
    QMenu menu(this);
    connect(menu.addAction(exportIcon(), exportText()), &QAction::triggered, this, &MediaListForm::miExport);
    menu.exec(QCursor::pos());
}

QList<const BackupManifest::_FileNode*> MediaListForm::nodesIn(
    const BackupManifest* manifest, const QString& domain, const QStringList& paths, qint64* notStored)
{
    return MediaExtract::nodes(manifest, domain, paths, notStored);
}

qint64 MediaListForm::extractNodes(const QString& title, const QList<const BackupManifest::_FileNode*>& nodes,
    const QDir& dest, qint64* notStored)
{
    return MediaExtract::run(this, title, m_manifest, nodes, dest, notStored);
}

void MediaListForm::exportWith(const std::function<qint64(const QDir&, qint64*)>& extractTo)
{
    if (!m_load.exportable())
        return;
    const QString dest = MediaExtract::chooseFolder(this);
    if (dest.isEmpty())
        return;
    qint64 notStored = 0;
    const qint64 n = extractTo(QDir(dest), &notStored);
    if (n >= 0)
        Tips::info(ExportBKFileThread::withNotStored(exportedText(n), notStored));
}

void MediaListForm::miExport()
{
    exportSelection(false);
}

void MediaListForm::miToolbarExport()
{
    exportSelection(true);
}
