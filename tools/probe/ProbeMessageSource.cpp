#include "ProbeMessageSource.h"

#include "ProbeBackupSupport.h"
#include "ProbePrivateCopy.h"
#include "app/MadeFolders.h"
#include "app/PrivateCopyNames.h"
#include "app/RegularFile.h"
#include "backup/BackupCacheCopy.h"
#include "backup/BackupManifest.h"
#include "backup/BkCacheDb.h"
#include "backup/lock/BackupFolderLock.h"
#include "messages/modern/IOS6MessageDb.h"
#include "messages/store/IOS5MessageDb.h"
#include "messages/store/MacMessagingDb.h"
#include "messages/store/MsgCopyMarks.h"
#include "messages/store/MsgData.h"
#include "messages/store/MsgPath.h"

#include <QFile>
#include <QFileInfo>
#include <stdexcept>

namespace
{
const char kSmsRel[] = "file-relay/var/mobile/Library/SMS/sms.db";

// Copies a database file with its journal files into folder/rel, so the original is never opened.
void copyDb(const QString& src, const QString& dest)
{
    MadeFolders::makePathThrow(QFileInfo(dest).absolutePath());
    probeCopyDbThrow(src, dest);
}

// True for a database in rollback mode with no -wal or -journal beside it: read-only opens of it
// create no file and change nothing. A WAL-mode file is not (even a read-only open makes its -shm).
bool isUnloggedRollbackDb(const QString& path)
{
    for (const char* suffix : { "-wal", "-journal", "-shm" })
        if (QFile::exists(path + QLatin1String(suffix)))
            return false;
    QFile f;
    if (!RegularFile::openRead(f, path, nullptr)) // a FIFO would keep the open waiting
        return false;
    const QByteArray header = f.read(20);
    return header.size() == 20 && header.startsWith("SQLite format 3") && header.at(18) == 1
        && header.at(19) == 1;
}

} // namespace

void ProbeMessageSource::takeSmsDb(const QString& src, const QString& dest)
{
    if (access == Access::LinkUnloggedSmsDb && isUnloggedRollbackDb(src)) {
        MadeFolders::makePathThrow(QFileInfo(dest).absolutePath());
        if (QFile::link(QFileInfo(src).absoluteFilePath(), dest)) {
            PrivateCopyNames::note(dest, src);
            return;
        }
    }
    copyDb(src, dest);
}

ProbeMessageSource::ProbeMessageSource(const QString& path, Access access)
    : access(access)
{
    ProbeBackup::requireEnterable(path);
    const QFileInfo info(path);
    if (!info.exists())
        throw std::runtime_error(QStringLiteral("%1 does not exist").arg(path).toStdString());
    // Everything is read from a private copy: the probe never writes beside the given files.
    if (!work.isValid())
        throw std::runtime_error("Cannot create a temporary folder");
    const QDir folder(work.path());
    if (info.isDir()) {
        const QDir src(info.absoluteFilePath());
        if (QFile::exists(src.absoluteFilePath(kSmsRel))) {
            takeSmsDb(src.absoluteFilePath(kSmsRel), folder.absoluteFilePath(kSmsRel));
            sourceRelay = src.absoluteFilePath(QStringLiteral("file-relay"));
            sourceFolder = src.absolutePath();
            ownStore = !BkCacheDb::recordsCopiesIn(src);
            const QString ab = "file-relay/var/mobile/Library/AddressBook/";
            for (const char* f : { "AddressBook.sqlitedb", "AddressBookImages.sqlitedb" })
                if (QFile::exists(src.absoluteFilePath(ab + f)))
                    copyDb(src.absoluteFilePath(ab + f), folder.absoluteFilePath(ab + f));
        } else if (QFile::exists(src.absoluteFilePath("Manifest.db"))
            || QFile::exists(src.absoluteFilePath("Manifest.mbdb"))) {
            // A backup folder: its sms.db found through the manifest and copied out, held only
            // meanwhile (a restore of it into another backup beside the reverse one waits for
            // neither).
            const BackupFolderLock reading(src, BackupFolderLock::Mode::Shared);
            BackupManifest manifest(src.absolutePath());
            try {
                manifest.readManifestInfo();
            } catch (const std::exception&) {
                // No Manifest.plist: taken as an unencrypted backup.
            }
            if (manifest.IsEncrypted)
                throw std::runtime_error("encrypted backup: copy its files into a cache folder first");
            manifest.parseInfo();
            if (!manifest.smsNode)
                throw std::runtime_error("the backup holds no Library/SMS/sms.db");
            MadeFolders::makePathThrow(QFileInfo(folder.absoluteFilePath(kSmsRel)).absolutePath());
            BackupCacheCopy::copyWithLogThrow(manifest, manifest.smsNode, folder.absoluteFilePath(kSmsRel));
        } else if (QFile::exists(src.absoluteFilePath("chat.db"))) {
            copyDb(src.absoluteFilePath("chat.db"), folder.absoluteFilePath("chat.db"));
            kind = "mac";
        } else {
            throw std::runtime_error(QStringLiteral("%1 holds no message database (%2 or chat.db)")
                                         .arg(path, kSmsRel)
                                         .toStdString());
        }
    } else if (info.fileName() == QLatin1String("chat.db")) {
        copyDb(info.absoluteFilePath(), folder.absoluteFilePath("chat.db"));
        kind = "mac";
    } else {
        takeSmsDb(info.absoluteFilePath(), folder.absoluteFilePath(kSmsRel));
    }
    if (kind == "mac") {
        reader = std::make_unique<MacMessagingDb>(folder);
    } else if (AbsIOSMessageDb::checkDbType(folder.absoluteFilePath(kSmsRel)) == 6) {
        kind = "ios6";
        auto modern = std::make_unique<IOS6MessageDb>(folder, _CountryInfo(), false);
        // Its attachment files are read where they lie in the store given.
        if (ownStore)
            modern->readAsOwnStore(QDir(sourceRelay));
        reader = std::move(modern);
    } else {
        kind = "ios5";
        reader = std::make_unique<IOS5MessageDb>(folder, _CountryInfo());
    }
}

void ProbeMessageSource::load(MsgData& data)
{
    reader->messages(data, 0);
    if (sourceRelay.isEmpty())
        return;
    // Attachment files are read where they lie in the given cache folder, not in the copy.
    const QDir copy(QDir(work.path()).absoluteFilePath(QStringLiteral("file-relay")));
    const QString copyRelay = copy.absolutePath() + '/';
    for (_MsgAttachment* a : std::as_const(data.p()->attachments)) {
        if (!a || !a->_path.startsWith(copyRelay))
            continue;
        // A path the reader made of the phone's names is looked up by them where the file lies: the
        // copy there may stand at a name set aside (another case of it found another record's).
        const QString& name = a->filename;
        const bool byName = !name.isEmpty() && msgRelayPath(copy, name) == a->_path;
        a->_path = msgSourcePath(QDir(sourceRelay),
            byName ? msgRelayPath(QDir(sourceRelay), a->filename)
                   : sourceRelay + '/' + a->_path.mid(copyRelay.size()));
    }
    QString unread;
    MsgCopyMarks::apply(data, QDir(sourceFolder), &unread);
    if (!unread.isEmpty())
        qWarning("%s", qUtf8Printable(unread));
}
