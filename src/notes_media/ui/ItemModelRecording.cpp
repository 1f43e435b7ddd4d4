#include "notes_media/ui/ItemModelRecording.h"

#include "notes_media/DurationText.h"

#include <QIcon>
#include <QLocale>

ItemModelRecording::_RecordingItemNode::_RecordingItemNode(const IOSRecordingDb::_Recording& recording)
    : _ItemNode(0, recording.label(), nullptr)
    , recording(recording)
{
}

ItemModelRecording::ItemModelRecording(QObject* parent)
    : AbsTreeItemModel(parent)
{
}

void ItemModelRecording::loadRecordings(const QList<IOSRecordingDb::_Recording>& recordings)
{
    beginResetModel();
    qDeleteAll(roots);
    roots.clear();
    for (const IOSRecordingDb::_Recording& r : recordings)
        roots.append(new _RecordingItemNode(r));
    endResetModel();
}

const IOSRecordingDb::_Recording* ItemModelRecording::recordingOf(const QModelIndex& index)
{
    const auto* node = static_cast<const _RecordingItemNode*>(nodeOf(index));
    return node ? &node->recording : nullptr;
}

int ItemModelRecording::columnCount(const QModelIndex&) const
{
    return 3;
}

QVariant ItemModelRecording::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
        return {};
    switch (section) {
    case 0:
        return tr("Label");
    case 1:
        return tr("Date");
    case 2:
        return tr("Duration");
    default:
        return {};
    }
}

QVariant ItemModelRecording::data(const QModelIndex& index, int role) const
{
    const auto* node = static_cast<const _RecordingItemNode*>(nodeOf(index));
    if (!node)
        return {};
    const IOSRecordingDb::_Recording& r = node->recording;
    if (role == Qt::DecorationRole && index.column() == 0)
        return QIcon(QStringLiteral(":/res/recording.png"));
    if (role != Qt::DisplayRole && role != Qt::ToolTipRole)
        return {};
    switch (index.column()) {
    case 0:
        return node->text;
    case 1:
        return QLocale::system().toString(r.date.toLocalTime(), QLocale::ShortFormat);
    case 2:
        return DurationText::format(r.duration);
    default:
        return {};
    }
}
