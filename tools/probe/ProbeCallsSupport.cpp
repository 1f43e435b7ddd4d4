#include "ProbeCallsSupport.h"

#include "ProbeBackupSupport.h"
#include "ProbePrivateCopy.h"
#include "app/IdsTranslator.h"
#include "app/sqlite/Sqlite3DB.h"
#include "backup/BackupCacheCopy.h"
#include "backup/lock/BackupFolderLock.h"
#include "calls_calendars/IOSCalendarDb.h"
#include "calls_calendars/IOSCallHistoryDb.h"
#include "calls_calendars/LocalCalendarsDb.h"
#include "calls_calendars/LocalCallHistoryDb.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <stdexcept>

namespace
{

bool hasTable(const QString& path, const QString& table, const QString& column = QString())
{
    Sqlite3DB db;
    db.setForeign(true);
    db.openReadOnlyThrow(path, true);
    const auto cols = db.tbInfo(table);
    return !cols.isEmpty() && (column.isEmpty() || cols.contains(column));
}

bool isBackup(const QDir& dir)
{
    return dir.exists("Manifest.db") || dir.exists("Manifest.mbdb");
}

// Copies the given backup files (decrypted) into work under their hashed names, holding the backup
// only meanwhile: a merge of it into another backup beside the reverse one waits for neither.
std::unique_ptr<BackupManifest> copyFromBackupThrow(
    const QString& dir, const QString& work, const QString& password, bool calendar)
{
    const BackupFolderLock reading(QDir(dir), BackupFolderLock::Mode::Shared);
    auto m = std::make_unique<BackupManifest>(dir);
    if (QFileInfo::exists(QDir(dir).absoluteFilePath("Manifest.plist")))
        m->readManifestInfo();
    if (m->IsEncrypted && !m->setPasscode(password.isNull() ? ProbeBackup::readPassword() : password))
        throw std::runtime_error("wrong password");
    m->parseInfo();
    QList<const BackupManifest::_FileNode*> nodes;
    if (calendar)
        nodes = { m->calendarNode };
    else
        nodes
            = { m->callHistoryStoreNode ? m->callHistoryStoreNode : m->callHistoryNode, m->addressBookNode };
    for (const BackupManifest::_FileNode* node : nodes)
        if (node)
            BackupCacheCopy::copyWithLogThrow(
                *m, node, QDir(work).absoluteFilePath(node->item.backupFileName()));
    return m;
}

} // namespace

namespace ProbeCalls
{

void installEnglish()
{
    static IdsTranslator english;
    if (english.isEmpty() && english.load(QStringLiteral(":/en.qm")))
        QCoreApplication::installTranslator(&english);
}

QString takeOption(QStringList& args, const QString& name)
{
    const qsizetype i = args.indexOf(name);
    if (i < 0 || i + 1 >= args.size())
        return QString();
    const QString value = args.at(i + 1);
    args.remove(i, 2);
    return value;
}

std::unique_ptr<ICallHistoryDb> openCallsThrow(
    const QString& source, const QString& work, const QString& password, QString* kind)
{
    ProbeBackup::requireEnterable(source);
    const QFileInfo info(source);
    const QDir w(work);
    if (!info.exists())
        throw std::runtime_error(QStringLiteral("%1 does not exist").arg(source).toStdString());
    if (info.isDir()) {
        const QDir dir(info.absoluteFilePath());
        if (isBackup(dir)) {
            const bool encrypted
                = copyFromBackupThrow(dir.absolutePath(), work, password, false)->IsEncrypted;
            *kind = "backup";
            return std::make_unique<IOSCallHistoryDb>(w, encrypted);
        }
        if (dir.exists("calls.db")) {
            probeCopyDbThrow(dir.absoluteFilePath("calls.db"), w.absoluteFilePath("calls.db"));
            *kind = "local";
            return std::make_unique<LocalCallHistoryDb>(w.absoluteFilePath("calls.db"));
        }
        bool any = false;
        for (const char* id : { IOSCallHistoryDb::kStoreFile, IOSCallHistoryDb::kOldDbFile,
                 IOSCallHistoryDb::kAddressBookFile })
            if (dir.exists(id)) {
                probeCopyDbThrow(dir.absoluteFilePath(id), w.absoluteFilePath(id));
                any = true;
            }
        // A cache of a plain backup may hold the address book alone (its calls are kept only when
        // encrypted); a folder with none of these files is no source of calls at all.
        if (!any)
            throw std::runtime_error(QStringLiteral(
                "Cannot find Manifest.db or Manifest.mbdb in %1. This folder is not a device backup.")
                                         .arg(dir.absolutePath())
                                         .toStdString());
        *kind = "cache";
        return std::make_unique<IOSCallHistoryDb>(w);
    }
    const QString staged = probeStageDbThrow(source, work);
    if (hasTable(staged, "call", "hash")) {
        probeMoveDbThrow(staged, w.absoluteFilePath("calls.db"));
        *kind = "local";
        return std::make_unique<LocalCallHistoryDb>(w.absoluteFilePath("calls.db"));
    }
    const bool store = hasTable(staged, "ZCALLRECORD");
    probeMoveDbThrow(
        staged, w.absoluteFilePath(store ? IOSCallHistoryDb::kStoreFile : IOSCallHistoryDb::kOldDbFile));
    *kind = store ? "storedata" : "call_history.db";
    return std::make_unique<IOSCallHistoryDb>(w);
}

std::unique_ptr<ICalendarDb> openCalendarsThrow(
    const QString& source, const QString& work, const QString& password, QString* kind)
{
    ProbeBackup::requireEnterable(source);
    const QFileInfo info(source);
    const QDir w(work);
    if (!info.exists())
        throw std::runtime_error(QStringLiteral("%1 does not exist").arg(source).toStdString());
    QString file = info.absoluteFilePath();
    if (info.isDir()) {
        const QDir dir(file);
        if (isBackup(dir)) {
            copyFromBackupThrow(dir.absolutePath(), work, password, true);
            *kind = "backup";
            return std::make_unique<IOSCalendarDb>(nullptr, w);
        }
        file = dir.exists("calendars.db") ? dir.absoluteFilePath("calendars.db")
                                          : dir.absoluteFilePath(IOSCalendarDb::kCalendarFile);
    }
    const QString staged = probeStageDbThrow(file, work);
    if (QFileInfo(file).fileName() == "calendars.db" || hasTable(staged, "events", "hash")) {
        probeMoveDbThrow(staged, w.absoluteFilePath("calendars.db"));
        *kind = "local";
        return std::make_unique<LocalCalendarsDb>(w.absoluteFilePath("calendars.db"));
    }
    probeMoveDbThrow(staged, w.absoluteFilePath(IOSCalendarDb::kCalendarFile));
    *kind = "Calendar.sqlitedb";
    return std::make_unique<IOSCalendarDb>(nullptr, w);
}

} // namespace ProbeCalls
