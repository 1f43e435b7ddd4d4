#include "notes_media/ui/ItemModelRecording.h"

#include "app/ShownText.h"
#include "notes_media/DurationText.h"

#include <QLocale>

ItemModelRecording::_RecordingItemNode::_RecordingItemNode(const IOSRecordingDb::_Recording& recording)
    : _ItemNode(0, recording.label(), nullptr)
    , recording(recording)
{
}

ItemModelRecording::ItemModelRecording(QObject* parent)
    : MediaItemModel(QStringLiteral(":/res/recording.png"), parent)
{
}

void ItemModelRecording::loadRecordings(const QList<IOSRecordingDb::_Recording>& recordings)
{
    loadRows<_RecordingItemNode>(recordings);
}

const IOSRecordingDb::_Recording* ItemModelRecording::recordingOf(const QModelIndex& index)
{
    const auto* node = static_cast<const _RecordingItemNode*>(nodeOf(index));
    return node ? &node->recording : nullptr;
}

QStringList ItemModelRecording::headerTitles() const
{
    return { tr("Label"), tr("Date"), tr("Duration") };
}

QVariant ItemModelRecording::cellData(const _ItemNode* node, int column) const
{
    const IOSRecordingDb::_Recording& r = static_cast<const _RecordingItemNode*>(node)->recording;
    switch (column) {
    case 0:
        return ShownText::line(node->text);
    case 1:
        return QLocale::system().toString(r.date.toLocalTime(), QLocale::ShortFormat);
    case 2:
        return DurationText::format(r.duration);
    default:
        return {};
    }
}
