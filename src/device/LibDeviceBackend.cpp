#include "device/LibDeviceBackend.h"

#include "device/AfcSession.h"
#include "device/Backup2Channel.h"
#include "device/DeviceConnection.h"
#include "device/MobileSyncProtocol.h"
#include "device/SyncSession.h"

#include <cstdlib>
#include <libimobiledevice/afc.h>
#include <libimobiledevice/installation_proxy.h>
#include <libimobiledevice/libimobiledevice.h>
#include <libimobiledevice/lockdown.h>
#include <libimobiledevice/mobilebackup2.h>
#include <libimobiledevice/mobilesync.h>
#include <plist/plist.h>
#include <vector>

// Platform interface: the readiness step of a mobilesync exchange that does not insist on a
// preceding receive of the device's changes. Written over the public mobilesync_send and
// mobilesync_receive: waits for the device's "SDMessageDeviceReadyToReceiveChanges" and answers
// with the DeviceLink ping, as the library's own readiness step does.
extern "C" mobilesync_error_t mobilesync_ready_to_send_changes_from_computer_nocheck(
    mobilesync_client_t client);

namespace
{

QByteArray utf8(const QString& text)
{
    return text.toUtf8();
}

// A null QString is passed as an absent (null) C string.
const char* optional(const QByteArray& bytes, const QString& text)
{
    return text.isNull() || text.isEmpty() ? nullptr : bytes.constData();
}

class SyncWire : public MobileSyncProtocol::Wire
{
public:
    explicit SyncWire(mobilesync_client_t client)
        : m_client(client)
    {
    }
    int send(const PlistCFType& message) override
    {
        return mobilesync_send(m_client, static_cast<plist_t>(message.ref()));
    }
    int receive(PlistCFType& message) override
    {
        plist_t node = nullptr;
        int err = mobilesync_receive(m_client, &node);
        message = PlistCFType(node, true);
        return err;
    }

private:
    mobilesync_client_t m_client;
};

class LibAfcSession : public AfcSession
{
public:
    explicit LibAfcSession(afc_client_t client)
        : m_client(client)
    {
    }
    ~LibAfcSession() override { afc_client_free(m_client); }

    int getFileInfo(const QString& path, QList<QPair<QByteArray, QByteArray>>& pairs) override
    {
        char** info = nullptr;
        int err = afc_get_file_info(m_client, utf8(path).constData(), &info);
        if (err == AFC_E_SUCCESS && info) {
            for (int i = 0; info[i] && info[i + 1]; i += 2)
                pairs.append({ QByteArray(info[i]), QByteArray(info[i + 1]) });
        }
        if (info)
            afc_dictionary_free(info);
        return err;
    }
    int readDirectory(const QString& path, QList<QByteArray>& names) override
    {
        char** list = nullptr;
        int err = afc_read_directory(m_client, utf8(path).constData(), &list);
        if (err == AFC_E_SUCCESS && list) {
            for (int i = 0; list[i]; ++i)
                names.append(QByteArray(list[i]));
        }
        if (list)
            afc_dictionary_free(list);
        return err;
    }
    int makeDirectory(const QString& path) override
    {
        return afc_make_directory(m_client, utf8(path).constData());
    }
    int removePathAndContents(const QString& path) override
    {
        return afc_remove_path_and_contents(m_client, utf8(path).constData());
    }
    int renamePath(const QString& from, const QString& to) override
    {
        return afc_rename_path(m_client, utf8(from).constData(), utf8(to).constData());
    }
    int fileOpen(const QString& path, int mode, quint64& handle) override
    {
        uint64_t h = 0;
        int err = afc_file_open(m_client, utf8(path).constData(), static_cast<afc_file_mode_t>(mode), &h);
        handle = h;
        return err;
    }
    int fileRead(quint64 handle, char* data, quint32 length, quint32& bytesRead) override
    {
        uint32_t n = 0;
        int err = afc_file_read(m_client, handle, data, length, &n);
        bytesRead = n;
        return err;
    }
    int fileWrite(quint64 handle, const char* data, quint32 length, quint32& bytesWritten) override
    {
        uint32_t n = 0;
        int err = afc_file_write(m_client, handle, data, length, &n);
        bytesWritten = n;
        return err;
    }
    int fileClose(quint64 handle) override { return afc_file_close(m_client, handle); }
    int fileLock(quint64 handle, int operation) override
    {
        return afc_file_lock(m_client, handle, static_cast<afc_lock_op_t>(operation));
    }

private:
    afc_client_t m_client;
};

class LibSyncSession : public SyncSession
{
public:
    explicit LibSyncSession(mobilesync_client_t client)
        : m_client(client)
    {
    }
    ~LibSyncSession() override { mobilesync_client_free(m_client); }

    int start(const QString& dataClass, const QString& deviceAnchor, const QString& computerAnchor,
        quint64 version, QString& errorDescription) override
    {
        m_dataClass = dataClass;
        mobilesync_anchors_t anchors
            = mobilesync_anchors_new(utf8(deviceAnchor).constData(), utf8(computerAnchor).constData());
        mobilesync_sync_type_t syncType;
        uint64_t deviceVersion = 0;
        char* description = nullptr;
        int err = mobilesync_start(
            m_client, utf8(dataClass).constData(), anchors, version, &syncType, &deviceVersion, &description);
        mobilesync_anchors_free(anchors);
        if (description) {
            errorDescription = QString::fromUtf8(description);
            free(description);
        }
        return err;
    }
    int getAllRecordsFromDevice() override { return mobilesync_get_all_records_from_device(m_client); }
    int receiveChanges(PlistCFType& entities, bool& isLast, PlistCFType& actions) override
    {
        plist_t e = nullptr;
        plist_t a = nullptr;
        uint8_t last = 0;
        int err = mobilesync_receive_changes(m_client, &e, &last, &a);
        if (err == MOBILESYNC_E_SUCCESS) {
            entities = PlistCFType(e, true);
            actions = PlistCFType(a, true);
            isLast = last != 0;
        } else {
            if (e)
                plist_free(e);
            if (a)
                plist_free(a);
        }
        return err;
    }
    int acknowledgeChangesFromDevice() override
    {
        return mobilesync_acknowledge_changes_from_device(m_client);
    }
    int readyToSendChangesFromComputerNoCheck() override
    {
        return mobilesync_ready_to_send_changes_from_computer_nocheck(m_client);
    }
    // The library's own send and remap refuse unless its readiness call set its direction flag,
    // which the no-check readiness above does not touch; these two go over the same public
    // send and receive instead.
    int sendChanges(const PlistCFType& entities, bool isLast, const PlistCFType& actions) override
    {
        SyncWire wire(m_client);
        return MobileSyncProtocol::sendChanges(wire, m_dataClass, entities, isLast, actions);
    }
    int remapIdentifiers(PlistCFType& mapping) override
    {
        SyncWire wire(m_client);
        return MobileSyncProtocol::remapIdentifiers(wire, mapping);
    }
    int finish() override { return mobilesync_finish(m_client); }
    int cancel(const QString& reason) override
    {
        return mobilesync_cancel(m_client, utf8(reason).constData());
    }

private:
    mobilesync_client_t m_client;
    QString m_dataClass;
};

class LibBackup2Channel : public Backup2Channel
{
public:
    explicit LibBackup2Channel(mobilebackup2_client_t client)
        : m_client(client)
    {
    }
    ~LibBackup2Channel() override { mobilebackup2_client_free(m_client); }

    int versionExchange(const QList<double>& localVersions, double& remoteVersion) override
    {
        std::vector<double> versions(localVersions.begin(), localVersions.end());
        double remote = 0;
        int err = mobilebackup2_version_exchange(
            m_client, versions.data(), static_cast<char>(versions.size()), &remote);
        remoteVersion = remote;
        return err;
    }
    int sendRequest(const QString& request, const QByteArray& target, const QByteArray& source,
        const PlistCFType& options) override
    {
        return mobilebackup2_send_request(m_client, utf8(request).constData(), target.constData(),
            source.constData(), static_cast<plist_t>(options.ref()));
    }
    int sendMessage(const QString& message, const PlistCFType& options) override
    {
        return mobilebackup2_send_message(
            m_client, utf8(message).constData(), static_cast<plist_t>(options.ref()));
    }
    int receiveMessage(PlistCFType& message, QString& name) override
    {
        plist_t node = nullptr;
        char* dlmessage = nullptr;
        int err = mobilebackup2_receive_message(m_client, &node, &dlmessage);
        message = PlistCFType(node, true);
        name = dlmessage ? QString::fromUtf8(dlmessage) : QString();
        free(dlmessage);
        return err;
    }
    int sendRaw(const char* data, quint32 length, quint32& done) override
    {
        uint32_t n = 0;
        int err = mobilebackup2_send_raw(m_client, data, length, &n);
        done = n;
        return err;
    }
    int receiveRaw(char* data, quint32 length, quint32& done) override
    {
        uint32_t n = 0;
        int err = mobilebackup2_receive_raw(m_client, data, length, &n);
        done = n;
        return err;
    }
    int sendStatusResponse(int code, const QString& description, const PlistCFType& content) override
    {
        const QByteArray text = utf8(description);
        return mobilebackup2_send_status_response(m_client, code,
            description.isNull() ? nullptr : text.constData(), static_cast<plist_t>(content.ref()));
    }

private:
    mobilebackup2_client_t m_client;
};

class LibDeviceConnection : public DeviceConnection
{
public:
    explicit LibDeviceConnection(idevice_t device)
        : m_device(device)
    {
    }
    ~LibDeviceConnection() override
    {
        lockdownFree();
        idevice_free(m_device);
    }

    int lockdownNew(const QString& label, bool handshake) override
    {
        lockdownFree();
        const QByteArray l = utf8(label);
        return handshake ? lockdownd_client_new_with_handshake(m_device, &m_lockdown, l.constData())
                         : lockdownd_client_new(m_device, &m_lockdown, l.constData());
    }
    bool hasLockdown() const override { return m_lockdown != nullptr; }
    void lockdownFree() override
    {
        if (m_lockdown)
            lockdownd_client_free(m_lockdown);
        m_lockdown = nullptr;
    }
    int getValue(const QString& domain, const QString& key, PlistCFType& value) override
    {
        if (!m_lockdown)
            return LOCKDOWN_E_INVALID_ARG;
        const QByteArray d = utf8(domain), k = utf8(key);
        plist_t node = nullptr;
        int err = lockdownd_get_value(m_lockdown, optional(d, domain), optional(k, key), &node);
        if (err == LOCKDOWN_E_SUCCESS)
            value = PlistCFType(node, true);
        else if (node)
            plist_free(node);
        return err;
    }
    int setValue(const QString& domain, const QString& key, const PlistCFType& value) override
    {
        if (!m_lockdown)
            return LOCKDOWN_E_INVALID_ARG;
        // The service takes ownership of what it is given; the caller's value stays intact.
        plist_t copy = value.ref() ? plist_copy(static_cast<plist_t>(value.ref())) : nullptr;
        return lockdownd_set_value(m_lockdown, utf8(domain).constData(), utf8(key).constData(), copy);
    }
    int pair() override
    {
        if (!m_lockdown)
            return LOCKDOWN_E_INVALID_ARG;
        return lockdownd_pair(m_lockdown, nullptr);
    }
    int startAfc(std::unique_ptr<AfcSession>& afc) override
    {
        if (!m_lockdown)
            return LOCKDOWN_E_INVALID_ARG;
        lockdownd_service_descriptor_t service = nullptr;
        int err = lockdownd_start_service(m_lockdown, "com.apple.afc", &service);
        if (err != LOCKDOWN_E_SUCCESS) {
            lockdownd_service_descriptor_free(service);
            return err;
        }
        afc_client_t client = nullptr;
        err = afc_client_new(m_device, service, &client);
        lockdownd_service_descriptor_free(service);
        if (err == AFC_E_SUCCESS)
            afc = std::make_unique<LibAfcSession>(client);
        return err;
    }
    int startSync(const QString& label, std::unique_ptr<SyncSession>& sync) override
    {
        mobilesync_client_t client = nullptr;
        int err = mobilesync_client_start_service(m_device, &client, utf8(label).constData());
        if (err == MOBILESYNC_E_SUCCESS)
            sync = std::make_unique<LibSyncSession>(client);
        return err;
    }
    int browseApps(const QString& label, const QString& applicationType, const QStringList& attributes,
        PlistCFType& apps) override
    {
        instproxy_client_t client = nullptr;
        int err = instproxy_client_start_service(m_device, &client, utf8(label).constData());
        if (err != INSTPROXY_E_SUCCESS)
            return err;
        plist_t options = instproxy_client_options_new();
        plist_dict_set_item(options, "ApplicationType", plist_new_string(utf8(applicationType).constData()));
        plist_t wanted = plist_new_array();
        for (const QString& attribute : attributes)
            plist_array_append_item(wanted, plist_new_string(utf8(attribute).constData()));
        plist_dict_set_item(options, "ReturnAttributes", wanted);
        plist_t result = nullptr;
        err = instproxy_browse(client, options, &result);
        instproxy_client_options_free(options);
        instproxy_client_free(client);
        if (err == INSTPROXY_E_SUCCESS)
            apps = PlistCFType(result, true);
        else if (result)
            plist_free(result);
        return err;
    }
    int startBackup2(std::unique_ptr<Backup2Channel>& channel) override
    {
        if (!m_lockdown)
            return LOCKDOWN_E_INVALID_ARG;
        lockdownd_service_descriptor_t service = nullptr;
        int err = lockdownd_start_service_with_escrow_bag(m_lockdown, "com.apple.mobilebackup2", &service);
        lockdownFree();
        if (err != LOCKDOWN_E_SUCCESS || !service || service->port == 0) {
            lockdownd_service_descriptor_free(service);
            return err != LOCKDOWN_E_SUCCESS ? err : LOCKDOWN_E_UNKNOWN_ERROR;
        }
        mobilebackup2_client_t client = nullptr;
        err = mobilebackup2_client_new(m_device, service, &client);
        lockdownd_service_descriptor_free(service);
        if (err != MOBILEBACKUP2_E_SUCCESS || !client)
            return err != MOBILEBACKUP2_E_SUCCESS ? err : MOBILEBACKUP2_E_UNKNOWN_ERROR;
        channel = std::make_unique<LibBackup2Channel>(client);
        return 0;
    }

private:
    idevice_t m_device;
    lockdownd_client_t m_lockdown = nullptr;
};

struct Subscription {
    DeviceEventCallback callback = nullptr;
    void* userData = nullptr;
};

Subscription g_subscription;

void onLibraryEvent(const idevice_event_t* event, void* /*userData*/)
{
    if (!event || !g_subscription.callback)
        return;
    DeviceEvent e;
    e.type = event->event;
    e.udid = QString::fromLatin1(event->udid ? event->udid : "");
    e.connectionType = event->conn_type;
    g_subscription.callback(e, g_subscription.userData);
}

} // namespace

extern "C" mobilesync_error_t mobilesync_ready_to_send_changes_from_computer_nocheck(
    mobilesync_client_t client)
{
    if (!client)
        return MOBILESYNC_E_INVALID_ARG;
    SyncWire wire(client);
    return static_cast<mobilesync_error_t>(MobileSyncProtocol::readyToSendNoCheck(wire));
}

int LibDeviceBackend::openDevice(const QString& udid, std::unique_ptr<DeviceConnection>& connection)
{
    idevice_t device = nullptr;
    int err = idevice_new_with_options(&device, utf8(udid).constData(), IDEVICE_LOOKUP_USBMUX);
    if (err == IDEVICE_E_SUCCESS && device)
        connection = std::make_unique<LibDeviceConnection>(device);
    else if (err == IDEVICE_E_SUCCESS)
        err = IDEVICE_E_NO_DEVICE;
    return err;
}

int LibDeviceBackend::subscribe(DeviceEventCallback callback, void* userData)
{
    g_subscription = { callback, userData };
    return idevice_event_subscribe(onLibraryEvent, nullptr);
}

int LibDeviceBackend::unsubscribe()
{
    int err = idevice_event_unsubscribe();
    g_subscription = {};
    return err;
}
