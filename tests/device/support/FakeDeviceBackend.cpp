#include "device/support/FakeDeviceBackend.h"

#include "device/AfcSession.h"
#include "device/Backup2Channel.h"
#include "device/DeviceConnection.h"
#include "device/MobileSyncProtocol.h"
#include "device/SyncSession.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <map>
#include <thread>

namespace
{

const int kAfcObjectNotFound = 8;
const int kAfcUnknownError = 1;
const int kAfcInvalidArg = 7;

class FakeAfc : public AfcSession
{
public:
    FakeAfc(FakeDeviceBackend* backend, QString root)
        : m_backend(backend)
        , m_root(std::move(root))
    {
    }

    QString local(const QString& path) const { return QDir::cleanPath(m_root + QLatin1Char('/') + path); }
    int getFileInfo(const QString& path, QList<QPair<QByteArray, QByteArray>>& pairs) override
    {
        m_backend->logCall(QStringLiteral("afc info ") + path);
        QFileInfo info(local(path));
        if (!info.exists() && !info.isSymLink())
            return kAfcObjectNotFound;
        const QByteArray kind = info.isSymLink() ? "S_IFLNK" : info.isDir() ? "S_IFDIR" : "S_IFREG";
        using Pair = QPair<QByteArray, QByteArray>;
        pairs.append(Pair("st_size", QByteArray::number(info.size())));
        pairs.append(Pair("st_blocks", "8"));
        pairs.append(Pair("st_ifmt", kind));
        pairs.append(
            Pair("st_mtime", QByteArray::number(info.lastModified().toMSecsSinceEpoch() * 1000000ll)));
        return 0;
    }
    int readDirectory(const QString& path, QList<QByteArray>& names) override
    {
        m_backend->logCall(QStringLiteral("afc ls ") + path);
        QDir dir(local(path));
        if (!dir.exists())
            return kAfcObjectNotFound;
        names.append(".");
        names.append("..");
        for (const QString& name :
            dir.entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot, QDir::Name))
            names.append(name.toUtf8());
        return 0;
    }
    int makeDirectory(const QString& path) override
    {
        m_backend->logCall(QStringLiteral("afc mkdir ") + path);
        return QDir().mkpath(local(path)) ? 0 : kAfcUnknownError;
    }
    int removePathAndContents(const QString& path) override
    {
        m_backend->logCall(QStringLiteral("afc del ") + path);
        const QString target = local(path);
        QFileInfo info(target);
        if (!info.exists() && !info.isSymLink())
            return kAfcObjectNotFound;
        if (info.isDir() && !info.isSymLink())
            return QDir(target).removeRecursively() ? 0 : kAfcUnknownError;
        return QFile::remove(target) ? 0 : kAfcUnknownError;
    }
    int renamePath(const QString& from, const QString& to) override
    {
        m_backend->logCall(QStringLiteral("afc rename ") + from + QStringLiteral(" ") + to);
        return QFile::rename(local(from), local(to)) ? 0 : kAfcObjectNotFound;
    }
    int fileOpen(const QString& path, int mode, quint64& handle) override
    {
        m_backend->logCall(QStringLiteral("afc open %1 %2").arg(path).arg(mode));
        auto file = std::make_unique<QFile>(local(path));
        QIODevice::OpenMode open = mode == 1 ? QIODevice::ReadOnly
            : mode == 2                      ? QIODevice::ReadWrite
                                             : QIODevice::WriteOnly | QIODevice::Truncate;
        if (!file->open(open))
            return kAfcObjectNotFound;
        handle = ++m_next;
        m_files[handle] = std::move(file);
        return 0;
    }
    int fileRead(quint64 handle, char* data, quint32 length, quint32& bytesRead) override
    {
        auto it = m_files.find(handle);
        if (it == m_files.end())
            return kAfcInvalidArg;
        qint64 n = it->second->read(data, length);
        if (n < 0)
            return kAfcUnknownError;
        bytesRead = quint32(n);
        reads.append(int(n));
        return 0;
    }
    int fileWrite(quint64 handle, const char* data, quint32 length, quint32& bytesWritten) override
    {
        auto it = m_files.find(handle);
        if (it == m_files.end())
            return kAfcInvalidArg;
        qint64 n = it->second->write(data, length);
        if (n < 0)
            return kAfcUnknownError;
        bytesWritten = quint32(n);
        return 0;
    }
    int fileClose(quint64 handle) override { return m_files.erase(handle) ? 0 : kAfcInvalidArg; }
    int fileLock(quint64 handle, int operation) override
    {
        m_backend->logCall(QStringLiteral("afc lock %1").arg(operation));
        return m_files.count(handle) ? 0 : kAfcInvalidArg;
    }

    QList<int> reads;

private:
    FakeDeviceBackend* m_backend;
    QString m_root;
    quint64 m_next = 0;
    std::map<quint64, std::unique_ptr<QFile>> m_files;
};

class FakeSync : public SyncSession
{
public:
    FakeSync(FakeDeviceBackend* backend, std::shared_ptr<FakeDevice> device)
        : m_backend(backend)
        , m_device(std::move(device))
    {
    }
    void log(const QString& text)
    {
        std::lock_guard<std::recursive_mutex> lock(m_backend->mutex);
        m_device->syncLog.append(text);
    }
    int start(const QString& dataClass, const QString& deviceAnchor, const QString& computerAnchor,
        quint64 version, QString& errorDescription) override
    {
        m_dataClass = dataClass;
        log(QStringLiteral("start %1 %2 %3 %4").arg(dataClass, deviceAnchor, computerAnchor).arg(version));
        if (m_device->syncStartError != 0)
            errorDescription = m_device->syncStartDescription;
        std::lock_guard<std::recursive_mutex> lock(m_backend->mutex);
        m_pending = m_device->syncBatches.value(dataClass);
        if (m_device->syncRecords.contains(dataClass))
            m_pending.append(
                FakeSyncBatch { PlistCFType::clone(m_device->syncRecords.value(dataClass)), {} });
        return m_device->syncStartError;
    }
    int getAllRecordsFromDevice() override
    {
        log(QStringLiteral("getAll"));
        return 0;
    }
    int receiveChanges(PlistCFType& entities, bool& isLast, PlistCFType& actions) override
    {
        log(QStringLiteral("receive"));
        if (m_device->receiveError != 0)
            return m_device->receiveError;
        if (m_pending.isEmpty()) {
            entities = PlistCFType::createCFDictionary();
            actions = PlistCFType();
            isLast = true;
            return 0;
        }
        FakeSyncBatch batch = m_pending.takeFirst();
        entities = PlistCFType::clone(batch.entities);
        actions = batch.actions.ref() ? PlistCFType::clone(batch.actions) : PlistCFType();
        isLast = m_pending.isEmpty();
        return 0;
    }
    int acknowledgeChangesFromDevice() override
    {
        log(QStringLiteral("ack"));
        return m_device->acknowledgeError;
    }
    int readyToSendChangesFromComputerNoCheck() override
    {
        log(QStringLiteral("ready"));
        return m_device->readyToSendResult;
    }
    int sendChanges(const PlistCFType& entities, bool isLast, const PlistCFType& actions) override
    {
        log(QStringLiteral("send %1").arg(isLast ? 1 : 0));
        if (m_device->sendChangesError != 0)
            return m_device->sendChangesError;
        if (!acceptable(entities))
            return MobileSyncProtocol::PlistError;
        FakeSyncSent sent;
        sent.dataClass = m_dataClass;
        sent.entities = PlistCFType::clone(entities);
        sent.isLast = isLast;
        sent.actions = actions.ref() ? PlistCFType::clone(actions) : PlistCFType();
        {
            std::lock_guard<std::recursive_mutex> lock(m_backend->mutex);
            m_device->sent.append(sent);
        }
        m_lastSent = sent.entities;
        return 0;
    }
    int remapIdentifiers(PlistCFType& mapping) override
    {
        log(QStringLiteral("remap"));
        if (m_device->remapError != 0)
            return m_device->remapError;
        if (m_device->remap) {
            mapping = m_device->remap(m_lastSent);
            keep(mapping);
            return 0;
        }
        if (keeps()) {
            mapping = newIdentifiers();
            keep(mapping);
            return 0;
        }
        PlistCFType result = PlistCFType::createCFDictionary();
        for (const PlistCFType& key : m_lastSent.dict_keys())
            result.put(key.CFStringQString(),
                PlistCFType::createCFString(QStringLiteral("dev-") + key.CFStringQString()));
        mapping = result;
        return 0;
    }
    int finish() override
    {
        log(QStringLiteral("finish"));
        return m_device->finishError;
    }
    int cancel(const QString& reason) override
    {
        log(QStringLiteral("cancel %1").arg(reason));
        return 0;
    }

private:
    bool keeps() const { return m_device->syncRecords.contains(m_dataClass); }

    // Whether the device takes a message of its kept bookmarks: folders and bookmarks only, each
    // in a folder it already holds.
    bool acceptable(const PlistCFType& entities) const
    {
        std::lock_guard<std::recursive_mutex> lock(m_backend->mutex);
        if (!keeps() || m_dataClass != QLatin1String("com.apple.Bookmarks"))
            return true;
        const PlistCFType held = m_device->syncRecords.value(m_dataClass);
        const QString entityKey = QStringLiteral("com.apple.syncservices.RecordEntityName");
        const QString folder = QStringLiteral("com.apple.bookmarks.Folder");
        for (const PlistCFType& key : entities.dict_keys()) {
            const PlistCFType record = entities.get(key);
            const QString entity = record.get(entityKey).CFStringQString();
            if (entity != folder && entity != QLatin1String("com.apple.bookmarks.Bookmark"))
                return false;
            const PlistCFType parent = record.get(QStringLiteral("parent"));
            if (parent.ref()
                && (parent.array_size() != 1
                    || held.get(parent.at(0).CFStringQString()).get(entityKey).CFStringQString() != folder))
                return false;
        }
        return true;
    }

    // The answer of a keeping device: a new number for every record it does not hold yet.
    PlistCFType newIdentifiers()
    {
        std::lock_guard<std::recursive_mutex> lock(m_backend->mutex);
        const PlistCFType held = m_device->syncRecords.value(m_dataClass);
        PlistCFType result = PlistCFType::createCFDictionary();
        for (const PlistCFType& key : m_lastSent.dict_keys())
            if (!held.get(key.CFStringQString()).ref())
                result.put(key.CFStringQString(),
                    PlistCFType::createCFString(QString::number(++m_device->lastRecordId)));
        return result;
    }

    // Keeps the last message's records under the identifiers the answer gave them.
    void keep(const PlistCFType& mapping)
    {
        std::lock_guard<std::recursive_mutex> lock(m_backend->mutex);
        if (!keeps())
            return;
        PlistCFType& held = m_device->syncRecords[m_dataClass];
        if (!held.isCFDictionary())
            held = PlistCFType::createCFDictionary();
        for (const PlistCFType& key : m_lastSent.dict_keys()) {
            const QString sent = key.CFStringQString();
            const QString given = mapping.ref() ? mapping.get(sent).CFStringQString() : QString();
            held.put(given.isEmpty() ? sent : given, PlistCFType::clone(m_lastSent.get(sent)));
        }
    }

    FakeDeviceBackend* m_backend;
    std::shared_ptr<FakeDevice> m_device;
    QString m_dataClass;
    QList<FakeSyncBatch> m_pending;
    PlistCFType m_lastSent;
};

class FakeConnection : public DeviceConnection
{
public:
    FakeConnection(FakeDeviceBackend* backend, std::shared_ptr<FakeDevice> device)
        : m_backend(backend)
        , m_device(std::move(device))
    {
    }
    int lockdownNew(const QString& label, bool handshake) override
    {
        m_backend->logCall(QStringLiteral("lockdown %1 %2 %3")
                               .arg(m_device->udid, label,
                                   handshake ? QStringLiteral("handshake") : QStringLiteral("plain")));
        m_lockdown = false;
        int err
            = handshake ? (m_device->trusted ? 0 : m_device->handshakeError) : m_device->plainLockdownError;
        m_lockdown = err == 0;
        return err;
    }
    bool hasLockdown() const override { return m_lockdown; }
    void lockdownFree() override { m_lockdown = false; }
    int getValue(const QString& domain, const QString& key, PlistCFType& value) override
    {
        m_backend->logCall(QStringLiteral("getValue %1|%2")
                               .arg(domain.isNull() ? QStringLiteral("(null)") : domain,
                                   key.isNull() ? QStringLiteral("(null)") : key));
        if (!m_lockdown)
            return -1;
        std::lock_guard<std::recursive_mutex> lock(m_backend->mutex);
        const QString d = domain.isNull() ? QString(QLatin1String("")) : domain;
        if (!m_device->domains.contains(d))
            return -21; // missing value
        const PlistCFType dict = m_device->domains.value(d);
        if (key.isNull()) {
            value = PlistCFType::clone(dict);
            return 0;
        }
        const PlistCFType item = dict.get(key);
        if (!item.ref())
            return -21;
        value = PlistCFType::clone(item);
        return 0;
    }
    int setValue(const QString& domain, const QString& key, const PlistCFType& value) override
    {
        m_backend->logCall(QStringLiteral("setValue %1|%2").arg(domain, key));
        if (!m_lockdown)
            return -1;
        std::lock_guard<std::recursive_mutex> lock(m_backend->mutex);
        m_device->setValueLog.append(QStringLiteral("%1|%2|%3").arg(domain, key, value.toString()));
        if (m_device->setValueResult != 0)
            return m_device->setValueResult;
        PlistCFType& dict = m_device->domains[domain];
        if (!dict.isCFDictionary())
            dict = PlistCFType::createCFDictionary();
        dict.put(key, PlistCFType::clone(value));
        return 0;
    }
    int pair() override
    {
        m_backend->logCall(QStringLiteral("pair ") + m_device->udid);
        if (m_device->pairResult == 0)
            m_device->trusted = true;
        return m_device->pairResult;
    }
    int startAfc(std::unique_ptr<AfcSession>& afc) override
    {
        m_backend->logCall(QStringLiteral("afc start ") + m_device->udid);
        if (!m_lockdown)
            return -1;
        if (m_device->afcRoot.isEmpty())
            return -17;
        afc = std::make_unique<FakeAfc>(m_backend, m_device->afcRoot);
        return 0;
    }
    int startSync(const QString& label, std::unique_ptr<SyncSession>& sync) override
    {
        m_backend->logCall(QStringLiteral("sync start %1 %2").arg(m_device->udid, label));
        if (m_device->syncServiceError != 0)
            return m_device->syncServiceError;
        sync = std::make_unique<FakeSync>(m_backend, m_device);
        return 0;
    }
    int browseApps(const QString& label, const QString& applicationType, const QStringList& attributes,
        PlistCFType& apps) override
    {
        std::lock_guard<std::recursive_mutex> lock(m_backend->mutex);
        m_device->browseLog.append(
            QStringLiteral("%1 %2 %3").arg(label, applicationType, attributes.join(QLatin1Char(','))));
        if (m_device->browseError != 0)
            return m_device->browseError;
        apps = m_device->userApps.ref() ? PlistCFType::clone(m_device->userApps)
                                        : PlistCFType::createCFArray();
        return 0;
    }
    int startBackup2(std::unique_ptr<Backup2Channel>& channel) override
    {
        m_backend->logCall(QStringLiteral("backup2 start ") + m_device->udid);
        if (!m_lockdown)
            return -1;
        m_lockdown = false; // freed right after the service start, as the library adapter does
        if (m_device->backupStartError != 0 || !m_device->backupPeer)
            return m_device->backupStartError != 0 ? m_device->backupStartError : -17;
        channel = ScriptedBackupPeer::channel(m_device->backupPeer);
        return 0;
    }

private:
    FakeDeviceBackend* m_backend;
    std::shared_ptr<FakeDevice> m_device;
    bool m_lockdown = false;
};

} // namespace

std::shared_ptr<FakeDeviceBackend> FakeDeviceBackend::install()
{
    auto backend = std::make_shared<FakeDeviceBackend>();
    DeviceBackend::setInstance(backend);
    return backend;
}

void FakeDeviceBackend::uninstall()
{
    DeviceBackend::setInstance(nullptr);
}

FakeDevice& FakeDeviceBackend::addDevice(const QString& udid)
{
    std::lock_guard<std::recursive_mutex> lock(mutex);
    auto device = std::make_shared<FakeDevice>();
    device->udid = udid;
    device->domains.insert(QString(QLatin1String("")), PlistCFType::createCFDictionary());
    m_devices.insert(udid, device);
    return *device;
}

FakeDevice* FakeDeviceBackend::device(const QString& udid)
{
    std::lock_guard<std::recursive_mutex> lock(mutex);
    auto it = m_devices.find(udid);
    return it == m_devices.end() ? nullptr : it->get();
}

void FakeDeviceBackend::removeDevice(const QString& udid)
{
    std::lock_guard<std::recursive_mutex> lock(mutex);
    m_devices.remove(udid);
}

void FakeDeviceBackend::injectEvent(int type, const QString& udid, int connectionType)
{
    DeviceEventCallback callback;
    void* userData;
    {
        std::lock_guard<std::recursive_mutex> lock(mutex);
        callback = m_callback;
        userData = m_userData;
    }
    if (!callback)
        return;
    DeviceEvent event;
    event.type = type;
    event.udid = udid;
    event.connectionType = connectionType;
    std::thread libraryThread([&] { callback(event, userData); });
    libraryThread.join();
}

QStringList FakeDeviceBackend::calls() const
{
    std::lock_guard<std::recursive_mutex> lock(const_cast<FakeDeviceBackend*>(this)->mutex);
    return m_calls;
}

void FakeDeviceBackend::logCall(const QString& text)
{
    std::lock_guard<std::recursive_mutex> lock(mutex);
    m_calls.append(text);
}

int FakeDeviceBackend::openDevice(const QString& udid, std::unique_ptr<DeviceConnection>& connection)
{
    logCall(QStringLiteral("open ") + udid);
    std::lock_guard<std::recursive_mutex> lock(mutex);
    auto it = m_devices.find(udid);
    if (it == m_devices.end())
        return -3; // no device
    connection = std::make_unique<FakeConnection>(this, *it);
    return 0;
}

int FakeDeviceBackend::subscribe(DeviceEventCallback callback, void* userData)
{
    std::lock_guard<std::recursive_mutex> lock(mutex);
    if (subscribeResult != 0)
        return subscribeResult;
    m_callback = callback;
    m_userData = userData;
    return 0;
}

int FakeDeviceBackend::unsubscribe()
{
    std::lock_guard<std::recursive_mutex> lock(mutex);
    m_callback = nullptr;
    m_userData = nullptr;
    return 0;
}
