#include "notes_media/ui/ItemModelVoicemail.h"

#include "notes_media/DurationText.h"

#include <QIcon>
#include <QLocale>

ItemModelVoicemail::_VoicemailItemNode::_VoicemailItemNode(const IOSVoicemailDb::_Voicemail& voicemail)
    : _ItemNode(0, voicemail.sender, nullptr)
    , voicemail(voicemail)
{
}

ItemModelVoicemail::ItemModelVoicemail(QObject* parent)
    : AbsTreeItemModel(parent)
{
}

void ItemModelVoicemail::loadVoicemails(const QList<IOSVoicemailDb::_Voicemail>& voicemails)
{
    beginResetModel();
    qDeleteAll(roots);
    roots.clear();
    for (const IOSVoicemailDb::_Voicemail& v : voicemails)
        roots.append(new _VoicemailItemNode(v));
    endResetModel();
}

const IOSVoicemailDb::_Voicemail* ItemModelVoicemail::voicemailOf(const QModelIndex& index)
{
    const auto* node = static_cast<const _VoicemailItemNode*>(nodeOf(index));
    return node ? &node->voicemail : nullptr;
}

int ItemModelVoicemail::columnCount(const QModelIndex&) const
{
    return 5;
}

QVariant ItemModelVoicemail::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
        return {};
    switch (section) {
    case 0:
        return tr("Sender");
    case 1:
        return tr("Date");
    case 2:
        return tr("Duration");
    case 3:
        return tr("Listened");
    case 4:
        return tr("Trash");
    default:
        return {};
    }
}

QString ItemModelVoicemail::cellText(const IOSVoicemailDb::_Voicemail& v, int column) const
{
    switch (column) {
    case 0:
        return v.sender.isEmpty() ? tr("Unknown") : v.sender;
    case 1:
        return QLocale::system().toString(v.date.toLocalTime(), QLocale::ShortFormat);
    case 2:
        return DurationText::format(double(v.duration));
    case 3:
        return v.listened ? tr("Yes") : tr("No");
    case 4:
        return v.trashed ? tr("Yes") : tr("No");
    default:
        return QString();
    }
}

QVariant ItemModelVoicemail::data(const QModelIndex& index, int role) const
{
    const IOSVoicemailDb::_Voicemail* v = voicemailOf(index);
    if (!v)
        return {};
    if (role == Qt::DisplayRole || role == Qt::ToolTipRole)
        return cellText(*v, index.column());
    if (role == Qt::DecorationRole && index.column() == 0)
        return QIcon(QStringLiteral(":/res/voicemail.png"));
    return {};
}
