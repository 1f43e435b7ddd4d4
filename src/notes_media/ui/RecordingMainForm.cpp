#include "notes_media/ui/RecordingMainForm.h"

#include "app/ui/ItemModelBK.h"

RecordingMainForm::RecordingMainForm(
    const BackupManifest* manifest, QSharedPointer<IOSRecordingDb> source, QWidget* parent)
    : MediaListForm(manifest, ItemModelBK::KindRecordings, QStringLiteral("RecordingMainForm"), parent)
    , model(this)
    , m_source(std::move(source))
{
    listRecordings = buildList(QStringLiteral("listRecordings"), &model);
    reload();
}

RecordingMainForm::~RecordingMainForm()
{
    endReading();
}

std::function<int()> RecordingMainForm::readRows()
{
    const QList<IOSRecordingDb::_Recording> rows = m_source->recordings();
    return [this, rows] {
        m_recordings = rows;
        model.loadRecordings(m_recordings);
        return int(m_recordings.size());
    };
}

QList<int> RecordingMainForm::columnWidths() const
{
    return { 360, 180 };
}

QString RecordingMainForm::exportText() const
{
    return tr("IDS_EXPORT_RECORDINGS");
}

QString RecordingMainForm::exportedText(qint64 count) const
{
    return tr("IDS_SUC_EXPORT_%1_RECORDINGS").arg(count);
}

QList<IOSRecordingDb::_Recording> RecordingMainForm::selectedRecordings(bool withAll) const
{
    return selectedOf(m_recordings, withAll);
}

QList<const BackupManifest::_FileNode*> RecordingMainForm::audioNodes(
    const BackupManifest* manifest, const QList<IOSRecordingDb::_Recording>& recordings, qint64* notStored)
{
    return audioNodesOf(manifest, QStringLiteral("MediaDomain"), recordings, notStored);
}

qint64 RecordingMainForm::extract(
    const QList<IOSRecordingDb::_Recording>& recordings, const QDir& dest, qint64* notStored)
{
    return extractNodes(
        tr("IDS_TITLE_EXPORT_RECORDINGS"), audioNodes(m_manifest, recordings, notStored), dest, notStored);
}

void RecordingMainForm::exportRecordings(const QList<IOSRecordingDb::_Recording>& recordings)
{
    exportWith([&](const QDir& dest, qint64* notStored) { return extract(recordings, dest, notStored); });
}

void RecordingMainForm::exportSelection(bool withAll)
{
    exportRecordings(selectedRecordings(withAll));
}
