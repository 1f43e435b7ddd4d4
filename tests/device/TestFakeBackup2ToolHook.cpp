#include "device/FakeBackup2ToolHook.h"
#include "device/backup2tool.h"
#include "device/support/FakeDeviceBackend.h"
#include "support/TestEnv.h"

#include <QtTest>

namespace
{
const QString kUdid = QStringLiteral("a1b2c3d4e5f60718293a4b5c6d7e8f9012345678");
const QString kAppContainer = QStringLiteral("1a2b3c4d-0000-4000-8000-00000000abcd");
const QString kGroupContainer = QStringLiteral("9f8e7d6c-1111-4111-8111-111111111111");
const QString kSmsId = QStringLiteral("3d0d7e5fb2ce288813306e4d4636395e047a3d28");
const QString kAppFileId = QStringLiteral("ab0123456789abcdef0123456789abcdef012345");

struct Row {
    QString d;
    qint64 size;
    int incl;
};

QMap<QString, Row> readRecord(const QString& path)
{
    QMap<QString, Row> rows;
    Sqlite3DB db;
    db.openThrow(path, 1);
    Sqlite3Cursor cursor = db.queryThrow("select f, d, size, incl from dname");
    while (cursor.moveNext())
        rows.insert(
            cursor.getText("f"), Row { cursor.getText("d"), cursor.getInt64("size"), cursor.getInt("incl") });
    return rows;
}
} // namespace

class TestFakeBackup2ToolHook : public QObject
{
    Q_OBJECT
    std::shared_ptr<FakeDeviceBackend> backend;
    std::shared_ptr<ScriptedBackupPeer> peer;
    QString root;

    QByteArray backupUpload() const
    {
        return ScriptedBackupPeer::uploadFile(
                   "Manifest.plist", kUdid + "/Snapshot/Manifest.plist", "manifest plist")
            + ScriptedBackupPeer::uploadFile("Status.plist", kUdid + "/Snapshot/Status.plist", "status")
            + ScriptedBackupPeer::uploadFile(
                "HomeDomain-Library/SMS/sms.db", kUdid + "/Snapshot/3d/" + kSmsId, "sms data")
            + ScriptedBackupPeer::uploadFile("AppDomain-/var/mobile/Containers/Data/Application/"
                    + kAppContainer.toUpper() + "/Documents/x",
                kUdid + "/Snapshot/ab/" + kAppFileId, "app data")
            + ScriptedBackupPeer::uploadFile("Manifest.db", kUdid + "/Snapshot/Manifest.db", "manifest db")
            + ScriptedBackupPeer::endOfList();
    }

    void scriptBackup()
    {
        peer->message(QStringLiteral("DLContentsOfDirectory"), { ScriptedBackupPeer::str(kUdid) })
            .message(ScriptedBackupPeer::uploadFiles(100), backupUpload())
            .message(QStringLiteral("DLMessageMoveFiles"),
                { ScriptedBackupPeer::dict({
                    { kUdid + "/Snapshot/Manifest.plist",
                        ScriptedBackupPeer::str(kUdid + "/Manifest.plist") },
                    { kUdid + "/Snapshot/Status.plist", ScriptedBackupPeer::str(kUdid + "/Status.plist") },
                    { kUdid + "/Snapshot/Manifest.db", ScriptedBackupPeer::str(kUdid + "/Manifest.db") },
                }) })
            .message(QStringLiteral("DLMessageRemoveFiles"),
                { ScriptedBackupPeer::strings({ kUdid + "/Snapshot" }) })
            .message(ScriptedBackupPeer::processMessage(0));
    }

    void run(const QSharedPointer<FakeBackup2ToolHook>& hook)
    {
        backup2tool tool(kUdid, QDir(root), hook);
        try {
            tool.runThrow(_backup2tool_req(backup2tool_backup));
        } catch (const std::exception& e) {
            QFAIL(e.what());
        }
    }

private Q_SLOTS:
    void init()
    {
        backend = FakeDeviceBackend::install();
        peer = std::make_shared<ScriptedBackupPeer>();
        FakeDevice& device = backend->addDevice(kUdid);
        device.backupPeer = peer;
        PlistCFType app = PlistCFType::createCFDictionary();
        app.put("CFBundleIdentifier", PlistCFType::createCFString("com.example.notes"));
        app.put("Container",
            PlistCFType::createCFString("/private/var/mobile/Containers/Data/Application/" + kAppContainer));
        PlistCFType groups = PlistCFType::createCFDictionary();
        groups.put("group.example",
            PlistCFType::createCFString("/private/var/mobile/Containers/Shared/AppGroup/" + kGroupContainer));
        app.put("GroupContainers", groups);
        device.userApps = PlistCFType::createCFArray();
        device.userApps.append(app);
        root = TestEnv::tempDir();
    }
    void cleanup() { FakeDeviceBackend::uninstall(); }

    void selectiveBackupStoresOnlyFixedFilesAndRecordsAll()
    {
        scriptBackup();
        {
            auto hook = QSharedPointer<FakeBackup2ToolHook>::create();
            run(hook);
            QCOMPARE(
                hook->userContainers, (QSet<QString> { kAppContainer.toUpper(), kGroupContainer.toUpper() }));
            QCOMPARE(hook->appContainers.value("com.example.notes").size(), 2);
        }
        QCOMPARE(backend->device(kUdid)->browseLog,
            QStringList { "QUILLMARROW User CFBundleIdentifier,Container,GroupContainers" });
        const QString dev = root + "/" + kUdid;
        QVERIFY(QFileInfo::exists(dev + "/Manifest.plist"));
        QVERIFY(QFileInfo::exists(dev + "/Status.plist"));
        QVERIFY(QFileInfo::exists(dev + "/Manifest.db"));
        QVERIFY(!QFileInfo::exists(dev + "/Snapshot")); // the device removed it; nothing else was stored

        const auto rows = readRecord(dev + "/dname.sqlite");
        QCOMPARE(rows.size(), 5);
        QCOMPARE(rows.value(kSmsId).incl, 0);
        QCOMPARE(rows.value(kSmsId).size, 8);
        QCOMPARE(rows.value(kSmsId).d, QStringLiteral("HomeDomain-Library/SMS/sms.db"));
        QCOMPARE(rows.value("Manifest.db").incl, 1);
        QCOMPARE(peer->statuses[1].code, 0);
    }

    void secondBackupSeesRecordedFiles()
    {
        scriptBackup();
        run(QSharedPointer<FakeBackup2ToolHook>::create());

        auto second = std::make_shared<ScriptedBackupPeer>();
        backend->device(kUdid)->backupPeer = second;
        second->message(QStringLiteral("DLContentsOfDirectory"), { ScriptedBackupPeer::str(kUdid) })
            .message(QStringLiteral("DLContentsOfDirectory"), { ScriptedBackupPeer::str(kUdid + "/3d") })
            .message(ScriptedBackupPeer::processMessage(0));
        run(QSharedPointer<FakeBackup2ToolHook>::create());

        const PlistCFType top = second->statuses[0].content;
        QCOMPARE(top.get("3d").get("DLFileType").CFStringQString(), QStringLiteral("DLFileTypeDirectory"));
        QCOMPARE(top.get("ab").get("DLFileType").CFStringQString(), QStringLiteral("DLFileTypeDirectory"));
        QCOMPARE(top.get("Manifest.plist").get("DLFileType").CFStringQString(),
            QStringLiteral("DLFileTypeRegular"));
        const PlistCFType folder = second->statuses[1].content;
        QCOMPARE(folder.dict_size(), 1);
        QCOMPARE(folder.get(kSmsId).get("DLFileSize").CFNumberInt64(0), 8); // never stored, still listed
    }

    void recordIsDroppedWithoutManifestDb()
    {
        scriptBackup();
        run(QSharedPointer<FakeBackup2ToolHook>::create());
        QFile::remove(root + "/" + kUdid + "/Manifest.db");
        auto hook = QSharedPointer<FakeBackup2ToolHook>::create();
        hook->beginThrow(QDir(root), kUdid);
        QVERIFY(!QFileInfo::exists(root + "/" + kUdid + "/dname.sqlite"));
        QVERIFY(!hook->dnameDb.isOpen());
    }

    void keepAllLeavesOutUserAppData()
    {
        scriptBackup();
        auto hook = QSharedPointer<FakeBackup2ToolHook>::create();
        hook->keepAll = true;
        run(hook);
        hook.reset();
        const QString dev = root + "/" + kUdid;
        const auto rows = readRecord(dev + "/dname.sqlite");
        QCOMPARE(rows.value(kSmsId).incl, 1);
        QCOMPARE(rows.value(kAppFileId).incl, 0);
    }

    void keepAllStoresEverythingWithoutTheInstallationProxy()
    {
        backend->device(kUdid)->browseError = -5;
        scriptBackup();
        auto hook = QSharedPointer<FakeBackup2ToolHook>::create();
        hook->keepAll = true;
        run(hook);
        hook.reset();
        const auto rows = readRecord(root + "/" + kUdid + "/dname.sqlite");
        QCOMPARE(rows.value(kAppFileId).incl, 1);
    }

    void selectionRules()
    {
        FakeBackup2ToolHook hook;
        hook.userContainers.insert(kAppContainer.toUpper());
        hook.appContainers.insert("com.example.notes", { kAppContainer.toUpper() });
        const QString appName = "AppDomain-x/" + kAppContainer + "/f";
        QVERIFY(hook.isFileIncluded(QDir(root), "x/Status.PLIST", "anything"));
        QVERIFY(!hook.isFileIncluded(QDir(root), "x/ab/abc", "HomeDomain-x"));
        hook.keepAll = true;
        QVERIFY(hook.isFileIncluded(QDir(root), "x/ab/abc", "HomeDomain-x"));
        QVERIFY(!hook.isFileIncluded(QDir(root), "x/ab/abc", appName));
        hook.wantedApps.insert("com.example.notes");
        QVERIFY(hook.isFileIncluded(QDir(root), "x/ab/abc", appName));
        hook.keepAll = false;
        hook.wantedApps.clear();
        hook.includePatterns.append(QRegularExpression("SMS"));
        QVERIFY(hook.isFileIncluded(QDir(root), "x/ab/abc", "HomeDomain-Library/SMS/sms.db"));
        QCOMPARE(FakeBackup2ToolHook::containerId("x/" + kAppContainer + "/y"), kAppContainer.toUpper());
        QCOMPARE(FakeBackup2ToolHook::containerId("no id here"), QString());
    }

    void removalsKeepSnapshotAndShortNameRows()
    {
        FakeBackup2ToolHook hook;
        QDir().mkpath(root + "/" + kUdid);
        hook.recvFileBegin(QDir(root), kUdid, kUdid + "/Snapshot/" + kSmsId, "d1");
        hook.recvFileBegin(QDir(root), kUdid, kUdid + "/ab", "d2");
        hook.recvFileBegin(QDir(root), kUdid, kUdid + "/3d/" + kSmsId + "x", "d3");
        QString err;
        QCOMPARE(hook.removeFile(QDir(root), kUdid + "/Snapshot/" + kSmsId, err), 0);
        QCOMPARE(hook.removeFile(QDir(root), kUdid + "/ab", err), 0);
        QCOMPARE(hook.removeFile(QDir(root), kUdid + "/3d/" + kSmsId + "x", err), 0);
        QCOMPARE(hook.dnameDb.getDName(kSmsId), QStringLiteral("d1"));
        QCOMPARE(hook.dnameDb.getDName("ab"), QStringLiteral("d2"));
        QCOMPARE(hook.dnameDb.getDName(kSmsId + "x"), QString());
        QCOMPARE(hook.copyFile(QDir(root), "a", "b", err), 0);
        QCOMPARE(hook.mkdir(QDir(root), "never", err), 0);
        QVERIFY(!QFileInfo::exists(root + "/never"));
    }
};

QTEST_GUILESS_MAIN(TestFakeBackup2ToolHook)
#include "TestFakeBackup2ToolHook.moc"
