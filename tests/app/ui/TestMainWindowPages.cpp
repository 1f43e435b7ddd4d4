#include "app/DataPaths.h"
#include "app/IdsTranslator.h"
#include "app/support/SyntheticBackup.h"
#include "app/ui/BKDescForm.h"
#include "app/ui/ItemModelBK.h"
#include "app/ui/MainWindow.h"
#include "app/ui/shared/PageLife.h"
#include "app/ui/shared/PageRead.h"
#include "app/ui/shared/ProgressForm.h"
#include "app/ui/support/DialogAnswers.h"
#include "app/ui/support/MainWindowTree.h"
#include "app/ui/support/ModalAnswerer.h"
#include "support/ForeignDisk.h"
#include "support/TestEnv.h"
#include "support/ui/GuiTestEnv.h"
#include "support/ui/TickGaps.h"

#include <QAction>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QProcess>
#include <QScopeGuard>
#include <QtTest>
#include <thread>

// The data pages as the window opens and leaves them: every page stands at once while its data is
// read beside the window, and a page left while a worker of its own still waits on a disk that does
// not answer stays, hidden, until that worker ends, the window answering all along.
class TestMainWindowPages : public QObject
{
    Q_OBJECT
    IdsTranslator m_english;
    QString m_demo; // a demo backup made once

    static ItemModelBK::_BKItemNode* load(MainWindow& w, const QString& folder)
    {
        w.resize(1000, 680);
        w.show();
        ModalAnswerer answerer;
        DialogAnswers::chooseBackup(answerer, folder);
        w.miLoadiTunesBackup();
        return static_cast<ItemModelBK::_BKItemNode*>(w.model().bkRoot->children.value(0));
    }
    // The node of kind below backup; none when there is no backup (its load failed) or no such node.
    static const AbsTreeItemModel::_ItemNode* nodeOf(const ItemModelBK::_BKItemNode* backup, int kind)
    {
        if (!backup)
            return nullptr;
        for (const AbsTreeItemModel::_ItemNode* n : backup->children)
            if (n->kind == kind)
                return n;
        return nullptr;
    }
    // The page's action that writes out what it shows: its export, else its extraction.
    static QAction* exportAction(QWidget* page)
    {
        for (const char* word : { "Export", " to file", "Extract" })
            for (QAction* action : page->findChildren<QAction*>())
                if (!action->icon().isNull() && action->text().contains(word, Qt::CaseInsensitive))
                    return action;
        return nullptr;
    }
    // Answers the page's file or folder dialog with path; the disk stops once the dialog is gone (its
    // own look at the folder has ended).
    static void choosePathThenStop(ModalAnswerer& answerer, const QString& path, ForeignDisk& disk)
    {
        answerer.answerWith([path, &disk](QWidget* modal) {
            auto* dlg = qobject_cast<QFileDialog*>(modal);
            if (!dlg)
                return false;
            QObject::connect(dlg, &QObject::destroyed, [&disk] { disk.stop(); });
            dlg->selectFile(path);
            if (auto* edit = dlg->findChild<QLineEdit*>("fileNameEdit"))
                edit->setText(path);
            QMetaObject::invokeMethod(dlg, &QDialog::accept, Qt::QueuedConnection);
            return true;
        });
    }

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY(m_english.load(":/en.qm"));
        QCoreApplication::installTranslator(&m_english);
        m_demo = TestEnv::tempDir() + "/demo";
        QVERIFY(SyntheticBackup::make(m_demo, { "--demo" }));
        // The web engine starts once per process, with the first conversation shown: not what the
        // cases measure.
        MainWindow first;
        QVERIFY(MainWindowTree::select(first, nodeOf(load(first, m_demo), ItemModelBK::KindSms)));
    }

    void init()
    {
        g_delDirCascade(g_dataSaveDir().absolutePath());
        QDir(g_dataSaveDir().absolutePath()).removeRecursively();
    }

    void kinds_data()
    {
        QTest::addColumn<int>("kind");
        QTest::newRow("messages") << int(ItemModelBK::KindSms);
        QTest::newRow("contacts") << int(ItemModelBK::KindContacts);
        QTest::newRow("call history") << int(ItemModelBK::KindCallHistory);
        QTest::newRow("calendars") << int(ItemModelBK::KindCalendar);
        QTest::newRow("notes") << int(ItemModelBK::KindNotes);
        QTest::newRow("bookmarks") << int(ItemModelBK::KindBookmarks);
        QTest::newRow("voicemail") << int(ItemModelBK::KindVoicemail);
        QTest::newRow("recordings") << int(ItemModelBK::KindRecordings);
        QTest::newRow("file tree") << int(ItemModelBK::KindFileSystem);
        QTest::newRow("photos") << int(ItemModelBK::KindPhotos);
        QTest::newRow("videos") << int(ItemModelBK::KindVideos);
    }

    // Each page over a database whose texts run long: a value a list, a header or a title shows
    // (a name, a title, a label) and a value the user opens, of megabytes.
    void aPageOverLongTexts_data()
    {
        QTest::addColumn<int>("kind");
        QTest::addColumn<QString>("database");
        QTest::addColumn<QString>("update");
        const QString mb = "substr(replace(hex(zeroblob(%1)), '00', 'long text '), 1, %2)";
        const QString one = mb.arg(256 * 1024).arg(1024 * 1024);
        const QString ten = mb.arg(2 * 1024 * 1024).arg(10 * 1024 * 1024);
        QTest::newRow("messages") << int(ItemModelBK::KindSms) << "Library/SMS/sms.db"
                                  << QString(
                                         "UPDATE chat SET display_name = %1; UPDATE message SET text = %1; "
                                         "UPDATE handle SET id = %1 WHERE ROWID = 1")
                                         .arg(one);
        QTest::newRow("contacts")
            << int(ItemModelBK::KindContacts) << "Library/AddressBook/AddressBook.sqlitedb"
            << QString("UPDATE ABPerson SET First = %1, Organization = %1, Note = %1").arg(one);
        QTest::newRow("call history")
            << int(ItemModelBK::KindCallHistory) << "Library/CallHistoryDB/CallHistory.storedata"
            << QString("UPDATE ZCALLRECORD SET ZNAME = %1, ZADDRESS = %1").arg(one);
        QTest::newRow("calendars")
            << int(ItemModelBK::KindCalendar) << "Library/Calendar/Calendar.sqlitedb"
            << QString("UPDATE CalendarItem SET summary = %1, description = %1").arg(one);
        QTest::newRow("notes") << int(ItemModelBK::KindNotes) << "Library/Notes/notes.sqlite"
                               << QString("UPDATE ZNOTE SET ZTITLE = %1, ZSUMMARY = %2").arg(one, ten);
        QTest::newRow("bookmarks") << int(ItemModelBK::KindBookmarks) << "Library/Safari/Bookmarks.db"
                                   << QString("UPDATE bookmarks SET title = %1, url = %2").arg(ten, one);
        QTest::newRow("voicemail") << int(ItemModelBK::KindVoicemail) << "Library/Voicemail/voicemail.db"
                                   << QString("UPDATE voicemail SET sender = %1").arg(one);
        QTest::newRow("recordings") << int(ItemModelBK::KindRecordings) << "Media/Recordings/Recordings.db"
                                    << QString("UPDATE ZRECORDING SET ZCUSTOMLABEL = %1").arg(ten);
    }
    void aPageOverLongTexts()
    {
        QFETCH(int, kind);
        QFETCH(QString, database);
        QFETCH(QString, update);
        const QString folder = TestEnv::tempDir() + "/long";
        QDir(folder).removeRecursively();
        QCOMPARE(QProcess::execute("cp", { "-r", m_demo, folder }), 0);
        QProcess query;
        query.start("sqlite3",
            { folder + "/Manifest.db",
                QString("SELECT fileID FROM Files WHERE relativePath = '%1'").arg(database) });
        QVERIFY(query.waitForFinished());
        const QString id = QString::fromLatin1(query.readAllStandardOutput()).trimmed();
        QCOMPARE(id.size(), 40);
        QCOMPARE(QProcess::execute("sqlite3", { folder + "/" + id.left(2) + "/" + id, update }), 0);

        MainWindow w;
        const AbsTreeItemModel::_ItemNode* node = nodeOf(load(w, folder), kind);
        QVERIFY(node);
        ModalAnswerer answerer;
        TickGaps gaps;
        MainWindowTree::click(w, node);
        QVERIFY(MainWindowTree::pageRead(w));
        QTest::qWait(300); // the list painted
        const qint64 longest = gaps.stop();
        GuiTestEnv::screenshot(&w, QString("long-texts-%1").arg(QTest::currentDataTag()));
        QCOMPARE(answerer.seen(), QStringList());
        QVERIFY(!w.currentPage()->findChild<QLabel*>("lbCount")
            || !w.currentPage()->findChild<QLabel*>("lbCount")->text().contains('?'));
        QVERIFY2(longest < 200, qPrintable(QString::number(longest)));
    }

    // A click on a page of a backup whose disk stopped answering shows the page at once, reading;
    // another click shows another page, and the first goes once its reading has ended.
    void aPageOfABackupOnAStoppedDisk_data() { kinds_data(); }
    void aPageOfABackupOnAStoppedDisk()
    {
        QFETCH(int, kind);
        ForeignDisk disk(ForeignDisk::Kind::Fat);
        if (!disk.isMounted())
            QSKIP(qPrintable(disk.whyNot()));
        const QString folder = disk.path() + "/backup";
        QCOMPARE(QProcess::execute("cp", { "-r", m_demo, folder }), 0);
        MainWindow w;
        const AbsTreeItemModel::_ItemNode* node = nodeOf(load(w, folder), kind);
        QVERIFY(node);
        ModalAnswerer answerer;
        QVERIFY(disk.stop());
        std::thread rescue([&disk] {
            QThread::msleep(4000);
            disk.resume();
        });
        auto joined = qScopeGuard([&rescue] { rescue.join(); });
        TickGaps gaps;
        MainWindowTree::click(w, node);
        const QPointer<QWidget> reading = w.currentPage();
        QTest::qWait(500);
        QVERIFY(reading && reading->isVisible());
        QVERIFY(PageRead::readingIn(reading));
        GuiTestEnv::screenshot(&w, "page-reading");
        MainWindowTree::click(w, w.model().bkRoot->children.first());
        QVERIFY(qobject_cast<BKDescForm*>(w.currentPage()));
        const qint64 longest = gaps.stop();
        joined.dismiss();
        rescue.join();
        QVERIFY2(longest < 200, qPrintable(QString::number(longest)));
        QTRY_VERIFY_WITH_TIMEOUT(!reading, 10000);
        QCOMPARE(PageLife::retiredCount(), 0);
        QCOMPARE(answerer.seen(), QStringList());
    }

    // An export from a page onto a disk that stops answering, cancelled: the user is told which disk
    // does not answer and goes to another page while the worker still waits. The page stays, hidden,
    // with all the worker reads, and goes once the worker has ended.
    void leavingAPageWhoseCancelledWorkerWaits_data() { kinds_data(); }
    void leavingAPageWhoseCancelledWorkerWaits()
    {
        QFETCH(int, kind);
        ForeignDisk disk(ForeignDisk::Kind::Fat);
        if (!disk.isMounted())
            QSKIP(qPrintable(disk.whyNot()));
        MainWindow w;
        const AbsTreeItemModel::_ItemNode* node = nodeOf(load(w, m_demo), kind);
        QVERIFY(node);
        QVERIFY(MainWindowTree::select(w, node));
        const QPointer<QWidget> page = w.currentPage();
        QAction* action = exportAction(page);
        QVERIFY(action);
        std::atomic<bool> resumed = false;
        std::thread rescue([&] {
            for (int i = 0; i < 300 && !resumed; ++i)
                QThread::msleep(50);
            disk.resume();
        });
        auto joined = qScopeGuard([&] {
            resumed = true;
            rescue.join();
        });
        ModalAnswerer answerer;
        const bool folder = kind >= ItemModelBK::KindFileSystem || kind == ItemModelBK::KindVoicemail
            || kind == ItemModelBK::KindRecordings;
        QVERIFY(QDir().mkpath(disk.path() + "/out"));
        choosePathThenStop(answerer, disk.path() + (folder ? "/out" : "/out/list.txt"), disk);
        QString status;
        DialogAnswers::answerProgress(answerer, &status, true);

        // The checks run while the page's action still waits for its worker, in the window's loop.
        bool told = false;
        bool leftWhileWaiting = false;
        answerer.answerWith([&](QWidget* modal) {
            auto* box = qobject_cast<QMessageBox*>(modal);
            if (!box || !box->text().startsWith("Cancelled, but the disk of "))
                return false;
            told = true;
            QTimer::singleShot(
                100, &w, [&] { MainWindowTree::click(w, w.model().bkRoot->children.first()); });
            QTimer::singleShot(600, &w, [&] {
                leftWhileWaiting = qobject_cast<BKDescForm*>(w.currentPage()) && page && !page->isVisible();
                resumed = true;
            });
            return ModalAnswerer::click(box, QMessageBox::Ok);
        });
        TickGaps gaps;
        QTimer::singleShot(0, action, &QAction::trigger);
        QTRY_VERIFY_WITH_TIMEOUT(!page, 60000);
        joined.dismiss();
        resumed = true;
        rescue.join();
        QVERIFY(told);
        QVERIFY(leftWhileWaiting);
        QVERIFY2(gaps.stop() < 200, qPrintable(QString::number(gaps.longest())));
        QVERIFY(qobject_cast<BKDescForm*>(w.currentPage()));
        QCOMPARE(PageLife::retiredCount(), 0);
        // A cancel is the user's: nothing is written once the disk answers again.
        if (!folder)
            QVERIFY(!QFileInfo::exists(disk.path() + "/out/list.txt"));
    }
};

QM_SHARDED_TEST_MAIN(TestMainWindowPages)
#include "TestMainWindowPages.moc"
