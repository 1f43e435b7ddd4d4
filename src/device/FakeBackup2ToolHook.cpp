#include "device/FakeBackup2ToolHook.h"

#include "app/Clock.h"
#include "device/iDevice.h"

#include <QFileInfo>
#include <stdexcept>

namespace
{
QString fileNameOf(const QString& path)
{
    int slash = path.lastIndexOf(QLatin1Char('/'));
    return slash < 0 ? path : path.mid(slash + 1);
}

QString recordPath(const QDir& root, const QString& udid)
{
    return root.absoluteFilePath(udid + QStringLiteral("/dname.sqlite"));
}
} // namespace

FakeBackup2ToolHook::FakeBackup2ToolHook()
{
    fixedNames = { QStringLiteral("info.plist"), QStringLiteral("status.plist"),
        QStringLiteral("manifest.mbdb"), QStringLiteral("manifest.mbdx"), QStringLiteral("manifest.db"),
        QStringLiteral("manifest.plist"), QStringLiteral("80fa782261261e54bb73c0253e5b6beefb6a2f39") };
}

FakeBackup2ToolHook::~FakeBackup2ToolHook() = default;

QString FakeBackup2ToolHook::containerId(const QString& text)
{
    static const QRegularExpression pattern(
        QStringLiteral("([a-f0-9]{8}-[a-f0-9]{4}-[a-f0-9]{4}-[a-f0-9]{4}-[a-f0-9]{12})"),
        QRegularExpression::CaseInsensitiveOption);
    const QRegularExpressionMatch match = pattern.match(text);
    return match.hasMatch() ? match.captured(1).toUpper() : QString();
}

void FakeBackup2ToolHook::openRecordThrow(const QDir& root, const QString& udid)
{
    QString err;
    if (!dnameDb.open(recordPath(root, udid), &err))
        throw std::runtime_error(
            QStringLiteral("open dname.sqlite failed. %1").arg(err).toUtf8().toStdString());
}

void FakeBackup2ToolHook::beginThrow(QDir root, QString udid)
{
    const QDir deviceDir(root.absoluteFilePath(udid));
    const QString record = recordPath(root, udid);
    // A record only serves a backup with its manifest.
    if (!deviceDir.exists(QStringLiteral("Manifest.db")))
        QFile::remove(record);
    if (QFileInfo::exists(record))
        openRecordThrow(root, udid);
    readAppuids(udid);
}

void FakeBackup2ToolHook::readAppuids(const QString& udid)
{
    iDevice dev(udid);
    if (!dev.open())
        return;
    PlistCFType apps;
    const QStringList attributes = { QStringLiteral("CFBundleIdentifier"), QStringLiteral("Container"),
        QStringLiteral("GroupContainers") };
    if (dev.connection()->browseApps(
            QString::fromLatin1(kLockdownLabel), QStringLiteral("User"), attributes, apps)
        != 0)
        return;
    for (int i = 0; i < apps.array_size(); ++i) {
        const PlistCFType app = apps.at(i);
        const QString id = app.get(QStringLiteral("CFBundleIdentifier")).CFStringQString();
        QSet<QString> containers;
        const QString own = containerId(app.get(QStringLiteral("Container")).CFStringQString());
        if (!own.isEmpty()) {
            containers.insert(own);
            userContainers.insert(own);
        }
        const PlistCFType groups = app.get(QStringLiteral("GroupContainers"));
        for (const PlistCFType& key : groups.dict_keys()) {
            const QString group = containerId(groups.get(key).CFStringQString());
            if (!group.isEmpty()) {
                containers.insert(group);
                userContainers.insert(group);
            }
        }
        appContainers.insert(id, containers);
    }
}

bool FakeBackup2ToolHook::isFileIncluded(QDir root, const QString& path, QString dname)
{
    Q_UNUSED(root);
    const QString name = fileNameOf(path);
    if (fixedNames.contains(name.toLower()))
        return true;
    if (dname.isEmpty())
        dname = dnameDb.getDName(name);
    if (!dname.isEmpty()) {
        for (const QRegularExpression& pattern : includePatterns) {
            if (pattern.match(dname).hasMatch())
                return true;
        }
    }
    const QString uuid = containerId(dname);
    if (!uuid.isEmpty()) {
        for (const QString& app : wantedApps) {
            auto it = appContainers.constFind(app);
            if (it != appContainers.constEnd() && it->contains(uuid))
                return true;
        }
    }
    if (!keepAll)
        return false;
    return uuid.isEmpty() || !userContainers.contains(uuid);
}

void FakeBackup2ToolHook::recvFileBegin(QDir root, QString udid, QString path, QString dname)
{
    const QString name = fileNameOf(path);
    if (!dnameDb.isOpen())
        openRecordThrow(root, udid);
    const bool incl = isFileIncluded(root, path, dname);
    dnameDb.insert(name, dname, incl, Clock::now());
}

int FakeBackup2ToolHook::recvFileOpenWrite(QDir root, QString path, QFile& file, QString& err)
{
    if (isFileIncluded(root, path, QString()))
        return Backup2ToolHook::recvFileOpenWrite(root, path, file, err);
    return 0;
}

void FakeBackup2ToolHook::recvFileEnd(QDir root, QString path, unsigned long long size)
{
    Q_UNUSED(root);
    dnameDb.update(fileNameOf(path), Clock::now(), qint64(size));
}

QList<Backup2ToolHook::DirItem> FakeBackup2ToolHook::dirContents(QDir root, QString path)
{
    QString name = fileNameOf(path);
    if (name.compare(QLatin1String("Snapshot"), Qt::CaseInsensitive) == 0)
        return Backup2ToolHook::dirContents(root, path);
    if (name.size() > 2)
        name.clear(); // the device folder maps to the top of the record
    const QList<DirItem> items = dnameDb.items(name);
    if (name.isEmpty())
        return items;
    QList<DirItem> result;
    for (const DirItem& item : items) {
        const QString rel = path + QLatin1Char('/') + item.name;
        if (!isFileIncluded(root, rel, QString())) {
            result.append(item);
            continue;
        }
        QFileInfo onDisk(root.absoluteFilePath(rel));
        if (onDisk.exists()) {
            DirItem entry;
            entry.name = onDisk.fileName();
            entry.kind = 1;
            entry.size = onDisk.size();
            entry.modified = onDisk.lastModified();
            result.append(entry);
        }
    }
    return result;
}

int FakeBackup2ToolHook::moveFile(QDir root, QString from, QString to, QString& err)
{
    return Backup2ToolHook::moveFile(root, from, to, err);
}

int FakeBackup2ToolHook::removeFile(QDir root, QString path, QString& err)
{
    if (!path.contains(QLatin1String("snapshot"), Qt::CaseInsensitive)) {
        const QString name = fileNameOf(path);
        if (name.size() >= 3)
            dnameDb.remove(name);
    }
    // Unlike the record, a removal on disk that failed is reported.
    return Backup2ToolHook::removeFile(root, path, err);
}

int FakeBackup2ToolHook::copyFile(QDir, QString, QString, QString&)
{
    return 0;
}

int FakeBackup2ToolHook::mkdir(QDir, QString, QString&)
{
    return 0; // folders are made when a selected file is opened for writing
}
