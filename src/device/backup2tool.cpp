#include "device/backup2tool.h"

#include "app/MadeFolders.h"
#include "device/Backup2Channel.h"
#include "device/BackupPath.h"
#include "device/DeviceBackend.h"
#include "device/DeviceConnection.h"
#include "device/iDevice.h"

#include <QFileInfo>
#include <QMutexLocker>
#include <QtEndian>
#include <memory>
#include <stdexcept>
#include <sys/statvfs.h>
#include <vector>

namespace
{

const int kReceiveTimeout = -5; // the library's receive time-out
const int kRefused = -22; // status of a message that is refused as malformed or unsafe
const quint32 kMaxNameLength = 4096;
const quint32 kMaxBlockLength = 64u * 1024u * 1024u; // a data block announced above this is refused
const quint32 kMaxRemoteErrorText = 64u * 1024u;
const quint32 kPiece = 32768; // file data goes out and comes in pieces of this size
const int kMaxIdleReads = 20; // raw receives or sends that move nothing before the stream counts as lost

const char* const kAttach = "Error attaching to device. Please Keep your iPhone connected and active. ";

[[noreturn]] void fail(const QString& text)
{
    throw std::runtime_error(text.toUtf8().toStdString());
}

QByteArray lengthBytes(quint32 length)
{
    QByteArray bytes(4, '\0');
    qToBigEndian<quint32>(length, bytes.data());
    return bytes;
}

QString lastComponent(const QString& path)
{
    int slash = path.lastIndexOf(QLatin1Char('/'));
    return slash < 0 ? path : path.mid(slash + 1);
}

PlistCFType emptyDict()
{
    return PlistCFType::createCFDictionary();
}

} // namespace

backup2tool::backup2tool(
    const QString& udid, const QDir& backupRoot, QSharedPointer<Backup2ToolHook> hook, QObject* parent)
    : QObject(parent)
    , udid(udid)
    , backupRoot(backupRoot)
    , hook(std::move(hook))
{
    deviceDir = QDir(this->backupRoot.absoluteFilePath(udid));
    if (!this->hook)
        this->hook = QSharedPointer<Backup2ToolHook>::create();
}

backup2tool::~backup2tool() = default;

void backup2tool::cancel()
{
    setCancel();
}

void backup2tool::setCancel()
{
    QMutexLocker lock(&mutex);
    cancelFlag = true;
}

bool backup2tool::isCancel()
{
    QMutexLocker lock(&mutex);
    return cancelFlag;
}

QString backup2tool::formatSize(quint64 size)
{
    if (size >= 1000000000000ull)
        return QString::asprintf("%0.1f TB", double(size) / double(999999995904.0f));
    if (size >= 1000000000ull)
        return QString::asprintf("%0.1f GB", double(size) / 1e9);
    if (size >= 1000000ull)
        return QString::asprintf("%0.1f MB", double(size) / 1e6);
    if (size >= 1000ull)
        return QString::asprintf("%0.1f KB", double(size) / 1000.0);
    return QString::asprintf("%d Bytes", int(size));
}

int backup2tool::deviceCode(int hookCode)
{
    if (hookCode == 2)
        return -6;
    if (hookCode == 17)
        return -7;
    return -hookCode;
}

void backup2tool::runThrow(_backup2tool_req req)
{
    QString message;
    const int result = innerRunThrow(req, message);
    if (result == 0)
        return;

    message = message.trimmed();
    int code = result;
    if (!message.isEmpty()) {
        if (message.contains(QLatin1String("Find My iPhone must be disabled"), Qt::CaseInsensitive)) {
            code = -37;
        } else if (message.contains(QLatin1String("could not send"), Qt::CaseInsensitive)
            || message.contains(QLatin1String("could only send"), Qt::CaseInsensitive)
            || message.contains(QLatin1String("Could not receive"), Qt::CaseInsensitive)) {
            code = -10;
        } else if (result == 100
            || message.contains(QLatin1String("Insufficient free"), Qt::CaseInsensitive)) {
            code = -36;
        } else if (message.contains(
                       QLatin1String("Failed to move the incomplete restore directory into place at path"),
                       Qt::CaseInsensitive)) {
            message = tr("Please restart your iPhone first.") + QLatin1String("<br/><br/>") + message;
        }
    }
    QString text = QStringLiteral("error code:%1. ").arg(code);
    switch (code) {
    case -37:
        text += tr(
            "Please follow <a href=\"%1/guides/how-to-disable-find-my-iphone.html\">this tutorial</a> to "
            "disable \"Find my iPhone\" first and then restart your iPhone to try again.")
                    .arg(QStringLiteral(QM_SERVICE_HOST));
        break;
    case -36:
        text += req.op == backup2tool_restore
            ? tr("Insufficient free disk space on device to back up. Not enough free disk space on your "
                 "Device.")
            : tr("Insufficient free disk space on drive to back up. Not enough free disk space on your "
                 "computer.");
        break;
    case -10:
        text += tr("Error attaching to device. Please Keep your iPhone connected and active.");
        break;
    default:
        if (message.isEmpty())
            text += tr("Please restart your iPhone to try again.");
        break;
    }
    if (!message.isEmpty())
        text += QLatin1String("<br/><br/>") + message;
    fail(text);
}

int backup2tool::innerRunThrow(_backup2tool_req req, QString& message)
{
    // The cancel flag is not cleared here: a cancel confirmed before the run began must still stop it.
    m_progress = 0;
    hook->beginThrow(backupRoot, udid);

    // Declared before the channel, so the channel is released first and the device last.
    std::unique_ptr<DeviceConnection> device;
    int err = udid.isEmpty() ? -3 : DeviceBackend::instance().openDevice(udid, device);
    if (err != 0 || !device)
        fail(QStringLiteral("backup2tool: No device found. Please restart your iPhone to try again."));
    err = device->lockdownNew(QString::fromLatin1(kLockdownLabel), true);
    if (err != 0)
        fail(QStringLiteral(
            "backup2tool: open device failed, return %1. Please restart your iPhone to try again.")
                 .arg(err));
    QString why;
    if (req.op == backup2tool_backup && !MadeFolders::makePath(deviceDir.absolutePath(), &why))
        fail(why);

    std::unique_ptr<Backup2Channel> channel;
    err = device->startBackup2(channel);
    if (err != 0 || !channel)
        fail(QStringLiteral("backup2tool: start service com.apple.mobilebackup2 failed. Please restart your "
                            "iPhone to try again."));

    double remoteVersion = 0;
    err = channel->versionExchange({ 2.0, 2.1 }, remoteVersion);
    if (err != 0)
        fail(QStringLiteral("Could not perform backup protocol version exchange, error code %1").arg(err));

    const QByteArray target = udid.toLocal8Bit();
    if (req.op == backup2tool_backup) {
        err = channel->sendRequest(QStringLiteral("Backup"), target, target, PlistCFType());
        if (err == -7)
            fail(QStringLiteral(
                "Please restart your iPhone to try again. ERROR: Could not start backup process: "
                "device refused to start the backup process."));
        if (err == -6)
            fail(QStringLiteral("ERROR: Could not start backup process: backup protocol version mismatch!"));
        if (err != 0)
            fail(QStringLiteral(
                "Please restart your iPhone to try again. ERROR: Could not start backup process: "
                "unspecified error occurred"));
    } else if (req.op == backup2tool_restore) {
        PlistCFType options = PlistCFType::createCFDictionary();
        options.put(
            QStringLiteral("RestoreSystemFiles"), PlistCFType::createCFBoolean(req.restoreSystemFiles));
        options.put(
            QStringLiteral("RestorePreserveSettings"), PlistCFType::createCFBoolean(req.preserveSettings));
        if (!req.sparseOptions) {
            options.put(
                QStringLiteral("RestoreShouldReboot"), PlistCFType::createCFBoolean(req.shouldReboot));
            options.put(
                QStringLiteral("RestoreDontCopyBackup"), PlistCFType::createCFBoolean(req.dontCopyBackup));
            options.put(QStringLiteral("RemoveItemsNotRestored"),
                PlistCFType::createCFBoolean(req.removeItemsNotRestored));
        } else {
            if (!req.shouldReboot)
                options.put(QStringLiteral("RestoreShouldReboot"), PlistCFType::createCFBoolean(false));
            if (req.dontCopyBackup)
                options.put(QStringLiteral("RestoreDontCopyBackup"), PlistCFType::createCFBoolean(true));
            // Always said: left to the device, a partial restore could remove what it does not carry.
            options.put(QStringLiteral("RemoveItemsNotRestored"),
                PlistCFType::createCFBoolean(req.removeItemsNotRestored));
        }
        if (!req.password.isEmpty())
            options.put(QStringLiteral("Password"), PlistCFType::createCFString(req.password));
        err = channel->sendRequest(QStringLiteral("Restore"), target, target, options);
        if (err == -7)
            fail(QStringLiteral("ERROR: Could not start restore process: device refused to start the restore "
                                "process. Please restart your iPhone to try again."));
        if (err == -6)
            fail(QStringLiteral("ERROR: Could not start restore process: backup protocol version mismatch!"));
        if (err != 0)
            fail(QStringLiteral("ERROR: Could not start restore process: unspecified error occurred. Please "
                                "restart your iPhone to try again."));
    } else {
        fail(QStringLiteral("backup2tool: invalid op."));
    }

    return messageLoopThrow(*channel, req, message);
}

int backup2tool::messageLoopThrow(Backup2Channel& channel, const _backup2tool_req& req, QString& message)
{
    Q_UNUSED(req);
    int idleTurns = 0;
    for (;;) {
        if (isCancel())
            return 0;
        emit update(m_progress, QString(), QStringLiteral("This may take a few minutes. Please wait..."));

        PlistCFType msg;
        QString name;
        int err = channel.receiveMessage(msg, name);
        if (err == kReceiveTimeout) {
            if (maxIdleTurns > 0 && ++idleTurns >= maxIdleTurns)
                fail(QStringLiteral("ERROR: Could not receive from mobilebackup2 (%1): the device stopped "
                                    "answering. Please restart your iPhone to try again.")
                         .arg(err));
            continue;
        }
        idleTurns = 0;
        if (err != 0)
            fail(QStringLiteral(
                "ERROR: Could not receive from mobilebackup2 (%1). Please restart your iPhone to "
                "try again.")
                     .arg(err));
        if (!msg.isCFArray() || name.isEmpty())
            rejectThrow(channel, QStringLiteral("ERROR: Malformed message from the device."));

        PlistCFType progressNode;
        if (name == QLatin1String("DLMessageDownloadFiles") || name == QLatin1String("DLMessageMoveFiles")
            || name == QLatin1String("DLMessageMoveItems") || name == QLatin1String("DLMessageRemoveFiles")
            || name == QLatin1String("DLMessageRemoveItems"))
            progressNode = msg.at(3);
        else if (name == QLatin1String("DLMessageUploadFiles"))
            progressNode = msg.at(2);
        const double pg = progressNode.CFNumberDouble(0);
        if (pg > 0)
            m_progress = pg;

        int code = 0;
        if (!hook->onHandleMsgContinue(backupRoot, udid, msg, code, message))
            return code;

        if (name == QLatin1String("DLMessageDownloadFiles")) {
            sendFilesThrow(channel, msg);
        } else if (name == QLatin1String("DLMessageUploadFiles")) {
            recvFilesThrow(channel, msg);
        } else if (name == QLatin1String("DLMessageGetFreeDiskSpace")) {
            sendFreeDiskSpaceThrow(channel);
        } else if (name == QLatin1String("DLContentsOfDirectory")) {
            sendDirContentsThrow(channel, msg);
        } else if (name == QLatin1String("DLMessageCreateDirectory")) {
            createDirectoryThrow(channel, msg);
        } else if (name == QLatin1String("DLMessageMoveFiles")
            || name == QLatin1String("DLMessageMoveItems")) {
            moveFilesThrow(channel, msg);
        } else if (name == QLatin1String("DLMessageRemoveFiles")
            || name == QLatin1String("DLMessageRemoveItems")) {
            removeFilesThrow(channel, msg);
        } else if (name == QLatin1String("DLMessageCopyItem")) {
            copyItemThrow(channel, msg);
        } else if (name == QLatin1String("DLMessageDisconnect")) {
            return 0;
        } else if (name == QLatin1String("DLMessageProcessMessage")) {
            PlistCFType dict = msg.at(1);
            const int errorCode = dict.get(QStringLiteral("ErrorCode")).CFNumberInt(0);
            const QString content = dict.get(QStringLiteral("Content")).CFStringQString();
            const QString description = dict.get(QStringLiteral("ErrorDescription")).CFStringQString();
            message = description.isEmpty() ? content : description;
            if (!lastFileError.isEmpty())
                message += QLatin1Char(' ') + lastFileError;
            return errorCode;
        } else if (name == QLatin1String("DLMessagePurgeDiskSpace")) {
            message = QStringLiteral("Error: DLMessagePurgeDiskSpace(Insufficient free disk space).");
            return -36;
        } else {
            rejectThrow(channel, QStringLiteral("Message can not handle: %1").arg(name));
        }
    }
}

void backup2tool::rejectThrow(Backup2Channel& client, const QString& text)
{
    client.sendStatusResponse(kRefused, text, emptyDict());
    fail(text);
}

void backup2tool::checkPathThrow(Backup2Channel& client, const QString& messageName, const QString& path)
{
    if (!BackupPath::resolve(backupRoot, path))
        rejectThrow(client,
            QStringLiteral("ERROR: %1 names a path outside the backup folder: %2")
                .arg(messageName, path.left(kMaxNameLength)));
}

void backup2tool::replyThrow(Backup2Channel& client, int code, const QString& description,
    const PlistCFType& content, const QString& failureText)
{
    int err = client.sendStatusResponse(code, description, content);
    if (err != 0)
        fail(failureText.arg(err));
}

int backup2tool::sendAll(Backup2Channel& client, const char* data, quint32 length)
{
    quint32 sent = 0;
    int idle = 0;
    while (sent < length) {
        quint32 done = 0;
        int err = client.sendRaw(data + sent, length - sent, done);
        if (err != 0)
            return err;
        if (done == 0) {
            if (++idle >= kMaxIdleReads)
                return -3;
            continue;
        }
        idle = 0;
        sent += done;
    }
    return 0;
}

quint32 backup2tool::recvExact(Backup2Channel& client, char* data, quint32 length)
{
    quint32 got = 0;
    int idle = 0;
    while (got < length) {
        quint32 done = 0;
        int err = client.receiveRaw(data + got, length - got, done);
        if (err != 0 && err != kReceiveTimeout)
            break;
        if (done == 0) {
            if (++idle >= kMaxIdleReads)
                break;
            continue;
        }
        idle = 0;
        got += qMin(done, length - got);
    }
    return got;
}

void backup2tool::sendFreeDiskSpaceThrow(Backup2Channel& client)
{
    // The real figure of the file system that holds the backup (its nearest existing folder).
    QString path = backupRoot.absolutePath();
    while (!QFileInfo::exists(path) && path != QLatin1String("/"))
        path = QFileInfo(path).absolutePath();
    // statvfs on the folder itself: mount-table lookups fail inside containers and chroots.
    struct statvfs fs {
    };
    const qint64 available = ::statvfs(QFile::encodeName(path).constData(), &fs) == 0
        ? qint64(fs.f_bavail) * qint64(fs.f_frsize)
        : 0;
    replyThrow(client, 0, QString(), PlistCFType::createCFNumberInt64(available),
        QStringLiteral("backup2tool: Could not send status response, error %1."));
}

void backup2tool::createDirectoryThrow(Backup2Channel& client, PlistCFType message)
{
    const PlistCFType node = message.at(1);
    const QString path = node.CFStringQString();
    if (!node.isCFString() || path.isEmpty())
        rejectThrow(client, QStringLiteral("ERROR: Malformed DLMessageCreateDirectory message"));
    checkPathThrow(client, QStringLiteral("DLMessageCreateDirectory"), path);
    QString err;
    const int result = hook->mkdir(backupRoot, path, err);
    replyThrow(client, deviceCode(result), err.isEmpty() ? QString() : err, PlistCFType(),
        QStringLiteral("backup2tool::createDirectory: Could not send status response, error %1."));
}

void backup2tool::sendFilesThrow(Backup2Channel& client, PlistCFType message)
{
    const PlistCFType files = message.at(1);
    if (!files.isCFArray())
        rejectThrow(client, QStringLiteral("ERROR: Malformed DLMessageDownloadFiles message"));
    QStringList paths;
    for (int i = 0; i < files.array_size(); ++i) {
        const QString path = files.at(i).CFStringQString();
        if (!path.isEmpty())
            checkPathThrow(client, QStringLiteral("DLMessageDownloadFiles"), path);
        paths.append(path);
    }

    PlistCFType errors(nullptr, true);
    for (const QString& path : paths) {
        if (isCancel())
            return;
        if (path.isEmpty())
            continue;
        emit update(
            m_progress, QString(), QStringLiteral("Sending %1 to device...").arg(lastComponent(path)));
        sendFileThrow(client, path, errors);
    }

    const QByteArray endOfList = lengthBytes(0);
    int err = sendAll(client, endOfList.constData(), 4);
    if (err != 0)
        fail(QString::fromLatin1(kAttach)
            + QStringLiteral("backup2tool::sendFilesThrow: send end of list failed. return %1.").arg(err));
    if (!errors.isCFDictionary())
        replyThrow(client, 0, QString(), emptyDict(),
            QString::fromLatin1(kAttach)
                + QStringLiteral("backup2tool::sendFilesThrow, Could not send status response, error %1"));
    else
        replyThrow(client, -13, QStringLiteral("Multi status"), errors,
            QString::fromLatin1(kAttach)
                + QStringLiteral("backup2tool::sendFilesThrow, Could not send status response, error %1"));
}

void backup2tool::sendFileThrow(Backup2Channel& client, const QString& path, PlistCFType& errors)
{
    const QByteArray name = path.toUtf8();
    if (name.isEmpty())
        return;
    QByteArray block = lengthBytes(quint32(name.size())) + name;
    int err = sendAll(client, block.constData(), quint32(block.size()));
    if (err != 0)
        fail(QString::fromLatin1(kAttach)
            + QStringLiteral("backup2tool::sendFileThrow: send path(%1) failed. return %2.")
                  .arg(path)
                  .arg(err));

    QString local;
    if (!manifestDbName.isEmpty()
        && lastComponent(path).compare(QLatin1String("Manifest.db"), Qt::CaseInsensitive) == 0)
        local = deviceDir.absoluteFilePath(manifestDbName);
    else
        BackupPath::resolve(backupRoot, path, &local);

    QFile file(local);
    QFileInfo info(local);
    if (!info.exists() || !info.isFile()) {
        lastFileError = QStringLiteral("%1 not exists.").arg(file.fileName());
        if (!errors.isCFDictionary())
            errors = PlistCFType::createCFDictionary();
        PlistCFType entry = PlistCFType::createCFDictionary();
        entry.put(QStringLiteral("DLFileErrorString"), PlistCFType::createCFString(QString()));
        entry.put(QStringLiteral("DLFileErrorCode"), PlistCFType::createCFNumberInt32(-6));
        errors.put(path, entry);
        const QByteArray errorBlock = lengthBytes(1) + QByteArray(1, '\x06');
        err = sendAll(client, errorBlock.constData(), quint32(errorBlock.size()));
        if (err != 0)
            fail(QString::fromLatin1(kAttach)
                + QStringLiteral("backup2tool::sendFileThrow: send error string failed. return %1.")
                      .arg(err));
        return;
    }

    if (info.size() > 0) {
        if (!file.open(QIODevice::ReadOnly))
            fail(QStringLiteral("backup2tool::sendFileThrow: can not open %1. %2")
                     .arg(file.fileName(), file.errorString()));
        std::vector<char> buffer(kPiece + 1);
        buffer[0] = '\x0C';
        while (!file.atEnd()) {
            if (isCancel())
                return;
            const qint64 n = file.read(buffer.data() + 1, kPiece);
            if (n <= 0)
                fail(QStringLiteral("backup2tool::sendFileThrow: can not read %1. %2")
                         .arg(file.fileName(), file.errorString()));
            const QByteArray length = lengthBytes(quint32(n + 1));
            err = sendAll(client, length.constData(), 4);
            if (err == 0)
                err = sendAll(client, buffer.data(), quint32(n + 1));
            if (err != 0)
                fail(QString::fromLatin1(kAttach)
                    + QStringLiteral("backup2tool::sendFileThrow: send buf failed. return %1.").arg(err));
        }
        file.close();
    }

    const QByteArray length = lengthBytes(1);
    err = sendAll(client, length.constData(), 4);
    if (err == 0)
        err = sendAll(client, "\0", 1);
    if (err != 0)
        fail(QString::fromLatin1(kAttach)
            + QStringLiteral("backup2tool::sendFileThrow: send status failed. return %1.").arg(err));
}

void backup2tool::recvFilesThrow(Backup2Channel& client, PlistCFType message)
{
    QString err;
    const quint64 total = quint64(message.at(3).CFNumberInt64(0));
    emit update(
        m_progress, QString(), QStringLiteral("Receiving files (size: %1)...").arg(formatSize(total)));

    for (;;) {
        if (isCancel())
            return;
        const QString dname = recvFileNameThrow(client);
        if (dname.isEmpty())
            break;
        const QString path = recvFileNameThrow(client);
        if (path.isEmpty())
            break;
        checkPathThrow(client, QStringLiteral("DLMessageUploadFiles"), path);
        hook->recvFileBegin(backupRoot, udid, path, dname);
        recvFileThrow(client, dname, path, err);
    }
    replyThrow(client, 0, err.isEmpty() ? QString() : err, emptyDict(),
        QString::fromLatin1(kAttach)
            + QStringLiteral("backup2tool::recvFilesThrow, Could not send status response, error %1"));
}

QString backup2tool::recvFileNameThrow(Backup2Channel& client)
{
    char header[4];
    const quint32 got = recvExact(client, header, 4);
    if (got != 4)
        fail(QString::fromLatin1(kAttach)
            + QStringLiteral("backup2tool::recvFileNamesThrow: could not read filename."));
    const quint32 length = qFromBigEndian<quint32>(header);
    if (length == 0)
        return QString();
    if (length > kMaxNameLength)
        rejectThrow(client,
            QStringLiteral("backup2tool::recvFileNamesThrow: too large filename length (%1)!").arg(length));
    QByteArray name(int(length), '\0');
    if (recvExact(client, name.data(), length) != length)
        fail(QString::fromLatin1(kAttach)
            + QStringLiteral("backup2tool::recvFileNamesThrow: could not read filename."));
    return QString::fromUtf8(name);
}

int backup2tool::recvFileThrow(
    Backup2Channel& client, const QString& dname, const QString& path, QString& err)
{
    Q_UNUSED(dname);
    QFile file;
    int result = hook->recvFileOpenWrite(backupRoot, path, file, err);
    quint64 count = 0;
    std::vector<char> piece(kPiece);

    auto truncated = [&]() {
        fail(QString::fromLatin1(kAttach) + QStringLiteral("backup2tool::recvFileThrow: recv null data."));
    };

    try {
        for (;;) {
            char header[4];
            if (recvExact(client, header, 4) != 4)
                truncated();
            const quint32 length = qFromBigEndian<quint32>(header);
            if (length == 0)
                truncated();
            if (length > kMaxBlockLength)
                rejectThrow(client,
                    QStringLiteral("backup2tool::recvFileThrow: too large data block (%1).").arg(length));
            char code = 0;
            if (recvExact(client, &code, 1) != 1)
                truncated();
            quint32 remaining = length - 1;

            if (code == '\x00') {
                // End of file; an unexpected payload is read and dropped.
                while (remaining > 0) {
                    const quint32 want = qMin(remaining, kPiece);
                    if (recvExact(client, piece.data(), want) != want)
                        truncated();
                    remaining -= want;
                }
                hook->recvFileEnd(backupRoot, path, count);
                break;
            }
            if (code == '\x0C') {
                while (remaining > 0) {
                    const quint32 want = qMin(remaining, kPiece);
                    if (recvExact(client, piece.data(), want) != want)
                        truncated();
                    if (file.isOpen() && result == 0) {
                        if (file.write(piece.data(), want) != qint64(want)) {
                            result = file.error() != 0 ? int(file.error()) : int(QFileDevice::WriteError);
                            err = file.errorString();
                        }
                    }
                    count += want;
                    remaining -= want;
                }
                continue;
            }
            if (code == '\x0B') {
                if (remaining > kMaxRemoteErrorText)
                    rejectThrow(client,
                        QStringLiteral("backup2tool::recvFileThrow: too large data block (%1).").arg(length));
                QByteArray text(int(remaining), '\0');
                if (recvExact(client, text.data(), remaining) != remaining)
                    truncated();
                err = QString::fromUtf8(text);
                fail(QStringLiteral(
                    "Please restart your iPhone to try again. backup2tool::recvFileThrow: remote error. %1")
                         .arg(err));
            }
            rejectThrow(
                client, QStringLiteral("backup2tool::recvFileThrow: invalid code %1.").arg(int(qint8(code))));
        }
    } catch (...) {
        // A file whose stream broke off must not stay in the backup as if it were whole.
        if (file.isOpen()) {
            file.close();
            file.remove();
        }
        throw;
    }

    if (result == 0)
        return 0;
    fail(QStringLiteral("backup2tool::recvFileThrow: Write %1 failed. %2")
             .arg(backupRoot.absoluteFilePath(path), err));
}

void backup2tool::sendDirContentsThrow(Backup2Channel& client, PlistCFType message)
{
    const QString path = message.at(1).CFStringQString();
    if (path.isEmpty())
        rejectThrow(client, QStringLiteral("ERROR: Malformed DLContentsOfDirectory message"));
    checkPathThrow(client, QStringLiteral("DLContentsOfDirectory"), path);
    PlistCFType listing = PlistCFType::createCFDictionary();
    for (const Backup2ToolHook::DirItem& item : hook->dirContents(backupRoot, path)) {
        PlistCFType entry = PlistCFType::createCFDictionary();
        entry.put(QStringLiteral("DLFileType"),
            PlistCFType::createCFString(item.kind == 2 ? QStringLiteral("DLFileTypeDirectory")
                                                       : QStringLiteral("DLFileTypeRegular")));
        entry.put(QStringLiteral("DLFileSize"), PlistCFType::createCFNumberInt64(item.size));
        entry.put(QStringLiteral("DLFileModificationDate"), PlistCFType::createCFDate(item.modified));
        listing.put(item.name, entry);
    }
    replyThrow(client, 0, QString(), listing,
        QStringLiteral("backup2tool::sendDirContentsThrow, Could not send status response, error %1"));
}

void backup2tool::moveFilesThrow(Backup2Channel& client, PlistCFType message)
{
    const PlistCFType moves = message.at(1);
    if (!moves.isCFDictionary())
        rejectThrow(client, QStringLiteral("ERROR: Malformed DLMessageMoveFiles message"));
    QList<QPair<QString, QString>> pairs;
    for (const PlistCFType& key : moves.dict_keys()) {
        const QString from = key.CFStringQString();
        const QString to = moves.get(key).CFStringQString();
        if (from.isEmpty() || to.isEmpty())
            continue;
        checkPathThrow(client, QStringLiteral("DLMessageMoveFiles"), from);
        checkPathThrow(client, QStringLiteral("DLMessageMoveFiles"), to);
        pairs.append({ from, to });
    }
    QString err;
    int result = 0;
    for (const auto& pair : pairs) {
        result = hook->moveFile(backupRoot, pair.first, pair.second, err);
        if (result != 0)
            break;
    }
    replyThrow(client, deviceCode(result), err.isEmpty() ? QString() : err, emptyDict(),
        QStringLiteral("backup2tool::moveFilesThrow: Could not send status response, error %1."));
}

void backup2tool::removeFilesThrow(Backup2Channel& client, PlistCFType message)
{
    const PlistCFType items = message.at(1);
    if (!items.isCFArray())
        rejectThrow(client, QStringLiteral("ERROR: Malformed DLMessageRemoveFiles message"));
    QStringList paths;
    for (int i = 0; i < items.array_size(); ++i) {
        const QString path = items.at(i).CFStringQString();
        if (path.isEmpty())
            continue;
        checkPathThrow(client, QStringLiteral("DLMessageRemoveFiles"), path);
        paths.append(path);
    }
    QString err;
    int failed = 0;
    for (const QString& path : paths) {
        const int result = hook->removeFile(backupRoot, path, err);
        if (result != 0)
            failed = result; // every path is still tried
    }
    replyThrow(client, deviceCode(failed), err.isEmpty() ? QString() : err, emptyDict(),
        QStringLiteral("backup2tool::removeFilesThrow: Could not send status response, error %1."));
}

void backup2tool::copyItemThrow(Backup2Channel& client, PlistCFType message)
{
    const QString from = message.at(1).CFStringQString();
    const QString to = message.at(2).CFStringQString();
    if (from.isEmpty() || to.isEmpty())
        rejectThrow(client, QStringLiteral("backup2tool::copyItemThrow: invalid message."));
    checkPathThrow(client, QStringLiteral("DLMessageCopyItem"), from);
    checkPathThrow(client, QStringLiteral("DLMessageCopyItem"), to);
    QString err;
    const int result = hook->copyFile(backupRoot, from, to, err);
    replyThrow(client, deviceCode(result), err.isEmpty() ? QString() : err, emptyDict(),
        QStringLiteral("backup2tool::copyItemThrow: Could not send status response, error %1."));
}
