#pragma once

#include "notes_media/IOSVoicemailDb.h"
#include "notes_media/ui/ItemModelVoicemail.h"
#include "notes_media/ui/MediaListForm.h"

#include <QSharedPointer>

// The voicemail page of a backup: the messages of voicemail.db as a list (sender, date, duration,
// listened, trash) with their count, and the extraction of their audio files into a folder.
class VoicemailMainForm : public MediaListForm
{
    Q_OBJECT
public:
    VoicemailMainForm(
        const BackupManifest* manifest, QSharedPointer<IOSVoicemailDb> source, QWidget* parent = nullptr);
    ~VoicemailMainForm() override;

    // The selected messages in list order, or every message when withAll and nothing is selected.
    QList<IOSVoicemailDb::_Voicemail> selectedVoicemails(bool withAll) const;
    // Asks for a folder, extracts the messages' audio files there and tells how many were written.
    void exportVoicemail(const QList<IOSVoicemailDb::_Voicemail>& voicemails);
    // The backup's records of the audio files of the given rows, in that order; rows without a
    // record are left out and added to notStored when given.
    static QList<const BackupManifest::_FileNode*> audioNodes(const BackupManifest* manifest,
        const QList<IOSVoicemailDb::_Voicemail>& voicemails, qint64* notStored = nullptr);
    // The extraction itself: the extracted file count, or -1 after an error or a cancel; the chosen
    // rows whose audio the backup does not store are added to notStored when given.
    qint64 extract(
        const QList<IOSVoicemailDb::_Voicemail>& voicemails, const QDir& dest, qint64* notStored = nullptr);

    MyTreeView* listVoicemail;
    ItemModelVoicemail model;

protected:
    std::function<int()> readRows() override;
    QList<int> columnWidths() const override;
    QString exportText() const override;
    QString exportedText(qint64 count) const override;
    void exportSelection(bool withAll) override;

private:
    QSharedPointer<IOSVoicemailDb> m_source;
    QList<IOSVoicemailDb::_Voicemail> m_voicemails;
};
