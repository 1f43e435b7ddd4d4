#include "messages/store/MsgTextField.h"

QString MsgTextField::operator()() const
{
    QString s(*this);
    s.remove(QChar(0xFFFC));
    return s;
}
