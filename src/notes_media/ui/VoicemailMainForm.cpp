#include "notes_media/ui/VoicemailMainForm.h"

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

VoicemailMainForm::VoicemailMainForm(
    const BackupManifest* manifest, QSharedPointer<IOSVoicemailDb> source, QWidget* parent)
    : QWidget(parent)
    , model(this)
    , m_manifest(manifest)
    , m_source(std::move(source))
{
    setObjectName("VoicemailMainForm");
    resize(951, 640);
    auto* layout = new QVBoxLayout(this);
    layout->setSpacing(0);
    layout->setContentsMargins(0, 0, 0, 0);
    listVoicemail = new MyTreeView(this);
    listVoicemail->setObjectName("listVoicemail");
    listVoicemail->setStyleSheet(QStringLiteral("border:none;"));
    listVoicemail->setSelectionMode(QAbstractItemView::ExtendedSelection);
    listVoicemail->setRootIsDecorated(false);
    listVoicemail->setModel(&model);
    layout->addWidget(listVoicemail);
    lbCount = new QLabel(tr("Total:%1").arg(0), this);
    lbCount->setObjectName("lbCount");
    lbCount->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    layout->addWidget(lbCount);
    setStyleSheet(getStyleSheet());
    connect(listVoicemail, &MyTreeView::createContextMenu, this, &VoicemailMainForm::contextMenu);
    reload();
}

void VoicemailMainForm::reload()
{
    try {
        m_voicemails = m_source->voicemails();
    } catch (const std::exception& e) {
        Tips::error(QString::fromUtf8(e.what()));
        return;
    }
    model.loadVoicemails(m_voicemails);
    listVoicemail->header()->resizeSection(0, 260);
    listVoicemail->header()->resizeSection(1, 180);
    listVoicemail->header()->resizeSection(2, 100);
    listVoicemail->header()->resizeSection(3, 100);
    lbCount->setText(tr("Total:%1").arg(m_voicemails.size()));
}

QList<QAction*> VoicemailMainForm::toolbarActions()
{
    auto* a = new QAction(QIcon(QStringLiteral(":/res/mi_export-sms.png")), tr("IDS_EXPORT_VOICEMAIL"), this);
    connect(a, &QAction::triggered, this, &VoicemailMainForm::miToolbarExport);
    return { a };
}

QList<IOSVoicemailDb::_Voicemail> VoicemailMainForm::selectedVoicemails(bool withAll) const
{
    QList<int> rows;
    for (const QModelIndex& index : listVoicemail->selectionModel()->selectedRows(0))
        rows.append(index.row());
    if (rows.isEmpty() && withAll)
        return m_voicemails;
    std::sort(rows.begin(), rows.end());
    QList<IOSVoicemailDb::_Voicemail> chosen;
    for (int r : std::as_const(rows))
        if (r >= 0 && r < m_voicemails.size())
            chosen.append(m_voicemails.at(r));
    return chosen;
}

void VoicemailMainForm::contextMenu()
{
    if (selectedVoicemails(false).isEmpty())
        return;
    QMenu menu(this);
    connect(menu.addAction(QIcon(QStringLiteral(":/res/mi_export-sms.png")), tr("IDS_EXPORT_VOICEMAIL")),
        &QAction::triggered, this, &VoicemailMainForm::miExport);
    menu.exec(QCursor::pos());
}

QList<const BackupManifest::_FileNode*> VoicemailMainForm::audioNodes(
    const BackupManifest* manifest, const QList<IOSVoicemailDb::_Voicemail>& voicemails)
{
    QStringList paths;
    for (const IOSVoicemailDb::_Voicemail& v : voicemails)
        paths.append(v.audioPath());
    return MediaExtract::nodes(manifest, QStringLiteral("HomeDomain"), paths);
}

qint64 VoicemailMainForm::extract(const QList<IOSVoicemailDb::_Voicemail>& voicemails, const QDir& dest)
{
    return MediaExtract::run(
        this, tr("IDS_TITLE_EXPORT_VOICEMAIL"), m_manifest, audioNodes(m_manifest, voicemails), dest);
}

void VoicemailMainForm::exportVoicemail(const QList<IOSVoicemailDb::_Voicemail>& voicemails)
{
    const QString dest = MediaExtract::chooseFolder(this);
    if (dest.isEmpty())
        return;
    const qint64 n = extract(voicemails, QDir(dest));
    if (n >= 0)
        Tips::info(tr("IDS_SUC_EXPORT_%1_VOICEMAIL").arg(n));
}

void VoicemailMainForm::miExport()
{
    exportVoicemail(selectedVoicemails(false));
}

void VoicemailMainForm::miToolbarExport()
{
    exportVoicemail(selectedVoicemails(true));
}
