#pragma once

#include "notes_media/IOSRecordingDb.h"
#include "notes_media/ui/MediaItemModel.h"

// The list model of the recordings page: one row per recording, columns "Label", "Date" and
// "Duration".
class ItemModelRecording : public MediaItemModel
{
    Q_OBJECT
public:
    class _RecordingItemNode : public _ItemNode
    {
    public:
        explicit _RecordingItemNode(const IOSRecordingDb::_Recording& recording);
        IOSRecordingDb::_Recording recording;
    };

    explicit ItemModelRecording(QObject* parent = nullptr);

    // Drops every row, then shows the recordings in the given order.
    void loadRecordings(const QList<IOSRecordingDb::_Recording>& recordings);
    static const IOSRecordingDb::_Recording* recordingOf(const QModelIndex& index);

protected:
    QStringList headerTitles() const override;
    QVariant cellData(const _ItemNode* node, int column) const override;
};
