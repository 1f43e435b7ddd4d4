#include "messages/ui/AttachmentFileCopy.h"

#include "app/OutputFile.h"

#include <QFileInfo>

namespace
{
bool sameFile(const QString& a, const QString& b)
{
    const QString ca = QFileInfo(a).canonicalFilePath();
    return !ca.isEmpty() && ca == QFileInfo(b).canonicalFilePath();
}
} // namespace

bool copyAttachmentFile(const QString& source, const QString& dest, QString* why)
{
    return sameFile(source, dest) || OutputFile::copy(source, dest, why);
}
