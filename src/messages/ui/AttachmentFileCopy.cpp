#include "messages/ui/AttachmentFileCopy.h"

#include <QFile>
#include <QFileInfo>
#include <QTemporaryFile>
#include <filesystem>
#include <system_error>

namespace
{
bool sameFile(const QString& a, const QString& b)
{
    const QString ca = QFileInfo(a).canonicalFilePath();
    return !ca.isEmpty() && ca == QFileInfo(b).canonicalFilePath();
}
} // namespace

bool copyAttachmentFile(const QString& source, const QString& dest)
{
    if (sameFile(source, dest))
        return true;
    QFile in(source);
    if (!in.open(QIODevice::ReadOnly))
        return false;
    const QFileInfo target(dest);
    QTemporaryFile tmp(target.absolutePath() + QStringLiteral("/.qm-copy-XXXXXX"));
    if (!tmp.open())
        return false;
    char buf[1 << 16];
    for (;;) {
        const qint64 n = in.read(buf, sizeof buf);
        if (n < 0)
            return false;
        if (n == 0)
            break;
        if (tmp.write(buf, n) != n)
            return false;
    }
    if (!tmp.flush())
        return false;
    tmp.close();
    // std::filesystem::rename replaces an existing file in one step; QFile::rename would refuse.
    std::error_code ec;
    std::filesystem::rename(QFile::encodeName(tmp.fileName()).toStdString(),
        QFile::encodeName(target.absoluteFilePath()).toStdString(), ec);
    if (ec)
        return false;
    tmp.setAutoRemove(false);
    return true;
}
