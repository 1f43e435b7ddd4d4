#include "notes_media/ui/ItemModelVoicemail.h"

#include "app/ShownText.h"
#include "notes_media/DurationText.h"

#include <QLocale>

ItemModelVoicemail::_VoicemailItemNode::_VoicemailItemNode(const IOSVoicemailDb::_Voicemail& voicemail)
    : _ItemNode(0, voicemail.sender, nullptr)
    , voicemail(voicemail)
{
}

ItemModelVoicemail::ItemModelVoicemail(QObject* parent)
    : MediaItemModel(QStringLiteral(":/res/voicemail.png"), parent)
{
}

void ItemModelVoicemail::loadVoicemails(const QList<IOSVoicemailDb::_Voicemail>& voicemails)
{
    loadRows<_VoicemailItemNode>(voicemails);
}

const IOSVoicemailDb::_Voicemail* ItemModelVoicemail::voicemailOf(const QModelIndex& index)
{
    const auto* node = static_cast<const _VoicemailItemNode*>(nodeOf(index));
    return node ? &node->voicemail : nullptr;
}

QStringList ItemModelVoicemail::headerTitles() const
{
    return { tr("Sender"), tr("Date"), tr("Duration"), tr("Listened"), tr("Trash") };
}

QVariant ItemModelVoicemail::cellData(const _ItemNode* node, int column) const
{
    const IOSVoicemailDb::_Voicemail& v = static_cast<const _VoicemailItemNode*>(node)->voicemail;
    switch (column) {
    case 0:
        return v.sender.isEmpty() ? tr("Unknown") : ShownText::line(v.sender);
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
