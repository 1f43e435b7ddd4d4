#include "ProbeCommand.h"
#include "backup/BackupManifest.h"
#include "messages/modern/IOS6MessageDb.h"
#include "messages/store/IOS5MessageDb.h"
#include "messages/store/MacMessagingDb.h"
#include "messages/store/MsgData.h"
#include "messages/store/MsgText.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <memory>
#include <stdexcept>

namespace
{
const char kSmsRel[] = "file-relay/var/mobile/Library/SMS/sms.db";

// Copies a database file with its journal files into folder/rel, so the original is never opened.
void copyDb(const QString& src, const QString& dest)
{
    QDir().mkpath(QFileInfo(dest).absolutePath());
    if (!QFile::copy(src, dest))
        throw std::runtime_error(QStringLiteral("can not copy %1").arg(src).toStdString());
    QFile::setPermissions(dest, QFile::ReadOwner | QFile::WriteOwner);
    for (const char* suffix : { "-wal", "-shm" }) {
        const QString s = src + QLatin1String(suffix);
        if (QFile::exists(s)) {
            QFile::copy(s, dest + QLatin1String(suffix));
            QFile::setPermissions(dest + QLatin1String(suffix), QFile::ReadOwner | QFile::WriteOwner);
        }
    }
}

QString isoDate(int date21)
{
    return dtFromDate21(date21).toUTC().toString(Qt::ISODate);
}

int runMessages(const QStringList& args, QTextStream& out, QTextStream& err)
{
    if (args.size() != 1) {
        err << "usage: qm-probe messages PATH\n";
        return 2;
    }
    const QFileInfo info(args.first());
    if (!info.exists())
        throw std::runtime_error(QStringLiteral("%1 does not exist").arg(args.first()).toStdString());

    // Everything is read from a private copy: the probe never writes beside the given files.
    QTemporaryDir work;
    if (!work.isValid())
        throw std::runtime_error("can not create a temporary folder");
    const QDir folder(work.path());
    QString kind;
    std::unique_ptr<AbsMessageDb> reader;
    if (info.isDir()) {
        const QDir src(info.absoluteFilePath());
        if (QFile::exists(src.absoluteFilePath(kSmsRel))) {
            copyDb(src.absoluteFilePath(kSmsRel), folder.absoluteFilePath(kSmsRel));
            const QString ab = "file-relay/var/mobile/Library/AddressBook/";
            for (const char* f : { "AddressBook.sqlitedb", "AddressBookImages.sqlitedb" })
                if (QFile::exists(src.absoluteFilePath(ab + f)))
                    copyDb(src.absoluteFilePath(ab + f), folder.absoluteFilePath(ab + f));
        } else if (QFile::exists(src.absoluteFilePath("Manifest.db"))
            || QFile::exists(src.absoluteFilePath("Manifest.mbdb"))) {
            // A backup folder: its sms.db found through the manifest and copied out.
            BackupManifest manifest(src.absolutePath());
            try {
                manifest.readManifestInfo();
            } catch (const std::exception&) {
                // No Manifest.plist: taken as an unencrypted backup.
            }
            if (manifest.IsEncrypted)
                throw std::runtime_error("encrypted backup: copy its files into a cache folder first");
            manifest.parseInfo();
            if (!manifest.smsNode)
                throw std::runtime_error("the backup holds no Library/SMS/sms.db");
            QDir().mkpath(QFileInfo(folder.absoluteFilePath(kSmsRel)).absolutePath());
            manifest.copyFile(manifest.smsNode, folder.absoluteFilePath(kSmsRel), nullptr, nullptr);
        } else if (QFile::exists(src.absoluteFilePath("chat.db"))) {
            copyDb(src.absoluteFilePath("chat.db"), folder.absoluteFilePath("chat.db"));
            kind = "mac";
        } else {
            throw std::runtime_error(QStringLiteral("%1 holds no message database (%2 or chat.db)")
                                         .arg(args.first(), kSmsRel)
                                         .toStdString());
        }
    } else if (info.fileName() == QLatin1String("chat.db")) {
        copyDb(info.absoluteFilePath(), folder.absoluteFilePath("chat.db"));
        kind = "mac";
    } else {
        copyDb(info.absoluteFilePath(), folder.absoluteFilePath(kSmsRel));
    }
    if (kind == "mac") {
        reader = std::make_unique<MacMessagingDb>(folder);
    } else if (AbsIOSMessageDb::checkDbType(folder.absoluteFilePath(kSmsRel)) == 6) {
        kind = "ios6";
        reader = std::make_unique<IOS6MessageDb>(folder, _CountryInfo(), false);
    } else {
        kind = "ios5";
        reader = std::make_unique<IOS5MessageDb>(folder, _CountryInfo());
    }

    MsgData data;
    QJsonObject o;
    int rc = 0;
    try {
        reader->messages(data, 0);
    } catch (const std::exception& e) {
        // What loaded before the failure is still counted; the error says what is wrong.
        o["error"] = QString::fromUtf8(e.what());
        rc = 1;
    }
    try {
        if (auto* ios5 = dynamic_cast<IOS5MessageDb*>(reader.get()))
            o["total"] = double(ios5->total());
        else if (auto* ios6 = dynamic_cast<IOS6MessageDb*>(reader.get()))
            o["total"] = double(ios6->total());
    } catch (const std::exception&) {
        o["total"] = 0;
    }
    // The model's own table is walked: a list of a million pointers would be counted as the load's.
    const QHash<qint64, _MsgMessage*>& msgs = data.p()->messages;
    o["path"] = info.absoluteFilePath();
    o["schema"] = kind;
    o["chats"] = int(data.p()->chats.size());
    o["handles"] = int(data.p()->handles.size());
    o["messages"] = int(msgs.size());
    o["attachments"] = int(data.p()->attachments.size());
    if (!msgs.isEmpty()) {
        int first = msgs.begin().value()->date;
        int last = first;
        for (const _MsgMessage* m : msgs) {
            first = qMin(first, m->date);
            last = qMax(last, m->date);
        }
        o["first_date"] = isoDate(first);
        o["last_date"] = isoDate(last);
        o["first_date21"] = first;
        o["last_date21"] = last;
    } else {
        o["first_date"] = QJsonValue();
        o["last_date"] = QJsonValue();
    }
    out << QJsonDocument(o).toJson(QJsonDocument::Indented);
    return rc;
}

const ProbeCommand command("messages",
    "PATH   counts and date range of a message database, a cache folder or an unencrypted backup",
    runMessages, ProbeCommand::App::Core);
} // namespace
