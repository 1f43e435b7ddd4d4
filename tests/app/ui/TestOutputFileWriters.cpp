// Every writer of the program driven onto a disk that fails: at the first byte, mid-way, at the
// last bytes (the close), and on a real full disk where one can be mounted. Each must report
// failure with the system's reason and the path, leave no partial or temporary file, and leave
// what was there before as it was.
#include "app/DataPaths.h"
#include "app/IdsTranslator.h"
#include "app/MadeFolders.h"
#include "app/WrittenDisks.h"
#include "app/ui/shared/ProgressForm.h"
#include "app/ui/support/EnglishTexts.h"
#include "app/ui/support/ModalAnswerer.h"
#include "backup/BackupManifest.h"
#include "backup/support/GenBackup.h"
#include "calls_calendars/ui/ExportCalendarThread.h"
#include "calls_calendars/ui/ExportCallHistoryThread.h"
#include "contacts/support/ExportFixtures.h"
#include "contacts/ui/ContactsPrinter.h"
#include "contacts/ui/ExportToFileThread.h"
#include "messages/store/CountryLibDb.h"
#include "messages/store/IOS5MessageDb.h"
#include "messages/store/MsgData.h"
#include "messages/store/SqliteDeletedRowWalk.h"
#include "messages/support/MsgFixtures.h"
#include "messages/ui/AttachmentExtractThread.h"
#include "messages/ui/BackupMMSThread.h"
#include "messages/ui/BubbleViewMgr.h"
#include "messages/ui/ExportMessagesThread.h"
#include "messages/ui/support/MsgModelBuilder.h"
#include "notes_media/_Bookmark.h"
#include "notes_media/_Notes.h"
#include "notes_media/ui/CopyFileThread.h"
#include "notes_media/ui/ExportBKFileThread.h"
#include "notes_media/ui/ExportBookmarkThread.h"
#include "notes_media/ui/ExportNotesThread.h"
#include "support/FailingDisk.h"
#include "support/TestEnv.h"

#include <QDirIterator>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>
#include <functional>
#include <map>
#include <memory>
#include <sys/stat.h>
#include <tuple>
#include <unistd.h>

namespace
{
struct Outcome {
    int result = -1; // 1 success, 0 failure
    QString text;
};

// A writer run into the folder dest; single says which file of dest it writes (empty: several).
// The program's own files are never told to the user as written.
struct Writer {
    QString single;
    std::function<Outcome(const QString& dest)> run;
    bool own = false;
};

Outcome runForm(QThread& thread, ProgressForm& form)
{
    thread.start();
    Outcome o;
    o.result = form.exec();
    thread.wait();
    QCoreApplication::processEvents();
    o.text = form.resultText();
    return o;
}

template <class F> Outcome catching(F f)
{
    try {
        f();
        return { 1, QString() };
    } catch (const std::exception& e) {
        return { 0, QString::fromUtf8(e.what()) };
    }
}

QString longText(int i)
{
    return QStringLiteral("line %1 ").arg(i).repeated(40);
}

void putFile(const QString& path, const QByteArray& bytes)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile f(path);
    if (f.open(QIODevice::WriteOnly))
        f.write(bytes);
}

QByteArray bytesOf(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<unreadable>");
}

// Regular files under dir by relative path, hidden ones too.
std::map<QString, QByteArray> filesUnder(const QString& dir)
{
    std::map<QString, QByteArray> files;
    QDirIterator it(dir, QDir::Files | QDir::Hidden | QDir::System, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        files[QDir(dir).relativeFilePath(path)] = bytesOf(path);
    }
    return files;
}

// The shared inputs, made once.
struct Inputs {
    MsgModelBuilder messages;
    QList<pim::_Contact> contacts;
    QList<_CallHistory> calls;
    QList<_CalEvent> events;
    QList<_Notes> notes;
    std::unique_ptr<_Bookmark> bookmarks;
    QString sourceFolder; // for the folder copy and attachments
    QString ios5Sms; // a message database of the older layout, with MMS parts held inline
    std::unique_ptr<BackupManifest> backup;

    Inputs()
    {
        sourceFolder = TestEnv::tempDir() + "/source";
        putFile(sourceFolder + "/big.bin", QByteArray(300000, 'b'));
        putFile(sourceFolder + "/sub/small.txt", "small");
        QFile::setPermissions(QFileInfo(sourceFolder).absolutePath(), QFile::Permissions(0x7755));
        QFile::setPermissions(sourceFolder, QFile::Permissions(0x7755)); // the user's files, readable
        ios5Sms = MsgFixtures::smsPath(MsgFixtures::generate("ios5"));
        _MsgChat* chat = messages.chat("+1", { messages.handle("+1", "Sam") });
        for (int i = 0; i < 150; ++i)
            messages.message(chat, nullptr, 1000 * i, longText(i), i % 2);
        messages.attach(messages.messages().first(), sourceFolder + "/big.bin", "application/octet-stream");
        for (int i = 0; i < 150; ++i)
            contacts.append(ExportFixtures::contact(QStringLiteral("Person %1").arg(i),
                { { 3, { { "data1", QStringLiteral("+1 555 %1").arg(i) } } },
                    { 4, { { "data1", QStringLiteral("p%1@example.com").arg(i) } } } }));
        for (int i = 0; i < 300; ++i) {
            _CallHistory c;
            c.address = QStringLiteral("+1555%1").arg(i);
            c.date = QDateTime::fromSecsSinceEpoch(1500000000 + i * 60, Qt::UTC);
            c.duration = i;
            calls.append(c);
            _CalEvent e(i, 1, "Home");
            e.summary = longText(i);
            e.start_date = c.date;
            e.end_date = c.date.addSecs(3600);
            events.append(e);
        }
        for (int i = 0; i < 5; ++i) {
            _Notes n;
            n.srcId = QString::number(i);
            n.title = n.summary = QStringLiteral("note %1").arg(i);
            n.content = longText(i).repeated(30);
            notes.append(n);
        }
        bookmarks = std::make_unique<_Bookmark>(nullptr, true, "Bar", QString(), 0, "0", 0);
        for (int i = 0; i < 300; ++i)
            bookmarks->children.append(new _Bookmark(bookmarks.get(), false, longText(i),
                QStringLiteral("https://example.com/%1").arg(i), i, QString::number(i + 1), i + 1));
        const QString gen = GenBackup::make({});
        backup = std::make_unique<BackupManifest>(gen);
        backup->parseInfo();
    }
};

Inputs& inputs()
{
    static Inputs in;
    return in;
}

std::map<QString, Writer> writers()
{
    Inputs& in = inputs();
    std::map<QString, Writer> w;
    for (auto [name, type, file] : { std::tuple { "messages txt", int(ExportMessagesThread::Txt), "m.txt" },
             std::tuple { "messages csv", int(ExportMessagesThread::Csv), "m.csv" },
             std::tuple { "messages html", int(ExportMessagesThread::Html), "" },
             std::tuple { "messages pdf", int(ExportMessagesThread::Pdf), "" },
             std::tuple { "messages database", int(ExportMessagesThread::Db), "" } })
        w[name] = { file, [&in, type = type, file = QString(file)](const QString& dest) {
                       const ExportRun r = runExport(
                           in.messages.messages(), file.isEmpty() ? dest + "/out" : dest + "/" + file, type);
                       return Outcome { r.result, r.text };
                   } };
    for (auto [name, type, file] : { std::tuple { "contacts vcard", int(ExportToFileThread::VCARD), "c.vcf" },
             std::tuple { "contacts csv", int(ExportToFileThread::CSV), "c.csv" },
             std::tuple { "contacts txt", int(ExportToFileThread::TXT), "c.txt" },
             std::tuple { "contacts html", int(ExportToFileThread::HTML), "" } })
        w[name] = { file, [&in, type = type, file = QString(file)](const QString& dest) {
                       ProgressForm form;
                       form.setQuiet(true);
                       ExportToFileThread t(in.contacts, ExportToFileThread::TYPE(type),
                           dest + "/" + (file.isEmpty() ? QString("page") : file), &form);
                       return runForm(t, form);
                   } };
    w["contacts pdf"]
        = { "c.pdf", [&in](const QString& dest) {
               return catching([&] { ContactsPrinter().printToPDF(in.contacts, dest + "/c.pdf"); });
           } };
    w["calls"] = { "calls.csv", [&in](const QString& dest) {
                      ProgressForm form;
                      form.setQuiet(true);
                      ExportCallHistoryThread t(in.calls, dest + "/calls.csv", &form);
                      return runForm(t, form);
                  } };
    w["calendar"] = { "cal.ics", [&in](const QString& dest) {
                         ProgressForm form;
                         form.setQuiet(true);
                         ExportCalendarThread t(in.events, dest + "/cal.ics", &form);
                         return runForm(t, form);
                     } };
    // The program's own table of countries, made in a new data folder at its first use.
    w["countries"] = { "",
        [](const QString& dest) {
            const QString data = std::exchange(g_curDataSaveDirPath, dest + "/data");
            const Outcome o = catching([] { CountryLibDb(QString()).openCheck(); });
            g_curDataSaveDirPath = data;
            return o;
        },
        true };
    // Messages saved into a new local store (without attachments, whose failed copies are only named):
    // the program's own database, which SQLite syncs as it commits.
    w["messages store"] = { "",
        [](const QString& dest) {
            MsgModelBuilder b;
            _MsgChat* chat = b.chat("+1", { b.handle("+1", "Sam") });
            for (int i = 0; i < 150; ++i)
                b.message(chat, nullptr, 1000 * i, longText(i), i % 2);
            ProgressForm form;
            form.setQuiet(true);
            BackupMMSThread t(QDir(dest + "/store"), _CountryInfo(), b.messages(), form, nullptr);
            return runForm(t, form);
        },
        true };
    // The parts of an older-layout MMS, written out of the database (read where it is) at its load.
    w["mms parts"] = { "",
        [&in](const QString& dest) {
            const QString db = dest + "/file-relay/var/mobile/Library/SMS/sms.db";
            QDir().mkpath(QFileInfo(db).absolutePath());
            QFile::link(in.ios5Sms, db);
            const Outcome o = catching([&] {
                MsgData data;
                IOS5MessageDb(QDir(dest), _CountryInfo()).messages(data, 0);
            });
            QFile::remove(db);
            return o;
        },
        true };
    // An attachment saved from the conversation view: the box tells how it went.
    w["attachment save"] = { "saved.bin", [&in](const QString& dest) {
                                BubbleViewMgr view;
                                view.askSavePath = [&](const QString&) { return dest + "/saved.bin"; };
                                ModalAnswerer answerer;
                                view.onLinkClicked(QUrl::fromLocalFile(in.sourceFolder + "/big.bin"));
                                const bool error = answerer.seenIcons().value(0) == QMessageBox::Critical;
                                return Outcome { error ? 0 : 1, answerer.seen().value(0) };
                            } };
    w["notes"] = { "", [&in](const QString& dest) {
                      ProgressForm form;
                      form.setQuiet(true);
                      ExportNotesThread t(in.notes, dest + "/notes", &form);
                      return runForm(t, form);
                  } };
    w["bookmarks"] = { "b.html", [&in](const QString& dest) {
                          ProgressForm form;
                          form.setQuiet(true);
                          ExportBookmarkThread t({ in.bookmarks.get() }, dest + "/b.html", &form);
                          return runForm(t, form);
                      } };
    w["attachments"] = { "", [&in](const QString& dest) {
                            ProgressForm form;
                            form.setQuiet(true);
                            AttachmentExtractThread t(&form, in.messages.messages(), dest + "/att", nullptr);
                            return runForm(t, form);
                        } };
    w["file tree"] = { "", [&in](const QString& dest) {
                          QList<const BackupManifest::_FileNode*> nodes;
                          for (const BackupManifest::_FileNode* n : in.backup->rootNode()->children)
                              nodes.append(n);
                          ProgressForm form;
                          form.setQuiet(true);
                          ExportBKFileThread t(in.backup.get(), nodes, QDir(dest + "/tree"), &form);
                          return runForm(t, form);
                      } };
    w["folder copy"] = { "", [&in](const QString& dest) {
                            ProgressForm form;
                            form.setQuiet(true);
                            CopyFileThread t(in.sourceFolder, QDir(dest), &form);
                            return runForm(t, form);
                        } };
    return w;
}

// The roads that read a message's attachment, run on one whose file at path the disk cannot read.
std::map<QString, std::function<Outcome(const QString& path)>> readers()
{
    std::map<QString, std::function<Outcome(const QString&)>> r;
    const auto oneMessage = [](MsgModelBuilder& b, const QString& path, const QString& mime) {
        b.attach(b.message(b.chat("+1", { b.handle("+1", "Sam") }), nullptr, 1000, "m"), path, mime);
        return b.messages();
    };
    // A text, a contact card or a picture whose read fails: the export ends with why.
    using Road = std::tuple<const char*, const char*, int>;
    for (const auto& [name, mime, type] : { Road { "messages pdf", "text/plain", ExportMessagesThread::Pdf },
             Road { "messages pdf, a card", "text/vcard", ExportMessagesThread::Pdf },
             Road { "messages pdf, a picture", "image/jpeg", ExportMessagesThread::Pdf },
             Road { "messages html, a picture", "image/jpeg", ExportMessagesThread::Html } })
        r[name] = [=, mime = mime, type = type](const QString& path) {
            MsgModelBuilder b;
            const ExportRun run = runExport(oneMessage(b, path, mime), TestEnv::tempDir() + "/out", type);
            return Outcome { run.result, run.text };
        };
    r["attachments"] = [=](const QString& path) {
        MsgModelBuilder b;
        ProgressForm form;
        form.setQuiet(true);
        AttachmentExtractThread t(&form, oneMessage(b, path, "image/jpeg"), TestEnv::tempDir(), nullptr);
        return runForm(t, form);
    };
    // The conversation view shows why in the bubble of the text, card or picture.
    for (const auto& [name, mime] : { std::pair { "conversation view", "text/plain" },
             std::pair { "conversation view, a card", "text/vcard" },
             std::pair { "conversation view, a picture", "image/jpeg" } })
        r[name] = [=, mime = mime](const QString& path) {
            MsgModelBuilder b;
            BubbleViewMgr view;
            view.showBubble(oneMessage(b, path, mime));
            QDeadlineTimer deadline(20000); // a card's or a picture's bubble is made apart
            while (view.previewsWaiting() > 0 && !deadline.hasExpired())
                QTest::qWait(10);
            return Outcome { 0, view.pageHtml(1) };
        };
    // The recovery of deleted rows copies a database in write-ahead mode, with its log.
    r["deleted rows"] = [](const QString& path) {
        putFile(path + "-wal", "");
        return catching([&] { SqliteDeletedRowWalk(path, nullptr).open(); });
    };
    return r;
}

// The largest file a writer makes: the point to fail at.
qint64 largestOutput(const Writer& writer)
{
    const QString dest = TestEnv::tempDir();
    const Outcome o = writer.run(dest);
    if (o.result != 1)
        qWarning() << "the reference run failed:" << o.text;
    qint64 largest = 0;
    for (const auto& [name, bytes] : filesUnder(dest))
        largest = std::max(largest, qint64(bytes.size()));
    return largest;
}

// A file left by a failed run must be one the run finished: a PDF or an iCalendar file (its events'
// identifiers new each time) whole, any other file as the reference run made it.
bool isComplete(const QString& rel, const QByteArray& bytes, const std::map<QString, QByteArray>& reference)
{
    if (rel.endsWith(".pdf"))
        return bytes.startsWith("%PDF") && bytes.right(8).contains("%%EOF");
    if (rel.endsWith(".ics"))
        return bytes.startsWith("BEGIN:VCALENDAR") && bytes.endsWith("END:VCALENDAR\n");
    const auto it = reference.find(rel);
    return it != reference.end() && it->second == bytes;
}
} // namespace

class TestOutputFileWriters : public QObject
{
    Q_OBJECT
    IdsTranslator m_translator;

    void check(const QString& name, const QString& dest, const Outcome& o, const QString& reason,
        const std::map<QString, QByteArray>& before, const std::map<QString, QByteArray>& reference)
    {
        QVERIFY2(o.result != 1, qPrintable(name + " reported success"));
        QVERIFY2(o.text.contains(reason), qPrintable(name + ": " + o.text));
        QVERIFY2(o.text.contains(dest), qPrintable(name + " does not name the path: " + o.text));
        for (const auto& [rel, bytes] : filesUnder(dest)) {
            const auto old = before.find(rel);
            if (old != before.end()) {
                QVERIFY2(old->second == bytes, qPrintable(name + " changed " + rel));
                continue;
            }
            QVERIFY2(!QFileInfo(rel).fileName().startsWith(".qm-"), qPrintable(name + " left " + rel));
            QVERIFY2(isComplete(rel, bytes, reference), qPrintable(name + " left a partial " + rel));
        }
        for (const auto& [rel, bytes] : before)
            QVERIFY2(QFileInfo::exists(dest + "/" + rel), qPrintable(name + " removed " + rel));
        QDirIterator folders(
            dest, QDir::Dirs | QDir::NoDotAndDotDot | QDir::Hidden, QDirIterator::Subdirectories);
        while (folders.hasNext() && !writers().at(name).own) { // none a user's run made and left empty
            const QString folder = folders.next();
            QVERIFY2(!QDir(folder).isEmpty(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden),
                qPrintable(name + " left the empty folder " + folder));
        }
    }

    // What stood in the destination before: the writer's own file name, and a neighbour.
    static std::map<QString, QByteArray> prepare(const QString& dest, const Writer& writer)
    {
        putFile(dest + "/neighbour.txt", "not the writer's");
        if (!writer.single.isEmpty())
            putFile(dest + "/" + writer.single, "what the user had");
        return filesUnder(dest);
    }

private Q_SLOTS:
    void initTestCase()
    {
        installEnglishTexts(m_translator);
        inputs();
    }

    void failedWriteLeavesNothingHalfDone_data()
    {
        QTest::addColumn<QString>("writer");
        QTest::addColumn<int>(
            "point"); // 0 first byte, 1 mid-way, 2 the last bytes, 3 the sync before success
        for (const auto& [name, w] : writers()) {
            for (auto [point, label] :
                { std::pair { 0, "first byte" }, std::pair { 1, "mid-way" }, std::pair { 2, "at close" } })
                QTest::newRow(qPrintable(name + ", " + label)) << name << point;
            if (!w.own)
                QTest::newRow(qPrintable(name + ", at the sync")) << name << 3;
        }
    }
    void failedWriteLeavesNothingHalfDone()
    {
        QFETCH(QString, writer);
        QFETCH(int, point);
        const Writer w = writers().at(writer);
        const QString refDir = TestEnv::tempDir();
        QCOMPARE(w.run(refDir).result, 1);
        const std::map<QString, QByteArray> reference = filesUnder(refDir);
        const QString dest = TestEnv::tempDir();
        if (point == 3) { // every file whole, yet not confirmed on the disk: no success
            const WrittenDisks::SyncCall sync
                = WrittenDisks::setSyncCall([](int) { return errno = EIO, -1; });
            const Outcome o = w.run(dest);
            WrittenDisks::setSyncCall(sync);
            return check(writer, dest, o, "to the disk: Input/output error", {}, reference);
        }
        const qint64 largest = largestOutput(w);
        QVERIFY(largest > 2);
        const qint64 limit = point == 0 ? 0 : point == 1 ? largest / 2 : largest - 1;
        const auto before = prepare(dest, w);
        Outcome o;
        {
            FailingDisk::SizeLimit guard(limit);
            o = w.run(dest);
        }
        check(writer, dest, o, "File too large", before, reference);
    }

    void fullDisk_data()
    {
        QTest::addColumn<QString>("writer");
        QTest::addColumn<int>("inodes"); // entries the disk holds; 0: as many as it likes
        for (const auto& [name, w] : writers())
            QTest::newRow(qPrintable(name)) << name << 0;
        // Where no folder can be made either, the reason is the folder's, not the file's after it.
        for (const char* name :
            { "messages html", "contacts html", "notes", "attachments", "countries", "file tree" })
            QTest::newRow(qPrintable(QString(name) + ", no folder can be made")) << name << 16;
    }
    // A real full file system: "No space left on device".
    void fullDisk()
    {
        QFETCH(QString, writer);
        QFETCH(int, inodes);
        FailingDisk::SmallDisk disk(1024 * 1024, inodes);
        if (!disk.isMounted())
            QSKIP(qPrintable(disk.whyNot()));
        const Writer w = writers().at(writer);
        const QString refDir = TestEnv::tempDir();
        QCOMPARE(w.run(refDir).result, 1);
        const QString dest = disk.path();
        const auto before = prepare(dest, w);
        disk.fill();
        const Outcome o = w.run(dest);
        for (const QString& filler : QDir(dest).entryList({ "filler*" }, QDir::Files))
            QFile::remove(dest + "/" + filler);
        check(writer, dest, o, "No space left on device", before, filesUnder(refDir));
    }

    void swappedFolderGetsNothing_data()
    {
        QTest::addColumn<QString>("writer");
        QTest::addColumn<int>("which"); // the folder the run makes that is swapped, counted from 1
        for (const char* name : { "messages html", "messages pdf", "notes", "attachments", "folder copy" })
            QTest::newRow(name) << name << 1;
        QTest::newRow("file tree, its destination") << "file tree" << 1;
        QTest::newRow("contacts html, the page's folder") << "contacts html" << 1;
        QTest::newRow("contacts html, its photos") << "contacts html" << 2;
        QTest::newRow("messages database, its folder") << "messages database" << 1;
        // After out, file-relay, var, mobile, Library and SMS: the first of the attachment's way.
        QTest::newRow("messages database, an attachment's folder") << "messages database" << 7;
        QTest::newRow("file tree, a folder inside") << "file tree" << 3;
    }
    // Another program moves a folder the run has just made and puts a link to a folder elsewhere in
    // its place: that folder gets nothing, and the run tells no success but why.
    void swappedFolderGetsNothing()
    {
        QFETCH(QString, writer);
        QFETCH(int, which);
        const QString dest = TestEnv::tempDir(), outside = TestEnv::tempDir();
        int made = 0;
        MadeFolders::setAfterMake([&](const QString& path) {
            if (++made == which)
                QVERIFY(QFile::rename(path, dest + "/away") && QFile::link(outside, path));
        });
        const Outcome o = writers().at(writer).run(dest);
        MadeFolders::setAfterMake(nullptr);
        QVERIFY(made >= which);
        QCOMPARE(o.result, 0);
        QVERIFY2(
            o.text.contains("was moved or replaced while") || o.text.contains("is a link, and an extraction"),
            qPrintable(o.text));
        QCOMPARE(
            QDir(outside).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot), QStringList());
    }

    void anotherUsersLinkGetsNothing_data()
    {
        QTest::addColumn<QString>("writer");
        QTest::addColumn<bool>("atName"); // the link is the chosen file's name; else the folder's
        for (const auto& [name, w] : writers()) {
            if (w.own)
                continue;
            QTest::newRow(qPrintable(name + ", the folder a link")) << name << false;
            if (!w.single.isEmpty())
                QTest::newRow(qPrintable(name + ", the file's name a link")) << name << true;
        }
    }
    // Another user's link in a folder everyone may write into (as /tmp), at the name the user chose or
    // at the folder written into, is not followed: the run ends naming it, and the user's file or
    // folder that it leads to stays as it was.
    void anotherUsersLinkGetsNothing()
    {
        QFETCH(QString, writer);
        QFETCH(bool, atName);
        const Writer w = writers().at(writer);
        const QString shared = TestEnv::tempDir() + "/shared", mine = TestEnv::tempDir();
        const auto before = prepare(mine, w);
        QVERIFY(QDir().mkdir(shared) && ::chmod(QFile::encodeName(shared).constData(), 01777) == 0);
        const QString link = shared + "/" + (atName ? w.single : QString("l"));
        QVERIFY(QFile::link(mine + (atName ? "/" + w.single : QString()), link));
        if (::lchown(QFile::encodeName(link).constData(), 65534, gid_t(-1)) != 0)
            QSKIP("another user's link can only be made as root");
        const Outcome o = w.run(atName ? shared : link);
        QCOMPARE(o.result, 0);
        QVERIFY2(
            o.text.contains(QString("the link %1 stands in a folder everyone may write into and belongs "
                                    "to another user (nobody): it is not followed, and nothing was written")
                                .arg(link)),
            qPrintable(o.text));
        QVERIFY(filesUnder(mine) == before);
        QCOMPARE(QDir(mine).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot).size(),
            qsizetype(before.size()));
        QCOMPARE(
            QDir(shared).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot),
            QStringList { QFileInfo(link).fileName() });
    }

    void leftoversOfAKilledRunGo_data()
    {
        QTest::addColumn<QString>("writer");
        for (const auto& [name, w] : writers())
            if (w.single.isEmpty() && !w.own)
                QTest::newRow(qPrintable(name)) << name;
    }
    // The temporaries that a run killed before its end left in the folders it writes into go at the
    // next run into them; a look-alike the program does not name so stays.
    void leftoversOfAKilledRunGo()
    {
        QFETCH(QString, writer);
        const Writer w = writers().at(writer);
        const QString reference = TestEnv::tempDir(), dest = TestEnv::tempDir();
        QCOMPARE(w.run(reference).result, 1);
        QStringList folders; // those the reference run wrote files into
        for (const auto& [rel, bytes] : filesUnder(reference))
            if (!folders.contains(QFileInfo(rel).path()))
                folders << QFileInfo(rel).path();
        // The user's look-alikes, and a file of that very name another user put there (a run as root
        // could remove it), stay.
        const QStringList lookAlikes { ".qm-notes.tmp", ".qm-0123456789abcdefnotes.tmp",
            ".qm-0123456789abcdee.tmp" };
        // Plain, with a fitted name's characters, padded as a long name's.
        const QStringList left { ".qm-0123456789abcdef.tmp", ".qm-0123456789abcdef:?.tmp",
            ".qm-0123456789abcdef:?______.tmp" };
        for (const QString& folder : std::as_const(folders)) {
            for (const QString& name : left)
                putFile(dest + "/" + folder + "/" + name, "left by a killed run");
            for (const QString& name : lookAlikes)
                putFile(dest + "/" + folder + "/" + name, "the user's");
            if (::chown(QFile::encodeName(dest + "/" + folder + "/" + lookAlikes.last()).constData(), 65534,
                    gid_t(-1))
                != 0)
                QSKIP("Cannot give a file to another user here.");
        }
        const Outcome o = w.run(dest);
        QVERIFY2(o.result == 1, qPrintable(o.text));
        int kept = 0;
        for (const auto& [rel, bytes] : filesUnder(dest)) {
            QVERIFY2(!left.contains(QFileInfo(rel).fileName()), qPrintable(writer + " kept " + rel));
            kept += lookAlikes.contains(QFileInfo(rel).fileName()) ? 1 : 0;
        }
        QCOMPARE(kept, folders.size() * lookAlikes.size());
    }

    void failedReadIsTold_data()
    {
        QTest::addColumn<QString>("reader");
        for (const auto& [name, r] : readers())
            QTest::newRow(qPrintable(name)) << name;
    }
    // A read the disk fails (a link to this process's memory, which reads fail at its start) is told
    // with the file and the system's reason, never taken for the file's end.
    void failedReadIsTold()
    {
        QFETCH(QString, reader);
        const QString path = TestEnv::tempDir() + "/att.txt";
        QVERIFY(QFile::link("/proc/self/mem", path));
        const Outcome o = readers().at(reader)(path);
        QCOMPARE(o.result, 0);
        QVERIFY2(o.text.contains(QRegularExpression(
                     "Cannot (read|copy) " + QRegularExpression::escape(path) + "\\. Input/output error")),
            qPrintable(o.text));
    }

    void readOnlyFileIsKept_data()
    {
        QTest::addColumn<QString>("writer");
        for (const auto& [name, w] : writers())
            if (!w.single.isEmpty())
                QTest::newRow(qPrintable(name)) << name;
    }
    // A file the user may not write, in a folder they may: refused, and neither replaced nor removed.
    void readOnlyFileIsKept()
    {
        QFETCH(QString, writer);
        const Writer w = writers().at(writer);
        QTemporaryDir shared(QDir::tempPath() + "/qm-readonly-XXXXXX");
        const QString dest = shared.path();
        QFile::setPermissions(dest, QFile::Permissions(0x7777));
        const auto before = prepare(dest, w);
        QFile::setPermissions(dest + "/" + w.single, QFile::ReadOwner | QFile::ReadGroup | QFile::ReadOther);
        // As root, act as an unprivileged user so that the file's mode counts.
        const bool root = geteuid() == 0;
        if (root && ::seteuid(65534) != 0)
            QSKIP("cannot act as an unprivileged user");
        const Outcome o = w.run(dest);
        if (root)
            QVERIFY(::seteuid(0) == 0);
        check(writer, dest, o, "Permission denied", before, {});
    }
};

QTEST_MAIN(TestOutputFileWriters)
#include "TestOutputFileWriters.moc"
