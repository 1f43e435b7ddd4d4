#include "messages/store/LocalMessageStoreRemoval.h"
#include "support/FailingDisk.h"
#include "support/TestEnv.h"

#include <QDir>
#include <QFile>
#include <QtTest>
#include <memory>
#include <stdexcept>
#include <sys/stat.h>
#include <unistd.h>

namespace
{

const QString kLibrary = "/file-relay/var/mobile/Library";

} // namespace

class TestLocalMessageStoreRemoval : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    // The message store goes from its held folders: the database with the files SQLite keeps
    // beside it, its attachments (a link among them is taken, never what it leads to) and the store
    // of recovered messages with its journal; the folder's other stores stay. Another user's link on
    // the way is refused by name and leads the removal nowhere; another user's journal stays; a
    // part that cannot go makes the removal a failure.
    void removesTheUsersMessageStoreOnly_data()
    {
        QTest::addColumn<int>("linkOwner"); // of a shared folder's link to the data folder; -1 none
        QTest::addColumn<int>("journalOwner"); // of the recovered messages' journal
        QTest::addColumn<bool>("readOnly"); // the recovered messages on a disk that takes no change
        QTest::addColumn<int>("result"); // 1 removed, 0 not wholly, -1 refused
        QTest::newRow("the user's own store") << -1 << 0 << false << 1;
        QTest::newRow("through the user's own link") << 0 << 0 << false << 1;
        QTest::newRow("through another user's link") << 65534 << 0 << false << -1;
        QTest::newRow("another user's journal beside it") << -1 << 65534 << false << 1;
        QTest::newRow("recovered messages on a disk that takes no change") << -1 << 0 << true << 0;
    }
    void removesTheUsersMessageStoreOnly()
    {
        QFETCH(int, linkOwner);
        QFETCH(int, journalOwner);
        QFETCH(bool, readOnly);
        QFETCH(int, result);
        if (::geteuid() != 0)
            QSKIP("Files of another user, and a disk, are put there by root only");
        const QString row = TestEnv::tempDir(), elsewhere = row + "/elsewhere/photo.jpg";
        std::unique_ptr<FailingDisk::SmallDisk> disk;
        if (readOnly) {
            disk = std::make_unique<FailingDisk::SmallDisk>(1 << 20);
            if (!disk->isMounted())
                QSKIP(qPrintable(disk->whyNot()));
        }
        // On that disk the data folder leads by the user's own link to its messages on another.
        const QString mine = readOnly ? disk->path() : row + "/mine";
        const QString sms = (readOnly ? row + "/relay" : mine) + kLibrary + "/SMS";
        QVERIFY(TestEnv::plant(sms + "/sms.db", "store") && TestEnv::plant(sms + "/sms.db-wal", "log"));
        QVERIFY(
            TestEnv::plant(sms + "/Attachments/ab/photo.jpg", "copy") && TestEnv::plant(elsewhere, "kept"));
        QVERIFY(TestEnv::plant(sms + "/Attachments/ab/out", {}, 0, QFileInfo(elsewhere).absolutePath()));
        QVERIFY(TestEnv::plant(mine + "/recycle.db", "recovered"));
        QVERIFY(TestEnv::plant(mine + "/recycle.db-journal", "journal", uid_t(journalOwner)));
        QVERIFY(TestEnv::plant(mine + "/notes.db", "notes"));
        if (readOnly)
            QVERIFY(QFile::link(row + "/relay/file-relay", mine + "/file-relay") && disk->setReadOnly(true));
        const QString shared = row + "/shared", folder = linkOwner < 0 ? mine : shared + "/box";
        QVERIFY(QDir().mkpath(shared) && ::chmod(QFile::encodeName(shared).constData(), 01777) == 0);
        if (linkOwner >= 0)
            QVERIFY(TestEnv::plant(folder, {}, uid_t(linkOwner), mine));
        QString failure;
        int removed = -1;
        try {
            removed = LocalMessageStoreRemoval::removeThrow(folder) ? 1 : 0;
        } catch (const std::runtime_error& e) {
            failure = QString::fromUtf8(e.what());
        }
        if (disk)
            QVERIFY(disk->setReadOnly(false));
        QCOMPARE(removed, result);
        QCOMPARE(QFile::exists(sms), result < 0);
        QCOMPARE(QFile::exists(mine + "/recycle.db"), result < 1);
        QCOMPARE(QFile::exists(mine + "/recycle.db-journal"), result < 1 || journalOwner != 0);
        QVERIFY(QFile::exists(mine + "/notes.db") && QFile::exists(elsewhere));
        if (result < 0)
            QCOMPARE(failure,
                "Cannot write " + folder + ": the link " + folder
                    + " stands in a folder everyone may write into and belongs to another user (nobody): it "
                      "is not followed, and nothing was written");
    }
};

QTEST_GUILESS_MAIN(TestLocalMessageStoreRemoval)
#include "TestLocalMessageStoreRemoval.moc"
