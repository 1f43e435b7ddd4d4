#include "device/mobiledevice_afc.h"

#include <QBuffer>
#include <QDir>

namespace
{
const int kCopyBuffer = 8192;
}

mobiledevice_afc::mobiledevice_afc(const QString& udid)
    : m_device(udid)
{
}

mobiledevice_afc::~mobiledevice_afc()
{
    closeService();
}

bool mobiledevice_afc::startService()
{
    afc.reset();
    if (!m_device.open())
        return false;
    return m_device.connection()->startAfc(afc) == 0 && afc;
}

void mobiledevice_afc::closeService()
{
    afc.reset();
}

_AfcFileInfo mobiledevice_afc::fileInfo(const QString& path)
{
    if (!afc)
        return _AfcFileInfo();
    QList<QPair<QByteArray, QByteArray>> pairs;
    if (afc->getFileInfo(path, pairs) != 0)
        return _AfcFileInfo();
    _AfcFileInfo info(path);
    for (const auto& pair : pairs) {
        if (pair.first == "st_ifmt") {
            info.ifmt = QString::fromLatin1(pair.second);
        } else if (pair.first == "st_size") {
            bool ok = false;
            qint64 size = pair.second.toLongLong(&ok, 10);
            info.size = ok ? size : 0;
        } else if (pair.first == "st_mtime") {
            bool ok = false;
            qint64 ns = pair.second.toLongLong(&ok, 10);
            if (ok)
                info.mtime = QDateTime::fromMSecsSinceEpoch(static_cast<qint64>(double(ns) / 1000000.0));
        }
    }
    return info;
}

QStringList mobiledevice_afc::ls(const QString& dir, bool skipDots)
{
    QStringList result;
    if (!afc)
        return result;
    QList<QByteArray> names;
    if (afc->readDirectory(dir, names) != 0)
        return result;
    for (const QByteArray& raw : names) {
        const QString name = QString::fromUtf8(raw);
        if (skipDots && (name == QLatin1String(".") || name == QLatin1String("..")))
            continue;
        result.append(name);
    }
    return result;
}

QList<_AfcFileInfo> mobiledevice_afc::ls_finfo(const QString& dir)
{
    QList<_AfcFileInfo> result;
    for (const QString& name : ls(dir, true)) {
        _AfcFileInfo info = fileInfo(QDir(dir).absoluteFilePath(name));
        if (info.isValid())
            result.append(info);
    }
    return result;
}

bool mobiledevice_afc::mkdir(const QString& path)
{
    return afc && afc->makeDirectory(path) == 0;
}

bool mobiledevice_afc::del(const QString& path)
{
    return afc && afc->removePathAndContents(path) == 0;
}

bool mobiledevice_afc::rename(const QString& from, const QString& to)
{
    return afc && afc->renamePath(from, to) == 0;
}

bool mobiledevice_afc::openFile(const QString& path, AfcFileMode mode, AfcFile& file)
{
    if (!afc)
        return false;
    file.close();
    quint64 handle = 0;
    if (afc->fileOpen(path, mode, handle) != 0)
        return false;
    file.client = afc.get();
    file.handle = handle;
    return true;
}

bool mobiledevice_afc::readFile(const QString& path, AfcFile& file)
{
    return openFile(path, AfcReadOnly, file);
}

bool mobiledevice_afc::writeFile(const QString& path, AfcFile& file)
{
    return openFile(path, AfcWriteOnly, file);
}

bool mobiledevice_afc::readWriteFile(const QString& path, AfcFile& file)
{
    return openFile(path, AfcReadWrite, file);
}

void mobiledevice_afc::readFileContent(const QString& path, QIODevice& out)
{
    AfcFile file;
    if (!readFile(path, file))
        return;
    char buffer[kCopyBuffer];
    for (;;) {
        int n = file.read(buffer, kCopyBuffer);
        if (n <= 0)
            break;
        out.write(buffer, n);
    }
    file.close();
}

QByteArray mobiledevice_afc::readFileContent(const QString& path)
{
    QBuffer buffer;
    buffer.open(QIODevice::WriteOnly);
    readFileContent(path, buffer);
    return buffer.data();
}

void mobiledevice_afc::writeFileContent(const QString& path, QIODevice& in)
{
    AfcFile file;
    if (!writeFile(path, file))
        return;
    char buffer[kCopyBuffer];
    for (;;) {
        qint64 n = in.read(buffer, kCopyBuffer);
        if (n <= 0)
            break;
        file.write(buffer, static_cast<int>(n));
    }
    file.close();
}

void mobiledevice_afc::writeFileContent(const QString& path, const QByteArray& data)
{
    QBuffer buffer;
    buffer.setData(data);
    buffer.open(QIODevice::ReadOnly);
    writeFileContent(path, buffer);
}
