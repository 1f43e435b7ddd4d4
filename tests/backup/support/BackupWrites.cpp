#include "backup/support/BackupWrites.h"

#include "backup/BackupCacheCopy.h"
#include "backup/BkCacheDb.h"
#include "backup/support/BackupReads.h"
#include "support/TestEnv.h"

#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QtTest>
#include <unistd.h>

namespace BackupWrites
{

using BackupReads::readAll;

QString sourceFile(const QByteArray& content, const QString& name)
{
    const QString path = TestEnv::tempDir() + "/" + name;
    QFile f(path);
    if (f.open(QIODevice::WriteOnly))
        f.write(content);
    return path;
}

void open(BackupManifest& m, const QString& password)
{
    m.readManifestInfo();
    if (!password.isEmpty())
        QVERIFY(m.setPasscode(password));
    m.parseInfo();
}

void writeAndExit(
    const QString& dir, const QString& password, const QList<BackupManifest::WriteRequest>& items)
{
    try {
        BackupManifest m(dir);
        m.readManifestInfo();
        if (!password.isEmpty() && !m.setPasscode(password))
            _exit(3);
        m.parseInfo();
        m.writeFilesThrow(items);
    } catch (const std::exception&) {
        _exit(2);
    }
    _exit(0);
}

QStringList leftovers(const QString& dir)
{
    QStringList names;
    for (QDirIterator it(dir, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories); it.hasNext();) {
        const QString name = it.next();
        if (name.endsWith(".qmtmp") || name.endsWith(".qmold") || name.endsWith(".qmwrite"))
            names << name;
    }
    return names;
}

void checkWritten(
    const QString& dir, const QString& password, const QList<BackupManifest::WriteRequest>& items)
{
    BackupManifest m(dir);
    open(m, password);
    for (const BackupManifest::WriteRequest& r : items) {
        const BackupManifest::_FileNode* node = m.findNode(r.domain, r.relativePath);
        QVERIFY2(node && !node->implied && node->item.isFile(), qPrintable(r.relativePath));
        const QByteArray content = readAll(r.sourceFile);
        QCOMPARE(node->item.size, qint64(content.size()));
        QCOMPARE(BackupReads::extract(m, node), content);
    }
    const QStringList left = leftovers(dir);
    QVERIFY2(left.isEmpty(), qPrintable(left.join(", ")));
    QVERIFY(!QFileInfo::exists(dir + "/Manifest.db-wal")); // the old log went with the old manifest
}

QHash<QString, QByteArray> readBack(
    const QString& dir, const QString& password, const QList<BackupManifest::WriteRequest>& items)
{
    QHash<QString, QByteArray> out;
    BackupManifest m(dir);
    open(m, password);
    const QDir cacheDir(dir + ".cache");
    cacheDir.mkpath(".");
    BkCacheDb cache(cacheDir.absoluteFilePath("manifest2.db"));
    BackupCacheCopy copier(m, cache);
    for (const BackupManifest::WriteRequest& r : items) {
        const BackupManifest::_FileNode* node = m.findNode(r.domain, r.relativePath);
        if (!node || node->implied || !node->item.isFile())
            continue;
        const QString copy = cacheDir.absoluteFilePath(node->item.backupFileName());
        try {
            copier.copyThrow(node, copy);
            const QByteArray content = readAll(copy);
            out.insert(r.relativePath,
                content.size() == node->item.size ? content
                                                  : "record of " + QByteArray::number(node->item.size)
                        + " bytes: " + content.left(24).toHex());
        } catch (const std::exception& e) {
            out.insert(r.relativePath, QByteArray("unreadable: ") + e.what());
        }
    }
    return out;
}

QList<BackupManifest::WriteRequest> restoreLike()
{
    return {
        { "HomeDomain", sourceFile(QByteArray(30000, 'S'), "sms.db"), "Library/SMS/sms.db", true, true },
        { "MediaDomain", sourceFile("a picture", "p.jpg"), "Library/SMS/Attachments/ab/01/p.jpg", false,
            true },
        { "BrandNewDomain", sourceFile("more", "more.txt"), "Some/new/file.txt", false, false },
    };
}

QString tempOf(const QString& target)
{
    const QFileInfo info(target);
    const QStringList found = info.dir().entryList(
        { info.fileName() + ".*.qmtmp" }, QDir::AllEntries | QDir::Hidden | QDir::System);
    return found.isEmpty() ? target + ".qmtmp" : info.dir().absoluteFilePath(found.first());
}

QString storedPath(const QString& dir, const BackupManifest::WriteRequest& r)
{
    return MBDBParser::getBKFilePath(QDir(dir), MBDBParser::backupFileName(r.domain, r.relativePath), false);
}

bool moveFolderAway(const QString& dir, const BackupManifest::WriteRequest& r, bool inside)
{
    const QString folder = QFileInfo(storedPath(dir, r)).absolutePath();
    const QString to = inside ? dir + "/moved" : TestEnv::tempDir();
    const QString moved = to + "/" + QFileInfo(folder).fileName();
    return QDir().mkpath(to) && QDir().rename(folder, moved) && QFile::link(moved, folder);
}

void checkBeforeOrWritten(const QHash<QString, QByteArray>& now, const QHash<QString, QByteArray>& before,
    const QList<BackupManifest::WriteRequest>& items, int step)
{
    for (const BackupManifest::WriteRequest& r : items) {
        const QByteArray got = now.value(r.relativePath);
        QVERIFY2(got == before.value(r.relativePath) || got == readAll(r.sourceFile),
            qPrintable(QString("%1 after a kill before change %2: %3 bytes, %4")
                           .arg(r.relativePath)
                           .arg(step)
                           .arg(got.size())
                           .arg(QString::fromLatin1(got.left(24).toHex()))));
    }
}

} // namespace BackupWrites
