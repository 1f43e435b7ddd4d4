#include "backup/RecordPath.h"

#include <cstring>

bool RecordPath::isClean(const QByteArray& path)
{
    // Checked at the slashes.
    const char* d = path.constData();
    const qsizetype n = path.size();
    if (n == 0)
        return true;
    if (d[0] == '/' || d[n - 1] == '/' || (d[0] == '.' && (n == 1 || d[1] == '/')))
        return false;
    for (const char* p = static_cast<const char*>(std::memchr(d, '/', size_t(n))); p;
         p = static_cast<const char*>(std::memchr(p + 1, '/', size_t(d + n - p - 1)))) {
        // p is neither the first nor the last byte here.
        if (p[1] == '/' || (p[1] == '.' && (p + 2 == d + n || p[2] == '/')))
            return false;
    }
    return true;
}

QList<QByteArray> RecordPath::parts(const QByteArray& path)
{
    QList<QByteArray> parts;
    for (const QByteArray& p : path.split('/'))
        if (!p.isEmpty() && p != ".")
            parts.append(p);
    return parts;
}

int RecordPath::parentLength(const QByteArray& cleanPath)
{
    const void* slash = memrchr(cleanPath.constData(), '/', size_t(cleanPath.size()));
    return slash ? int(static_cast<const char*>(slash) - cleanPath.constData()) : -1;
}
