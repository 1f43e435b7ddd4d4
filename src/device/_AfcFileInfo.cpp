#include "device/_AfcFileInfo.h"

_AfcFileInfo::_AfcFileInfo() = default;

_AfcFileInfo::_AfcFileInfo(const QString& name)
    : name(name)
{
}

bool _AfcFileInfo::isValid() const
{
    return !ifmt.isEmpty();
}

bool _AfcFileInfo::isFile() const
{
    return ifmt.compare(QLatin1String("S_IFREG"), Qt::CaseInsensitive) == 0;
}

bool _AfcFileInfo::isDir() const
{
    return ifmt.compare(QLatin1String("S_IFDIR"), Qt::CaseInsensitive) == 0;
}

bool _AfcFileInfo::isLink() const
{
    return ifmt.compare(QLatin1String("S_IFLNK"), Qt::CaseInsensitive) == 0;
}
