#include "messages/support/MsgFixtures.h"

#include "messages/modern/IOS6MessageDb.h"
#include "messages/store/MsgData.h"
#include "support/TestEnv.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QProcess>
#include <sqlite3.h>

namespace MsgFixtures
{

namespace
{

    bool runPython(const QStringList& args, QString* error)
    {
        const QString python = QFile::exists("/usr/bin/python3") ? "/usr/bin/python3" : "python3";
        QProcess p;
        p.start(python, args);
        if (!p.waitForFinished(300000) || p.exitCode() != 0) {
            if (error)
                *error = QString::fromUtf8(p.readAllStandardError());
            return false;
        }
        return true;
    }

    bool layOut(const QString& relay, const QString& file)
    {
        const qsizetype link = file.indexOf("->");
        const qsizetype eq = file.lastIndexOf('=');
        const QString path = relay + "/" + file.left(link >= 0 ? link : eq);
        QDir().mkpath(QFileInfo(path).absolutePath());
        if (link >= 0)
            return QFile::link(file.mid(link + 2), path);
        const QByteArray bytes = file.mid(eq + 1).toUtf8();
        QFile f(path);
        return f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size();
    }
} // namespace

QString generate(const QString& kind, const QStringList& extraArgs, QString* error)
{
    const QString folder = TestEnv::tempDir() + "/gen-" + kind;
    const QString script = QString::fromUtf8(QM_TOOLS_DIR) + "/gen/make_sms_db.py";
    return runPython(QStringList { script, kind, folder } + extraArgs, error) ? folder : QString();
}

QString generateWith(const QString& script, const QStringList& args, QString* error)
{
    const QString folder = TestEnv::tempDir();
    const QString path = QString::fromUtf8(QM_TOOLS_DIR) + "/gen/" + script;
    return runPython(QStringList { path, folder } + args, error) ? folder : QString();
}

QJsonObject expected(const QString& folder)
{
    QFile f(folder + "/expected.json");
    if (!f.open(QIODevice::ReadOnly))
        return {};
    return QJsonDocument::fromJson(f.readAll()).object();
}

QString smsPath(const QString& folder)
{
    return folder + "/file-relay/var/mobile/Library/SMS/sms.db";
}

QString cacheFolderWith(const QString& smsDb)
{
    const QString folder = TestEnv::tempDir();
    QDir().mkpath(QFileInfo(smsPath(folder)).absolutePath());
    QFile::copy(smsDb, smsPath(folder));
    QFile::setPermissions(smsPath(folder), QFile::ReadOwner | QFile::WriteOwner);
    return folder;
}

QByteArray fileHash(const QString& path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return {};
    return QCryptographicHash::hash(f.readAll(), QCryptographicHash::Sha1);
}

bool execSql(const QString& dbPath, const QString& sql)
{
    sqlite3* db = nullptr;
    bool ok = sqlite3_open_v2(dbPath.toUtf8().constData(), &db, SQLITE_OPEN_READWRITE, nullptr) == SQLITE_OK
        && sqlite3_exec(db, sql.toUtf8().constData(), nullptr, nullptr, nullptr) == SQLITE_OK;
    sqlite3_close(db);
    return ok;
}

QString querySql(const QString& dbPath, const QString& sql)
{
    sqlite3* db = nullptr;
    QString result;
    if (sqlite3_open_v2(dbPath.toUtf8().constData(), &db, SQLITE_OPEN_READONLY, nullptr) == SQLITE_OK) {
        sqlite3_stmt* st = nullptr;
        if (sqlite3_prepare_v2(db, sql.toUtf8().constData(), -1, &st, nullptr) == SQLITE_OK
            && sqlite3_step(st) == SQLITE_ROW)
            result = QString::fromUtf8(reinterpret_cast<const char*>(sqlite3_column_text(st, 0)));
        sqlite3_finalize(st);
    }
    sqlite3_close(db);
    return result;
}

bool makeStoreWith(const QString& folder, const QStringList& filenames, const QStringList& files)
{
    try {
        IOS6MessageDb store(QDir(folder), _CountryInfo(), true);
        MsgData made;
        store.messages(made, 0); // the store's tables, made as the program makes them
    } catch (const std::exception&) {
        return false;
    }
    const QString db = smsPath(folder);
    bool ok = execSql(db,
        "insert into handle(ROWID,id,service) values(1,'+15550001','SMS');"
        "insert into chat(ROWID,guid,style,chat_identifier,service_name) "
        "values(1,'SMS;-;+15550001',45,'+15550001','SMS');"
        "insert into chat_handle_join values(1,1)");
    for (int i = 1; ok && i <= filenames.size(); ++i) {
        QString quoted = filenames[i - 1];
        quoted.replace("'", "''");
        ok = execSql(db,
            QStringLiteral("insert into message(ROWID,guid,text,handle_id,service,date) "
                           "values(%1,'M-%1','x',1,'SMS',%1);"
                           "insert into chat_message_join values(1,%1);"
                           "insert into attachment(ROWID,guid,filename,mime_type) "
                           "values(%1,'A-%1','%2','image/jpeg');"
                           "insert into message_attachment_join values(%1,%1)")
                .arg(i)
                .arg(quoted));
    }
    for (const QString& file : files)
        ok = ok && layOut(folder + "/file-relay", file);
    return ok;
}

static qint64 localPart(qint64 payload, qint64 usable)
{
    const qint64 x = usable - 35;
    const qint64 m = ((usable - 12) * 32 / 255) - 23;
    if (payload <= x)
        return payload;
    const qint64 k = m + ((payload - m) % (usable - 4));
    return k <= x ? k : m;
}

StillInFile stillInFile(const QString& db, const QJsonArray& deleted, const char* key)
{
    const QString copy = TestEnv::tempDir() + "/searched.db";
    for (const char* suffix : { "", "-wal", "-shm" })
        QFile::remove(copy + suffix);
    QFile::copy(db, copy);
    if (QFile::exists(db + "-wal")) {
        QFile::copy(db + "-wal", copy + "-wal");
        if (!execSql(copy, "PRAGMA wal_checkpoint(TRUNCATE)"))
            qFatal("cannot checkpoint the searched copy");
    }
    QFile f(copy);
    if (!f.open(QIODevice::ReadOnly))
        qFatal("cannot read the searched copy");
    const QByteArray bytes = f.readAll();
    const quint32 stored = (quint8(bytes[16]) << 8) | quint8(bytes[17]);
    const qint64 usable = (stored == 1 ? 65536 : stored) - quint8(bytes[20]);
    StillInFile out;
    for (const QJsonValue& v : deleted) {
        const QByteArray record = QByteArray::fromHex(v["record"].toString().toLatin1());
        const int sizeBytes = quint8(record[0]) < 0x80 ? 1 : 2;
        const qint64 local = localPart(record.size(), usable);
        if (!bytes.contains(record.mid(sizeBytes + 1, local - sizeBytes - 1)))
            continue;
        out.present.insert(v[key].toString());
        bool whole = true;
        for (qint64 at = local; at < record.size() && whole; at += usable - 4)
            whole = bytes.contains(record.mid(at, usable - 4));
        if (whole)
            out.whole.insert(v[key].toString());
    }
    return out;
}

} // namespace MsgFixtures
