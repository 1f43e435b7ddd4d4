#include "messages/store/MsgChat.h"

#include "messages/store/MsgHandle.h"

#include <QStringList>

QString _MsgChat::displayName(bool withId) const
{
    if (!display_name.isEmpty())
        return display_name;
    if (_handles.isEmpty())
        return QStringLiteral("Unknown");
    QStringList names;
    for (const _MsgHandle* h : _handles)
        if (h)
            names << h->displayName(withId);
    return names.join(QStringLiteral(", "));
}

bool compareMsgChatLastDesc(const _MsgChat* a, const _MsgChat* b)
{
    return a->_last > b->_last;
}
