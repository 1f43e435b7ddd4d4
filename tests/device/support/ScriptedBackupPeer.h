#pragma once

#include "device/Backup2Channel.h"
#include "device/PlistCFType.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>
#include <functional>
#include <memory>
#include <mutex>

// The device's side of the backup protocol, played from a script. Each receive of the host takes
// the next step: a DeviceLink message (with the raw bytes that follow it), a time-out, an error or
// a call-back. Every byte and every status the host sends is recorded. When the script runs out the
// peer answers as a lost connection (-3), so a run never waits for ever.
class ScriptedBackupPeer
{
public:
    struct Status {
        int code = 0;
        QString description; // null when the host sent none
        PlistCFType content; // null when the host sent none
    };
    struct Request {
        QString request;
        QByteArray target;
        QByteArray source;
        PlistCFType options;
    };
    struct SentFile { // one file of a download as the host framed it
        QString name;
        QByteArray data;
        int endCode = -1; // 0 end of file, 6 local error, -1 stream ended early
        int blocks = 0; // data blocks
        QList<int> blockLengths;
    };

    // --- script ---
    ScriptedBackupPeer& message(const PlistCFType& array, const QByteArray& rawAfter = QByteArray());
    ScriptedBackupPeer& message(
        const QString& name, const QList<PlistCFType>& args = {}, const QByteArray& rawAfter = QByteArray());
    ScriptedBackupPeer& timeout(int count = 1);
    ScriptedBackupPeer& receiveError(int code);
    ScriptedBackupPeer& call(std::function<void()> action);
    // Raw bytes for the host to read, made available when the script reaches this step.
    ScriptedBackupPeer& raw(const QByteArray& bytes);
    // Raw receives that come back empty (time-outs) before the following raw bytes.
    ScriptedBackupPeer& rawStall(int count);

    // --- message builders ---
    static PlistCFType array(const QString& name, const QList<PlistCFType>& args);
    static PlistCFType str(const QString& text);
    static PlistCFType strings(const QStringList& texts);
    static PlistCFType dict(const QList<QPair<QString, PlistCFType>>& entries);
    static PlistCFType real(double value);
    static PlistCFType integer(long long value);
    // ["DLMessageDownloadFiles", [paths], {}, progress]
    static PlistCFType downloadFiles(const QStringList& paths, double progress = 0);
    // ["DLMessageUploadFiles", {}, progress, totalSize]
    static PlistCFType uploadFiles(qint64 totalSize, double progress = 0);
    // ["DLMessageProcessMessage", {ErrorCode, ErrorDescription}]
    static PlistCFType processMessage(int errorCode, const QString& description = QString());

    // --- raw framing the device uses ---
    static QByteArray be32(quint32 value);
    static QByteArray nameBlock(const QString& name);
    static QByteArray block(char code, const QByteArray& payload = QByteArray());
    static QByteArray endOfList();
    // One uploaded file: device name, backup path, then data blocks of at most `piece` bytes and the end.
    static QByteArray uploadFile(
        const QString& dname, const QString& path, const QByteArray& data, int piece = 65536);

    // Every file under `folder` (recursive, in name order) uploaded as "<udid>/<relative path>", with
    // the relative path as the device-side name, then the end of list.
    static QByteArray uploadTree(const QString& folder, const QString& udid);
    // The whole conversation of a device backup of `folder` (for instance a backup that the
    // generator made): its files uploaded, then success. `folder` should hold Status.plist,
    // Manifest.plist and Manifest.db for the result to count as a finished backup.
    ScriptedBackupPeer& scriptBackupOf(const QString& folder, const QString& udid);
    // The conversation of a restore that asks for these files, then reports success (or `errorCode`
    // with `description`).
    ScriptedBackupPeer& scriptRestoreRequesting(
        const QStringList& paths, int errorCode = 0, const QString& description = QString());

    // --- behaviour ---
    int versionResult = 0;
    int requestResult = 0;
    int statusResult = 0;
    int sendResult = 0;
    quint32 maxRawChunk = 0; // >0: every raw receive hands out at most this many bytes (short reads)
    quint32 maxSendChunk = 0; // >0: every raw send takes at most this many bytes (short writes)

    // --- records ---
    QList<QList<double>> versionOffers;
    QList<Request> requests;
    QList<QPair<QString, PlistCFType>> sentMessages;
    QByteArray sentRaw;
    QList<Status> statuses;
    QStringList log; // "version", "request Backup", "status -13", "raw 4", "receive DLMessage..."...
    int delivered = 0;

    // Decodes the host's raw output of a download (name and data blocks, end of list).
    static QList<SentFile> parseDownload(const QByteArray& raw, bool* endOfListSeen = nullptr);

    // --- channel side, called by the host through the fake device ---
    int versionExchange(const QList<double>& local, double& remote);
    int sendRequest(const QString& request, const QByteArray& target, const QByteArray& source,
        const PlistCFType& options);
    int sendMessage(const QString& message, const PlistCFType& options);
    int receiveMessage(PlistCFType& message, QString& name);
    int sendRaw(const char* data, quint32 length, quint32& done);
    int receiveRaw(char* data, quint32 length, quint32& done);
    int sendStatusResponse(int code, const QString& description, const PlistCFType& content);

    // A channel over this peer, for the fake device to hand out.
    static std::unique_ptr<Backup2Channel> channel(std::shared_ptr<ScriptedBackupPeer> peer);

private:
    struct Step {
        enum Kind { Message, Timeout, Error, Call, Raw, Stall } kind;
        PlistCFType message;
        int code = 0;
        QByteArray bytes;
        std::function<void()> action;
    };
    struct Chunk {
        QByteArray bytes;
        int stalls = 0;
    };
    QList<Step> m_script;
    QList<Chunk> m_in;
    std::recursive_mutex m_mutex;
};
