#include "app/IdsTranslator.h"
#include "app/support/SyntheticBackup.h"
#include "app/ui/MainWindow.h"
#include "app/ui/shared/MyTreeView.h"
#include "app/ui/support/MainWindowTree.h"
#include "app/ui/support/ModalAnswerer.h"
#include "backup/BackupManifest.h"
#include "backup/BkCacheDb.h"
#include "backup/CacheListDb.h"
#include "support/FailingDisk.h"
#include "support/PlainUser.h"
#include "support/TestEnv.h"

#include <QtTest>
#include <optional>
#include <sys/stat.h>

// A backup the main window lists again at start, or loads, that the user may not read: it is named
// with the system's reason, never taken for gone (which would drop it and its cache) or for a folder
// that is no backup. Permissions hold for the test's thread, also when the tests run as root.
class TestMainWindowBackupAccess : public QObject
{
    Q_OBJECT
    IdsTranslator m_english;
    QString m_backup; // a backup in a folder of its own
    QString m_cache; // its cache folder

    static bool setMode(const QString& path, int mode)
    {
        return ::chmod(QFile::encodeName(path).constData(), mode_t(mode)) == 0;
    }
    static QString cacheList() { return BkCacheDb::cacheDir().absoluteFilePath("cache_list.db"); }
    QString locked(const QString& which) const
    {
        return which == "backup" ? m_backup : QFileInfo(m_backup).absolutePath();
    }

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY(m_english.load(":/en.qm"));
        QCoreApplication::installTranslator(&m_english);
        m_backup = TestEnv::tempDir() + "/above/bk";
        QVERIFY(SyntheticBackup::make(m_backup, { "--udid", QString(40, '6') }));
        m_cache = BkCacheDb::cacheDir().absoluteFilePath(BackupManifest(m_backup).dirPathMd5());
    }

    void init()
    {
        QVERIFY(QDir().mkpath(m_cache));
        CacheListDb(cacheList()).save(BackupManifest(m_backup).dirPathMd5(), m_backup);
    }

    void rememberedBackupIsKeptAndNamed_data()
    {
        QTest::addColumn<QString>("which"); // the folder whose permissions are taken
        QTest::newRow("the backup folder") << "backup";
        QTest::newRow("the folder above it") << "above";
    }
    void rememberedBackupIsKeptAndNamed()
    {
        QFETCH(QString, which);
        ModalAnswerer answerer;
        std::unique_ptr<MainWindow> w;
        QString whyNot;
        {
            PlainUser plain;
            whyNot = plain.whyNot();
            QVERIFY(setMode(locked(which), 0));
            // Each backup is read on a thread of its own, held to permissions as this one.
            if (plain.holdsToPermissions()) {
                w = std::make_unique<MainWindow>();
                QVERIFY(MainWindowTree::listedRead(*w));
                QVERIFY(answerer.waitHandled(1));
            }
            QVERIFY(setMode(locked(which), 0755));
        }
        if (!whyNot.isEmpty())
            QSKIP(qPrintable(whyNot));
        QCOMPARE(answerer.seenIcons(), QList<QMessageBox::Icon>({ QMessageBox::Warning }));
        const QString shown = answerer.seen().value(0);
        // The folder without permission is named, after the backup when it is another.
        const QString reason = QString("Cannot read the folder %1: Permission denied.").arg(locked(which));
        QVERIFY2(shown.contains(which == "backup" ? reason : m_backup + ": " + reason), qPrintable(shown));
        QVERIFY2(shown.contains("These backups loaded before could not be read"), qPrintable(shown));
        QCOMPARE(w->model().bkRoot->children.size(), 0);
        // Kept for the next start, with its cache.
        QCOMPARE(CacheListDb(cacheList()).cacheList().size(), 1);
        QVERIFY(QFileInfo(m_cache).isDir());
        w.reset();
        MainWindow again;
        QVERIFY(MainWindowTree::listedRead(again));
        QCOMPARE(MainWindowTree::texts(again.model().bkRoot->children), QStringList({ "Demo iPhone-bk" }));
        QCOMPARE(answerer.seen().size(), 1);
    }

    void listedBackupThatMayNotBeReadIsNamed_data()
    {
        QTest::addColumn<QString>("which");
        QTest::newRow("the backup folder") << "backup";
        QTest::newRow("the folder above it") << "above";
    }
    void listedBackupThatMayNotBeReadIsNamed()
    {
        QFETCH(QString, which);
        MainWindow w;
        QVERIFY(MainWindowTree::listedRead(w));
        QCOMPARE(w.model().bkRoot->children.size(), 1);
        auto* node = static_cast<ItemModelBK::_BKItemNode*>(w.model().bkRoot->children.first());
        ModalAnswerer answerer;
        QString whyNot;
        {
            PlainUser plain;
            whyNot = plain.whyNot();
            QVERIFY(setMode(locked(which), 0));
            if (plain.holdsToPermissions())
                w.ui->treeBK->setCurrentIndex(w.model().indexOfItemNode(node));
            QVERIFY(setMode(locked(which), 0755));
        }
        if (!whyNot.isEmpty())
            QSKIP(qPrintable(whyNot));
        QCOMPARE(answerer.seenIcons(), QList<QMessageBox::Icon>({ QMessageBox::Critical }));
        const QString shown = answerer.seen().value(0);
        QVERIFY2(shown.contains(QString("Cannot read the folder %1: Permission denied.").arg(locked(which))),
            qPrintable(shown));
        QCOMPARE(node->children.size(), 0);
    }

    // A load that fails says why, in one error box: a folder of its cache that cannot be made, writes
    // that fail. A backup whose messages alone could not be copied is loaded all the same.
    void aLoadThatFailsSaysWhy_data()
    {
        QTest::addColumn<QString>("blocked"); // a file where this folder of the cache goes, or none
        QTest::addColumn<qint64>("writable"); // bytes a write may reach in a file; 0: no bound
        QTest::addColumn<QString>("told");
        QTest::addColumn<bool>("loaded");
        QTest::newRow("a file where the cache folder goes") << "." << qint64(0) << "Not a directory" << false;
        QTest::newRow("a file where the message copies go")
            << "file-relay" << qint64(0) << "Not a directory" << true;
        QTest::newRow("writes that fail") << "" << qint64(8192) << "File too large" << false;
    }
    void aLoadThatFailsSaysWhy()
    {
        QFETCH(QString, blocked);
        QFETCH(qint64, writable);
        QFETCH(QString, told);
        QFETCH(bool, loaded);
        QVERIFY(QDir(m_cache).removeRecursively());
        const QString file = QDir::cleanPath(m_cache + "/" + blocked);
        QVERIFY(blocked.isEmpty()
            || ((blocked == "." || QDir().mkpath(m_cache)) && QFile(file).open(QIODevice::WriteOnly)));
        MainWindow w;
        auto* node = static_cast<ItemModelBK::_BKItemNode*>(w.model().bkRoot->children.first());
        ModalAnswerer answerer;
        {
            std::optional<FailingDisk::SizeLimit> bound;
            if (writable > 0)
                bound.emplace(writable);
            w.ui->treeBK->setCurrentIndex(w.model().indexOfItemNode(node));
        }
        QVERIFY(blocked.isEmpty() || QFile::remove(file));
        QCOMPARE(answerer.seenIcons(), QList<QMessageBox::Icon>({ QMessageBox::Critical }));
        QVERIFY2(answerer.seen().value(0).contains(told), qPrintable(answerer.seen().value(0)));
        QCOMPARE(node->children.size(), loaded ? 11 : 0);
    }
};

QTEST_MAIN(TestMainWindowBackupAccess)
#include "TestMainWindowBackupAccess.moc"
