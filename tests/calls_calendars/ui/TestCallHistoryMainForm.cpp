#include "app/IdsTranslator.h"
#include "app/ui/DataSources.h"
#include "app/ui/shared/ProgressForm.h"
#include "app/ui/support/DialogAnswers.h"
#include "app/ui/support/EnglishTexts.h"
#include "app/ui/support/HeldManifestReads.h"
#include "app/ui/support/ModalAnswerer.h"
#include "backup/BackupManifest.h"
#include "backup/support/GenBackup.h"
#include "backup/support/HoldEnds.h"
#include "calls_calendars/IOSCallHistoryDb.h"
#include "calls_calendars/LocalCallHistoryDb.h"
#include "calls_calendars/support/CallsFixtures.h"
#include "calls_calendars/ui/CallHistoryMainForm.h"
#include "calls_calendars/ui/CallsMergeRoad.h"
#include "calls_calendars/ui/Ui_CallHistoryMainForm.h"
#include "support/TestEnv.h"
#include "support/ui/GuiTestEnv.h"

#include <QAction>
#include <QDirIterator>
#include <QHeaderView>
#include <QSignalSpy>
#include <QtTest>
#include <cstdio>

using namespace CallsFixtures;

namespace
{

// Every file of a folder by relative path with its SHA-1.
QMap<QString, QByteArray> fileDigests(const QString& dir)
{
    QMap<QString, QByteArray> map;
    QDirIterator it(dir, QDir::Files, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        QFile f(path);
        f.open(QIODevice::ReadOnly);
        map.insert(QDir(dir).relativeFilePath(path),
            QCryptographicHash::hash(f.readAll(), QCryptographicHash::Sha1));
    }
    return map;
}

// The manifest's records as text lines, read by Python's own sqlite3.
QStringList manifestRows(const QString& backup)
{
    return runPython({ "-c",
                         "import sqlite3,sys\n"
                         "for r in sqlite3.connect(sys.argv[1]).execute('select "
                         "fileID,domain,relativePath,flags,hex(file) "
                         "from Files order by fileID'): print('|'.join(map(str,r)))",
                         backup + "/Manifest.db" })
        .split('\n', Qt::SkipEmptyParts);
}

_CallHistory newCall(qint64 secs, const QString& address, CallHistoryFlag flags)
{
    _CallHistory c;
    c.date = QDateTime::fromSecsSinceEpoch(secs);
    c.address = address;
    c.flags = flags;
    c.duration = 61;
    return c;
}

} // namespace

class TestCallHistoryMainForm : public QObject
{
    Q_OBJECT
    IdsTranslator m_english;

private slots:
    void initTestCase() { installEnglishTexts(m_english); }

    void backupPageOfTracy()
    {
        QM_REQUIRE_SHARED();
        const QString cache = tracyCache();
        BackupManifest manifest(TestEnv::tempDir());
        manifest.DeviceName = "Tracy's <phone>";
        CallHistoryMainForm page(
            &manifest, QSharedPointer<ICallHistoryDb>(new IOSCallHistoryDb(QDir(cache))));
        QVERIFY(GuiTestEnv::pageRead(&page));
        page.resize(523, 300);
        page.show();
        QCOMPARE(page.model().rowCount(), 5);
        QCOMPARE(page.ui()->lbCount->text(), QString("Total:5"));
        QCOMPARE(page.ui()->listCalls->header()->sectionSize(0), 100);
        const QModelIndex pat = page.model().index(0, 2);
        QCOMPARE(pat.data().toString(), QString("Pat"));
        QCOMPARE(page.model().index(0, 4).data().toString(), QString("244 s"));
        QCOMPARE(page.model().index(2, 0).data().toString(), QString("Outgoing"));
        QCOMPARE(
            page.model().index(1, 0).data(Qt::BackgroundRole).value<QBrush>().color(), QColor(255, 255, 255));
        const QList<QAction*> actions = page.toolbarActions();
        QCOMPARE(actions.size(), 3);
        QCOMPARE(actions[0]->text(), QString("Backup Call History"));
        QCOMPARE(actions[2]->text(), QString("Extract Call History"));
        QCOMPARE(DataSources::countBackupCallHistory(QDir(cache)), 5);
        GuiTestEnv::screenshot(&page, "calls-page");
    }

    void damagedSourceShowsTheError()
    {
        const QString cache = TestEnv::tempDir();
        putBytes(cache + "/" + IOSCallHistoryDb::kOldDbFile, "not a database at all");
        ModalAnswerer answerer;
        BackupManifest manifest(TestEnv::tempDir());
        CallHistoryMainForm page(
            &manifest, QSharedPointer<ICallHistoryDb>(new IOSCallHistoryDb(QDir(cache))));
        QVERIFY(GuiTestEnv::pageRead(&page));
        QCOMPARE(answerer.seen().size(), 1);
        QCOMPARE(page.ui()->lbCount->text(), QString("Total:?")); // not counted, so not none
        QCOMPARE(DataSources::countBackupCallHistory(QDir(cache)), DataSources::kUnknownCount);
    }

    void saveExportAndDeleteInALocalDatabase()
    {
        const QString store = makeCallDb({ "--calls", "6" });
        BackupManifest manifest(TestEnv::tempDir());
        CallHistoryMainForm page(&manifest,
            QSharedPointer<ICallHistoryDb>(
                new IOSCallHistoryDb(QDir(cacheWith({ { IOSCallHistoryDb::kStoreFile, store } })))));
        QVERIFY(GuiTestEnv::pageRead(&page));
        const QDir folder(TestEnv::tempDir());
        QSignalSpy finished(&page, &CallHistoryMainForm::backupFinished);
        {
            ModalAnswerer answerer;
            QVERIFY(page.backupCallHistoriesTo(page.model().calls(), folder));
            QVERIFY(page.backupCallHistoriesTo(page.model().calls(), folder)); // nothing twice
            QCOMPARE(answerer.seen().value(1), QString("Successfully backup 6 Call History"));
        }
        QCOMPARE(finished.size(), 2);
        QCOMPARE(DataSources::countLocalDbCalls(folder), 6);

        auto local = QSharedPointer<LocalCallHistoryDb>::create(folder.absoluteFilePath("calls.db"));
        CallHistoryMainForm localPage(nullptr, local);
        QVERIFY(GuiTestEnv::pageRead(&localPage));
        const QList<QAction*> actions = localPage.toolbarActions();
        QCOMPARE(actions.size(), 4);
        QVERIFY(actions[0]->icon().isNull());
        QCOMPARE(actions[3]->text(), QString("Delete Call History"));

        const QString csv = TestEnv::tempDir() + "/calls.csv";
        {
            ModalAnswerer answerer;
            localPage.exportCallHistoriesTo(localPage.model().calls(), csv);
            QCOMPARE(answerer.seen().value(0), QString("Successfully extracted 6 Call history."));
        }
        QVERIFY(QFile::exists(csv));

        QSignalSpy changed(&localPage, &CallHistoryMainForm::localDbChanged);
        localPage.ui()->listCalls->selectionModel()->select(
            localPage.model().index(1, 0), QItemSelectionModel::Select | QItemSelectionModel::Rows);
        {
            ModalAnswerer answerer;
            answerer.answer(QMessageBox::Yes);
            QMetaObject::invokeMethod(&localPage, "miToolbarDelete");
            QCOMPARE(answerer.seen().value(0), QString("Confirm to delete selected Call History?"));
        }
        QVERIFY(GuiTestEnv::pageRead(&localPage));
        QCOMPARE(localPage.model().rowCount(), 5);
        {
            ModalAnswerer answerer;
            answerer.answer(QMessageBox::Yes);
            QMetaObject::invokeMethod(&localPage, "miToolbarDelete");
            QCOMPARE(answerer.seen().value(0), QString("Confirm to delete all Call History?"));
        }
        QVERIFY(GuiTestEnv::pageRead(&localPage));
        QCOMPARE(localPage.model().rowCount(), 0);
        QCOMPARE(localPage.ui()->lbCount->text(), QString("Total:0"));
        QCOMPARE(changed.count(), 2);
    }

    void saveIntoAStoreThatCannotOpen()
    {
        // The folder is a file: the store cannot open, the thread reports it and does not crash in
        // its rollback.
        const QString notAFolder = TestEnv::tempDir() + "/file";
        putBytes(notAFolder, "x");
        BackupManifest manifest(TestEnv::tempDir());
        CallHistoryMainForm page(
            &manifest, QSharedPointer<ICallHistoryDb>(new LocalCallHistoryDb(TestEnv::tempDir() + "/c.db")));
        QVERIFY(GuiTestEnv::pageRead(&page));
        ModalAnswerer answerer;
        QVERIFY(!page.backupCallHistoriesTo({ newCall(1, "1", CallFlagIncoming) }, QDir(notAFolder)));
        QCOMPARE(answerer.seen().size(), 1);
    }

    // Merged into a backup read before, or into one chosen in the Load dialog, whose records are then
    // read on a worker under the write's hold and a dialog saying so: held as by a disk that stopped
    // answering, the window answers meanwhile (a timer fires every 20 ms).
    void mergeIntoAComputerBackup_data()
    {
        QTest::addColumn<bool>("chosen");
        QTest::newRow("read before") << false;
        QTest::newRow("chosen, its read held") << true;
    }
    void mergeIntoAComputerBackup()
    {
        QFETCH(bool, chosen);
        const QString store = makeCallDb({ "--calls", "6" });
        const QString backup
            = GenBackup::make({ "--content", "Library/CallHistoryDB/CallHistory.storedata=" + store });
        QVERIFY(!backup.isEmpty());
        const QMap<QString, QByteArray> filesBefore = fileDigests(backup);
        const QStringList rowsBefore = manifestRows(backup);
        const QString callFile = QString("5a/") + IOSCallHistoryDb::kStoreFile;

        BackupManifest manifest(backup);
        manifest.readManifestInfo();
        manifest.parseInfo();
        QList<_CallHistory> calls
            = IOSCallHistoryDb(QDir(cacheWith({ { IOSCallHistoryDb::kStoreFile, store } })))
                  .callHistories()
                  .mid(0, 1); // already in the backup
        calls << newCall(1600000000, "+4930111", CallFlagIncoming)
              << newCall(1600000100, "+4930222", CallFlagOutgoing);
        CallHistoryMainForm page(
            nullptr, QSharedPointer<ICallHistoryDb>(new LocalCallHistoryDb(TestEnv::tempDir() + "/x.db")));
        QVERIFY(GuiTestEnv::pageRead(&page));
        const HoldEnds ends;
        if (chosen) {
            HeldManifestReads reads({ backup });
            reads.passListedReads();
            reads.releaseAfterWatching(1000);
            ModalAnswerer answerer;
            DialogAnswers::chooseBackup(answerer, backup);
            page.export2iTunes(calls);
            QCOMPARE(answerer.seen().value(0), QString("Successfully exported 3 Call history."));
            QVERIFY2(reads.longestGap() >= 0 && reads.longestGap() < 200,
                qPrintable(QString::number(reads.longestGap())));
            QCOMPARE(reads.dialogStatus(), QString("Reading the backup %1 now. Please wait...").arg(backup));
        } else {
            ModalAnswerer answerer;
            page.export2iTunesTo(calls, manifest);
            QCOMPARE(answerer.seen().value(0), QString("Successfully exported 3 Call history."));
        }
        // The write's hold ends beside the window: its end may wait on the backup's disk.
        QCOMPARE(ends.onWindowThread(), 0);
        QVERIFY(ends.elsewhere() > 0);
        // An independent reader of the format finds the two new calls in the backup's file.
        const QString count = runPython({ "-c",
            "import sqlite3,sys; print(sqlite3.connect(sys.argv[1]).execute('select count(*), sum(ZADDRESS "
            "in "
            "(\"+4930111\",\"+4930222\")) from ZCALLRECORD').fetchone())",
            backup + "/" + callFile });
        QCOMPARE(count.trimmed(), QString("(8, 2)"));
        // The program's own reader too, through a fresh copy out of the backup.
        BackupManifest again(backup);
        again.readManifestInfo();
        again.parseInfo();
        const QString cache = TestEnv::tempDir();
        again.copyFile(
            again.callHistoryStoreNode, cache + "/" + IOSCallHistoryDb::kStoreFile, nullptr, nullptr);
        QCOMPARE(IOSCallHistoryDb(QDir(cache)).callHistories().size(), 8);
        // Nothing else changed: other files byte for byte, and only the call file's record.
        QMap<QString, QByteArray> filesAfter = fileDigests(backup);
        QMap<QString, QByteArray> expected = filesBefore;
        QVERIFY(filesAfter.value(callFile) != expected.value(callFile));
        for (const QString& name : { callFile, QString("Manifest.db") }) {
            filesAfter.remove(name);
            expected.remove(name);
        }
        QCOMPARE(filesAfter, expected);
        const QStringList rowsAfter = manifestRows(backup);
        QCOMPARE(rowsAfter.size(), rowsBefore.size());
        int changed = 0;
        for (int i = 0; i < rowsAfter.size(); ++i) {
            if (rowsAfter[i] != rowsBefore[i]) {
                ++changed;
                QVERIFY(rowsAfter[i].startsWith(IOSCallHistoryDb::kStoreFile));
            }
        }
        QCOMPARE(changed, 1);
        // The decrypted working copies are gone.
        QCOMPARE(QDir(CallsMergeRoad::makePrivateWorkDir())
                     .entryList(QDir::NoDotAndDotDot | QDir::AllEntries)
                     .size(),
            0);
    }

    void callFileReplacedDuringTheMerge_data()
    {
        QTest::addColumn<QStringList>("args");
        // Whether another program left the manifest's journal holding a change before the road began.
        QTest::addColumn<bool>("journal");
        QTest::newRow("plain") << QStringList() << false;
        QTest::newRow("encrypted") << QStringList { "--password", "pw", "--iter", "5", "--dpic", "5" }
                                   << false;
        QTest::newRow("plain, the manifest's journal left holding a change") << QStringList() << true;
    }
    // Another program (which takes no lock) renames its own call store over the backup's while the
    // calls are merged into the copy read before: the write fails, naming the file, and that
    // program's file stays in place as it wrote it. A manifest another program stopped in the middle
    // of changing is refused before anything is read, merged or staged.
    void callFileReplacedDuringTheMerge()
    {
        QFETCH(QStringList, args);
        QFETCH(bool, journal);
        const QString store = makeCallDb({ "--calls", "6" });
        const QString backup = GenBackup::make(
            args + QStringList { "--content", "Library/CallHistoryDB/CallHistory.storedata=" + store });
        QVERIFY(!backup.isEmpty());
        BackupManifest manifest(backup);
        manifest.readManifestInfo();
        if (manifest.IsEncrypted)
            QVERIFY(manifest.setPasscode("pw"));
        manifest.parseInfo();
        const QString stored = manifest.storedFilePath(manifest.callHistoryStoreNode->item);
        QFile f(stored);
        QVERIFY(f.open(QIODevice::ReadOnly));
        const QByteArray theirs = f.readAll() + "X";
        f.close();
        int workers = 0;
        QString failure;
        if (journal)
            putBytes(backup + "/Manifest.db-journal", QByteArray::fromHex("d9d505f920a163d7") + "a change");
        const int n = CallsMergeRoad::run(manifest, { newCall(1600000000, "+4930111", CallFlagIncoming) },
            [&](const QString&, const CallsMergeRoad::MakeWorker& make) {
                if (++workers == 3) { // the write's: the merge has ended, the write not begun
                    putBytes(stored + ".theirs", theirs);
                    ::rename(QFile::encodeName(stored + ".theirs").constData(),
                        QFile::encodeName(stored).constData());
                }
                ProgressForm form;
                form.setQuiet(true);
                std::unique_ptr<QThread> thread = make(form);
                thread->start();
                const int result = form.exec();
                thread->wait();
                if (result != 1)
                    failure = form.resultText();
                return result == 1;
            });
        if (journal) {
            // Refused by the first worker, before anything is read.
            QCOMPARE(n, -1);
            QCOMPARE(workers, 1);
            QVERIFY2(failure.contains("Manifest.db"), qPrintable(failure));
            QCOMPARE(QDir(backup).entryList({ "*.qm*" }, QDir::Files | QDir::Hidden), QStringList());
            return;
        }
        QCOMPARE(workers, 3);
        QCOMPARE(n, -1);
        QCOMPARE(failure,
            QString("Another program changed %1 while this write was under way: nothing was written.")
                .arg(stored));
        QVERIFY(f.open(QIODevice::ReadOnly));
        QCOMPARE(f.readAll(), theirs);
        QVERIFY(!QFileInfo::exists(backup + "/Manifest.qmwrite"));
    }

private:
    static void putBytes(const QString& path, const QByteArray& data)
    {
        QFile f(path);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(data);
    }
};

QTEST_MAIN(TestCallHistoryMainForm)
#include "TestCallHistoryMainForm.moc"
