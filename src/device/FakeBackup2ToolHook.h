#pragma once

#include "device/Backup2ToolHook.h"
#include "device/FakeDNameDb.h"

#include <QHash>
#include <QList>
#include <QRegularExpression>
#include <QSet>
#include <QString>

// The hook of the selective device backup: stores only the files it selects, records every file the
// device sends in "dname.sqlite", and answers the device's listings from that record so the next
// backup of the device stays incremental.
class FakeBackup2ToolHook : public Backup2ToolHook
{
public:
    FakeBackup2ToolHook();
    ~FakeBackup2ToolHook() override;

    void beginThrow(QDir root, QString udid) override;
    QList<DirItem> dirContents(QDir root, QString path) override;
    void recvFileBegin(QDir root, QString udid, QString path, QString dname) override;
    int recvFileOpenWrite(QDir root, QString path, QFile& file, QString& err) override;
    void recvFileEnd(QDir root, QString path, unsigned long long size) override;
    int moveFile(QDir root, QString from, QString to, QString& err) override;
    int removeFile(QDir root, QString path, QString& err) override;
    int copyFile(QDir root, QString from, QString to, QString& err) override;
    int mkdir(QDir root, QString path, QString& err) override;

    bool isFileIncluded(QDir root, const QString& path, QString dname);
    // Fills the app containers from the device's installation proxy; gives up silently.
    void readAppuids(const QString& udid);

    // The first container identifier (upper case) in a text, or empty.
    static QString containerId(const QString& text);

    bool keepAll = false;
    QSet<QString> wantedApps;
    FakeDNameDb dnameDb;
    QSet<QString> fixedNames;
    QList<QRegularExpression> includePatterns;
    QHash<QString, QSet<QString>> appContainers;
    QSet<QString> userContainers;

private:
    void openRecordThrow(const QDir& root, const QString& udid);
};
