#include "contacts/support/ContactFixtures.h"

#include "contacts/store/IOSContactCombineRule.h"
#include "support/TestEnv.h"

#include <QDir>
#include <QProcess>
#include <sqlite3.h>

QString ContactFixtures::generate(const QStringList& options)
{
    const QString dir = TestEnv::tempDir();
    QProcess p;
    p.start(QStringLiteral("python3"),
        QStringList { QString::fromUtf8(QM_TOOLS_DIR) + "/gen/make_addressbook.py", "--hashed" } + options
            + QStringList { dir });
    if (!p.waitForFinished(300000) || p.exitCode() != 0) {
        qWarning("make_addressbook.py failed: %s", p.readAllStandardError().constData());
        return QString();
    }
    return dir;
}

std::unique_ptr<LocalContactsDb> ContactFixtures::newStore(QString* path)
{
    const QString file = QDir(TestEnv::tempDir()).absoluteFilePath(QStringLiteral("contacts.db"));
    if (path)
        *path = file;
    return std::make_unique<LocalContactsDb>(
        file, QSharedPointer<AbsContactCombineRule>(new IOSContactCombineRule));
}

QString ContactFixtures::query(const QString& dbPath, const QString& sql)
{
    sqlite3* db = nullptr;
    QStringList rows;
    if (sqlite3_open_v2(dbPath.toUtf8().constData(), &db, SQLITE_OPEN_READONLY, nullptr) == SQLITE_OK) {
        sqlite3_stmt* st = nullptr;
        if (sqlite3_prepare_v2(db, sql.toUtf8().constData(), -1, &st, nullptr) == SQLITE_OK) {
            while (sqlite3_step(st) == SQLITE_ROW) {
                QStringList cols;
                for (int i = 0; i < sqlite3_column_count(st); ++i)
                    cols << QString::fromUtf8(reinterpret_cast<const char*>(sqlite3_column_text(st, i)));
                rows << cols.join(QLatin1Char(','));
            }
        } else {
            rows << QStringLiteral("ERROR ") + QString::fromUtf8(sqlite3_errmsg(db));
        }
        sqlite3_finalize(st);
    }
    sqlite3_close(db);
    return rows.join(QLatin1Char('|'));
}

pim::Entity ContactFixtures::entity(std::initializer_list<std::pair<const char*, QVariant>> values)
{
    pim::Entity e;
    for (const auto& [k, v] : values)
        e.values[QLatin1String(k)] = v;
    return e;
}

bool ContactFixtures::exec(const QString& dbPath, const QString& sql)
{
    sqlite3* db = nullptr;
    bool ok = sqlite3_open(dbPath.toUtf8().constData(), &db) == SQLITE_OK
        && sqlite3_exec(db, sql.toUtf8().constData(), nullptr, nullptr, nullptr) == SQLITE_OK;
    sqlite3_close(db);
    return ok;
}
