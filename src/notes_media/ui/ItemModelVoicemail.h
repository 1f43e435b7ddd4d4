#pragma once

#include "app/AbsTreeItemModel.h"
#include "notes_media/IOSVoicemailDb.h"

// The list model of the voicemail page: one row per message, columns "Sender", "Date", "Duration",
// "Listened" and "Trash".
class ItemModelVoicemail : public AbsTreeItemModel
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

    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;

private:
    QString cellText(const IOSVoicemailDb::_Voicemail& v, int column) const;
};
