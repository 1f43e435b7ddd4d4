#include "notes_media/IOSNotesDb.h"
#include "notes_media/LocalNotesDb.h"
#include "notes_media/support/NotesFixtures.h"
#include "support/TestEnv.h"

#include <QtTest>

namespace
{

_Notes note(const QString& title, const QString& content, const QString& src = "1")
{
    _Notes n;
    n.title = title;
    n.content = content;
    n.summary = "s-" + src;
    n.srcId = src;
    n.devId = "dev";
    n.createDate = QDateTime::fromSecsSinceEpoch(1000, Qt::UTC);
    n.modifiedDate = QDateTime::fromSecsSinceEpoch(2000 + src.toInt(), Qt::UTC);
    return n;
}

} // namespace

// The backup's notes reader, the local notes store and the identity of a note.
class TestNotesStores : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void hashSeparatesTitleFromContent()
    {
        QVERIFY(note("ab", "c").toHash() != note("a", "bc").toHash());
        QCOMPARE(note("ab", "c", "1").toHash(), note("ab", "c", "2").toHash());
        QCOMPARE(note("t", "c").toHash().size(), 32);
    }

    void readsGeneratedNotes()
    {
        const QString file = NotesFixtures::generate("make_notes_db.py", {}, "notes.sqlite");
        IOSNotesDb db(nullptr, NotesFixtures::notesCache(file));
        QCOMPARE(db.total(), 5);
        const QList<_Notes> notes = db.notes();
        QCOMPARE(notes.size(), 5);
        // Newest change first.
        QCOMPARE(notes.first().srcId, QString("5"));
        const _Notes& fish = notes.at(3);
        QCOMPARE(fish.title, QString("Fish & <chips>"));
        QCOMPARE(fish.content, QString("<p>Fried <b>fish</b></p>"));
        QCOMPARE(fish.devId, QString("GUID-2"));
        QCOMPARE(fish.createDate, QDateTime(QDate(2013, 9, 4), QTime(16, 6, 40), Qt::UTC));
        QCOMPARE(fish.modifiedDate, fish.createDate.addSecs(60));
    }

    void realBackupHasNoNotes()
    {
        QM_REQUIRE_SHARED();
        const QString file = TestEnv::realFixture("otapki-iphone/HomeDomain/Library/Notes/notes.sqlite");
        IOSNotesDb db(nullptr, NotesFixtures::notesCache(file));
        QCOMPARE(db.total(), 0);
        QVERIFY(db.notes().isEmpty());
        IOSNotesDb missing(nullptr, QDir(TestEnv::tempDir()));
        QVERIFY_THROWS_EXCEPTION(std::runtime_error, missing.total());
    }

    void storeUpdatesSameTitleAndContent()
    {
        LocalNotesDb store(TestEnv::tempDir() + "/notes.db");
        QCOMPARE(store.total(), 0);
        store.saveNote(note("t", "c", "1"));
        store.saveNote(note("ab", "c", "2"));
        store.saveNote(note("a", "bc", "3"));
        store.saveNote(note("t", "c", "4")); // same title and content: the row of "1" is updated
        QCOMPARE(store.total(), 3);
        const QList<_Notes> read = store.notes();
        QCOMPARE(read.size(), 3);
        QCOMPARE(read.first().summary, QString("s-4"));
        QCOMPARE(read.first().modifiedDate, QDateTime::fromSecsSinceEpoch(2004, Qt::UTC));
        QCOMPARE(read.first().devId, QString("dev"));
    }
};

QTEST_GUILESS_MAIN(TestNotesStores)
#include "TestNotesStores.moc"
