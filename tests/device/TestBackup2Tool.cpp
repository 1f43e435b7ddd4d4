#include "device/backup2tool.h"
#include "device/support/FakeDeviceBackend.h"
#include "device/support/FileFixtures.h"
#include "device/support/ScriptedBackupPeer.h"
#include "support/TestEnv.h"

#include <QFile>
#include <QSignalSpy>
#include <QtTest>

#include <sys/statvfs.h>

namespace
{
const QString kUdid = QStringLiteral("00008030-0011223344556677");

QByteArray pattern(int size, char seed = 'a')
{
    QByteArray data(size, '\0');
    for (int i = 0; i < size; ++i)
        data[i] = char(seed + i % 23);
    return data;
}

QString runError(backup2tool& tool, _backup2tool_req req)
{
    try {
        tool.runThrow(req);
    } catch (const std::runtime_error& e) {
        return QString::fromUtf8(e.what());
    }
    return QString();
}

// A hook that records the calls and answers moves and removals with fixed codes.
class CodeHook : public Backup2ToolHook
{
public:
    int moveCode = 0;
    int removeCode = 0;
    QString removeText;
    QStringList calls;
    std::function<void(const QString&)> onMessage;
    bool onHandleMsgContinue(QDir, QString, PlistCFType message, int&, QString&) override
    {
        if (onMessage)
            onMessage(message.at(0).CFStringQString());
        return true;
    }
    int moveFile(QDir, QString from, QString to, QString& err) override
    {
        calls << QStringLiteral("move %1 %2").arg(from, to);
        if (moveCode)
            err = QStringLiteral("move refused");
        return moveCode;
    }
    int removeFile(QDir, QString path, QString& err) override
    {
        calls << QStringLiteral("remove ") + path;
        if (removeCode && path.endsWith(QLatin1String("bad"))) {
            err = removeText;
            return removeCode;
        }
        return 0;
    }
};
} // namespace

class TestBackup2Tool : public QObject
{
    Q_OBJECT

    std::shared_ptr<FakeDeviceBackend> backend;
    std::shared_ptr<ScriptedBackupPeer> peer;
    QString root;

private Q_SLOTS:
    void init()
    {
        backend = FakeDeviceBackend::install();
        peer = std::make_shared<ScriptedBackupPeer>();
        backend->addDevice(kUdid).backupPeer = peer;
        root = TestEnv::tempDir() + QStringLiteral("/backups");
        QDir().mkpath(root);
    }
    void cleanup() { FakeDeviceBackend::uninstall(); }

    void fullBackupFromScript()
    {
        const QByteArray big = pattern(70000);
        const QByteArray small = QByteArray("<plist>manifest</plist>");
        peer->message(QStringLiteral("DLMessageGetFreeDiskSpace"))
            .message(
                QStringLiteral("DLMessageCreateDirectory"), { ScriptedBackupPeer::str(kUdid + "/Snapshot") })
            .message(QStringLiteral("DLContentsOfDirectory"), { ScriptedBackupPeer::str(kUdid) })
            .message(ScriptedBackupPeer::uploadFiles(999999, 12.5),
                ScriptedBackupPeer::uploadFile(
                    "HomeDomain-Library/Prefs", kUdid + "/Snapshot/Manifest.plist", small)
                    + ScriptedBackupPeer::uploadFile(
                        "MediaDomain-big", kUdid + "/Snapshot/ab/ab12", big, 32768)
                    + ScriptedBackupPeer::endOfList())
            .message(ScriptedBackupPeer::array(QStringLiteral("DLMessageMoveFiles"),
                { ScriptedBackupPeer::dict({ { kUdid + "/Snapshot/Manifest.plist",
                      ScriptedBackupPeer::str(kUdid + "/Manifest.plist") } }),
                    PlistCFType::createCFDictionary(), ScriptedBackupPeer::real(80) }))
            .message(QStringLiteral("DLMessageRemoveFiles"),
                { ScriptedBackupPeer::strings({ kUdid + "/Snapshot/ab" }), PlistCFType::createCFDictionary(),
                    ScriptedBackupPeer::real(90) })
            .message(ScriptedBackupPeer::processMessage(0));
        peer->maxRawChunk = 7; // every raw read comes back short

        backup2tool tool(kUdid, QDir(root), nullptr);
        QSignalSpy updates(&tool, &backup2tool::update);
        tool.runThrow(_backup2tool_req(backup2tool_backup));

        QCOMPARE(peer->versionOffers, (QList<QList<double>> { { 2.0, 2.1 } }));
        QCOMPARE(peer->requests.size(), 1);
        QCOMPARE(peer->requests[0].request, QStringLiteral("Backup"));
        QCOMPARE(peer->requests[0].target, kUdid.toLatin1());
        QCOMPARE(peer->requests[0].source, kUdid.toLatin1());
        QVERIFY(!peer->requests[0].options.ref());

        QCOMPARE(peer->statuses.size(), 6);
        // Free space: the file system's own figure, not a fixed one.
        QCOMPARE(peer->statuses[0].code, 0);
        QVERIFY(peer->statuses[0].description.isNull());
        const qint64 reported = peer->statuses[0].content.CFNumberInt64(-1);
        struct statvfs fs {
        };
        QCOMPARE(::statvfs(QFile::encodeName(root).constData(), &fs), 0);
        const qint64 real = qint64(fs.f_bavail) * qint64(fs.f_frsize);
        QVERIFY(reported > 0);
        QVERIFY(qAbs(reported - real) < 64ll * 1024 * 1024);
        QVERIFY(reported != 1099511627776ll || real == reported);

        QCOMPARE(peer->statuses[1].code, 0);
        QVERIFY(QFileInfo(root + "/" + kUdid + "/Snapshot").isDir());

        const PlistCFType listing = peer->statuses[2].content;
        QVERIFY(listing.isCFDictionary());
        QCOMPARE(listing.get("Snapshot").get("DLFileType").CFStringQString(),
            QStringLiteral("DLFileTypeDirectory"));

        QCOMPARE(peer->statuses[3].code, 0);
        QCOMPARE(peer->statuses[3].content.dict_size(), 0);
        QCOMPARE(peer->statuses[4].code, 0);
        QCOMPARE(peer->statuses[5].code, 0);

        QCOMPARE(fileContents(root + "/" + kUdid + "/Manifest.plist"), small);
        QVERIFY(!QFileInfo::exists(root + "/" + kUdid + "/Snapshot/Manifest.plist"));
        QVERIFY(!QFileInfo::exists(root + "/" + kUdid + "/Snapshot/ab")); // removed after it was received
        QCOMPARE(tool.progress(), 90.0);

        QStringList texts;
        for (const auto& args : updates)
            texts << args.at(2).toString();
        QVERIFY(texts.contains(QStringLiteral("Receiving files (size: 1000.0 KB)...")));
        QVERIFY(texts.contains(QStringLiteral("This may take a few minutes. Please wait...")));
    }

    void receivedDataIsWrittenAcrossShortReads()
    {
        const QByteArray big = pattern(100000, 'k');
        peer->message(ScriptedBackupPeer::uploadFiles(big.size()),
                ScriptedBackupPeer::uploadFile("D", kUdid + "/aa/aa01", big, 40000)
                    + ScriptedBackupPeer::endOfList())
            .message(QStringLiteral("DLMessageDisconnect"));
        peer->maxRawChunk = 1000;
        backup2tool tool(kUdid, QDir(root), nullptr);
        tool.runThrow(_backup2tool_req(backup2tool_backup));
        QCOMPARE(fileContents(root + "/" + kUdid + "/aa/aa01"), big);
    }

    void restoreSendsDefaultOptionsAndPassword()
    {
        peer->message(QStringLiteral("DLMessageDisconnect"));
        backup2tool tool(kUdid, QDir(root), nullptr);
        _backup2tool_req req(backup2tool_restore);
        req.password = QStringLiteral("secret");
        tool.runThrow(req);
        QCOMPARE(peer->requests.size(), 1);
        const PlistCFType options = peer->requests[0].options;
        QCOMPARE(peer->requests[0].request, QStringLiteral("Restore"));
        QCOMPARE(options.toString(),
            QStringLiteral("{RestoreSystemFiles : 1, RestorePreserveSettings : 1, RestoreShouldReboot : 1, "
                           "RestoreDontCopyBackup : 1, RemoveItemsNotRestored : 0, Password : secret}"));
        QVERIFY(options.get("RestoreSystemFiles").isCFBoolean());
    }

    // RemoveItemsNotRestored is always said, so the device never decides to remove what a partial
    // restore leaves out.
    void restoreWithSparseOptionsSendsFourKeys()
    {
        peer->message(QStringLiteral("DLMessageDisconnect"));
        backup2tool tool(kUdid, QDir(root), nullptr);
        _backup2tool_req req(backup2tool_restore);
        req.sparseOptions = true;
        tool.runThrow(req);
        QCOMPARE(peer->requests[0].options.toString(),
            QStringLiteral(
                "{RestoreSystemFiles : 1, RestorePreserveSettings : 1, RestoreDontCopyBackup : 1, "
                "RemoveItemsNotRestored : 0}"));
    }

    void restoreDownloadFramesFiles()
    {
        const QString dev = root + "/" + kUdid;
        putFile(dev + "/Manifest.plist", QByteArray());
        putFile(dev + "/aa/exact", pattern(32768));
        putFile(dev + "/aa/plusone", pattern(32769));
        putFile(dev + "/Manifest-sys.db", QByteArray("reduced manifest"));
        putFile(dev + "/Manifest.db", QByteArray("full manifest"));
        peer->message(ScriptedBackupPeer::downloadFiles(
                          { kUdid + "/Manifest.plist", kUdid + "/aa/exact", kUdid + "/aa/plusone",
                              kUdid + "/aa/missing", kUdid + "/MANIFEST.DB" },
                          40))
            .message(ScriptedBackupPeer::processMessage(0, QStringLiteral("done")));

        backup2tool tool(kUdid, QDir(root), nullptr);
        tool.manifestDbName = QStringLiteral("Manifest-sys.db");
        QSignalSpy updates(&tool, &backup2tool::update);
        _backup2tool_req req(backup2tool_restore);
        tool.runThrow(req);

        bool endOfList = false;
        const auto files = ScriptedBackupPeer::parseDownload(peer->sentRaw, &endOfList);
        QVERIFY(endOfList);
        QCOMPARE(files.size(), 5);
        QCOMPARE(files[0].name, kUdid + "/Manifest.plist");
        QCOMPARE(files[0].blocks, 0);
        QCOMPARE(files[0].endCode, 0);
        QCOMPARE(files[1].blockLengths, QList<int> { 32769 });
        QCOMPARE(files[1].data, pattern(32768));
        QCOMPARE(files[2].blockLengths, (QList<int> { 32769, 2 }));
        QCOMPARE(files[2].data, pattern(32769));
        QCOMPARE(files[3].endCode, 6);
        QCOMPARE(files[4].data, QByteArray("reduced manifest"));
        // The missing file: length 1 and the byte 0x06 right after its name.
        QVERIFY(peer->sentRaw.contains(ScriptedBackupPeer::nameBlock(kUdid + "/aa/missing")
            + ScriptedBackupPeer::be32(1) + QByteArray(1, '\x06')));

        QCOMPARE(peer->statuses.size(), 1);
        QCOMPARE(peer->statuses[0].code, -13);
        QCOMPARE(peer->statuses[0].description, QStringLiteral("Multi status"));
        const PlistCFType entry = peer->statuses[0].content.get(kUdid + "/aa/missing");
        QCOMPARE(entry.get("DLFileErrorCode").CFNumberInt(0), -6);
        QVERIFY(entry.get("DLFileErrorString").isCFString());
        QCOMPARE(entry.get("DLFileErrorString").CFStringQString(), QString());
        QVERIFY(tool.lastFileError.endsWith(QStringLiteral("/aa/missing not exists.")));

        QStringList texts;
        for (const auto& args : updates)
            texts << args.at(2).toString();
        QVERIFY(texts.contains(QStringLiteral("Sending exact to device...")));
    }

    void downloadSurvivesShortWrites()
    {
        putFile(root + "/" + kUdid + "/f", pattern(50000));
        peer->message(ScriptedBackupPeer::downloadFiles({ kUdid + "/f" }))
            .message(QStringLiteral("DLMessageDisconnect"));
        peer->maxSendChunk = 3;
        backup2tool tool(kUdid, QDir(root), nullptr);
        tool.runThrow(_backup2tool_req(backup2tool_restore));
        const auto files = ScriptedBackupPeer::parseDownload(peer->sentRaw);
        QCOMPARE(files.size(), 1);
        QCOMPARE(files[0].data, pattern(50000));
        QCOMPARE(peer->statuses[0].code, 0);
        QCOMPARE(peer->statuses[0].content.dict_size(), 0);
    }

    void processMessageEndsTheRun_data()
    {
        QTest::addColumn<int>("op");
        QTest::addColumn<PlistCFType>("last");
        QTest::addColumn<QString>("expected");
        QTest::newRow("success with description")
            << 0 << ScriptedBackupPeer::processMessage(0, "fine") << QString();
        QTest::newRow("not a dictionary")
            << 0 << ScriptedBackupPeer::array("DLMessageProcessMessage", { ScriptedBackupPeer::str("x") })
            << QString();
        QTest::newRow("insufficient free")
            << 0 << ScriptedBackupPeer::processMessage(100, "Insufficient free disk space")
            << QStringLiteral(
                   "error code:-36. Insufficient free disk space on drive to back up. Not enough free disk "
                   "space on your computer.<br/><br/>Insufficient free disk space");
        QTest::newRow("code 100 alone")
            << 0 << ScriptedBackupPeer::processMessage(100)
            << QStringLiteral("error code:100. Please restart your iPhone to try again.");
        QTest::newRow("find my iphone")
            << 1 << ScriptedBackupPeer::processMessage(211, "find my iphone must be disabled")
            << QStringLiteral(
                   "error code:-37. Please follow <a href=\"" QM_SERVICE_HOST
                   "/guides/how-to-disable-find-my-iphone.html\">this tutorial</a> to disable \"Find my "
                   "iPhone\" first and then restart your iPhone to try again.<br/><br/>find my iphone must "
                   "be disabled");
        QTest::newRow("could not receive")
            << 0 << ScriptedBackupPeer::processMessage(5, "Could not receive data")
            << QStringLiteral(
                   "error code:-10. Error attaching to device. Please Keep your iPhone connected and "
                   "active.<br/><br/>Could not receive data");
        QTest::newRow("purge on restore")
            << 1 << ScriptedBackupPeer::array("DLMessagePurgeDiskSpace", {})
            << QStringLiteral(
                   "error code:-36. Insufficient free disk space on device to back up. Not enough free "
                   "disk space on your Device.<br/><br/>Error: DLMessagePurgeDiskSpace(Insufficient free "
                   "disk space).");
        QTest::newRow("incomplete restore directory")
            << 1
            << ScriptedBackupPeer::processMessage(
                   42, "Failed to move the incomplete restore directory into place at path /x")
            << QStringLiteral(
                   "error code:42. <br/><br/>Please restart your iPhone first.<br/><br/>Failed to move the "
                   "incomplete restore directory into place at path /x");
    }
    void processMessageEndsTheRun()
    {
        QFETCH(int, op);
        QFETCH(PlistCFType, last);
        QFETCH(QString, expected);
        peer->message(last);
        backup2tool tool(kUdid, QDir(root), nullptr);
        QCOMPARE(runError(tool, _backup2tool_req(backup2tool_op(op))), expected);
    }

    void lastFileErrorIsAppendedToTheFinalDescription()
    {
        peer->message(ScriptedBackupPeer::downloadFiles({ kUdid + "/gone" }))
            .message(ScriptedBackupPeer::processMessage(7, "Restore failed"));
        backup2tool tool(kUdid, QDir(root), nullptr);
        const QString error = runError(tool, _backup2tool_req(backup2tool_restore));
        QVERIFY2(
            error.startsWith(QStringLiteral("error code:7. <br/><br/>Restore failed ")), qPrintable(error));
        QVERIFY(error.endsWith(QStringLiteral("/gone not exists.")));
    }

    void movesRemovesAndCopiesReportHookCodes()
    {
        auto hook = QSharedPointer<CodeHook>::create();
        hook->moveCode = 17;
        hook->removeCode = 9;
        hook->removeText = QStringLiteral("cannot remove");
        peer->message(QStringLiteral("DLMessageMoveItems"),
                { ScriptedBackupPeer::dict({ { kUdid + "/a", ScriptedBackupPeer::str(kUdid + "/b") },
                    { kUdid + "/c", ScriptedBackupPeer::str(kUdid + "/d") } }) })
            .message(QStringLiteral("DLMessageRemoveItems"),
                { ScriptedBackupPeer::strings({ kUdid + "/bad", QString(), kUdid + "/good" }) })
            .message(QStringLiteral("DLMessageDisconnect"));
        backup2tool tool(kUdid, QDir(root), hook);
        tool.runThrow(_backup2tool_req(backup2tool_backup));
        QCOMPARE(hook->calls,
            (QStringList { QStringLiteral("move %1/a %1/b").arg(kUdid),
                QStringLiteral("remove %1/bad").arg(kUdid), QStringLiteral("remove %1/good").arg(kUdid) }));
        QCOMPARE(peer->statuses[0].code, -7);
        QCOMPARE(peer->statuses[0].description, QStringLiteral("move refused"));
        // Every path is tried; a failed removal is reported, not hidden behind success.
        QCOMPARE(peer->statuses[1].code, -9);
        QCOMPARE(peer->statuses[1].description, QStringLiteral("cannot remove"));
        QCOMPARE(backup2tool::deviceCode(2), -6);
        QCOMPARE(backup2tool::deviceCode(10), -10);
        QCOMPARE(backup2tool::deviceCode(0), 0);
    }

    void copyItemUsesTheDefaultHook()
    {
        putFile(root + "/" + kUdid + "/src/one", "1");
        peer->message(QStringLiteral("DLMessageCopyItem"),
                { ScriptedBackupPeer::str(kUdid + "/src"), ScriptedBackupPeer::str(kUdid + "/dst") })
            .message(QStringLiteral("DLMessageDisconnect"));
        backup2tool tool(kUdid, QDir(root), nullptr);
        tool.runThrow(_backup2tool_req(backup2tool_backup));
        QCOMPARE(peer->statuses[0].code, 0);
        QCOMPARE(fileContents(root + "/" + kUdid + "/dst/one"), QByteArray("1"));
    }

    void formatsSizes()
    {
        QCOMPARE(backup2tool::formatSize(999999), QStringLiteral("1000.0 KB"));
        QCOMPARE(backup2tool::formatSize(1000), QStringLiteral("1.0 KB"));
        QCOMPARE(backup2tool::formatSize(999), QStringLiteral("999 Bytes"));
        QCOMPARE(backup2tool::formatSize(1000000000000ull), QStringLiteral("1.0 TB"));
        QCOMPARE(backup2tool::formatSize(2500000000ull), QStringLiteral("2.5 GB"));
    }

    void badInputIsRefused_data()
    {
        QTest::addColumn<PlistCFType>("message");
        QTest::addColumn<QByteArray>("raw");
        QTest::addColumn<QString>("error");
        QTest::addColumn<bool>("statusSent");
        QTest::newRow("unknown message")
            << ScriptedBackupPeer::array("DLMessageSurprise", {}) << QByteArray()
            << QStringLiteral("Message can not handle: DLMessageSurprise") << true;
        QTest::newRow("download list not an array")
            << ScriptedBackupPeer::array("DLMessageDownloadFiles", { ScriptedBackupPeer::str("x") })
            << QByteArray() << QStringLiteral("ERROR: Malformed DLMessageDownloadFiles message") << true;
        QTest::newRow("listing without path")
            << ScriptedBackupPeer::array("DLContentsOfDirectory", {}) << QByteArray()
            << QStringLiteral("ERROR: Malformed DLContentsOfDirectory message") << true;
        QTest::newRow("copy without destination")
            << ScriptedBackupPeer::array("DLMessageCopyItem", { ScriptedBackupPeer::str("a") })
            << QByteArray() << QStringLiteral("backup2tool::copyItemThrow: invalid message.") << true;
        QTest::newRow("download of a parent path")
            << ScriptedBackupPeer::downloadFiles({ kUdid + "/../../secret" }) << QByteArray()
            << QStringLiteral(
                   "ERROR: DLMessageDownloadFiles names a path outside the backup folder: %1/../../secret")
                   .arg(kUdid)
            << true;
        QTest::newRow("absolute removal")
            << ScriptedBackupPeer::array("DLMessageRemoveFiles", { ScriptedBackupPeer::strings({ "/etc" }) })
            << QByteArray()
            << QStringLiteral("ERROR: DLMessageRemoveFiles names a path outside the backup folder: /etc")
            << true;
        QTest::newRow("upload outside")
            << ScriptedBackupPeer::uploadFiles(3)
            << ScriptedBackupPeer::uploadFile("d", "../outside.txt", "abc") + ScriptedBackupPeer::endOfList()
            << QStringLiteral(
                   "ERROR: DLMessageUploadFiles names a path outside the backup folder: ../outside.txt")
            << true;
        QTest::newRow("name too long")
            << ScriptedBackupPeer::uploadFiles(3) << ScriptedBackupPeer::be32(5000)
            << QStringLiteral("backup2tool::recvFileNamesThrow: too large filename length (5000)!") << true;
        QTest::newRow("invalid code")
            << ScriptedBackupPeer::uploadFiles(3)
            << ScriptedBackupPeer::nameBlock("d") + ScriptedBackupPeer::nameBlock(kUdid + "/f")
                + ScriptedBackupPeer::block('\x01', "x")
            << QStringLiteral("backup2tool::recvFileThrow: invalid code 1.") << true;
        QTest::newRow("oversized block")
            << ScriptedBackupPeer::uploadFiles(3)
            << ScriptedBackupPeer::nameBlock("d") + ScriptedBackupPeer::nameBlock(kUdid + "/f")
                + ScriptedBackupPeer::be32(0x7fffffff)
            << QStringLiteral("backup2tool::recvFileThrow: too large data block (2147483647).") << true;
        QTest::newRow("truncated block")
            << ScriptedBackupPeer::uploadFiles(3)
            << ScriptedBackupPeer::nameBlock("d") + ScriptedBackupPeer::nameBlock(kUdid + "/f")
                + ScriptedBackupPeer::be32(100)
                + QByteArray("\x0C"
                             "abc",
                    4)
            << QStringLiteral("Error attaching to device. Please Keep your iPhone connected and active. "
                              "backup2tool::recvFileThrow: recv null data.")
            << false;
        QTest::newRow("remote error")
            << ScriptedBackupPeer::uploadFiles(3)
            << ScriptedBackupPeer::nameBlock("d") + ScriptedBackupPeer::nameBlock(kUdid + "/f")
                + ScriptedBackupPeer::block('\x0B', "disk on fire")
            << QStringLiteral(
                   "Please restart your iPhone to try again. backup2tool::recvFileThrow: remote error. disk "
                   "on fire")
            << false;
        QTest::newRow("silent peer")
            << ScriptedBackupPeer::uploadFiles(3) << QByteArray()
            << QStringLiteral("Error attaching to device. Please Keep your iPhone connected and active. "
                              "backup2tool::recvFileNamesThrow: could not read filename.")
            << false;
    }
    void badInputIsRefused()
    {
        QFETCH(PlistCFType, message);
        QFETCH(QByteArray, raw);
        QFETCH(QString, error);
        QFETCH(bool, statusSent);
        const QString outside = QFileInfo(root).absolutePath() + "/outside.txt";
        peer->message(message, raw).message(QStringLiteral("DLMessageDisconnect"));
        backup2tool tool(kUdid, QDir(root), nullptr);
        QCOMPARE(runError(tool, _backup2tool_req(backup2tool_backup)), error);
        if (statusSent) {
            QCOMPARE(peer->statuses.size(), 1);
            QCOMPARE(peer->statuses[0].code, -22);
            QCOMPARE(peer->statuses[0].description, error);
        }
        QVERIFY(!QFileInfo::exists(outside));
        QVERIFY(!QFileInfo::exists(root + "/" + kUdid + "/f")); // no partial file is left as data
    }

    void linksOutOfTheBackupAreNotFollowed()
    {
        const QString outsideDir = TestEnv::tempDir();
        putFile(outsideDir + "/keep.txt", "precious");
        QDir().mkpath(root + "/" + kUdid);
        QVERIFY(QFile::link(outsideDir, root + "/" + kUdid + "/link"));
        peer->message(QStringLiteral("DLMessageRemoveFiles"),
            { ScriptedBackupPeer::strings({ kUdid + "/link/keep.txt" }) });
        backup2tool tool(kUdid, QDir(root), nullptr);
        const QString error = runError(tool, _backup2tool_req(backup2tool_backup));
        QVERIFY(error.contains(QStringLiteral("outside the backup folder")));
        QCOMPARE(fileContents(outsideDir + "/keep.txt"), QByteArray("precious"));
    }

    void receiveFailuresEndTheRun()
    {
        peer->timeout(2).receiveError(-3);
        backup2tool tool(kUdid, QDir(root), nullptr);
        QSignalSpy updates(&tool, &backup2tool::update);
        QCOMPARE(runError(tool, _backup2tool_req(backup2tool_backup)),
            QStringLiteral(
                "ERROR: Could not receive from mobilebackup2 (-3). Please restart your iPhone to try "
                "again."));
        QCOMPARE(updates.size(), 3); // a time-out repeats the turn with its progress report
    }

    void endlessTimeoutsEndTheRun()
    {
        peer->timeout(10);
        backup2tool tool(kUdid, QDir(root), nullptr);
        tool.maxIdleTurns = 4;
        QVERIFY(runError(tool, _backup2tool_req(backup2tool_backup))
                    .contains(QStringLiteral("stopped answering")));
        QCOMPARE(peer->log.count(QStringLiteral("receive timeout")), 4);
    }

    void rawStallsAreWaitedOutWithinBounds()
    {
        peer->message(ScriptedBackupPeer::uploadFiles(3));
        peer->rawStall(3).raw(
            ScriptedBackupPeer::uploadFile("d", kUdid + "/late", "abc") + ScriptedBackupPeer::endOfList());
        peer->message(QStringLiteral("DLMessageDisconnect"));
        backup2tool tool(kUdid, QDir(root), nullptr);
        tool.runThrow(_backup2tool_req(backup2tool_backup));
        QCOMPARE(fileContents(root + "/" + kUdid + "/late"), QByteArray("abc"));
    }

    void cancelBeforeTheRunStillStopsIt()
    {
        peer->message(QStringLiteral("DLMessageGetFreeDiskSpace"))
            .message(QStringLiteral("DLMessageDisconnect"));
        backup2tool tool(kUdid, QDir(root), nullptr);
        tool.cancel();
        tool.runThrow(_backup2tool_req(backup2tool_backup));
        QCOMPARE(peer->delivered, 0);
        QVERIFY(peer->statuses.isEmpty());
    }

    void cancelBetweenMessagesAndDuringDownload()
    {
        putFile(root + "/" + kUdid + "/one", "1");
        auto hook = QSharedPointer<CodeHook>::create();
        backup2tool tool(kUdid, QDir(root), hook);
        hook->onMessage = [&](const QString& name) {
            if (name == QLatin1String("DLMessageDownloadFiles"))
                tool.cancel();
        };
        peer->message(ScriptedBackupPeer::downloadFiles({ kUdid + "/one" }))
            .message(QStringLiteral("DLMessageDisconnect"));
        tool.runThrow(_backup2tool_req(backup2tool_restore));
        QVERIFY(peer->sentRaw.isEmpty()); // neither the file nor the end of list
        QVERIFY(peer->statuses.isEmpty());
        QCOMPARE(peer->delivered, 1);
    }

    void cancelFromAnotherThreadReachesTheHost()
    {
        backup2tool tool(kUdid, QDir(root), nullptr);
        peer->timeout(1).call([&] {
            std::thread gui([&] { QMetaObject::invokeMethod(&tool, "cancel", Qt::DirectConnection); });
            gui.join();
        });
        peer->timeout(50);
        tool.runThrow(_backup2tool_req(backup2tool_backup));
        QVERIFY(tool.isCancel());
        QVERIFY(peer->log.count(QStringLiteral("receive timeout")) < 50);
    }

    void openingFailuresHaveTheirTexts()
    {
        backup2tool absent(QStringLiteral("nobody"), QDir(root), nullptr);
        QCOMPARE(runError(absent, _backup2tool_req(backup2tool_backup)),
            QStringLiteral("backup2tool: No device found. Please restart your iPhone to try again."));

        backend->device(kUdid)->trusted = false;
        backup2tool tool(kUdid, QDir(root), nullptr);
        QCOMPARE(runError(tool, _backup2tool_req(backup2tool_backup)),
            QStringLiteral(
                "backup2tool: open device failed, return -17. Please restart your iPhone to try again."));
        backend->device(kUdid)->trusted = true;

        backend->device(kUdid)->backupStartError = -5;
        QCOMPARE(runError(tool, _backup2tool_req(backup2tool_backup)),
            QStringLiteral(
                "backup2tool: start service com.apple.mobilebackup2 failed. Please restart your iPhone "
                "to try again."));
        backend->device(kUdid)->backupStartError = 0;

        peer->versionResult = -8;
        QCOMPARE(runError(tool, _backup2tool_req(backup2tool_backup)),
            QStringLiteral("Could not perform backup protocol version exchange, error code -8"));
        peer->versionResult = 0;

        peer->requestResult = -7;
        QCOMPARE(runError(tool, _backup2tool_req(backup2tool_backup)),
            QStringLiteral(
                "Please restart your iPhone to try again. ERROR: Could not start backup process: device "
                "refused to start the backup process."));
        QCOMPARE(runError(tool, _backup2tool_req(backup2tool_restore)),
            QStringLiteral(
                "ERROR: Could not start restore process: device refused to start the restore process. "
                "Please restart your iPhone to try again."));
        peer->requestResult = -6;
        QCOMPARE(runError(tool, _backup2tool_req(backup2tool_restore)),
            QStringLiteral("ERROR: Could not start restore process: backup protocol version mismatch!"));
        peer->requestResult = 0;
        QCOMPARE(
            runError(tool, _backup2tool_req(backup2tool_op(5))), QStringLiteral("backup2tool: invalid op."));
    }
};

QTEST_GUILESS_MAIN(TestBackup2Tool)
#include "TestBackup2Tool.moc"
