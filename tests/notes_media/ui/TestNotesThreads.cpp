#include "app/IdsTranslator.h"
#include "app/OutputFile.h"
#include "app/ui/shared/ProgressForm.h"
#include "app/ui/support/EnglishTexts.h"
#include "notes_media/IOSNotesDb.h"
#include "notes_media/LocalNotesDb.h"
#include "notes_media/support/NotesFixtures.h"
#include "notes_media/ui/BackupNotesThread.h"
#include "notes_media/ui/ExportNotesThread.h"
#include "support/ForeignDisk.h"
#include "support/NameMark.h"
#include "support/TestEnv.h"

#include <QDir>
#include <QFile>
#include <QXmlStreamReader>
#include <QtTest>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <sys/resource.h>

namespace
{

template <class Thread, class... Args> int runThread(QString* text, Args&&... args)
{
    ProgressForm form;
    form.setQuiet(true);
    Thread t(std::forward<Args>(args)..., &form);
    t.start();
    const int r = form.exec();
    t.wait();
    *text = form.resultText();
    return r;
}

QList<_Notes> generatedNotes()
{
    const QString file = NotesFixtures::generate("make_notes_db.py", {}, "notes.sqlite");
    return IOSNotesDb(nullptr, NotesFixtures::notesCache(file)).notes();
}

// A disk that refuses with EPERM the first two files made: a name and the one fitted from it.
int g_creates = 0;
int refusingCaf(int dir, const char* name, int flags, mode_t mode)
{
    if (++g_creates <= 2) {
        errno = EPERM;
        return -1;
    }
    return ::openat(dir, name, flags, mode);
}

} // namespace

class TestNotesThreads : public QObject
{
    Q_OBJECT
    IdsTranslator m_translator;
private Q_SLOTS:
    void initTestCase() { installEnglishTexts(m_translator); }

    void savesIntoLocalStoreTwice()
    {
        const QList<_Notes> notes = generatedNotes();
        LocalNotesDb store(TestEnv::tempDir() + "/notes.db");
        QString text;
        QCOMPARE(runThread<BackupNotesThread>(&text, &store, notes), 1);
        QCOMPARE(text, QString("Successfully backup 5 notes."));
        QCOMPARE(runThread<BackupNotesThread>(&text, &store, notes), 1);
        QCOMPARE(text, QString("Successfully backup 5 notes."));
        QCOMPARE(store.total(), 5);
        // Two notes of the list with the same title and content end in one row.
        QList<_Notes> twins { notes.first(), notes.first() };
        twins[1].summary = "later";
        LocalNotesDb other(TestEnv::tempDir() + "/notes.db");
        QCOMPARE(runThread<BackupNotesThread>(&text, &other, twins), 1);
        QCOMPARE(other.total(), 1);
        QCOMPARE(other.notes().first().summary, QString("later"));
        QCOMPARE(runThread<BackupNotesThread>(&text, &other, QList<_Notes>()), 1);
        QCOMPARE(text, QString("Successfully backup 0 notes."));
    }

    void failureRollsBack()
    {
        LocalNotesDb store(TestEnv::tempDir() + "/notes.db");
        store.open();
        store.db.executeThrow("create trigger refuse before insert on notes when new.title='Shopping' "
                              "begin select raise(abort, 'refused'); end");
        QString text;
        QCOMPARE(runThread<BackupNotesThread>(&text, &store, generatedNotes()), 0);
        QVERIFY2(text.contains("refused"), qPrintable(text));
        QCOMPARE(store.total(), 0);
    }

    void exportsOnePagePerNote()
    {
        const QString folder = TestEnv::tempDir() + "/out/notes";
        QString text;
        QCOMPARE(runThread<ExportNotesThread>(&text, generatedNotes(), folder), 1);
        QCOMPARE(text, QString("Successfully extracted 5 Notes."));
        QStringList names = QDir(folder).entryList(QDir::Files);
        names.sort();
        QCOMPARE(names,
            QStringList({ "1-Milk, eggs bread.html", "2-A summary that is lo.html",
                "3-1234567890123456789.html", "4-same.html", "5-same.html" }));
        for (const QString& name : names) {
            QFile f(QDir(folder).absoluteFilePath(name));
            QVERIFY(f.open(QIODevice::ReadOnly));
            QXmlStreamReader xml(f.readAll());
            while (!xml.atEnd())
                xml.readNext();
            QVERIFY2(!xml.hasError(), qPrintable(name + ": " + xml.errorString()));
        }
    }

    // Onto the disks desktop systems mount, a page whose name the disk refuses is written under a
    // name fitted to it, marked with the whole name, and said so; the others as they stand.
    void exportsOntoDesktopDisks_data()
    {
        QTest::addColumn<QString>("disk");
        QTest::addColumn<QString>("summary"); // of the second note
        QTest::addColumn<QString>("written"); // its page
        const QString ctl = "2-a\x01z.html";
        QTest::newRow("NTFS: a control character") << "ntfs"
                                                   << "a\x01z"
                                                   << "2-az" + nameMark(ctl) + ".html";
        QTest::newRow("FAT: letters beyond ASCII") << "fat"
                                                   << "Café"
                                                   << "2-Caf" + nameMark("2-Café.html") + ".html";
        QTest::newRow("exFAT: a control character") << "exfat"
                                                    << "a\x01z"
                                                    << "2-az" + nameMark(ctl) + ".html";
    }
    void exportsOntoDesktopDisks()
    {
        QFETCH(QString, disk);
        QFETCH(QString, summary);
        QFETCH(QString, written);
        QM_MOUNT_OR_SKIP(mounted, disk);
        QList<_Notes> notes(2);
        notes[0].srcId = "1";
        notes[0].summary = "plain";
        notes[1].srcId = "2";
        notes[1].summary = summary;
        const QString folder = mounted.path() + "/notes";
        QString text;
        QCOMPARE(runThread<ExportNotesThread>(&text, notes, folder), 1);
        QCOMPARE(text,
            "Successfully extracted 2 Notes.\n1 file was written under another name, as the disk does not "
            "take "
            "its own:\n"
                + folder + "/2-" + summary + ".html as " + written);
        QStringList names = QDir(folder).entryList(QDir::Files);
        names.sort();
        QCOMPARE(names, QStringList({ "1-plain.html", written }));
    }

    void sameNamesAreNumberedAndLinksNotFollowed()
    {
        const QString folder = TestEnv::tempDir();
        const QString outside = TestEnv::tempDir() + "/victim";
        QFile victim(outside);
        QVERIFY(victim.open(QIODevice::WriteOnly));
        victim.write("keep");
        victim.close();
        QVERIFY(QFile::link(outside, folder + "/1-same.html"));
        _Notes n;
        n.srcId = "1";
        n.summary = "same";
        n.title = "t";
        QString text;
        QCOMPARE(runThread<ExportNotesThread>(&text, QList<_Notes> { n, n }, folder), 1);
        // The link stands as the user made it: the page goes beside it, named.
        QVERIFY(QFileInfo(folder + "/1-same.html").isSymLink());
        QVERIFY(QFile::exists(folder + "/1-same(2).html"));
        QVERIFY(QFile::exists(folder + "/1-same (2).html"));
        QCOMPARE(text,
            "Successfully extracted 2 Notes.\n1 file was written under another name, as another file stands "
            "at its own:\n"
                + folder + "/1-same.html as 1-same(2).html");
        // A second run finds its own pages with the very bytes and changes nothing.
        const QStringList before = QDir(folder).entryList(QDir::AllEntries | QDir::NoDotAndDotDot);
        QCOMPARE(runThread<ExportNotesThread>(&text, QList<_Notes> { n, n }, folder), 1);
        QCOMPARE(QDir(folder).entryList(QDir::AllEntries | QDir::NoDotAndDotDot), before);
        QVERIFY(victim.open(QIODevice::ReadOnly));
        QCOMPARE(victim.readAll(), QByteArray("keep"));
    }

    // A write that fails (over the file size limit, as on a full disk) is reported, not success.
    void failedWriteIsReported()
    {
        _Notes n;
        n.srcId = "1";
        n.content = QString(5000, 'x');
        const QString folder = TestEnv::tempDir();
        QString text;
        int result = -1;
        {
            signal(SIGXFSZ, SIG_IGN);
            rlimit old {};
            getrlimit(RLIMIT_FSIZE, &old);
            rlimit lower = old;
            lower.rlim_cur = 1000;
            setrlimit(RLIMIT_FSIZE, &lower);
            result = runThread<ExportNotesThread>(&text, QList<_Notes> { n }, folder);
            setrlimit(RLIMIT_FSIZE, &old);
        }
        QCOMPARE(result, 0);
        QVERIFY2(text.startsWith("Cannot write "), qPrintable(text));
    }

    // A folder where the page goes stays: the page goes beside it.
    void folderAtThePageNameStays()
    {
        const QString folder = TestEnv::tempDir();
        QVERIFY(QDir(folder).mkdir("1-same.html"));
        _Notes n;
        n.srcId = "1";
        n.summary = "same";
        QString text;
        QCOMPARE(runThread<ExportNotesThread>(&text, QList<_Notes> { n }, folder), 1);
        QVERIFY(QFileInfo(folder + "/1-same.html").isDir());
        QVERIFY(QFileInfo(folder + "/1-same(2).html").isFile());
        QVERIFY2(text.endsWith(folder + "/1-same.html as 1-same(2).html"), qPrintable(text));
    }

    // A page the disk takes in no form fitted to its name is left out and named; the others are
    // written.
    void pageTheDiskTakesNoNameForIsLeftOut()
    {
        QList<_Notes> notes(2);
        notes[0].srcId = "1";
        notes[0].summary = "Café";
        notes[1].srcId = "2";
        notes[1].summary = "plain";
        const QString folder = TestEnv::tempDir();
        g_creates = 0;
        const OutputFile::CreateCall create = OutputFile::setCreateCall(refusingCaf);
        QString text;
        const int result = runThread<ExportNotesThread>(&text, notes, folder);
        OutputFile::setCreateCall(create);
        QCOMPARE(result, 1);
        QCOMPARE(text,
            "Successfully extracted 1 Notes.\n1 note was left out:\nCannot write " + folder
                + "/1-Café.html: the disk does not take this name (Operation not permitted).");
        QCOMPARE(QDir(folder).entryList(QDir::Files | QDir::Hidden), QStringList { "2-plain.html" });
    }
};

QTEST_MAIN(TestNotesThreads)
#include "TestNotesThreads.moc"
