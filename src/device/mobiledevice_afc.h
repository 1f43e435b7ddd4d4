#pragma once

#include "device/AfcFile.h"
#include "device/_AfcFileInfo.h"
#include "device/iDevice.h"

#include <QByteArray>
#include <QIODevice>
#include <QList>
#include <QStringList>
#include <memory>

// A small client of the device's file service ("com.apple.afc"). Nothing throws: failures come back
// as false, an empty list or an invalid record. Paths are device paths. One thread per object.
class mobiledevice_afc
{
public:
    explicit mobiledevice_afc(const QString& udid);
    ~mobiledevice_afc();
    mobiledevice_afc(const mobiledevice_afc&) = delete;
    mobiledevice_afc& operator=(const mobiledevice_afc&) = delete;

    bool startService();
    void closeService();

    _AfcFileInfo fileInfo(const QString& path);
    QStringList ls(const QString& dir, bool skipDots);
    QList<_AfcFileInfo> ls_finfo(const QString& dir);
    bool mkdir(const QString& path);
    bool del(const QString& path);
    bool rename(const QString& from, const QString& to);

    bool openFile(const QString& path, AfcFileMode mode, AfcFile& file);
    bool readFile(const QString& path, AfcFile& file);
    bool writeFile(const QString& path, AfcFile& file);
    bool readWriteFile(const QString& path, AfcFile& file);

    void readFileContent(const QString& path, QIODevice& out);
    QByteArray readFileContent(const QString& path);
    void writeFileContent(const QString& path, QIODevice& in);
    void writeFileContent(const QString& path, const QByteArray& data);

private:
    iDevice m_device;
    std::unique_ptr<AfcSession> afc;
};
