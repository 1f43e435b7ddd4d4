#include "app/sqlite/Sqlite3DB.h"
#include "app/ui/DataSources.h"
#include "backup/MBDBParser.h"
#include "calls_calendars/IOSCalendarDb.h"
#include "calls_calendars/IOSCallHistoryDb.h"
#include "contacts/store/IOSContactsDb.h"
#include "messages/modern/IOS6MessageDb.h"
#include "messages/store/IOS5MessageDb.h"
#include "messages/store/MsgData.h"
#include "notes_media/IOSNotesDb.h"
#include "notes_media/IOSRecordingDb.h"
#include "notes_media/IOSVoicemailDb.h"
#include "notes_media/LocalBookmarkDb.h"
#include "notes_media/LocalNotesDb.h"
#include "notes_media/support/NotesFixtures.h"
#include "support/TestEnv.h"

#include <QFile>
#include <QHash>
#include <QtTest>
#include <algorithm>
#include <functional>

// The counts of the tree of data sources for notes, bookmarks, voicemail and recordings, and of every
// kind against what its page reads.
class TestNotesCounts : public QObject
{
    Q_OBJECT

    // A generated database of one kind in a cache folder, its count and what its page lists.
    struct Kind {
        std::function<QDir()> cache;
        QString file; // its name in the cache
        qint64 (*count)(const QDir&, bool) = nullptr;
        std::function<qint64(const QDir&)> page;
    };
    static QHash<QString, Kind> kinds()
    {
        const auto generated
            = [](const QStringList& args, const char* name, const char* domain, const char* rel) {
                  return [=] {
                      return NotesFixtures::cacheWith(
                          NotesFixtures::generate(args.first(), args.mid(1), name), domain, rel);
                  };
              };
        const auto file
            = [](const char* domain, const char* rel) { return MBDBParser::backupFileName(domain, rel); };
        return {
            { "voicemail",
                { generated({ "make_media_db.py", "voicemail", "--count", "3" }, "voicemail.db", "HomeDomain",
                      "Library/Voicemail/voicemail.db"),
                    file("HomeDomain", "Library/Voicemail/voicemail.db"), DataSources::countBackupVoicemail,
                    [](const QDir& d) { return qint64(IOSVoicemailDb(nullptr, d).voicemails().size()); } } },
            { "recordings",
                { generated({ "make_media_db.py", "recordings", "--count", "3" }, "Recordings.db",
                      "MediaDomain", "Media/Recordings/Recordings.db"),
                    file("MediaDomain", "Media/Recordings/Recordings.db"), DataSources::countBackupRecordings,
                    [](const QDir& d) { return qint64(IOSRecordingDb(nullptr, d).recordings().size()); } } },
            { "notes",
                { generated(
                      { "make_notes_db.py" }, "notes.sqlite", "HomeDomain", "Library/Notes/notes.sqlite"),
                    file("HomeDomain", "Library/Notes/notes.sqlite"), DataSources::countBackupNotes,
                    [](const QDir& d) { return qint64(IOSNotesDb(nullptr, d).notes().size()); } } },
            { "calls",
                { generated({ "make_call_history.py" }, "CallHistory.storedata", "HomeDomain",
                      "Library/CallHistoryDB/CallHistory.storedata"),
                    IOSCallHistoryDb::kStoreFile, DataSources::countBackupCallHistory,
                    [](const QDir& d) { return qint64(IOSCallHistoryDb(d).callHistories().size()); } } },
            { "calendar",
                { generated({ "make_calendar_db.py" }, "Calendar.sqlitedb", "HomeDomain",
                      "Library/Calendar/Calendar.sqlitedb"),
                    IOSCalendarDb::kCalendarFile, DataSources::countBackupCalendarEvents,
                    [](const QDir& d) {
                        qint64 events = 0;
                        for (const _Calendar& c : IOSCalendarDb(nullptr, d).calendars())
                            events += c.events.size();
                        return events;
                    } } },
            { "messages", messages("ios6") },
            { "iOS 5 messages", messages("ios5") },
            { "contacts",
                { [] {
                     return QDir(
                         NotesFixtures::generate("make_addressbook.py", { "--demo", "--hashed" }, "book"));
                 },
                    IOSContactsDb::kAddressBookName, DataSources::countBackupContacts,
                    [](const QDir& d) { return qint64(IOSContactsDb(d).contacts().size()); } } },
        };
    }
    // A generated message database of layout ("ios5" or "ios6") in a cache folder; its page lists
    // the messages of its rows (an MMS part beyond the first is listed as a copy of its message).
    static Kind messages(const char* layout)
    {
        return { [=] { return QDir(NotesFixtures::generate("make_sms_db.py", { layout }, "sms")); },
            "file-relay/var/mobile/Library/SMS/sms.db", DataSources::countBackupMessages,
            [=](const QDir& d) {
                MsgData data;
                if (qstrcmp(layout, "ios5") == 0)
                    IOS5MessageDb(d, _CountryInfo()).messages(data, 0);
                else
                    IOS6MessageDb(d, _CountryInfo(), false).messages(data, 0);
                const QList<_MsgMessage*> list = data.messages();
                return qint64(
                    std::count_if(list.begin(), list.end(), [](_MsgMessage* m) { return m->rowid > 0; }));
            } };
    }
    // Makes column of table name a collating sequence no build has.
    static QString collation(const QString& table, const QString& column)
    {
        return QString("pragma writable_schema = on; update sqlite_master set sql = replace(sql, '%1', '%1 "
                       "collate nosuch') where name = '%2'; pragma writable_schema = off; ")
            .arg(column, table);
    }

private Q_SLOTS:
    void countsRealBackupFiles()
    {
        QM_REQUIRE_SHARED();
        const QString real = TestEnv::realFixture("otapki-iphone");
        const QDir cache(TestEnv::tempDir());
        const QList<QStringList> files {
            { "HomeDomain", "Library/Safari/Bookmarks.db" },
            { "HomeDomain", "Library/Notes/notes.sqlite" },
            { "HomeDomain", "Library/Voicemail/voicemail.db" },
            { "MediaDomain", "Media/Recordings/Recordings.db" },
        };
        for (const QStringList& f : files) {
            const QString dest = cache.absoluteFilePath(MBDBParser::backupFileName(f[0], f[1]));
            QVERIFY(QFile::copy(real + "/" + f[0] + "/" + f[1], dest));
            QFile::setPermissions(dest, QFile::ReadOwner | QFile::WriteOwner);
        }
        QCOMPARE(DataSources::countBackupBookmarks(cache), 9);
        QCOMPARE(DataSources::countBackupNotes(cache), 0);
        QCOMPARE(DataSources::countBackupVoicemail(cache), 0);
        QCOMPARE(DataSources::countBackupRecordings(cache), 0);
    }

    void countsGeneratedAndMissingFiles()
    {
        const QDir notes
            = NotesFixtures::notesCache(NotesFixtures::generate("make_notes_db.py", {}, "notes.sqlite"));
        QCOMPARE(DataSources::countBackupNotes(notes), 5);
        const QDir empty(TestEnv::tempDir());
        QCOMPARE(DataSources::countBackupNotes(empty), 0);
        QCOMPARE(DataSources::countBackupBookmarks(empty), 0);
        QCOMPARE(DataSources::countBackupVoicemail(empty), 0);
        QCOMPARE(DataSources::countBackupRecordings(empty), 0);
    }

    // Each kind is counted by its page's own reading: the count is what the page lists, and is not
    // known where the page cannot read the file.
    void countedAsThePageReads_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QString>("sql"); // made into the generated database
        QTest::addColumn<qint64>("count");
        const QString ownTable
            = "drop table voicemail; create table voicemail (id integer primary key, sender, "
              "date, duration, flags, trashed_date)%1; insert into voicemail values (1, 'a', 1, "
              "1, 0, 0), (2, 'b', 2, 1, 0, 0), (3, 'c', 3, 1, 2, 0)";
        QTest::newRow("voicemail of a table of its own") << "voicemail" << ownTable.arg("") << qint64(3);
        QTest::newRow("voicemail without the row numbers it lists by")
            << "voicemail" << ownTable.arg(" without rowid") << DataSources::kUnknownCount;
        // Read without what it cannot read: in plain order, through the table itself.
        QTest::newRow("voicemail whose columns name a collation no build has")
            << "voicemail" << collation("voicemail", "date INTEGER") + collation("voicemail", "sender TEXT")
            << qint64(3);
        QTest::newRow("recordings whose columns name a collation no build has")
            << "recordings" << collation("ZRECORDING", "ZDATE TIMESTAMP") << qint64(3);
        // A value larger than a phone keeps, which the page cannot read.
        const QString huge = "update %1 set %2 = zeroblob(140000000) where %3";
        QTest::newRow("note body over the value bound")
            << "notes" << huge.arg("ZNOTEBODY", "ZCONTENT", "Z_PK = (select min(ZBODY) from ZNOTE)")
            << DataSources::kUnknownCount;
        QTest::newRow("caller name over the value bound")
            << "calls" << huge.arg("ZCALLRECORD", "ZNAME", "Z_PK = (select min(Z_PK) from ZCALLRECORD)")
            << DataSources::kUnknownCount;
        QTest::newRow("event notes over the value bound")
            << "calendar"
            << huge.arg("CalendarItem", "description",
                   "rowid = (select min(i.rowid) from CalendarItem as i join Calendar as c on i.calendar_id "
                   "= "
                   "c.rowid where i.entity_type = 2 and (i.birthday_id <= 0 or i.birthday_id is null))")
            << DataSources::kUnknownCount;
        QTest::newRow("contact name over the value bound")
            << "contacts" << huge.arg("ABPerson", "First", "rowid = (select min(rowid) from ABPerson)")
            << DataSources::kUnknownCount;
        QTest::newRow("contact phone over the value bound")
            << "contacts"
            << huge.arg(
                   "ABMultiValue", "value", "UID = (select min(UID) from ABMultiValue where property = 3)")
            << DataSources::kUnknownCount;
        QTest::newRow("contact street over the value bound")
            << "contacts"
            << huge.arg("ABMultiValueEntry", "value",
                   "key = (select rowid from ABMultiValueEntryKey where value = 'Street')")
            << DataSources::kUnknownCount;
        QTest::newRow("event place over the value bound")
            << "calendar" << huge.arg("Location", "title", "rowid = (select min(rowid) from Location)")
            << DataSources::kUnknownCount;
        QTest::newRow("message text over the value bound")
            << "messages"
            << huge.arg("message", "text", "rowid = (select min(message_id) from chat_message_join)")
            << DataSources::kUnknownCount;
        // Read with the rest, for the chats' latest dates, though never listed.
        QTest::newRow("text of a location-sharing row over the value bound")
            << "messages" << huge.arg("message", "text", "item_type = 4") << DataSources::kUnknownCount;
        QTest::newRow("iOS 5 message text over the value bound")
            << "iOS 5 messages" << huge.arg("message", "text", "rowid = (select min(rowid) from message)")
            << DataSources::kUnknownCount;
    }
    void countedAsThePageReads()
    {
        QFETCH(QString, kind);
        QFETCH(QString, sql);
        QFETCH(qint64, count);
        QVERIFY(kinds().contains(kind));
        const Kind k = kinds().value(kind);
        const QDir cache = k.cache();
        QVERIFY(QFile::exists(cache.absoluteFilePath(k.file)));
        {
            Sqlite3DB db;
            db.openThrow(cache.absoluteFilePath(k.file), SQLITE_OPEN_READWRITE);
            db.executeThrow(sql);
        }
        QCOMPARE(k.count(cache, false), count);
        qint64 listed = DataSources::kUnknownCount;
        try {
            listed = k.page(cache);
        } catch (const std::exception&) {
        }
        QCOMPARE(listed, count);
    }

    // Counting a local database makes its missing notes and bookmark stores.
    void localStoresAreMadeAndCounted()
    {
        const QDir folder(TestEnv::tempDir());
        QCOMPARE(DataSources::countLocalDbNotes(folder), 0);
        QCOMPARE(DataSources::countLocalDbBookmarks(folder), 0);
        QVERIFY(QFile::exists(folder.absoluteFilePath("notes.db")));
        QVERIFY(QFile::exists(folder.absoluteFilePath("bookmarks.db")));
        {
            LocalNotesDb store(folder.absoluteFilePath("notes.db"));
            _Notes n;
            n.title = "t";
            store.saveNote(n);
            LocalBookmarkDb bookmarks(folder.absoluteFilePath("bookmarks.db"));
            _Bookmark folderNode(nullptr, true, "f", "", 0, "", 0);
            folderNode.children.append(new _Bookmark(&folderNode, false, "b", "http://b/", 0, "", 0));
            QList<_Bookmark*> added;
            bookmarks.saveBookmarks(&folderNode, added);
        }
        QCOMPARE(DataSources::countLocalDbNotes(folder), 1);
        QCOMPARE(DataSources::countLocalDbBookmarks(folder), 1);
    }
};

QTEST_MAIN(TestNotesCounts)
#include "TestNotesCounts.moc"
