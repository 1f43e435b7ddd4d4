#include "app/IdsTranslator.h"
#include "app/OutputFile.h"
#include "app/WrittenDisks.h"
#include "app/ui/shared/ProgressForm.h"
#include "app/ui/support/EnglishTexts.h"
#include "app/ui/support/ModalAnswerer.h"
#include "backup/BackupCrypto.h"
#include "backup/BackupKeyBag.h"
#include "backup/BackupManifest.h"
#include "backup/lock/BackupFolderLock.h"
#include "backup/support/GenBackup.h"
#include "backup/support/OtherWriter.h"
#include "backup/ui/BackupWaitUi.h"
#include "notes_media/ExtractNamer.h"
#include "notes_media/ui/ExportBKFileThread.h"
#include "notes_media/ui/MediaExtract.h"
#include "support/FailingDisk.h"
#include "support/ForeignDisk.h"
#include "support/NameMark.h"
#include "support/PlainUser.h"
#include "support/TestEnv.h"
#include "support/ui/GuiTestEnv.h"

#include <QBuffer>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QPushButton>
#include <QtTest>
#include <deque>
#include <functional>
#include <optional>

namespace
{

struct Run {
    int result = 0;
    qint64 extracted = 0, processed = 0, total = 0, missing = 0, unreadable = 0, unwritten = 0;
    QString text;
    QList<int> percents;
};

Run extract(
    const BackupManifest& m, const QList<const BackupManifest::_FileNode*>& nodes, const QString& dest)
{
    Run r;
    ProgressForm form;
    form.setQuiet(true);
    ExportBKFileThread t(&m, nodes, QDir(dest), &form);
    t.start();
    r.result = form.exec();
    t.wait();
    r.extracted = t.extractedFiles;
    r.processed = t.processedFiles;
    r.missing = t.missingFiles;
    r.total = t.totalFiles;
    r.unreadable = t.unreadableFiles;
    r.unwritten = t.unwrittenFiles;
    r.text = form.resultText();
    return r;
}

QList<const BackupManifest::_FileNode*> topLevel(const BackupManifest& m)
{
    QList<const BackupManifest::_FileNode*> list;
    for (const BackupManifest::_FileNode* n : m.rootNode()->children)
        list.append(n);
    return list;
}

// The files written under dir (not the hidden temporaries of copies under way).
int filesIn(const QString& dir)
{
    int n = 0;
    for (QDirIterator it(dir, QDir::Files, QDirIterator::Subdirectories); it.hasNext(); it.next())
        ++n;
    return n;
}

QByteArray readAll(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<unreadable>");
}

// The bytes of the files under dir, the hidden temporaries of copies under way too.
qint64 bytesIn(const QString& dir)
{
    qint64 n = 0;
    for (QDirIterator it(dir, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories); it.hasNext();)
        n += QFileInfo(it.next()).size();
    return n;
}

// A hand-made tree over a plain backup folder: names that a backup could carry. Encrypted, its
// files are stored encrypted as a phone stores them, over a generated backup's keybag.
struct EvilBackup {
    BackupManifest manifest;
    std::deque<BackupManifest::_FileNode> nodes;
    BackupManifest::_FileNode* domain;

    explicit EvilBackup(const QString& dir, bool encrypted = false)
        : manifest(encrypted ? GenBackup::make({ "--password", "pw", "--iter", "5", "--dpic", "5" }) : dir)
    {
        if (encrypted) {
            manifest.readManifestInfo();
            manifest.setPasscode("pw");
            manifest.parseInfo();
        }
        domain = add(nullptr, "", true, {});
    }
    BackupManifest::_FileNode* add(BackupManifest::_FileNode* parent, const QByteArray& path, bool folder,
        const QByteArray& content, bool stored = true)
    {
        BackupManifest::_FileNode& n = nodes.emplace_back();
        n.item.domain = "EvilDomain";
        n.item.pathUtf8 = path;
        n.item.mode = (folder ? MBDBParser::kModeFolder : MBDBParser::kModeFile) | 0644;
        n.item.mtime = 1500000000;
        n.item.size = content.size();
        n.parent = parent;
        if (parent)
            parent->children.append(&n);
        if (!folder && stored) {
            QFile f(manifest.storedFilePath(n.item));
            QDir().mkpath(QFileInfo(f).absolutePath());
            f.open(QIODevice::WriteOnly);
            if (!manifest.IsEncrypted) {
                f.write(content);
                return &n;
            }
            const QByteArray key(32, 'k'); // of protection class 3, which the keybag holds
            n.item.mutableExtra().encryptionKey
                = QByteArray("\x03\0\0\0", 4) + manifest.keyBag()->wrapFileKey(3, key);
            QBuffer in;
            in.setData(content);
            in.open(QIODevice::ReadOnly);
            BackupCrypto::encryptStream(key, in, f);
        }
        return &n;
    }
};

} // namespace

class TestExportBKFileThread : public QObject
{
    Q_OBJECT
    IdsTranslator m_translator;
private Q_SLOTS:
    void initTestCase() { installEnglishTexts(m_translator); }

    // The real backup has no Manifest.plist; only 10 of its 1,103 files and links have copies.
    void extractsRealPlainBackup()
    {
        QM_REQUIRE_SHARED();
        const QString dir = TestEnv::copyToTemp(TestEnv::realFixture("mvt/ios_backup"));
        BackupManifest m(dir);
        m.parseInfo();
        const QString dest = TestEnv::tempDir() + "/out";
        const Run r = extract(m, topLevel(m), dest);
        QCOMPARE(r.result, 1);
        QCOMPARE(r.extracted, 10);
        QCOMPARE(r.processed, 1103);
        QCOMPARE(r.missing, 1093);
        int folders = 0, files = 0;
        QDirIterator it(dest, QDir::Dirs | QDir::Files | QDir::NoDotAndDotDot | QDir::Hidden,
            QDirIterator::Subdirectories);
        while (it.hasNext()) {
            it.next();
            it.fileInfo().isDir() ? ++folders : ++files;
        }
        QCOMPARE(folders, 2618);
        QCOMPARE(files, 10);
        // Every stored file arrives byte for byte with its record's time.
        std::function<void(const BackupManifest::_FileNode*, const QString&)> check
            = [&](const BackupManifest::_FileNode* n, const QString& path) {
                  const QString here = path + "/" + ExtractNamer::cleanName(n->name());
                  if (n->item.isFolder()) {
                      for (const BackupManifest::_FileNode* c : n->children)
                          check(c, here);
                  } else if (QFileInfo::exists(m.storedFilePath(n->item))) {
                      QCOMPARE(readAll(here), readAll(m.storedFilePath(n->item)));
                      QCOMPARE(QFileInfo(here).lastModified().toSecsSinceEpoch(), qint64(n->item.mtime));
                  }
              };
        for (const BackupManifest::_FileNode* n : m.rootNode()->children)
            check(n, dest);
    }

    void decryptsEncryptedBackups_data()
    {
        QTest::addColumn<QString>("folder");
        QTest::newRow("Manifest.db") << "backup_ios10_3";
        QTest::newRow("Manifest.mbdb") << "backup_ios9_mbdb";
    }
    void decryptsEncryptedBackups()
    {
        QM_REQUIRE_SHARED();
        QFETCH(QString, folder);
        const QString dir = TestEnv::copyToTemp(TestEnv::realFixture("pyiosbackup/" + folder));
        BackupManifest m(dir);
        m.readManifestInfo();
        QVERIFY(m.setPasscode("0000"));
        m.parseInfo();
        const QString dest = TestEnv::tempDir();
        const Run r = extract(m, topLevel(m), dest);
        QCOMPARE(r.result, 1);
        QCOMPARE(r.extracted, 1);
        const QString file = dest + "/MyTestDomain/Media/Test.txt";
        QCOMPARE(readAll(file), QByteArray("Test data"));
        QCOMPARE(QFileInfo(file).lastModified().toSecsSinceEpoch(), 1628082463);
    }

    void generatedEncryptedBackup()
    {
        const QString dir = GenBackup::make({ "--password", "pw", "--iter", "5", "--dpic", "5" });
        BackupManifest m(dir);
        m.readManifestInfo();
        QVERIFY(m.setPasscode("pw"));
        m.parseInfo();
        const QString dest = TestEnv::tempDir();
        const BackupManifest::_FileNode* prefs = m.findNode("HomeDomain", "Library/Preferences");
        // A folder and a file inside it, as the page hands them over after pruning: the folder only.
        const Run r = extract(m, { prefs }, dest);
        QCOMPARE(r.result, 1);
        QCOMPARE(r.total, 2); // the plist and the link without a copy
        QCOMPARE(r.extracted, 1);
        QCOMPARE(r.missing, 1);
        QVERIFY(readAll(dest + "/Preferences/com.example.demo.plist").startsWith("bplist00"));
        QVERIFY(!QFileInfo::exists(dest + "/Preferences/link.plist"));
        const Run empty = extract(m, {}, TestEnv::tempDir());
        QCOMPARE(empty.result, 1);
        QCOMPARE(empty.extracted, 0);
    }

    // Names from a backup never lead out of the destination, links there are not written
    // through (one at a folder's name stays, the files below it named), and names that collide
    // after cleaning are numbered.
    void namesAreConfined()
    {
        EvilBackup b(TestEnv::tempDir());
        const QString root = TestEnv::tempDir();
        const QString dest = root + "/dest";
        const QString outsideDir = root + "/outside";
        QVERIFY(QDir().mkpath(dest + "/EvilDomain"));
        QVERIFY(QDir().mkpath(outsideDir));
        QFile victim(outsideDir + "/victim");
        QVERIFY(victim.open(QIODevice::WriteOnly));
        victim.write("keep");
        victim.close();
        QVERIFY(QFile::link(outsideDir + "/victim", dest + "/EvilDomain/victim"));
        QVERIFY(QFile::link(outsideDir, dest + "/EvilDomain/sub"));
        QFile before(dest + "/EvilDomain/old.txt");
        QVERIFY(before.open(QIODevice::WriteOnly));
        before.write("before");
        before.close();
        b.add(b.domain, "c:d", false, "first");
        b.add(b.domain, "cd", false, "second");
        b.add(b.domain, "..", false, "dots");
        b.add(b.domain, QByteArray("a\\..\\b"), false, "backslash");
        b.add(b.domain, QByteArray("n\0l", 3), false, "nul");
        b.add(b.domain, QByteArray(300, 'L'), false, "long");
        b.add(b.domain, "victim", false, "new");
        b.add(b.domain, "old.txt", false, "replaced");
        b.add(b.domain, "gone", false, "", false);
        BackupManifest::_FileNode* sub = b.add(b.domain, "sub", true, {});
        b.add(sub, "sub/inner", false, "inner");
        const Run r = extract(b.manifest, { b.domain }, dest);
        QCOMPARE(r.result, 0);
        QCOMPARE(r.extracted, 8);
        QCOMPARE(r.unwritten, 1);
        QCOMPARE(r.processed, 10);
        QCOMPARE(r.missing, 1); // "gone" has no stored copy
        const QString d = dest + "/EvilDomain/";
        // A name made from another carries its mark and never takes a record's own name.
        QCOMPARE(readAll(d + "cd" + nameMark("c:d")), QByteArray("first"));
        QCOMPARE(readAll(d + "cd"), QByteArray("second"));
        QCOMPARE(readAll(d + "__"), QByteArray("dots"));
        QCOMPARE(readAll(d + "a." + nameMark("a\\..\\b") + ".b"), QByteArray("backslash"));
        QCOMPARE(readAll(d + "nl" + nameMark(QString("n") + QChar(0) + "l")), QByteArray("nul"));
        QCOMPARE(readAll(d + QString(255, 'L')), QByteArray("long"));
        // What stood stays: the files go beside it, named.
        QCOMPARE(readAll(d + "old.txt"), QByteArray("before"));
        QCOMPARE(readAll(d + "old(2).txt"), QByteArray("replaced"));
        QVERIFY(QFileInfo(d + "victim").isSymLink());
        QCOMPARE(readAll(d + "victim(2)"), QByteArray("new"));
        QVERIFY2(
            r.text.contains(QString("2 files were written under other names, as other files stand at their "
                                    "own:\n%1victim as victim(2)\n%1old.txt as old(2).txt")
                                .arg(d)),
            qPrintable(r.text));
        QVERIFY(QFileInfo(d + "sub").isSymLink());
        QVERIFY2(r.text.contains(
                     QString("could not be written:\nCannot write %1sub/inner: %1sub is a link, and an "
                             "extraction writes nothing through a link.\nRecord: EvilDomain sub/inner")
                         .arg(d)),
            qPrintable(r.text));
        QCOMPARE(readAll(outsideDir + "/victim"), QByteArray("keep"));
        QVERIFY(!QFileInfo::exists(outsideDir + "/inner"));
        QCOMPARE(QDir(root).entryList(QDir::AllEntries | QDir::NoDotAndDotDot),
            QStringList({ "dest", "outside" }));
    }

    // Onto the disks desktop systems mount, files and folders whose names the disk refuses are
    // written under names fitted to it, each marked with the whole name, and said so; the others
    // as they stand. So by the helper threads of a plain backup and by the run of an encrypted one.
    void ontoDesktopDisks_data()
    {
        QTest::addColumn<QString>("disk");
        QTest::addColumn<bool>("encrypted");
        QTest::addColumn<QStringList>("given"); // files, and "<folder>/in.txt"
        QTest::addColumn<QStringList>("written");
        const QString ctl = "x\x01y.txt";
        QTest::newRow("NTFS: a device's name, a dot at the end, a control character")
            << "ntfs" << false << QStringList { "plain.txt", "AUX.txt", "end.", ctl, "é.txt", "LPT1/in.txt" }
            << QStringList { "plain.txt", "AUX" + nameMark("AUX.txt") + ".txt", "end" + nameMark("end."),
                   "xy" + nameMark(ctl) + ".txt", "é.txt", "LPT1" + nameMark("LPT1") + "/in.txt" };
        QTest::newRow("NTFS, encrypted") << "ntfs" << true << QStringList { "plain.txt", "AUX.txt" }
                                         << QStringList { "plain.txt", "AUX" + nameMark("AUX.txt") + ".txt" };
        QTest::newRow("FAT: letters beyond ASCII, a control character")
            << "fat" << false << QStringList { "plain.txt", "é.txt", ctl, "AUX.txt", "ü/in.txt" }
            << QStringList { "plain.txt", "_" + nameMark("é.txt") + ".txt", "xy" + nameMark(ctl) + ".txt",
                   "AUX.txt", "_" + nameMark("ü") + "/in.txt" };
        QTest::newRow("exFAT: a control character")
            << "exfat" << false << QStringList { "plain.txt", ctl, "é.txt", "end.", "p\x02/in.txt" }
            << QStringList { "plain.txt", "xy" + nameMark(ctl) + ".txt", "é.txt", "end.",
                   "p" + nameMark("p\x02") + "/in.txt" };
    }
    void ontoDesktopDisks()
    {
        QFETCH(QString, disk);
        QFETCH(bool, encrypted);
        QFETCH(QStringList, given);
        QFETCH(QStringList, written);
        QM_MOUNT_OR_SKIP(mounted, disk);
        EvilBackup b(TestEnv::tempDir(), encrypted);
        for (const QString& name : given) {
            BackupManifest::_FileNode* folder = b.domain;
            if (name.contains('/'))
                folder = b.add(b.domain, name.section('/', 0, 0).toUtf8(), true, {});
            b.add(folder, name.toUtf8(), false, name.toUtf8());
        }
        const QString dest = mounted.path() + "/out";
        const Run r = extract(b.manifest, { b.domain }, dest);
        QCOMPARE(r.result, 1);
        QCOMPARE(r.extracted, qint64(given.size()));
        const QString d = dest + "/EvilDomain/";
        for (int i = 0; i < given.size(); ++i) {
            QCOMPARE(readAll(d + written[i]), given[i].toUtf8());
            const QString meant = given[i].section('/', 0, 0);
            if (written[i] != given[i])
                QVERIFY2(
                    r.text.contains(d + meant + " as " + written[i].section('/', 0, 0)), qPrintable(r.text));
        }
        QCOMPARE(filesIn(dest), int(given.size()));
    }

    void emptyFolderIsMade()
    {
        EvilBackup b(TestEnv::tempDir());
        b.add(b.domain, "empty", true, {});
        const QString dest = TestEnv::tempDir() + "/not/there/yet";
        const Run r = extract(b.manifest, { b.domain }, dest);
        QCOMPARE(r.result, 1);
        QCOMPARE(r.total, 0);
        QCOMPARE(r.extracted, 0);
        QVERIFY(QFileInfo(dest + "/EvilDomain/empty").isDir());
        QCOMPARE(QFileInfo(dest + "/EvilDomain/empty").lastModified().toSecsSinceEpoch(), 1500000000);
    }

    // A cancel as the pages meet it, while another program holds the backup folder (every copy
    // waits), or once that frees it while the question is open: until the answer the copies stand
    // still, their bytes on the bar. No goes on to the end. Yes stops the copies under way within
    // a block (one whose last block is copied completes), says how many were written, and takes back the
    // folders the run made that hold nothing, never one that stood before, one the user put something into,
    // nor one reached through a link.
    void cancel_data()
    {
        QTest::addColumn<bool>("freed"); // the folder, while the question is open
        QTest::addColumn<bool>("yes");
        // What the user does to the folder d0 made, or "quit": the program is asked to quit instead.
        QTest::addColumn<QString>("meanwhile");
        QTest::addColumn<bool>("encrypted"); // its first files decrypted by one copy at a time
        QTest::newRow("Yes while every copy waits") << false << true << "" << false;
        QTest::newRow("a quit while every copy waits") << false << true << "quit" << false;
        QTest::newRow("No while the copies stand still") << true << false << "" << false;
        QTest::newRow("Yes while the copies stand still") << true << true << "" << false;
        QTest::newRow("Yes, the files written not confirmed on the disk")
            << true << true << "unsynced" << false;
        QTest::newRow("Yes, a file put into a folder made") << false << true << "file" << false;
        QTest::newRow("Yes, a folder made moved and a link put in its place")
            << false << true << "link" << false;
        QTest::newRow("Yes, a folder made moved and an empty one made in its place")
            << false << true << "replaced" << false;
        QTest::newRow("encrypted, No while the copy stands still in its file") << true << false << "" << true;
        QTest::newRow("encrypted, Yes while the copy stands still in its file") << true << true << "" << true;
    }
    void cancel()
    {
        QFETCH(bool, freed);
        QFETCH(bool, yes);
        QFETCH(QString, meanwhile);
        QFETCH(bool, encrypted);
        const bool quit = meanwhile == "quit";
        const WrittenDisks::SyncCall sync = meanwhile == "unsynced"
            ? WrittenDisks::setSyncCall([](int) { return errno = EIO, -1; })
            : nullptr;
        const auto synced = qScopeGuard([sync] {
            if (sync)
                WrittenDisks::setSyncCall(sync);
        });
        const auto resume = qScopeGuard([quit] {
            if (quit)
                GuiTestEnv::resumeAfterQuit();
        });
        // The first copies (those the helpers start with) are a quarter of the bytes each; those
        // decrypted are 3 MiB, so that the copy stands still within its first.
        const int big = encrypted ? 3 << 20 : 1 << 18;
        EvilBackup b(TestEnv::tempDir(), encrypted);
        for (int d = 0; d < 10; ++d) {
            const QByteArray name = "d" + QByteArray::number(d);
            BackupManifest::_FileNode* folder = b.add(b.add(b.domain, name, true, {}), name + "/s", true, {});
            for (int i = 0; i < 20; ++i)
                b.add(folder, folder->item.pathUtf8 + "/f" + QByteArray::number(i), false,
                    QByteArray(d == 0 && i < 4 ? big : 1, 'x'));
        }
        b.add(b.domain, "empty", true, {});
        const QString dest = TestEnv::tempDir(), d0 = dest + "/EvilDomain/d0",
                      away = TestEnv::tempDir() + "/d0";
        QVERIFY(QDir().mkpath(dest + "/EvilDomain")); // stood before, empty
        const auto writer = OtherWriter::holdFolder(b.manifest.dir.absolutePath());
        QVERIFY(writer);
        BackupWaitUi::install();
        const auto noRunner = qScopeGuard([] { BackupFolderLock::setWaitRunner(nullptr); });
        ModalAnswerer answerer;
        ProgressForm* form = nullptr;
        answerer.answerWith([&](QWidget* modal) {
            form = qobject_cast<ProgressForm*>(modal);
            if (!form || !form->statusText().startsWith("Waiting"))
                return false; // until a copy waits for the folder
            if (quit)
                return GuiTestEnv::askToQuit(), true;
            QMetaObject::invokeMethod(
                form->findChild<QPushButton*>(), &QAbstractButton::click, Qt::QueuedConnection);
            return true;
        });
        int filesAsked = -1, barAsked = -1;
        qint64 bytesAsked = -1;
        QElapsedTimer asked;
        answerer.answerWith([&](QWidget* modal) {
            auto* box = qobject_cast<QMessageBox*>(modal);
            if (box && !asked.isValid()) {
                asked.start();
                if (freed)
                    writer->closeWriteChannel();
                if (meanwhile == "file")
                    QFile(d0 + "/s/.kept").open(QIODevice::WriteOnly);
                if (meanwhile == "link")
                    QFile::rename(d0, away) && QFile::link(away, d0);
                if (meanwhile == "replaced")
                    QFile::rename(d0, away) && QDir().mkdir(d0);
            }
            if (!box || asked.elapsed() < 500)
                return false;
            filesAsked = filesIn(dest);
            bytesAsked = bytesIn(dest);
            barAsked = form->progressValue();
            GuiTestEnv::screenshotOver(form, box, "extract-cancel-question");
            return ModalAnswerer::click(box, yes ? QMessageBox::Yes : QMessageBox::No);
        });
        answerer.answerWith([](QWidget* modal) {
            auto* box = qobject_cast<QMessageBox*>(modal);
            GuiTestEnv::screenshot(box, "extract-cancelled");
            return box && ModalAnswerer::click(box, QMessageBox::Ok);
        });
        const qint64 n = MediaExtract::run(nullptr, "Extracting", &b.manifest, { b.domain }, QDir(dest));
        writer->closeWriteChannel();
        QVERIFY(writer->state() == QProcess::NotRunning || writer->waitForFinished(10000));
        const int written = filesIn(dest);
        QCOMPARE(filesAsked, quit ? -1 : 0);
        QCOMPARE(barAsked > 0, freed);
        QVERIFY2(!encrypted || bytesAsked < big / 2, qPrintable(QString::number(bytesAsked)));
        if (!yes) {
            QCOMPARE(n, qint64(200));
            QCOMPARE(written, 200);
            QVERIFY(QFileInfo(dest + "/EvilDomain/empty").isDir());
            QCOMPARE(answerer.seen(), QStringList({ "Are You Sure You Want To Cancel?" }));
            return;
        }
        QCOMPARE(n, -1);
        QVERIFY2(freed ? written < 200 && (encrypted || written >= 1) : written == 0,
            qPrintable(QString::number(written)));
        // A copy held within its file (3 MiB decrypted a block at a time) stops there: none is whole.
        QVERIFY2(!encrypted || bytesIn(dest) < big, qPrintable(QString::number(bytesIn(dest))));
        // A quit asks nothing, and the program's loops have ended before the count could be told.
        const QStringList seen = answerer.seen();
        if (meanwhile == "unsynced")
            QVERIFY2(seen.size() == 2
                    && seen[1].contains(QRegularExpression(QRegularExpression::escape("Cannot write " + dest)
                        + "/EvilDomain\\S* to the disk: Input/output error")),
                qPrintable(seen.join('\n')));
        else
            QCOMPARE(seen,
                quit ? QStringList()
                     : QStringList({ "Are You Sure You Want To Cancel?",
                         written == 1 ? QString("Cancelled: 1 file was extracted.")
                                      : QString("Cancelled: %1 files were extracted.").arg(written) }));
        QVERIFY(QFileInfo(dest + "/EvilDomain").isDir());
        QCOMPARE(QFileInfo::exists(d0 + "/s/.kept"), meanwhile == "file");
        QCOMPARE(QFileInfo(d0).isSymLink() && QFileInfo(away + "/s").isDir(), meanwhile == "link");
        // The folder in place of the one made is another's: never taken back, though empty.
        QCOMPARE(QFileInfo(d0).isDir() && !QFileInfo(d0).isSymLink() && QFileInfo(away + "/s").isDir(),
            meanwhile == "replaced");
        const auto dirs = QDir::Dirs | QDir::NoSymLinks | QDir::NoDotAndDotDot;
        for (QDirIterator it(dest, dirs, QDirIterator::Subdirectories); it.hasNext();) {
            const QString folder = it.next();
            QVERIFY2(folder == dest + "/EvilDomain" || (meanwhile == "replaced" && folder == d0)
                    || !QDir(folder).isEmpty(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
                qPrintable(folder));
        }
    }

    void whatStoodBeforeStays_data()
    {
        QTest::addColumn<QString>("stood"); // in the destination before the run
        QTest::addColumn<bool>("ok");
        QTest::addColumn<QString>("told"); // %1 the domain's folder
        QTest::addColumn<QString>("placed"); // where the file "x" went
        const QString beside = "1 file was written under another name, as another file stands at its own:\n"
                               "%1/file as file(2)";
        QTest::newRow("a folder at a file's name") << "folder" << true << beside << "file(2)";
        QTest::newRow("another file at a file's name") << "other" << true << beside << "file(2)";
        QTest::newRow("a link at a file's name") << "file link" << true << beside << "file(2)";
        QTest::newRow("the user's file with the very bytes at a file's name") << "same" << true << ""
                                                                              << "file";
        QTest::newRow("another file at a file's name, the very bytes at its first number")
            << "other, same(2)" << true << ""
            << "file(2)";
        QTest::newRow("a run before into the same folder") << "run" << true << ""
                                                           << "file";
        QTest::newRow("a file at a folder's name")
            << "file" << false << "Cannot write %1/dir/f: %1/dir is not a folder.\nRecord: EvilDomain dir/f"
            << "file";
        QTest::newRow("a link at a folder's name")
            << "link" << false
            << "Cannot write %1/dir/f: %1/dir is a link, and an extraction writes nothing through a link."
            << "file";
        QTest::newRow("temporaries of a killed run, of a live one, and the user's")
            << "temporaries" << true << ""
            << "file";
    }
    // What stood is never changed, replaced nor removed: a file keeps its bytes and time, a link
    // stays, and the files below either are named; a file meant for a name that something holds goes
    // beside it, named, unless what stands is the user's file with its very bytes (then counted, and
    // a second run changes nothing); the temporaries a killed run left go, never a live write's.
    void whatStoodBeforeStays()
    {
        QFETCH(QString, stood);
        QFETCH(bool, ok);
        QFETCH(QString, told);
        QFETCH(QString, placed);
        EvilBackup b(TestEnv::tempDir());
        const auto listed = [](const QString& dir) {
            QStringList names = QDir(dir).entryList(QDir::AllEntries | QDir::NoDotAndDotDot);
            names.removeAll("made"); // made by the run
            return names;
        };
        b.add(b.add(b.domain, "made", true, {}), "made/empty", true, {});
        b.add(b.add(b.domain, "dir", true, {}), "dir/f", false, "new");
        b.add(b.domain, "file", false, "x");
        const QString dest = TestEnv::tempDir(), d = dest + "/EvilDomain", outside = TestEnv::tempDir();
        QVERIFY(QDir().mkpath(stood == "folder" ? d + "/file" : d + "/dir"));
        const QString killed = d + "/dir/.qm-0123456789abcdef.tmp", mine = d + "/dir/.qm-notes.tmp";
        OutputFile live(d + "/dir/f");
        const QDateTime old(QDate(2020, 1, 1), QTime());
        const auto put = [&](const QString& path, const QByteArray& bytes) {
            QFile f(path);
            QVERIFY(f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size() && f.flush());
            QVERIFY(f.setFileTime(old, QFileDevice::FileModificationTime));
        };
        if (stood == "file" || stood == "link")
            QVERIFY(QDir(d).rmdir("dir"));
        if (stood == "file")
            put(d + "/dir", "mine");
        if (stood.startsWith("other"))
            put(d + "/file", "mine");
        if (stood == "same")
            put(d + "/file", "x");
        if (stood.endsWith("same(2)"))
            put(d + "/file(2)", "x");
        QVERIFY(stood != "link" || QFile::link(outside, d + "/dir"));
        QVERIFY(stood != "file link" || QFile::link(outside + "/t", d + "/file"));
        if (stood == "temporaries")
            QVERIFY(QFile(killed).open(QIODevice::WriteOnly) && QFile(mine).open(QIODevice::WriteOnly)
                && live.open(QIODevice::WriteOnly));
        if (stood == "run")
            QCOMPARE(extract(b.manifest, { b.domain }, dest).result, 1);
        const QStringList before = listed(d);
        const Run r = extract(b.manifest, { b.domain }, dest);
        QCOMPARE(r.result, ok ? 1 : 0);
        QVERIFY2(told.isEmpty() || r.text.contains(told.arg(d)), qPrintable(r.text));
        QVERIFY2(!told.isEmpty() || !r.text.contains("another name"), qPrintable(r.text));
        QCOMPARE(r.unwritten, ok ? 0 : 1);
        QCOMPARE(r.extracted, ok ? 2 : 1);
        QCOMPARE(readAll(d + "/" + placed), QByteArray("x"));
        QVERIFY(QFileInfo::exists(d + "/made"));
        QCOMPARE(readAll(d + "/dir"), QByteArray(stood == "file" ? "mine" : "<unreadable>"));
        QVERIFY(stood != "file" || QFileInfo(d + "/dir").lastModified() == old);
        QVERIFY(
            !(stood.startsWith("other") || stood == "same") || QFileInfo(d + "/file").lastModified() == old);
        QVERIFY(!stood.startsWith("other") || readAll(d + "/file") == "mine");
        QCOMPARE(QFileInfo(d + "/dir").isSymLink(), stood == "link");
        QCOMPARE(QFileInfo(d + "/file").isSymLink(), stood == "file link");
        QVERIFY(QDir(outside).isEmpty());
        if (stood == "run" || stood.contains("same"))
            QCOMPARE(listed(d), before);
        QStringList kept { ".qm-notes.tmp", QFileInfo(live.writePath()).fileName() };
        kept.sort();
        QCOMPARE(QDir(d + "/dir").entryList({ ".qm-*" }, QDir::Files | QDir::Hidden),
            stood == "temporaries" ? kept : QStringList());
    }

    void unreadableFileNeverStopsTheRest_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<QString>("why"); // %1 the stored copy
        const QStringList encrypted { "--password", "pw", "--iter", "5", "--dpic", "5" };
        const QString eio = "Cannot read %1. Input/output error";
        QTest::newRow("plain") << QStringList {} << eio;
        QTest::newRow("encrypted") << encrypted << eio;
        // Its key in the record cannot be had: the key's own reason.
        const QString key = "Cannot decrypt %1. The file key in its record ";
        const auto damaged = [&](const QString& kind) {
            return encrypted + QStringList { "--stored-damage", "Library/Notes/notes.sqlite=" + kind };
        };
        QTest::newRow("encrypted, manifest-byte") << damaged("manifest-byte") << key + "fails its check";
        QTest::newRow("encrypted, key-class")
            << damaged("key-class") << key + "is of protection class 20, which the backup's keybag";
        QTest::newRow("encrypted, key-length")
            << damaged("key-length") << key + "is 36 bytes long, where a file key with its class takes 44";
        QTest::newRow("encrypted, key-none")
            << damaged("key-none") << "Cannot decrypt %1. Its record holds no file key";
        QTest::newRow("encrypted, key-archive")
            << damaged("key-archive") << "Cannot decrypt %1. Its record in the manifest is damaged";
        QTest::newRow("mbdb, key-bit")
            << QStringList { "--layout", "mbdb" } + damaged("key-bit") << key + "fails its check";
    }
    // A stored copy whose reads fail (a disk's read error; here a link to this process's memory,
    // which reads fail at its start), or whose key cannot be had: it is counted as unreadable, named
    // by its stored copy and its record with the reason, and every other file is still extracted.
    void unreadableFileNeverStopsTheRest()
    {
        QFETCH(QStringList, args);
        QFETCH(QString, why);
        const QString dir = GenBackup::make(args);
        QVERIFY(!dir.isEmpty());
        BackupManifest m(dir);
        m.readManifestInfo();
        QVERIFY(!m.IsEncrypted || m.setPasscode("pw"));
        m.parseInfo();
        const QString stored = m.storedFilePath(m.notesNode->item);
        if (why.contains("Input/output error"))
            QVERIFY(QFile::remove(stored) && QFile::link("/proc/self/mem", stored));
        const QString dest = TestEnv::tempDir();
        const Run r = extract(m, topLevel(m), dest);
        QCOMPARE(r.result, 0);
        QCOMPARE(r.unreadable, 1);
        QCOMPARE(r.extracted, r.total - r.missing - 1);
        QVERIFY2(r.text.contains(why.arg(stored))
                && r.text.contains("\nRecord: HomeDomain Library/Notes/notes.sqlite"),
            qPrintable(r.text));
        QCOMPARE(qint64(filesIn(dest)), r.extracted);
        QVERIFY(!QFileInfo::exists(dest + "/HomeDomain/Library/Notes/notes.sqlite"));
    }

    void failureCountsWhatWasWrittenAndNamesTheRecord_data()
    {
        QTest::addColumn<QString>("fault");
        QTest::addColumn<QString>("told");
        QTest::newRow("a write that fails ends the run") << "write"
                                                         << "File too large";
        QTest::newRow("a folder that cannot be made costs what is below it") << "folder"
                                                                             << "Permission denied";
    }
    // Files around one 25 folders of 199 bytes deep (a path longer than the system takes whole, made
    // from its folders): a write that fails ends the run at that copy; a folder the system will not
    // make costs only the files below it, named. Either way the text names the record, shortened,
    // and says how many files were written.
    void failureCountsWhatWasWrittenAndNamesTheRecord()
    {
        QFETCH(QString, fault);
        QFETCH(QString, told);
        EvilBackup b(TestEnv::tempDir());
        for (const char* name : { "a1", "a2", "a3" })
            b.add(b.domain, name, false, "x");
        QByteArray path;
        BackupManifest::_FileNode* parent = b.domain;
        for (int i = 0; i < 25; ++i) {
            path += (path.isEmpty() ? "" : "/") + QByteArray(199, 'x');
            parent = b.add(parent, path, true, {});
        }
        b.add(parent, path + "/f.txt", false, QByteArray(5000, 'x'));
        for (const char* name : { "z1", "z2", "z3" })
            b.add(b.domain, name, false, "x");
        const QString dest = TestEnv::tempDir();
        const QString closed = dest + "/EvilDomain/" + QString(199, 'x');
        QVERIFY(fault != "folder" || QDir().mkpath(closed));
        QFile::setPermissions(closed, QFile::ReadOwner | QFile::ExeOwner);
        Run r;
        {
            const PlainUser plain;
            std::optional<FailingDisk::SizeLimit> limit;
            if (fault == "write")
                limit.emplace(1000);
            if (!plain.holdsToPermissions())
                QSKIP(qPrintable(plain.whyNot()));
            r = extract(b.manifest, { b.domain }, dest);
        }
        QCOMPARE(r.result, 0);
        const int written = filesIn(dest);
        // Copies still queued when the failure comes may be dropped; those done are counted.
        QVERIFY(fault == "write" ? written <= 6 : written == 6);
        QCOMPARE(r.extracted, qint64(written));
        QCOMPARE(r.unwritten, 1); // the file the disk failed at, or the one below the closed folder
        const QString count
            = written == 1 ? "1 file was extracted." : QString("%1 files were extracted.").arg(written);
        QVERIFY2(r.text.contains("Record: EvilDomain xxxx") && r.text.contains("...") && r.text.contains(told)
                && r.text.contains(count) && r.text.size() < 1000,
            qPrintable(r.text));
    }
};

QTEST_MAIN(TestExportBKFileThread)
#include "TestExportBKFileThread.moc"
