#include "ProbeCommand.h"
#include "messages/modern/IOS6MessageDb.h"
#include "messages/store/AbsIOSMessageDb.h"
#include "messages/store/IOS5MessageDb.h"
#include "messages/store/MessageRecycleDb.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <stdexcept>

namespace
{
const char kSmsRel[] = "file-relay/var/mobile/Library/SMS/sms.db";

// The database file of SRC: the file itself, or the sms.db of a cache-layout folder.
QString sourceDb(const QString& src)
{
    const QFileInfo info(src);
    const QString db = info.isDir() ? QDir(src).absoluteFilePath(kSmsRel) : info.absoluteFilePath();
    if (!QFileInfo(db).isFile())
        throw std::runtime_error(QStringLiteral("%1 holds no message database").arg(src).toStdString());
    return db;
}

int runRecover(const QStringList& args, QTextStream& out, QTextStream& err)
{
    if (args.size() != 1) {
        err << "usage: qm-probe recover-messages SRC\n";
        return 2;
    }
    // The recovered-message store is made in a private folder: nothing is written beside SRC, and
    // the recovery itself reads a private copy of the database.
    QTemporaryDir work;
    if (!work.isValid())
        throw std::runtime_error("can not create a temporary folder");
    const QString db = sourceDb(args.first());
    const int type = AbsIOSMessageDb::checkDbType(db);
    QJsonObject o;
    qint64 messages = 0;
    qint64 handles = 0;
    if (type == 6) {
        IOS6MessageDb reader(QDir(work.path()), _CountryInfo(), false);
        reader.setIOSDbPath(db);
        reader.recycleDeletedHandles(nullptr);
        reader.recycleDeletedMessages({}, nullptr);
        messages = reader.recycleDb()->messages().size();
        handles = reader.recycleDb()->handles().size();
    } else if (type == 5) {
        QDir(work.path()).mkpath(QFileInfo(QDir(work.path()).absoluteFilePath(kSmsRel)).absolutePath());
        IOS5MessageDb reader(QDir(work.path()), _CountryInfo());
        // The older reader works on its folder's file: hand it a copy (the recovery copies again).
        if (!QFile::copy(db, QDir(work.path()).absoluteFilePath(kSmsRel)))
            throw std::runtime_error("can not copy the message database");
        reader.recycleDeletedMessages(nullptr);
        messages = reader.recycleDb()->messages().size();
    } else {
        throw std::runtime_error(QStringLiteral("%1 is not a device message database").arg(db).toStdString());
    }
    o["path"] = db;
    o["schema"] = type == 6 ? "ios6" : "ios5";
    o["recovered_messages"] = double(messages);
    o["recovered_handles"] = double(handles);
    out << QJsonDocument(o).toJson(QJsonDocument::Indented);
    return 0;
}

const ProbeCommand command("recover-messages",
    "SRC   recovers deleted messages (and handles) of an sms.db or cache folder into a private store; counts "
    "as JSON",
    runRecover);
} // namespace
