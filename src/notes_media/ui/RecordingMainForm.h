#pragma once

#include "notes_media/IOSRecordingDb.h"
#include "notes_media/ui/ItemModelRecording.h"
#include "notes_media/ui/MediaListForm.h"

#include <QSharedPointer>

// The recordings page of a backup: the voice recordings of Recordings.db as a list (label, date,
// duration) with their count, and the extraction of their audio files into a folder.
class RecordingMainForm : public MediaListForm
{
    Q_OBJECT
public:
    RecordingMainForm(
        const BackupManifest* manifest, QSharedPointer<IOSRecordingDb> source, QWidget* parent = nullptr);
    ~RecordingMainForm() override;

    // The selected recordings in list order, or every recording when withAll and nothing is selected.
    QList<IOSRecordingDb::_Recording> selectedRecordings(bool withAll) const;
    // Asks for a folder, extracts the recordings' audio files there and tells how many were written.
    void exportRecordings(const QList<IOSRecordingDb::_Recording>& recordings);
    // The backup's records of the audio files of the given rows, in that order; rows without a
    // record are left out and added to notStored when given.
    static QList<const BackupManifest::_FileNode*> audioNodes(const BackupManifest* manifest,
        const QList<IOSRecordingDb::_Recording>& recordings, qint64* notStored = nullptr);
    // The extraction itself: the extracted file count, or -1 after an error or a cancel; the chosen
    // rows whose audio the backup does not store are added to notStored when given.
    qint64 extract(
        const QList<IOSRecordingDb::_Recording>& recordings, const QDir& dest, qint64* notStored = nullptr);

    MyTreeView* listRecordings;
    ItemModelRecording model;

protected:
    std::function<int()> readRows() override;
    QList<int> columnWidths() const override;
    QString exportText() const override;
    QString exportedText(qint64 count) const override;
    void exportSelection(bool withAll) override;

private:
    QSharedPointer<IOSRecordingDb> m_source;
    QList<IOSRecordingDb::_Recording> m_recordings;
};
