#include "app/ui/DataSources.h"

#include "app/MadeFolders.h"
#include "app/TaskCancel.h"
#include "backup/BackupCacheCopy.h"
#include "backup/BkCacheDb.h"
#include "backup/MBDBParser.h"
#include "backup/StoredFile.h"
#include "calls_calendars/IOSCalendarDb.h"
#include "calls_calendars/IOSCallHistoryDb.h"
#include "calls_calendars/LocalCalendarsDb.h"
#include "calls_calendars/LocalCallHistoryDb.h"
#include "contacts/store/IOSContactCombineRule.h"
#include "contacts/store/IOSContactsDb.h"
#include "contacts/store/LocalContactsDb.h"
#include "messages/modern/IOS6MessageDb.h"
#include "messages/store/AbsIOSMessageDb.h"
#include "messages/store/CountryInfo.h"
#include "messages/store/IOS5MessageDb.h"
#include "notes_media/IOSBookmarkDb.h"
#include "notes_media/IOSNotesDb.h"
#include "notes_media/IOSRecordingDb.h"
#include "notes_media/IOSVoicemailDb.h"
#include "notes_media/LocalBookmarkDb.h"
#include "notes_media/LocalNotesDb.h"

#include <QFile>
#include <QFileInfo>
#include <QPair>
#include <algorithm>
#include <exception>
#include <stdexcept>

namespace
{

const char* const kSmsDbPath = "file-relay/var/mobile/Library/SMS/sms.db";

// A count of the database the cache holds at path (none when empty). One that cannot be made (a
// damaged file, one SQLite cannot read, another generation's without the kind's tables, a copy the
// load found is not what the phone wrote, a count its task's cancel stopped) is not known, never 0;
// it is logged unless the load's fault says why.
template <class Count> qint64 countIfPresent(const QString& path, const char* what, bool faulted, Count count)
{
    if (path.isEmpty())
        return 0;
    try {
        return count();
    } catch (const std::exception& e) {
        if (!faulted && !TaskCancel::requested())
            qWarning("%s not counted: %s", what, e.what());
        return DataSources::kUnknownCount;
    }
}

// A count of the store of a local database at path, which its open makes empty when missing. One
// that cannot be made (a file that is not a database, a table missing, a schema SQLite rejects, a
// store that cannot be made) is not known, never 0, and is logged with the store's file.
template <class Count> qint64 countLocal(const QString& path, const char* what, Count count)
{
    const QByteArray named
        = QStringLiteral("%1 of %2").arg(QLatin1String(what), QDir::toNativeSeparators(path)).toUtf8();
    return countIfPresent(path, named.constData(), false, count);
}

// Copies a stored file to dest as a load copies it into the cache, for the counts.
void copyCountedThrow(const BackupManifest& m, const BackupManifest::_FileNode* node, const QString& dest)
{
    QString text;
    // A pipe or device would be read without end: it is unreadable too.
    if (m.storedState(node, &text) == StoredFile::State::Unreadable)
        throw std::runtime_error(text.toStdString());
    MadeFolders::makePathThrow(QFileInfo(dest).absolutePath());
    BackupCacheCopy::copyWithLogThrow(m, node, dest);
}

// The path of a file the cache holds, empty when it holds none.
QString cached(const QDir& cacheDir, const QString& name)
{
    return cacheDir.exists(name) ? cacheDir.absoluteFilePath(name) : QString();
}

QString cached(const QDir& cacheDir, const char* domain, const char* path)
{
    return cached(cacheDir, MBDBParser::backupFileName(QLatin1String(domain), QLatin1String(path)));
}

} // namespace

QList<const BackupManifest::_FileNode*> DataSources::backupFilesToCache(const BackupManifest& m)
{
    const BackupManifest::_FileNode* calls
        = m.callHistoryStoreNode ? m.callHistoryStoreNode : m.callHistoryNode;
    return {
        m.addressBookNode,
        m.addressBookImagesNode,
        m.voicemailNode,
        m.calendarNode,
        m.notesNode,
        calls,
        m.recordingsNode,
        m.bookmarksNode,
    };
}

bool DataSources::cacheLacksFiles(
    const BackupManifest& m, const BackupLoadFaults& faults, const QDir& cacheDir)
{
    // A file the load found not to be what the phone wrote may have no copy (the message database
    // never has one): the load has said so, and says it again at the next load, not per page.
    const auto refused = [&](const BackupManifest::_FileNode* node, const char* cacheDb) {
        const QString db = cacheDir.absoluteFilePath(QLatin1String(cacheDb));
        if (!QFileInfo(db).isFile())
            return false;
        try {
            BkCacheDb cache(db);
            return BackupCacheCopy(m, cache).knownNotAsWritten(node);
        } catch (const std::exception& e) {
            qWarning("Cache record %s not read: %s", qUtf8Printable(db), e.what());
            return false;
        }
    };
    // One the last load could not copy has said why, and each page that reads it says it again.
    auto lacks = [&](const BackupManifest::_FileNode* node, const QString& copy, const char* cacheDb) {
        return node && QFileInfo::exists(m.storedFilePath(node->item)) && !QFileInfo::exists(copy)
            && faults.of(node->item.backupFileName()).isEmpty() && !refused(node, cacheDb);
    };
    // The message folder's copies are recorded in "manifest.db", the others' in "manifest2.db".
    if (lacks(m.smsNode, cacheDir.absoluteFilePath(kSmsDbPath), "manifest.db"))
        return true;
    const QList<const BackupManifest::_FileNode*> files = backupFilesToCache(m);
    return std::any_of(files.begin(), files.end(), [&](const BackupManifest::_FileNode* node) {
        return node && lacks(node, cacheDir.absoluteFilePath(node->item.backupFileName()), "manifest2.db");
    });
}

qint64 DataSources::countBackupMessages(const QDir& cacheDir, bool faulted)
{
    const QString path = cacheDir.absoluteFilePath(kSmsDbPath);
    return countIfPresent(QFileInfo::exists(path) ? path : QString(), "Messages", faulted, [&]() -> qint64 {
        const _CountryInfo country;
        switch (AbsIOSMessageDb::checkDbType(path)) {
        case 5:
            return IOS5MessageDb(cacheDir, country).total();
        case 6:
            return IOS6MessageDb(cacheDir, country, false).total();
        default:
            return 0;
        }
    });
}

void DataSources::countBackup(BackupManifest& m, const QDir& cacheDir)
{
    putBackupCounts(m, takeBackupCounts(m, cacheDir));
}

namespace
{
std::function<void()>& beforeEachCount()
{
    static std::function<void()> hook;
    return hook;
}
} // namespace

void DataSources::setBeforeEachCount(std::function<void()> hook)
{
    beforeEachCount() = std::move(hook);
}

DataSources::BackupCounts DataSources::takeBackupCounts(const BackupManifest& m, const QDir& cacheDir)
{
    // A file the backup lists that has no copy was not copied (the backup folder lacks it, the user
    // may not read it, it is no regular file, or the copy of the messages ended at it): its count is
    // unknown, not 0.
    const auto uncopied = [&](const BackupManifest::_FileNode* node, const QString& cacheName) {
        if (!node || cacheDir.exists(cacheName))
            return false;
        const QString why = m.loadFaults.of(node->item.backupFileName());
        qWarning("%s has no copy to count: %s", qUtf8Printable(node->item.relativePath()),
            why.isEmpty() ? "the load made none" : qUtf8Printable(why));
        return true;
    };
    // One whose copy the load faulted and its reader cannot read is that fault again, on its page too.
    BackupCounts counts;
    const auto count = [&](qint64& into, const BackupManifest::_FileNode* node,
                           qint64 (*counter)(const QDir&, bool), const QString& cacheName) {
        if (beforeEachCount())
            beforeEachCount()();
        if (TaskCancel::requested())
            return; // cancelled: this count and the rest stay unknown
        const QString name = node ? node->item.backupFileName() : QString();
        const bool faulted = node && m.loadFaults.contains(name);
        into = uncopied(node, cacheName) ? kUnknownCount : counter(cacheDir, faulted);
        if (faulted && into == kUnknownCount)
            counts.unread.append(name);
    };
    count(counts.messages, m.smsNode, countBackupMessages, QLatin1String(kSmsDbPath));
    const auto countOwn
        = [&](qint64& into, const BackupManifest::_FileNode* node, qint64 (*counter)(const QDir&, bool)) {
              count(into, node, counter, node ? node->item.backupFileName() : QString());
          };
    countOwn(counts.contacts, m.addressBookNode, countBackupContacts);
    countOwn(counts.voicemail, m.voicemailNode, countBackupVoicemail);
    countOwn(counts.calendarEvents, m.calendarNode, countBackupCalendarEvents);
    countOwn(counts.notes, m.notesNode, countBackupNotes);
    countOwn(counts.callHistory, m.callHistoryStoreNode ? m.callHistoryStoreNode : m.callHistoryNode,
        countBackupCallHistory);
    countOwn(counts.recordings, m.recordingsNode, countBackupRecordings);
    countOwn(counts.bookmarks, m.bookmarksNode, countBackupBookmarks);
    return counts;
}

void DataSources::putBackupCounts(BackupManifest& m, const BackupCounts& counts)
{
    m.msgCount = counts.messages;
    m.contactsCount = counts.contacts;
    m.voicemailCount = counts.voicemail;
    m.calendarEventCount = counts.calendarEvents;
    m.notesCount = counts.notes;
    m.callHistoryCount = counts.callHistory;
    m.recordingsCount = counts.recordings;
    m.bookmarksCount = counts.bookmarks;
    for (const QString& name : counts.unread)
        m.loadFaults.markUnread(name);
}

BackupLoadFaults DataSources::unstoredFiles(const BackupManifest& m)
{
    BackupLoadFaults faults;
    QList<const BackupManifest::_FileNode*> files = backupFilesToCache(m);
    files.append(m.smsNode);
    for (const BackupManifest::_FileNode* node : std::as_const(files))
        if (node && m.storedState(node) == StoredFile::State::Missing)
            faults.add(node->item.backupFileName(),
                QStringLiteral("Cannot read %1: the backup lists this file, but the backup folder does not "
                               "hold it.\nRecord: %2 %3")
                    .arg(QDir::toNativeSeparators(m.storedFilePath(node->item)), node->item.domain,
                        node->item.relativePath()));
    return faults;
}

BackupLoadFaults DataSources::copyCountedFiles(const BackupManifest& m, const QDir& folder)
{
    QList<QPair<const BackupManifest::_FileNode*, QString>> files;
    for (const BackupManifest::_FileNode* node : backupFilesToCache(m))
        if (node)
            files.append({ node, folder.absoluteFilePath(node->item.backupFileName()) });
    if (m.smsNode)
        files.append({ m.smsNode, folder.absoluteFilePath(QLatin1String(kSmsDbPath)) });
    BackupLoadFaults failed = unstoredFiles(m);
    for (const auto& [node, dest] : std::as_const(files)) {
        if (m.storedState(node) == StoredFile::State::Missing)
            continue; // not stored: the load copies nothing either, and says so
        const QString name = QStringLiteral("%1: ").arg(node->item.relativePath());
        try {
            copyCountedThrow(m, node, dest);
        } catch (const BackupManifest::NotAsWritten& e) {
            // Its bytes stay and are counted as a load keeps and counts them; a load's copy of the
            // messages ends at such a message database and keeps none of it.
            if (node == m.smsNode)
                QFile::remove(dest);
            failed.add(node->item.backupFileName(), name, e, QString());
        } catch (const std::exception& e) {
            QFile::remove(dest);
            failed.add(node->item.backupFileName(), name, e, QString());
        }
    }
    return failed;
}

QList<const BackupManifest::_FileNode*> DataSources::backupFilesOfKind(const BackupManifest& m, int kind)
{
    switch (kind) {
    case ItemModelBK::KindSms:
        return { m.smsNode };
    case ItemModelBK::KindContacts:
        return { m.addressBookNode, m.addressBookImagesNode };
    case ItemModelBK::KindCallHistory:
        return { m.callHistoryStoreNode ? m.callHistoryStoreNode : m.callHistoryNode };
    case ItemModelBK::KindCalendar:
        return { m.calendarNode };
    case ItemModelBK::KindNotes:
        return { m.notesNode };
    case ItemModelBK::KindBookmarks:
        return { m.bookmarksNode };
    case ItemModelBK::KindVoicemail:
        return { m.voicemailNode };
    case ItemModelBK::KindRecordings:
        return { m.recordingsNode };
    default:
        return {};
    }
}

qint64 DataSources::countLocalDbMessages(const QDir& folder)
{
    return countLocal(folder.absoluteFilePath(QLatin1String(kSmsDbPath)), "Messages",
        [&] { return IOS6MessageDb(folder, _CountryInfo(), true).total(); });
}

ItemModelBK::_LocalDbStat DataSources::countLocalDb(const QDir& folder, bool withCalls)
{
    ItemModelBK::_LocalDbStat stat;
    stat.messageCount = countLocalDbMessages(folder);
    stat.contactCount = countLocalDbContacts(folder);
    stat.calendarCount = countLocalDbCalendarEvents(folder);
    stat.noteCount = countLocalDbNotes(folder);
    stat.bookmarkCount = countLocalDbBookmarks(folder);
    stat.callCount = withCalls ? countLocalDbCalls(folder) : kUnknownCount;
    return stat;
}

// ---- Contacts ----

qint64 DataSources::countBackupContacts(const QDir& cacheDir, bool faulted)
{
    return countIfPresent(cached(cacheDir, QLatin1String(IOSContactsDb::kAddressBookName)), "Contacts",
        faulted, [&] { return IOSContactsDb(cacheDir).total(); });
}

qint64 DataSources::countLocalDbContacts(const QDir& folder)
{
    const QString path = folder.absoluteFilePath(QStringLiteral("contacts.db"));
    return countLocal(path, "Contacts", [&] {
        return LocalContactsDb(path, QSharedPointer<AbsContactCombineRule>(new IOSContactCombineRule))
            .total();
    });
}

// ---- Call history ----

qint64 DataSources::countBackupCallHistory(const QDir& cacheDir, bool faulted)
{
    const QString store = cached(cacheDir, QLatin1String(IOSCallHistoryDb::kStoreFile));
    return countIfPresent(
        store.isEmpty() ? cached(cacheDir, QLatin1String(IOSCallHistoryDb::kOldDbFile)) : store,
        "Call history", faulted, [&] { return IOSCallHistoryDb(cacheDir).total(); });
}

qint64 DataSources::countLocalDbCalls(const QDir& folder)
{
    const QString path = folder.absoluteFilePath(QStringLiteral("calls.db"));
    return countLocal(path, "Call history", [&] { return LocalCallHistoryDb(path).total(); });
}

// ---- Calendars ----

qint64 DataSources::countBackupCalendarEvents(const QDir& cacheDir, bool faulted)
{
    return countIfPresent(cached(cacheDir, QLatin1String(IOSCalendarDb::kCalendarFile)), "Calendar events",
        faulted, [&] { return IOSCalendarDb(nullptr, cacheDir).total(); });
}

qint64 DataSources::countLocalDbCalendarEvents(const QDir& folder)
{
    const QString path = folder.absoluteFilePath(QStringLiteral("calendars.db"));
    return countLocal(path, "Calendar events", [&] { return LocalCalendarsDb(path).total(); });
}

// ---- Notes ----

qint64 DataSources::countBackupNotes(const QDir& cacheDir, bool faulted)
{
    return countIfPresent(cached(cacheDir, "HomeDomain", "Library/Notes/notes.sqlite"), "Notes", faulted,
        [&] { return IOSNotesDb(nullptr, cacheDir).total(); });
}

qint64 DataSources::countLocalDbNotes(const QDir& folder)
{
    const QString path = folder.absoluteFilePath(QStringLiteral("notes.db"));
    return countLocal(path, "Notes", [&] { return LocalNotesDb(path).total(); });
}

// ---- Bookmarks ----

qint64 DataSources::countBackupBookmarks(const QDir& cacheDir, bool faulted)
{
    return countIfPresent(cached(cacheDir, "HomeDomain", "Library/Safari/Bookmarks.db"), "Bookmarks", faulted,
        [&] { return IOSBookmarkDb(nullptr, cacheDir).total(); });
}

qint64 DataSources::countLocalDbBookmarks(const QDir& folder)
{
    const QString path = folder.absoluteFilePath(QStringLiteral("bookmarks.db"));
    return countLocal(path, "Bookmarks", [&] { return LocalBookmarkDb(path).total(); });
}

// ---- Voicemail and recordings ----

qint64 DataSources::countBackupVoicemail(const QDir& cacheDir, bool faulted)
{
    return countIfPresent(cached(cacheDir, "HomeDomain", "Library/Voicemail/voicemail.db"), "Voicemail",
        faulted, [&] { return IOSVoicemailDb(nullptr, cacheDir).total(); });
}

qint64 DataSources::countBackupRecordings(const QDir& cacheDir, bool faulted)
{
    return countIfPresent(cached(cacheDir, "MediaDomain", "Media/Recordings/Recordings.db"), "Recordings",
        faulted, [&] { return IOSRecordingDb(nullptr, cacheDir).total(); });
}

// ---- Old local database layout ----

bool DataSources::canConvertOldMessages()
{
    return false;
}

void DataSources::convertOldMessagesThrow(const QDir& folder)
{
    Q_UNUSED(folder);
    throw std::runtime_error("Old local message files cannot be converted by this version.");
}

bool DataSources::canConvertOldCalendars()
{
    return true;
}
