#pragma once

#include "notes_media/IOSVoicemailDb.h"
#include "notes_media/ui/MediaItemModel.h"

// The list model of the voicemail page: one row per message, columns "Sender", "Date", "Duration",
// "Listened" and "Trash".
class ItemModelVoicemail : public MediaItemModel
{
    Q_OBJECT
public:
    class _VoicemailItemNode : public _ItemNode
    {
    public:
        explicit _VoicemailItemNode(const IOSVoicemailDb::_Voicemail& voicemail);
        IOSVoicemailDb::_Voicemail voicemail;
    };

    explicit ItemModelVoicemail(QObject* parent = nullptr);

    // Drops every row, then shows the messages in the given order.
    void loadVoicemails(const QList<IOSVoicemailDb::_Voicemail>& voicemails);
    static const IOSVoicemailDb::_Voicemail* voicemailOf(const QModelIndex& index);

protected:
    QStringList headerTitles() const override;
    QVariant cellData(const _ItemNode* node, int column) const override;
};
