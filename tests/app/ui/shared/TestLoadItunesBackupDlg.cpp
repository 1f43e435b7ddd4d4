#include "app/DataPaths.h"
#include "app/IdsTranslator.h"
#include "app/support/SyntheticBackup.h"
#include "app/ui/shared/ItemModelLoadBk.h"
#include "app/ui/shared/ListedBackupReads.h"
#include "app/ui/shared/LoadItunesBackupDlg.h"
#include "app/ui/support/DialogAnswers.h"
#include "app/ui/support/HeldManifestReads.h"
#include "app/ui/support/ModalAnswerer.h"
#include "backup/BackupManifest.h"
#include "support/PlainUser.h"
#include "support/TestEnv.h"
#include "support/ui/GuiTestEnv.h"

#include <QElapsedTimer>
#include <QFile>
#include <QLabel>
#include <QPushButton>
#include <QScopeGuard>
#include <QTreeView>
#include <QtTest>
#include <memory>
#include <sys/stat.h>

class TestLoadItunesBackupDlg : public QObject
{
    Q_OBJECT
    QString m_systemRoot;

    static bool setMode(const QString& path, int mode)
    {
        return ::chmod(QFile::encodeName(path).constData(), mode_t(mode)) == 0;
    }
    // Each backup listed is read on a thread of its own: waits until all have been read.
    static bool readsEnded(const LoadItunesBackupDlg& dlg)
    {
        return QTest::qWaitFor([&dlg] { return !dlg.reading(); }, 10000);
    }
    // Adds a folder and waits until every read of it has ended: the backups listed from it, or -1.
    static int addAndWait(LoadItunesBackupDlg& dlg, const QString& folder, bool report = true)
    {
        QSignalSpy spy(&dlg, &LoadItunesBackupDlg::folderAdded);
        dlg.addFolder(folder, report);
        if (!spy.wait(10000))
            return -1;
        return spy.first().at(1).toInt();
    }

private Q_SLOTS:
    void initTestCase()
    {
        m_systemRoot = LoadItunesBackupDlg::systemBackupRoots().first();
        QVERIFY(m_systemRoot.startsWith(QDir::homePath()));
        QVERIFY(
            SyntheticBackup::make(m_systemRoot + "/0123456789abcdef0123456789abcdef01234567", { "--demo" }));
    }

    void listsTheComputersBackups()
    {
        LoadItunesBackupDlg dlg;
        QVERIFY(readsEnded(dlg));
        QCOMPARE(dlg.model->rowCount(), 1);
        QCOMPARE(dlg.backups().size(), 1);
        QVERIFY(dlg.lbListing->isHidden());
        // The only backup is chosen already, so Load takes it at once.
        ModalAnswerer answerer;
        dlg.onBtnOkPressed();
        QCOMPARE(answerer.seen(), QStringList());
        QCOMPARE(dlg.result(), int(QDialog::Accepted));
        QVERIFY(dlg.manifest);
        QCOMPARE(dlg.manifest->DeviceName, QString("Demo iPhone"));
        QCOMPARE(dlg.model->index(0, 1).data().toString(), dlg.manifest->ProductType);
        QCOMPARE(dlg.model->backupAt(0), dlg.manifest);
        QVERIFY(!dlg.model->backupAt(1));
        QStringList headers;
        for (int c = 0; c < dlg.model->columnCount(); ++c)
            headers << dlg.model->headerData(c, Qt::Horizontal).toString();
        QCOMPARE(headers.size(), 5);
        QVERIFY(!headers.contains(QString()));
        QCOMPARE(dlg.model->index(0, 4).data().toString(), QString("Normal"));
        QCOMPARE(dlg.model->index(0, 0).data(Qt::ToolTipRole).toString(), dlg.manifest->dir.absolutePath());
    }

    void addsAFolderOfBackupsAndOneBackup()
    {
        const QString folder = TestEnv::tempDir();
        QVERIFY(SyntheticBackup::make(
            folder + "/one", { "--device-name", "Phone One", "--udid", QString(40, 'a') }));
        QVERIFY(SyntheticBackup::make(
            folder + "/two", { "--device-name", "Phone Two", "--udid", QString(40, 'b') }));
        const QString single = TestEnv::tempDir() + "/three";
        QVERIFY(
            SyntheticBackup::make(single, { "--device-name", "Phone Three", "--udid", QString(40, 'c') }));
        IdsTranslator english;
        QVERIFY(english.load(":/en.qm"));
        QCoreApplication::installTranslator(&english);
        LoadItunesBackupDlg dlg;
        QCoreApplication::removeTranslator(&english);
        ModalAnswerer answerer;
        QCOMPARE(addAndWait(dlg, folder), 2);
        QCOMPARE(addAndWait(dlg, single), 1);
        // Adding the same folder again lists nothing twice.
        QCOMPARE(addAndWait(dlg, single), 1);
        QVERIFY(readsEnded(dlg));
        QCOMPARE(dlg.backups().size(), 4);
        QCOMPARE(answerer.seen(), QStringList());
        // The backup just added is the current entry.
        dlg.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dlg));
        GuiTestEnv::screenshot(&dlg, "load-backup-dialog");
        dlg.onBtnOkPressed();
        QCOMPARE(dlg.manifest->DeviceName, QString("Phone Three"));
    }

    void folderThatIsNoBackupIsRefused()
    {
        const QString folder = TestEnv::tempDir();
        QFile f(folder + "/notes.txt");
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.close();
        LoadItunesBackupDlg dlg;
        ModalAnswerer answerer;
        QCOMPARE(addAndWait(dlg, folder), 0);
        QCOMPARE(answerer.seen().size(), 1);
        QVERIFY(answerer.seen().first().startsWith("IDS_NOT_ITUNES_BACKUP_FOLDER"));
        QCOMPARE(answerer.seenIcons().first(), QMessageBox::Warning);
        QVERIFY(readsEnded(dlg));
        QCOMPARE(dlg.backups().size(), 1);
    }

    void damagedManifestIsReported()
    {
        const QString backup = TestEnv::tempDir() + "/damaged";
        QVERIFY(SyntheticBackup::make(backup, { "--udid", QString(40, 'd') }));
        QFile plist(backup + "/Manifest.plist");
        QVERIFY(plist.open(QIODevice::WriteOnly | QIODevice::Truncate));
        plist.write("bplist00 this is not a property list");
        plist.close();
        LoadItunesBackupDlg dlg;
        ModalAnswerer answerer;
        QCOMPARE(addAndWait(dlg, backup), 1); // listed, and told once read
        QVERIFY(readsEnded(dlg));
        QCOMPARE(answerer.seenIcons(), QList<QMessageBox::Icon>({ QMessageBox::Critical }));
        QVERIFY(answerer.seen().first().contains("damaged"));
        QCOMPARE(dlg.backups().size(), 1);
    }

    void aBackupBeingRead_data() { HeldManifestReads::addRows(); }
    // A backup whose read does not end (a disk that stopped answering) is listed at once as being
    // read, and the others show meanwhile. Load waits for it under a dialog that may be cancelled,
    // then takes it, or says why it is not readable.
    void aBackupBeingRead()
    {
        QFETCH(bool, damaged);
        QFETCH(bool, cancel);
        const QString folder = TestEnv::tempDir();
        const QString held = folder + "/held";
        QVERIFY(HeldManifestReads::makeBackup(held, damaged));
        QVERIFY(SyntheticBackup::make(folder + "/free", { "--udid", QString(40, '2') }));
        IdsTranslator english;
        QVERIFY(english.load(":/en.qm"));
        QCoreApplication::installTranslator(&english);
        const std::shared_ptr<void> untranslate(
            nullptr, [&english](void*) { QCoreApplication::removeTranslator(&english); });
        HeldManifestReads reads({ held });
        LoadItunesBackupDlg dlg;
        ModalAnswerer answerer;
        dlg.addFolder(folder, true);
        QTRY_COMPARE(reads.holding(), 1);
        QTRY_COMPARE(dlg.backups().size(), 2); // the computer's backup and the free one
        const int row = dlg.model->rowOf(held);
        const QString waitText = QString("Reading the backup %1 now. Please wait...").arg(held);
        QCOMPARE(dlg.model->index(row, 0).data().toString(), QString("held"));
        QCOMPARE(dlg.model->index(row, 4).data().toString(), QString("Reading..."));
        QCOMPARE(dlg.model->index(row, 0).data(Qt::ToolTipRole).toString(), waitText);
        dlg.twBackups->setCurrentIndex(dlg.model->index(row, 0));
        if (!damaged && !cancel) {
            dlg.show();
            QVERIFY(QTest::qWaitForWindowExposed(&dlg));
            GuiTestEnv::screenshot(&dlg, "load-backup-being-read");
        }
        QString status;
        DialogAnswers::answerProgress(answerer, &status, cancel, [&](ProgressForm*) {
            if (!cancel)
                reads.release();
        });
        dlg.onBtnOkPressed();
        QCOMPARE(status, waitText);
        QCOMPARE(answerer.pending(), 0);
        if (!damaged && !cancel) {
            QCOMPARE(dlg.result(), int(QDialog::Accepted));
            QCOMPARE(dlg.manifest->DeviceName, QString("Held Phone"));
            return;
        }
        QVERIFY(dlg.result() != QDialog::Accepted);
        QVERIFY(!dlg.manifest);
        if (cancel) {
            // The dialog stays, and the read goes on.
            QCOMPARE(dlg.model->index(row, 4).data().toString(), QString("Reading..."));
            reads.release();
            QVERIFY(readsEnded(dlg));
            QCOMPARE(dlg.model->index(row, 0).data().toString(), QString("Held Phone-held"));
            return;
        }
        // Told once, in the folder's box; then said by the row, and by Load again.
        const QString why
            = QString("%1/Manifest.plist is damaged: it is not a readable property list.").arg(held);
        QCOMPARE(answerer.seen().size(), 1);
        QVERIFY2(answerer.seen().value(0).contains("held: " + why), qPrintable(answerer.seen().value(0)));
        QCOMPARE(dlg.model->index(row, 0).data().toString(), QString("held"));
        QCOMPARE(dlg.model->index(row, 4).data().toString(), QString("Not readable"));
        const QString told = QString("The folder %1 is not a readable iTunes backup.\n").arg(held) + why;
        QCOMPARE(dlg.model->index(row, 4).data(Qt::ToolTipRole).toString(), told);
        dlg.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dlg));
        GuiTestEnv::screenshot(&dlg, "load-backup-not-readable");
        dlg.onBtnOkPressed();
        QCOMPARE(answerer.seen().size(), 2);
        QVERIFY2(answerer.seen().value(1).contains(QString(told).replace("\n", "<br/>")),
            qPrintable(answerer.seen().value(1)));
        QVERIFY(!dlg.manifest);
    }

    // The dialog closes while a read is held where no cancel reaches: it goes at once, and the read
    // is told to stop and left to end on its own.
    void closingWhileABackupIsReadEndsAtOnce()
    {
        const QString held = TestEnv::tempDir() + "/held";
        QVERIFY(SyntheticBackup::make(held, { "--udid", QString(40, '6') }));
        HeldManifestReads reads({ held });
        {
            LoadItunesBackupDlg dlg;
            dlg.addFolder(held, false);
            QTRY_COMPARE(reads.holding(), 1);
            dlg.reject();
        }
        QCOMPARE(reads.holding(), 1);
        QTRY_VERIFY(reads.cancelSeen());
    }

    // The computer's folder of backups is listed, and its entries read, off the dialog's thread, at
    // most eight at once: entries that do not answer (links to a share that stopped answering) stay
    // being read while the dialog answers, and closing it waits for none of them. Once they answer,
    // those that are no backup leave the list, and the only backup is chosen.
    void theComputersFolderIsListedOffTheDialog()
    {
        QStringList held;
        for (int i = 0; i < 10; ++i) {
            held << m_systemRoot + QString("/held%1").arg(i);
            QVERIFY(QDir().mkpath(held.last()));
        }
        const QString file = m_systemRoot + "/readme.txt";
        QFile(file).open(QIODevice::WriteOnly);
        const auto cleanup = qScopeGuard([&] {
            for (const QString& folder : std::as_const(held))
                QDir(folder).removeRecursively();
            QFile::remove(file);
        });
        HeldManifestReads reads(held);
        QElapsedTimer clock;
        {
            LoadItunesBackupDlg dlg;
            dlg.show();
            QTRY_COMPARE(reads.holding(), ListedBackupReads::kAtOnce);
            QCOMPARE(dlg.model->rowCount(), 11); // the file is left out
            QVERIFY(dlg.reading());
            qint64 last = 0;
            qint64 longest = 0;
            QTimer tick;
            connect(&tick, &QTimer::timeout, &tick, [&] {
                longest = std::max(longest, clock.elapsed() - last);
                last = clock.elapsed();
            });
            clock.start();
            tick.start(20);
            QTest::qWait(500);
            QVERIFY2(longest > 0 && longest < 200, qPrintable(QString::number(longest)));
            QCOMPARE(dlg.backups().size(), 1);
            GuiTestEnv::screenshot(&dlg, "load-backup-entries-being-read");
            clock.start();
        }
        QVERIFY2(clock.elapsed() < 200, qPrintable(QString::number(clock.elapsed())));
        QCOMPARE(reads.holding(), ListedBackupReads::kAtOnce);
        reads.release();
        QTRY_COMPARE(reads.holding(), 0);
        LoadItunesBackupDlg dlg;
        QVERIFY(readsEnded(dlg));
        QCOMPARE(dlg.model->rowCount(), 1);
        QCOMPARE(dlg.twBackups->currentIndex().row(), 0);
    }

    // A folder added by hand takes the same road: while it does not answer, the dialog does and
    // says it is reading; once it answers its backups are listed, and an entry that is no backup
    // leaves the list.
    void anAddedFolderIsListedOffTheDialog()
    {
        const QString folder = TestEnv::tempDir();
        QVERIFY(SyntheticBackup::make(folder + "/good", { "--udid", QString(40, 'a') }));
        QVERIFY(QDir().mkpath(folder + "/photos"));
        HeldManifestReads reads({ folder, folder + "/photos" }, true);
        LoadItunesBackupDlg dlg;
        QVERIFY(readsEnded(dlg));
        dlg.show();
        QSignalSpy addedSpy(&dlg, &LoadItunesBackupDlg::folderAdded);
        QElapsedTimer clock;
        qint64 last = 0;
        qint64 longest = 0;
        QTimer tick;
        connect(&tick, &QTimer::timeout, &tick, [&] {
            longest = std::max(longest, clock.elapsed() - last);
            last = clock.elapsed();
        });
        clock.start();
        tick.start(20);
        dlg.addFolder(folder, true);
        QTRY_COMPARE(reads.holding(), 1);
        QTest::qWait(300);
        QVERIFY2(longest > 0 && longest < 200, qPrintable(QString::number(longest)));
        QVERIFY(dlg.reading());
        QVERIFY(!dlg.lbListing->isHidden());
        QCOMPARE(dlg.model->rowCount(), 1);
        GuiTestEnv::screenshot(&dlg, "load-backup-added-folder-being-listed");
        reads.release();
        QVERIFY(addedSpy.wait(10000));
        QCOMPARE(addedSpy.first().at(1).toInt(), 1);
        QVERIFY(dlg.lbListing->isHidden());
        QCOMPARE(dlg.model->rowCount(), 2);
        QCOMPARE(dlg.backups().size(), 2);
    }

    // Its Manifest.plist rewritten by a tool that decrypted only the manifest: IsEncrypted false, no
    // keybag, the stored files as the device encrypted them. Never listed as a plain backup.
    void backupWhoseFilesLackTheirKeysIsRefusedByName()
    {
        const QString backup = TestEnv::tempDir() + "/no-keybag";
        QVERIFY(SyntheticBackup::make(backup,
            { "--udid", QString(40, 'e'), "--password", "1234", "--iter", "1", "--dpic", "1",
                "--half-decrypted", "--manifest-plist", "no-keybag" }));
        LoadItunesBackupDlg dlg;
        QVERIFY(readsEnded(dlg));
        const qsizetype listed = dlg.backups().size();
        ModalAnswerer answerer;
        QCOMPARE(addAndWait(dlg, backup, true), 1);
        QVERIFY(readsEnded(dlg));
        QCOMPARE(answerer.seenIcons(), QList<QMessageBox::Icon>({ QMessageBox::Critical }));
        const QString shown = answerer.seen().value(0);
        QVERIFY2(shown.contains(backup
                     + " cannot be read: its stored files are encrypted, but the keys to them "
                       "are missing.")
                && shown.contains("Manifest.plist holds no keybag."),
            qPrintable(shown));
        QCOMPARE(dlg.backups().size(), listed);
    }

    void folderWithOneDamagedBackupNamesIt()
    {
        const QString folder = TestEnv::tempDir();
        QVERIFY(SyntheticBackup::make(folder + "/good", { "--udid", QString(40, 'f') }));
        QVERIFY(SyntheticBackup::make(folder + "/bad", { "--udid", QString(40, '9') }));
        QFile plist(folder + "/bad/Manifest.plist");
        QVERIFY(plist.open(QIODevice::WriteOnly | QIODevice::Truncate));
        plist.write("not a property list");
        plist.close();
        IdsTranslator english;
        QVERIFY(english.load(":/en.qm"));
        QCoreApplication::installTranslator(&english);
        LoadItunesBackupDlg dlg;
        ModalAnswerer answerer;
        const int added = addAndWait(dlg, folder, true);
        QVERIFY(readsEnded(dlg));
        QCoreApplication::removeTranslator(&english);
        QCOMPARE(added, 2);
        QCOMPARE(dlg.backups().size(), 2);
        QCOMPARE(answerer.seenIcons(), QList<QMessageBox::Icon>({ QMessageBox::Critical }));
        const QString shown = answerer.seen().value(0);
        QVERIFY2(
            shown.contains("These entries of the folder") && shown.contains("<br/>bad: "), qPrintable(shown));
        QVERIFY2(!shown.contains("is not a readable iTunes backup."), qPrintable(shown));
        QVERIFY(!shown.contains("good"));
    }

    void backupWithoutManifestPlistInAFolderIsNamed()
    {
        const QString folder = TestEnv::tempDir();
        QVERIFY(SyntheticBackup::make(folder + "/good", { "--udid", QString(40, '7') }));
        QVERIFY(SyntheticBackup::make(folder + "/lost", { "--udid", QString(40, '8') }));
        QVERIFY(QFile::remove(folder + "/lost/Manifest.plist"));
        QVERIFY(QDir().mkpath(folder + "/photos")); // not a backup: passed over
        LoadItunesBackupDlg dlg;
        ModalAnswerer answerer;
        QCOMPARE(addAndWait(dlg, folder, true), 2);
        QVERIFY(readsEnded(dlg));
        QCOMPARE(answerer.seenIcons(), QList<QMessageBox::Icon>({ QMessageBox::Critical }));
        const QString shown = answerer.seen().value(0);
        QVERIFY2(shown.contains("lost: Cannot find") && shown.contains("Manifest.plist"), qPrintable(shown));
        QVERIFY2(!shown.contains("photos"), qPrintable(shown));
        // The scan at start-up stays silent.
        ModalAnswerer quiet;
        LoadItunesBackupDlg again;
        QCOMPARE(addAndWait(again, folder, false), 2);
        QVERIFY(readsEnded(again));
        QCOMPARE(quiet.seen(), QStringList());
    }

    void realFolderWithoutManifestPlistIsRefused()
    {
        QM_REQUIRE_SHARED();
        const QString folder = TestEnv::copyToTemp(TestEnv::realFixture("mvt/ios_backup"));
        QVERIFY(!folder.isEmpty());
        LoadItunesBackupDlg dlg;
        ModalAnswerer answerer;
        QCOMPARE(addAndWait(dlg, folder), 0);
        QCOMPARE(answerer.seenIcons(), QList<QMessageBox::Icon>({ QMessageBox::Warning }));
        QVERIFY(answerer.seen().first().startsWith("IDS_NOT_ITUNES_BACKUP_FOLDER"));
    }

    void folderWithoutPermissionIsNamed_data()
    {
        QTest::addColumn<QString>("added"); // under a folder holding the backups "good" and "bk"
        QTest::addColumn<QString>("locked"); // the folder whose permissions are taken
        QTest::addColumn<int>("mode");
        QTest::addColumn<int>("listed");
        QTest::addColumn<QString>("shown"); // what the box says first
        QTest::newRow("a backup without any permission") << "bk"
                                                         << "bk" << 0 << 0 << "Cannot read the folder";
        QTest::newRow("a backup that may be listed, not searched")
            << "bk"
            << "bk" << 0600 << 0 << "Cannot read the folder";
        QTest::newRow("a backup in a folder of backups") << "."
                                                         << "bk" << 0 << 2 << "These entries of the folder";
        QTest::newRow("a folder of backups that may be searched, not listed")
            << "."
            << "." << 0300 << 0 << "Cannot read the folder";
    }
    // Added by hand, a folder the user may not read is named with the system's reason, never called
    // "not a backup"; as root too, permissions holding for the test's thread.
    void folderWithoutPermissionIsNamed()
    {
        QFETCH(QString, added);
        QFETCH(QString, locked);
        QFETCH(int, mode);
        QFETCH(int, listed);
        QFETCH(QString, shown);
        const QString parent = TestEnv::tempDir();
        QVERIFY(SyntheticBackup::make(parent + "/good", { "--udid", QString(40, '3') }));
        QVERIFY(SyntheticBackup::make(parent + "/bk", { "--udid", QString(40, '4') }));
        const QString lockedPath = QDir::cleanPath(parent + "/" + locked);
        IdsTranslator english;
        QVERIFY(english.load(":/en.qm"));
        QCoreApplication::installTranslator(&english);
        LoadItunesBackupDlg dlg;
        ModalAnswerer answerer;
        int n = -1;
        QString whyNot;
        {
            PlainUser plain;
            whyNot = plain.whyNot();
            QVERIFY(setMode(lockedPath, mode));
            // The reads started here are held to permissions too.
            if (plain.holdsToPermissions()) {
                n = addAndWait(dlg, QDir::cleanPath(parent + "/" + added), true);
                QVERIFY(readsEnded(dlg));
            }
            QVERIFY(setMode(lockedPath, 0755));
        }
        QCoreApplication::removeTranslator(&english);
        if (!whyNot.isEmpty())
            QSKIP(qPrintable(whyNot));
        QCOMPARE(n, listed);
        QCOMPARE(answerer.seenIcons(), QList<QMessageBox::Icon>({ QMessageBox::Critical }));
        const QString text = answerer.seen().value(0);
        QVERIFY2(text.contains(shown) && !text.contains("is not a"), qPrintable(text));
        QVERIFY2(text.contains(QString("Cannot read the folder %1: Permission denied.").arg(lockedPath)),
            qPrintable(text));
    }

    // The computer's folder of backups is read when the dialog opens: a backup there, or the folder
    // itself, that the user may not read is named under the list, without a box.
    void scanNamesWhatTheUserMayNotRead_data()
    {
        QTest::addColumn<bool>("wholeFolder");
        QTest::newRow("one backup") << false;
        QTest::newRow("the folder of backups") << true;
    }
    void scanNamesWhatTheUserMayNotRead()
    {
        QFETCH(bool, wholeFolder);
        const QString other = m_systemRoot + "/" + QString(40, '5');
        QVERIFY(SyntheticBackup::make(other, { "--udid", QString(40, '5') }));
        const QString locked = wholeFolder ? m_systemRoot : other;
        IdsTranslator english;
        QVERIFY(english.load(":/en.qm"));
        QCoreApplication::installTranslator(&english);
        ModalAnswerer answerer;
        std::unique_ptr<LoadItunesBackupDlg> dlg;
        QString whyNot;
        {
            PlainUser plain;
            whyNot = plain.whyNot();
            QVERIFY(setMode(locked, 0));
            if (plain.holdsToPermissions()) {
                dlg = std::make_unique<LoadItunesBackupDlg>();
                QVERIFY(readsEnded(*dlg));
            }
            QVERIFY(setMode(locked, 0755));
        }
        QCoreApplication::removeTranslator(&english);
        QDir(other).removeRecursively();
        if (!whyNot.isEmpty())
            QSKIP(qPrintable(whyNot));
        QCOMPARE(answerer.seen(), QStringList());
        QCOMPARE(dlg->backups().size(), wholeFolder ? 0 : 1);
        QVERIFY(!dlg->lbLeftOut->isHidden());
        const QString note = dlg->lbLeftOut->text();
        QVERIFY2(note.contains(QString("Cannot read the folder %1: Permission denied.").arg(locked)),
            qPrintable(note));
        if (!wholeFolder)
            QVERIFY2(note.startsWith(QString("These entries of the folder %1").arg(m_systemRoot)),
                qPrintable(note));
        dlg->show();
        QVERIFY(QTest::qWaitForWindowExposed(dlg.get()));
        GuiTestEnv::screenshot(
            dlg.get(), wholeFolder ? "load-backup-folder-unreadable" : "load-backup-one-unreadable");
    }

    void loadWithoutChoiceWarns()
    {
        const QString second = m_systemRoot + "/" + QString(40, 'e');
        QVERIFY(SyntheticBackup::make(second, { "--udid", QString(40, 'e') }));
        LoadItunesBackupDlg dlg;
        QVERIFY(readsEnded(dlg));
        QCOMPARE(dlg.backups().size(), 2);
        QVERIFY(!dlg.twBackups->currentIndex().isValid());
        ModalAnswerer answerer;
        dlg.onBtnOkPressed();
        QCOMPARE(answerer.seen(), QStringList({ "IDS_PLEASE_SELECT_ONE_ITUNES_BACKUP" }));
        QVERIFY(dlg.result() != QDialog::Accepted);
        QVERIFY(!dlg.manifest);
        QDir(second).removeRecursively();
    }
};

QTEST_MAIN(TestLoadItunesBackupDlg)
#include "TestLoadItunesBackupDlg.moc"
