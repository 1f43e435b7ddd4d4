#include "app/PowerAssertion.h"

quint32 PowerAssertion::create(const QString& type, const QString& name)
{
    Q_UNUSED(type);
    Q_UNUSED(name);
    // Linux desktops keep their own idle policy; nothing to take here.
    return 0;
}

void PowerAssertion::release(quint32 id)
{
    Q_UNUSED(id);
}
