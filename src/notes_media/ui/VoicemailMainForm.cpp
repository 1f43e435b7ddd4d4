#include "notes_media/ui/VoicemailMainForm.h"

#include "app/ui/ItemModelBK.h"

VoicemailMainForm::VoicemailMainForm(
    const BackupManifest* manifest, QSharedPointer<IOSVoicemailDb> source, QWidget* parent)
    : MediaListForm(manifest, ItemModelBK::KindVoicemail, QStringLiteral("VoicemailMainForm"), parent)
    , model(this)
    , m_source(std::move(source))
{
    listVoicemail = buildList(QStringLiteral("listVoicemail"), &model);
    reload();
}

VoicemailMainForm::~VoicemailMainForm()
{
    endReading();
}

std::function<int()> VoicemailMainForm::readRows()
{
    const QList<IOSVoicemailDb::_Voicemail> rows = m_source->voicemails();
    return [this, rows] {
        m_voicemails = rows;
        model.loadVoicemails(m_voicemails);
        return int(m_voicemails.size());
    };
}

QList<int> VoicemailMainForm::columnWidths() const
{
    return { 260, 180, 100, 100 };
}

QString VoicemailMainForm::exportText() const
{
    return tr("IDS_EXPORT_VOICEMAIL");
}

QString VoicemailMainForm::exportedText(qint64 count) const
{
    return tr("IDS_SUC_EXPORT_%1_VOICEMAIL").arg(count);
}

QList<IOSVoicemailDb::_Voicemail> VoicemailMainForm::selectedVoicemails(bool withAll) const
{
    return selectedOf(m_voicemails, withAll);
}

QList<const BackupManifest::_FileNode*> VoicemailMainForm::audioNodes(
    const BackupManifest* manifest, const QList<IOSVoicemailDb::_Voicemail>& voicemails, qint64* notStored)
{
    return audioNodesOf(manifest, QStringLiteral("HomeDomain"), voicemails, notStored);
}

qint64 VoicemailMainForm::extract(
    const QList<IOSVoicemailDb::_Voicemail>& voicemails, const QDir& dest, qint64* notStored)
{
    return extractNodes(
        tr("IDS_TITLE_EXPORT_VOICEMAIL"), audioNodes(m_manifest, voicemails, notStored), dest, notStored);
}

void VoicemailMainForm::exportVoicemail(const QList<IOSVoicemailDb::_Voicemail>& voicemails)
{
    exportWith([&](const QDir& dest, qint64* notStored) { return extract(voicemails, dest, notStored); });
}

void VoicemailMainForm::exportSelection(bool withAll)
{
    exportVoicemail(selectedVoicemails(withAll));
}
