#pragma once

#include "app/AbsTreeItemModel.h"
#include "notes_media/IOSRecordingDb.h"

// The list model of the recordings page: one row per recording, columns "Label", "Date" and
// "Duration".
class ItemModelRecording : public AbsTreeItemModel
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

    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
};
