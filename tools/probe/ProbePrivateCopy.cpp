#include "ProbePrivateCopy.h"

#include <QByteArray>
#include <QFile>

bool probeCopyPrivate(const QString& from, const QString& to)
{
    QFile in(from);
    QFile out(to);
    if (!in.open(QIODevice::ReadOnly) || !out.open(QIODevice::WriteOnly | QIODevice::NewOnly))
        return false;
    QByteArray buffer(64 * 1024, Qt::Uninitialized);
    bool ok = true;
    for (;;) {
        const qint64 n = in.read(buffer.data(), buffer.size());
        if (n <= 0) {
            ok = n == 0;
            break;
        }
        if (out.write(buffer.constData(), n) != n) {
            ok = false;
            break;
        }
    }
    out.close();
    ok = ok && out.error() == QFileDevice::NoError;
    if (!ok)
        out.remove();
    return ok;
}
