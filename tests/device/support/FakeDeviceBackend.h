#pragma once

#include "device/DeviceBackend.h"
#include "device/PlistCFType.h"
#include "device/support/ScriptedBackupPeer.h"

#include <QMap>
#include <QString>
#include <QStringList>
#include <functional>
#include <memory>
#include <mutex>

// One batch of records that a fake device hands out over mobilesync.
struct FakeSyncBatch {
    PlistCFType entities; // dictionary of record id to record
    PlistCFType actions; // may be null
};

// One batch that the computer sent to a fake device.
struct FakeSyncSent {
    QString dataClass;
    PlistCFType entities;
    bool isLast = false;
    PlistCFType actions; // null when none was sent
};

// The state of one simulated device. Tests fill it, run the code under test, then read the logs.
struct FakeDevice {
    QString udid;
    bool trusted = true; // the lockdown handshake succeeds
    int handshakeError = -17; // lockdown code of a refused handshake
    int plainLockdownError = 0;
    int pairResult = 0;
    int setValueResult = 0;
    // Lockdown domains: "" is the default domain; each value a dictionary.
    QMap<QString, PlistCFType> domains;

    // AFC: the folder standing for the device's "/" (empty: the service cannot be started).
    QString afcRoot;

    // mobilesync
    int syncServiceError = 0;
    int syncStartError = 0;
    QString syncStartDescription;
    QMap<QString, QList<FakeSyncBatch>> syncBatches; // per data class
    int receiveError = 0;
    int acknowledgeError = 0;
    int readyToSendResult = 0;
    int sendChangesError = 0;
    int remapError = 0;
    int finishError = 0;
    // The device's answer to a sent batch; by default every sent id maps to "dev-" + id.
    std::function<PlistCFType(const PlistCFType& entities)> remap;
    QList<FakeSyncSent> sent;
    // Records the device keeps, per data class: a dictionary of record identifier to record, which
    // tests may fill. Reading all records hands it out as one more batch after the canned ones, and
    // every accepted record sent for the class is kept in it: one under an identifier the device
    // does not hold is new, and the device's answer gives it the next number after lastRecordId
    // (a test's `remap` answers instead; a record it names no identifier for keeps the one it was
    // sent with). For "com.apple.Bookmarks" every record must be a folder or a bookmark whose
    // "parent", when present, names a folder the device holds already; a message with any other
    // record is refused (PlistError) and nothing of it is kept.
    QMap<QString, PlistCFType> syncRecords;
    int lastRecordId = 1000;
    QStringList syncLog; // "start <class> <device anchor> <computer anchor> <version>", "getAll", "ack", ...

    // installation proxy: the array of user apps, or an error
    int browseError = 0;
    PlistCFType userApps;
    QStringList browseLog;

    // backup protocol
    int backupStartError = 0;
    std::shared_ptr<ScriptedBackupPeer> backupPeer;

    // lockdown writes: "domain|key|<value as text>"
    QStringList setValueLog;
};

// The in-process device back end of the tests: devices by UDID, AFC over a temporary folder, canned
// sync batches, installation-proxy answers, a scripted backup peer, and attach and detach events
// raised from a thread that is not the GUI thread, as the device library raises them.
//
//     auto backend = FakeDeviceBackend::install();          // every device call now reaches the fake
//     FakeDevice& phone = backend->addDevice("UDID");
//     phone.domains[""].put("ProductType", PlistCFType::createCFString("iPhone14,2"));
//     phone.syncBatches["com.apple.Contacts"] = {FakeSyncBatch{records, PlistCFType()}};
//     phone.backupPeer = std::make_shared<ScriptedBackupPeer>();
//     phone.backupPeer->scriptBackupOf(generatedBackupFolder, "UDID");   // IOSMobileBackupThread
//     ...run the code under test, then read phone.sent, phone.syncLog, backupPeer->statuses...
//     FakeDeviceBackend::uninstall();
class FakeDeviceBackend : public DeviceBackend
{
public:
    // Installs a new fake as the device back end; uninstall() restores the production one.
    static std::shared_ptr<FakeDeviceBackend> install();
    static void uninstall();

    FakeDevice& addDevice(const QString& udid);
    FakeDevice* device(const QString& udid);
    void removeDevice(const QString& udid);

    // Raises one event on a separate thread and waits for that thread to end.
    void injectEvent(int type, const QString& udid, int connectionType = 1);
    void attach(const QString& udid, int connectionType = 1) { injectEvent(1, udid, connectionType); }
    void detach(const QString& udid, int connectionType = 1) { injectEvent(2, udid, connectionType); }

    int subscribeResult = 0;
    bool subscribed() const { return m_callback != nullptr; }

    // Every call that reached a device: "open <udid>", "lockdown <udid> handshake", "getValue <d>|<k>", ...
    QStringList calls() const;
    void logCall(const QString& text);

    int openDevice(const QString& udid, std::unique_ptr<DeviceConnection>& connection) override;
    int subscribe(DeviceEventCallback callback, void* userData) override;
    int unsubscribe() override;

    std::recursive_mutex mutex;

private:
    QMap<QString, std::shared_ptr<FakeDevice>> m_devices;
    QStringList m_calls;
    DeviceEventCallback m_callback = nullptr;
    void* m_userData = nullptr;
};
