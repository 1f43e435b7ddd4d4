#include "app/sqlite/Sqlite3DB.h"
#include "app/ui/DataSources.h"
#include "backup/MBDBParser.h"
#include "notes_media/LocalBookmarkDb.h"
#include "notes_media/LocalNotesDb.h"
#include "notes_media/support/NotesFixtures.h"
#include "support/TestEnv.h"

#include <QFile>
#include <QtTest>

// The counts of the tree of data sources for notes, bookmarks, voicemail and recordings.
class TestNotesCounts : public QObject
{
    Q_OBJECT
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
        // Counted as the page lists them: a table without the row numbers it lists by has no count.
        for (const char* kind : { "", " without rowid" }) {
            const QDir cache(TestEnv::tempDir());
            Sqlite3DB db;
            db.openThrow(cache.absoluteFilePath(
                             MBDBParser::backupFileName("HomeDomain", "Library/Voicemail/voicemail.db")),
                SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE);
            db.executeThrow(
                QString("create table voicemail (id integer primary key, sender, date, duration, "
                        "flags, trashed_date)%1; insert into voicemail values (1, 'a', 1, 1, 0, 0), "
                        "(2, 'b', 2, 1, 0, 0), (3, 'c', 3, 1, 2, 0)")
                    .arg(kind));
            db.close();
            QCOMPARE(DataSources::countBackupVoicemail(cache), *kind ? DataSources::kUnknownCount : 3);
        }
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
