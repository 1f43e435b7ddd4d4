#include "messages/support/MsgFixtures.h"

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

} // namespace MsgFixtures
