#include "messages/store/MsgTextField.h"

QString MsgTextField::operator()() const
{
    // Most texts hold none: they are shared as they are.
    if (!contains(QChar(0xFFFC)))
        return *this;
    QString s(*this);
    s.remove(QChar(0xFFFC));
    return s;
}
