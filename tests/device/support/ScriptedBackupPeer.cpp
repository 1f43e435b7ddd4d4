#include "device/support/ScriptedBackupPeer.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QtEndian>
#include <cstring>

namespace
{
class PeerChannel : public Backup2Channel
{
public:
    explicit PeerChannel(std::shared_ptr<ScriptedBackupPeer> peer)
        : m_peer(std::move(peer))
    {
    }
    int versionExchange(const QList<double>& local, double& remote) override
    {
        return m_peer->versionExchange(local, remote);
    }
    int sendRequest(const QString& request, const QByteArray& target, const QByteArray& source,
        const PlistCFType& options) override
    {
        return m_peer->sendRequest(request, target, source, options);
    }
    int sendMessage(const QString& message, const PlistCFType& options) override
    {
        return m_peer->sendMessage(message, options);
    }
    int receiveMessage(PlistCFType& message, QString& name) override
    {
        return m_peer->receiveMessage(message, name);
    }
    int sendRaw(const char* data, quint32 length, quint32& done) override
    {
        return m_peer->sendRaw(data, length, done);
    }
    int receiveRaw(char* data, quint32 length, quint32& done) override
    {
        return m_peer->receiveRaw(data, length, done);
    }
    int sendStatusResponse(int code, const QString& description, const PlistCFType& content) override
    {
        return m_peer->sendStatusResponse(code, description, content);
    }

private:
    std::shared_ptr<ScriptedBackupPeer> m_peer;
};
} // namespace

std::unique_ptr<Backup2Channel> ScriptedBackupPeer::channel(std::shared_ptr<ScriptedBackupPeer> peer)
{
    return std::make_unique<PeerChannel>(std::move(peer));
}

ScriptedBackupPeer& ScriptedBackupPeer::message(const PlistCFType& array, const QByteArray& rawAfter)
{
    Step step { Step::Message, array, 0, {}, {} };
    m_script.append(step);
    if (!rawAfter.isEmpty())
        raw(rawAfter);
    return *this;
}

ScriptedBackupPeer& ScriptedBackupPeer::message(
    const QString& name, const QList<PlistCFType>& args, const QByteArray& rawAfter)
{
    return message(array(name, args), rawAfter);
}

ScriptedBackupPeer& ScriptedBackupPeer::timeout(int count)
{
    for (int i = 0; i < count; ++i)
        m_script.append(Step { Step::Timeout, PlistCFType(), -5, {}, {} });
    return *this;
}

ScriptedBackupPeer& ScriptedBackupPeer::receiveError(int code)
{
    m_script.append(Step { Step::Error, PlistCFType(), code, {}, {} });
    return *this;
}

ScriptedBackupPeer& ScriptedBackupPeer::call(std::function<void()> action)
{
    m_script.append(Step { Step::Call, PlistCFType(), 0, {}, std::move(action) });
    return *this;
}

ScriptedBackupPeer& ScriptedBackupPeer::raw(const QByteArray& bytes)
{
    // Bytes placed right after a message are readable as soon as that message is delivered.
    m_script.append(Step { Step::Raw, PlistCFType(), 0, bytes, {} });
    return *this;
}

ScriptedBackupPeer& ScriptedBackupPeer::rawStall(int count)
{
    m_script.append(Step { Step::Stall, PlistCFType(), count, {}, {} });
    return *this;
}

PlistCFType ScriptedBackupPeer::array(const QString& name, const QList<PlistCFType>& args)
{
    PlistCFType result = PlistCFType::createCFArray();
    result.append(PlistCFType::createCFString(name));
    for (const PlistCFType& arg : args)
        result.append(arg.ref() ? arg : PlistCFType::createCFString(QString()));
    return result;
}

PlistCFType ScriptedBackupPeer::str(const QString& text)
{
    return PlistCFType::createCFString(text);
}

PlistCFType ScriptedBackupPeer::strings(const QStringList& texts)
{
    PlistCFType result = PlistCFType::createCFArray();
    for (const QString& text : texts)
        result.append(PlistCFType::createCFString(text));
    return result;
}

PlistCFType ScriptedBackupPeer::dict(const QList<QPair<QString, PlistCFType>>& entries)
{
    PlistCFType result = PlistCFType::createCFDictionary();
    for (const auto& entry : entries)
        result.put(entry.first, entry.second);
    return result;
}

PlistCFType ScriptedBackupPeer::real(double value)
{
    return PlistCFType::createCFNumberDouble(value);
}

PlistCFType ScriptedBackupPeer::integer(long long value)
{
    return PlistCFType::createCFNumberInt64(value);
}

PlistCFType ScriptedBackupPeer::downloadFiles(const QStringList& paths, double progress)
{
    return array(QStringLiteral("DLMessageDownloadFiles"),
        { strings(paths), PlistCFType::createCFDictionary(), real(progress) });
}

PlistCFType ScriptedBackupPeer::uploadFiles(qint64 totalSize, double progress)
{
    return array(QStringLiteral("DLMessageUploadFiles"),
        { PlistCFType::createCFDictionary(), real(progress), integer(totalSize) });
}

PlistCFType ScriptedBackupPeer::processMessage(int errorCode, const QString& description)
{
    PlistCFType info = PlistCFType::createCFDictionary();
    info.put(QStringLiteral("ErrorCode"), PlistCFType::createCFNumberInt32(errorCode));
    if (!description.isNull())
        info.put(QStringLiteral("ErrorDescription"), PlistCFType::createCFString(description));
    return array(QStringLiteral("DLMessageProcessMessage"), { info });
}

QByteArray ScriptedBackupPeer::be32(quint32 value)
{
    QByteArray bytes(4, '\0');
    qToBigEndian<quint32>(value, bytes.data());
    return bytes;
}

QByteArray ScriptedBackupPeer::nameBlock(const QString& name)
{
    const QByteArray utf8 = name.toUtf8();
    return be32(quint32(utf8.size())) + utf8;
}

QByteArray ScriptedBackupPeer::block(char code, const QByteArray& payload)
{
    return be32(quint32(payload.size() + 1)) + QByteArray(1, code) + payload;
}

QByteArray ScriptedBackupPeer::endOfList()
{
    return be32(0);
}

QByteArray ScriptedBackupPeer::uploadFile(
    const QString& dname, const QString& path, const QByteArray& data, int piece)
{
    QByteArray out = nameBlock(dname) + nameBlock(path);
    for (int offset = 0; offset < data.size(); offset += piece)
        out += block('\x0C', data.mid(offset, piece));
    out += block('\x00');
    return out;
}

QByteArray ScriptedBackupPeer::uploadTree(const QString& folder, const QString& udid)
{
    QStringList files;
    QDirIterator it(folder, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
    while (it.hasNext())
        files << QDir(folder).relativeFilePath(it.next());
    files.sort();
    QByteArray out;
    for (const QString& relative : files) {
        QFile file(QDir(folder).absoluteFilePath(relative));
        if (!file.open(QIODevice::ReadOnly))
            continue;
        out += uploadFile(relative, udid + QLatin1Char('/') + relative, file.readAll());
    }
    return out + endOfList();
}

ScriptedBackupPeer& ScriptedBackupPeer::scriptBackupOf(const QString& folder, const QString& udid)
{
    const QByteArray upload = uploadTree(folder, udid);
    return message(uploadFiles(upload.size(), 50), upload).message(processMessage(0));
}

ScriptedBackupPeer& ScriptedBackupPeer::scriptRestoreRequesting(
    const QStringList& paths, int errorCode, const QString& description)
{
    return message(downloadFiles(paths, 50)).message(processMessage(errorCode, description));
}

QList<ScriptedBackupPeer::SentFile> ScriptedBackupPeer::parseDownload(
    const QByteArray& raw, bool* endOfListSeen)
{
    QList<SentFile> files;
    if (endOfListSeen)
        *endOfListSeen = false;
    int pos = 0;
    auto readLength = [&](quint32& value) {
        if (pos + 4 > raw.size())
            return false;
        value = qFromBigEndian<quint32>(raw.constData() + pos);
        pos += 4;
        return true;
    };
    for (;;) {
        quint32 nameLength = 0;
        if (!readLength(nameLength))
            break;
        if (nameLength == 0) {
            if (endOfListSeen)
                *endOfListSeen = true;
            break;
        }
        SentFile file;
        file.name = QString::fromUtf8(raw.mid(pos, int(nameLength)));
        pos += int(nameLength);
        for (;;) {
            quint32 length = 0;
            if (!readLength(length) || length == 0 || pos + int(length) > raw.size())
                break;
            const char code = raw.at(pos);
            const QByteArray payload = raw.mid(pos + 1, int(length) - 1);
            pos += int(length);
            if (code == '\x0C') {
                file.data += payload;
                ++file.blocks;
                file.blockLengths.append(int(length));
                continue;
            }
            file.endCode = code;
            break;
        }
        files.append(file);
        if (file.endCode < 0)
            break;
    }
    return files;
}

int ScriptedBackupPeer::versionExchange(const QList<double>& local, double& remote)
{
    std::lock_guard<std::recursive_mutex> lock(m_mutex);
    versionOffers.append(local);
    log.append(QStringLiteral("version"));
    remote = 2.1;
    return versionResult;
}

int ScriptedBackupPeer::sendRequest(
    const QString& request, const QByteArray& target, const QByteArray& source, const PlistCFType& options)
{
    std::lock_guard<std::recursive_mutex> lock(m_mutex);
    requests.append(
        Request { request, target, source, options.ref() ? PlistCFType::clone(options) : PlistCFType() });
    log.append(QStringLiteral("request ") + request);
    return requestResult;
}

int ScriptedBackupPeer::sendMessage(const QString& message, const PlistCFType& options)
{
    std::lock_guard<std::recursive_mutex> lock(m_mutex);
    sentMessages.append({ message, options.ref() ? PlistCFType::clone(options) : PlistCFType() });
    log.append(QStringLiteral("message ") + message);
    return 0;
}

int ScriptedBackupPeer::receiveMessage(PlistCFType& message, QString& name)
{
    for (;;) {
        std::function<void()> action;
        {
            std::lock_guard<std::recursive_mutex> lock(m_mutex);
            if (m_script.isEmpty()) {
                log.append(QStringLiteral("receive lost"));
                return -3;
            }
            Step step = m_script.takeFirst();
            switch (step.kind) {
            case Step::Raw:
                m_in.append(Chunk { step.bytes, 0 });
                continue;
            case Step::Stall:
                m_in.append(Chunk { QByteArray(), step.code });
                continue;
            case Step::Timeout:
                log.append(QStringLiteral("receive timeout"));
                return -5;
            case Step::Error:
                log.append(QStringLiteral("receive error %1").arg(step.code));
                return step.code;
            case Step::Call:
                action = step.action;
                break;
            case Step::Message:
                // The raw bytes scripted right after this message become readable with it.
                while (!m_script.isEmpty()
                    && (m_script.first().kind == Step::Raw || m_script.first().kind == Step::Stall)) {
                    Step next = m_script.takeFirst();
                    m_in.append(
                        next.kind == Step::Raw ? Chunk { next.bytes, 0 } : Chunk { QByteArray(), next.code });
                }
                message = step.message;
                name = step.message.at(0).CFStringQString();
                ++delivered;
                log.append(QStringLiteral("receive ") + name);
                return 0;
            }
        }
        if (action)
            action();
    }
}

int ScriptedBackupPeer::sendRaw(const char* data, quint32 length, quint32& done)
{
    std::lock_guard<std::recursive_mutex> lock(m_mutex);
    done = 0;
    if (sendResult != 0)
        return sendResult;
    quint32 n = maxSendChunk > 0 ? qMin(length, maxSendChunk) : length;
    sentRaw.append(data, int(n));
    done = n;
    log.append(QStringLiteral("raw %1").arg(n));
    return 0;
}

int ScriptedBackupPeer::receiveRaw(char* data, quint32 length, quint32& done)
{
    std::lock_guard<std::recursive_mutex> lock(m_mutex);
    done = 0;
    while (!m_in.isEmpty()) {
        Chunk& chunk = m_in.first();
        if (chunk.stalls > 0) {
            --chunk.stalls;
            if (chunk.stalls == 0 && chunk.bytes.isEmpty())
                m_in.removeFirst();
            return -5;
        }
        if (chunk.bytes.isEmpty()) {
            m_in.removeFirst();
            continue;
        }
        quint32 n = qMin<quint32>(length, quint32(chunk.bytes.size()));
        if (maxRawChunk > 0)
            n = qMin(n, maxRawChunk);
        std::memcpy(data, chunk.bytes.constData(), n);
        chunk.bytes.remove(0, int(n));
        if (chunk.bytes.isEmpty())
            m_in.removeFirst();
        done = n;
        return 0;
    }
    return -5; // a silent peer
}

int ScriptedBackupPeer::sendStatusResponse(int code, const QString& description, const PlistCFType& content)
{
    std::lock_guard<std::recursive_mutex> lock(m_mutex);
    statuses.append(
        Status { code, description, content.ref() ? PlistCFType::clone(content) : PlistCFType() });
    log.append(QStringLiteral("status %1").arg(code));
    return statusResult;
}
