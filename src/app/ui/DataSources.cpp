#include "app/ui/DataSources.h"

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

#include <QFileInfo>
#include <exception>
#include <stdexcept>

namespace
{

const char* const kSmsDbPath = "file-relay/var/mobile/Library/SMS/sms.db";

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

qint64 DataSources::countBackupMessages(const QDir& cacheDir)
{
    try {
        const QString path = cacheDir.absoluteFilePath(kSmsDbPath);
        if (!QFileInfo::exists(path))
            return 0;
        const _CountryInfo country;
        switch (AbsIOSMessageDb::checkDbType(path)) {
        case 5:
            return IOS5MessageDb(cacheDir, country).total();
        case 6:
            return IOS6MessageDb(cacheDir, country, false).total();
        default:
            return 0;
        }
    } catch (const std::exception& e) {
        qWarning("Messages not counted: %s", e.what());
        return 0;
    }
}

void DataSources::countBackup(BackupManifest& m, const QDir& cacheDir)
{
    m.msgCount = countBackupMessages(cacheDir);
    m.contactsCount = countBackupContacts(cacheDir);
    m.voicemailCount = countBackupVoicemail(cacheDir);
    m.calendarEventCount = countBackupCalendarEvents(cacheDir);
    m.notesCount = countBackupNotes(cacheDir);
    m.callHistoryCount = countBackupCallHistory(cacheDir);
    m.recordingsCount = countBackupRecordings(cacheDir);
    m.bookmarksCount = countBackupBookmarks(cacheDir);
}

qint64 DataSources::countLocalDbMessages(const QDir& folder)
{
    try {
        return IOS6MessageDb(folder, _CountryInfo(), true).total();
    } catch (const std::exception& e) {
        qWarning("Local messages of %s not counted: %s", qUtf8Printable(folder.dirName()), e.what());
        return 0;
    }
}

ItemModelBK::_LocalDbStat DataSources::countLocalDb(const QDir& folder, bool withCalls)
{
    ItemModelBK::_LocalDbStat stat;
    stat.messageCount = countLocalDbMessages(folder);
    stat.contactCount = countLocalDbContacts(folder);
    stat.calendarCount = countLocalDbCalendarEvents(folder);
    stat.noteCount = countLocalDbNotes(folder);
    stat.bookmarkCount = countLocalDbBookmarks(folder);
    if (withCalls)
        stat.callCount = countLocalDbCalls(folder);
    return stat;
}

// ---- Contacts ----

qint64 DataSources::countBackupContacts(const QDir& cacheDir)
{
    try {
        return IOSContactsDb(cacheDir).total();
    } catch (const std::exception& e) {
        qWarning("Contacts not counted: %s", e.what());
        return 0;
    }
}

qint64 DataSources::countLocalDbContacts(const QDir& folder)
{
    // Opening creates an empty contacts.db in a folder that has none; a failure counts 0.
    LocalContactsDb store(folder.absoluteFilePath(QStringLiteral("contacts.db")),
        QSharedPointer<AbsContactCombineRule>(new IOSContactCombineRule));
    return store.total();
}

// ---- Call history ----

qint64 DataSources::countBackupCallHistory(const QDir& cacheDir)
{
    try {
        return IOSCallHistoryDb(cacheDir).total();
    } catch (const std::exception& e) {
        qWarning("Call history not counted: %s", e.what());
        return 0;
    }
}

qint64 DataSources::countLocalDbCalls(const QDir& folder)
{
    try {
        return LocalCallHistoryDb(folder.absoluteFilePath(QStringLiteral("calls.db"))).total();
    } catch (const std::exception& e) {
        qWarning("Local calls of %s not counted: %s", qUtf8Printable(folder.dirName()), e.what());
        return 0;
    }
}

// ---- Calendars ----

qint64 DataSources::countBackupCalendarEvents(const QDir& cacheDir)
{
    try {
        // Only a backup that holds the calendar database has it in its cache.
        if (!cacheDir.exists(QLatin1String(IOSCalendarDb::kCalendarFile)))
            return 0;
        return IOSCalendarDb(nullptr, cacheDir).total();
    } catch (const std::exception& e) {
        qWarning("Calendar events not counted: %s", e.what());
        return 0;
    }
}

qint64 DataSources::countLocalDbCalendarEvents(const QDir& folder)
{
    return LocalCalendarsDb(folder.absoluteFilePath(QStringLiteral("calendars.db"))).total();
}

// ---- Notes ----

qint64 DataSources::countBackupNotes(const QDir& cacheDir)
{
    try {
        return IOSNotesDb(nullptr, cacheDir).total();
    } catch (const std::exception& e) {
        qWarning("Notes not counted: %s", e.what());
        return 0;
    }
}

qint64 DataSources::countLocalDbNotes(const QDir& folder)
{
    return LocalNotesDb(folder.absoluteFilePath(QStringLiteral("notes.db"))).total();
}

// ---- Bookmarks ----

qint64 DataSources::countBackupBookmarks(const QDir& cacheDir)
{
    try {
        return IOSBookmarkDb(nullptr, cacheDir).total();
    } catch (const std::exception& e) {
        qWarning("Bookmarks not counted: %s", e.what());
        return 0;
    }
}

qint64 DataSources::countLocalDbBookmarks(const QDir& folder)
{
    return LocalBookmarkDb(folder.absoluteFilePath(QStringLiteral("bookmarks.db"))).total();
}

// ---- Voicemail and recordings ----

qint64 DataSources::countBackupVoicemail(const QDir& cacheDir)
{
    try {
        return IOSVoicemailDb(nullptr, cacheDir).total();
    } catch (const std::exception& e) {
        qWarning("Voicemail not counted: %s", e.what());
        return 0;
    }
}

qint64 DataSources::countBackupRecordings(const QDir& cacheDir)
{
    try {
        return IOSRecordingDb(nullptr, cacheDir).total();
    } catch (const std::exception& e) {
        qWarning("Recordings not counted: %s", e.what());
        return 0;
    }
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
