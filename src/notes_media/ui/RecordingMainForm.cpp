#include "notes_media/ui/RecordingMainForm.h"

#include "app/StyleSheet.h"
#include "app/ui/shared/MyTreeView.h"
#include "app/ui/shared/Tips.h"
#include "notes_media/ui/MediaExtract.h"

#include <QAction>
#include <QCursor>
#include <QHeaderView>
#include <QLabel>
#include <QMenu>
#include <QVBoxLayout>
#include <algorithm>
#include <exception>

RecordingMainForm::RecordingMainForm(
    const BackupManifest* manifest, QSharedPointer<IOSRecordingDb> source, QWidget* parent)
    : QWidget(parent)
    , model(this)
    , m_manifest(manifest)
    , m_source(std::move(source))
{
    setObjectName("RecordingMainForm");
    resize(951, 640);
    auto* layout = new QVBoxLayout(this);
    layout->setSpacing(0);
    layout->setContentsMargins(0, 0, 0, 0);
    listRecordings = new MyTreeView(this);
    listRecordings->setObjectName("listRecordings");
    listRecordings->setStyleSheet(QStringLiteral("border:none;"));
    listRecordings->setSelectionMode(QAbstractItemView::ExtendedSelection);
    listRecordings->setRootIsDecorated(false);
    listRecordings->setModel(&model);
    layout->addWidget(listRecordings);
    lbCount = new QLabel(tr("Total:%1").arg(0), this);
    lbCount->setObjectName("lbCount");
    lbCount->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    layout->addWidget(lbCount);
    setStyleSheet(getStyleSheet());
    connect(listRecordings, &MyTreeView::createContextMenu, this, &RecordingMainForm::contextMenu);
    reload();
}

void RecordingMainForm::reload()
{
    try {
        m_recordings = m_source->recordings();
    } catch (const std::exception& e) {
        Tips::error(QString::fromUtf8(e.what()));
        return;
    }
    model.loadRecordings(m_recordings);
    listRecordings->header()->resizeSection(0, 360);
    listRecordings->header()->resizeSection(1, 180);
    lbCount->setText(tr("Total:%1").arg(m_recordings.size()));
}

QList<QAction*> RecordingMainForm::toolbarActions()
{
    auto* a
        = new QAction(QIcon(QStringLiteral(":/res/mi_export-sms.png")), tr("IDS_EXPORT_RECORDINGS"), this);
    connect(a, &QAction::triggered, this, &RecordingMainForm::miToolbarExport);
    return { a };
}

QList<IOSRecordingDb::_Recording> RecordingMainForm::selectedRecordings(bool withAll) const
{
    QList<int> rows;
    for (const QModelIndex& index : listRecordings->selectionModel()->selectedRows(0))
        rows.append(index.row());
    if (rows.isEmpty() && withAll)
        return m_recordings;
    std::sort(rows.begin(), rows.end());
    QList<IOSRecordingDb::_Recording> chosen;
    for (int r : std::as_const(rows))
        if (r >= 0 && r < m_recordings.size())
            chosen.append(m_recordings.at(r));
    return chosen;
}

void RecordingMainForm::contextMenu()
{
    if (selectedRecordings(false).isEmpty())
        return;
    QMenu menu(this);
    connect(menu.addAction(QIcon(QStringLiteral(":/res/mi_export-sms.png")), tr("IDS_EXPORT_RECORDINGS")),
        &QAction::triggered, this, &RecordingMainForm::miExport);
    menu.exec(QCursor::pos());
}

QList<const BackupManifest::_FileNode*> RecordingMainForm::audioNodes(
    const BackupManifest* manifest, const QList<IOSRecordingDb::_Recording>& recordings)
{
    QStringList paths;
    for (const IOSRecordingDb::_Recording& v : recordings)
        paths.append(v.audioPath());
    return MediaExtract::nodes(manifest, QStringLiteral("MediaDomain"), paths);
}

qint64 RecordingMainForm::extract(const QList<IOSRecordingDb::_Recording>& recordings, const QDir& dest)
{
    return MediaExtract::run(
        this, tr("IDS_TITLE_EXPORT_RECORDINGS"), m_manifest, audioNodes(m_manifest, recordings), dest);
}

void RecordingMainForm::exportRecordings(const QList<IOSRecordingDb::_Recording>& recordings)
{
    const QString dest = MediaExtract::chooseFolder(this);
    if (dest.isEmpty())
        return;
    const qint64 n = extract(recordings, QDir(dest));
    if (n >= 0)
        Tips::info(tr("IDS_SUC_EXPORT_%1_RECORDINGS").arg(n));
}

void RecordingMainForm::miExport()
{
    exportRecordings(selectedRecordings(false));
}

void RecordingMainForm::miToolbarExport()
{
    exportRecordings(selectedRecordings(true));
}
