#include "app/sqlite/Sqlite3DB.h"

#include "app/TaskCancel.h"
#include "app/sqlite/HeldFolderVfs.h"
#include "app/sqlite/Sqlite3Stmt.h"

#include <QFile>
#include <QFileInfo>
#include <QScopeGuard>
#include <QUrl>
#include <cerrno>
#include <cstring>
#include <memory>
#include <stdexcept>
#include <sys/stat.h>
#include <utility>

namespace
{

// SQLite opens the journal or log beside a database by its name and waits on a pipe there for
// ever; a folder there fails every read as "disk I/O error". Either is refused by name first.
void checkCompanionsThrow(const QString& path)
{
    if (path.isEmpty() || path.startsWith(QLatin1String("file:")) || path == QLatin1String(":memory:"))
        return; // an immutable open reads no journal or log
    for (const char* suffix : { "-journal", "-wal" }) {
        const QString companion = path + QLatin1String(suffix);
        struct stat st;
        if (::stat(QFile::encodeName(companion).constData(), &st) == 0 && !S_ISREG(st.st_mode))
            throw std::runtime_error(QStringLiteral("Cannot open %1: %2")
                                         .arg(path, HeldFolderVfs::notAFileText(companion))
                                         .toStdString());
    }
}

// Virtual machine steps between two looks at the task's cancel: a few microseconds of work.
constexpr int kCancelSteps = 1000;
// SQLite reads a schema as it loads it with a statement of 7 steps an entry (5 columns, the row, the
// next), while the work of the load grows faster than the entries (a minute for 100,000): every step
// is counted, and the load is stopped past those of kMaxSchemaEntries.
constexpr qint64 kSchemaStepBudget = 7 * qint64(Sqlite3DB::kMaxSchemaEntries) + 100;

// An entry's text, a table's columns and the memory SQLite's reading of the whole schema takes, far
// above a phone's (a few KB, a few hundred, a few hundred KB): a table's load grows with the square of
// its columns, and entries of thousands of long columns cost that much each, whatever their count.
constexpr int kMaxSchemaMemory = 16 * 1024 * 1024;
constexpr int kMaxSchemaEntryBytes = 1024 * 1024;
constexpr int kMaxSchemaColumns = 1000;
// Measuring the schema walks all of it: it is measured again only once SQLite's memory has grown by
// this much since, which a single entry of a few hundred KB of text can cost many times over.
constexpr sqlite3_int64 kSchemaRemeasure = 1024 * 1024;

// The steps of one open's schema load so far, whether it went past a bound, and whether a cancel of
// its task stops it.
struct SchemaLoad {
    sqlite3* db = nullptr;
    bool foreign = false;
    qint64 steps = 0;
    sqlite3_int64 measuredAt = sqlite3_memory_used(); // SQLite's memory at the last measure
    bool tooMany = false;
    bool tooBig = false;
};

// Called at every step, so that the memory is looked at after each entry is read.
int onSchemaLoad(void* load)
{
    auto* l = static_cast<SchemaLoad*>(load);
    ++l->steps;
    l->tooMany = l->steps > kSchemaStepBudget;
    const sqlite3_int64 now = sqlite3_memory_used();
    if (now - l->measuredAt > kSchemaRemeasure) {
        l->measuredAt = now;
        int used = 0;
        int highest = 0;
        sqlite3_db_status(l->db, SQLITE_DBSTATUS_SCHEMA_USED, &used, &highest, 0);
        l->tooBig = used > kMaxSchemaMemory;
    } else if (now < l->measuredAt) {
        l->measuredAt = now; // another connection gave memory back
    }
    if (l->tooMany || l->tooBig)
        return 1;
    return l->foreign && l->steps % kCancelSteps == 0 && TaskCancel::requested() ? 1 : 0;
}

// Opening is lazy in SQLite: the schema is read now so that a damaged or foreign file fails here, and
// one far larger than a phone writes is refused before its load costs minutes. On failure db is
// closed. Leaves db without a progress handler.
void readSchemaThrow(sqlite3* db, const QString& path, bool foreign)
{
    SchemaLoad load { db, foreign };
    sqlite3_progress_handler(db, 1, &onSchemaLoad, &load);
    const int sqlLength = sqlite3_limit(db, SQLITE_LIMIT_SQL_LENGTH, kMaxSchemaEntryBytes);
    const int columns = sqlite3_limit(db, SQLITE_LIMIT_COLUMN, kMaxSchemaColumns);
    sqlite3_stmt* check = nullptr;
    int rc = sqlite3_prepare_v2(db, "select count(*) from sqlite_master", -1, &check, nullptr);
    if (rc == SQLITE_OK)
        rc = sqlite3_step(check);
    sqlite3_limit(db, SQLITE_LIMIT_SQL_LENGTH, sqlLength);
    sqlite3_limit(db, SQLITE_LIMIT_COLUMN, columns);
    sqlite3_progress_handler(db, 0, nullptr, nullptr);
    const bool tooLarge = load.tooMany || load.tooBig;
    const QString message = rc == SQLITE_ROW ? QString()
        : load.tooMany                       ? Sqlite3Stmt::schemaText(db, Sqlite3DB::kMaxSchemaEntries)
        : load.tooBig                        ? Sqlite3Stmt::schemaText(db, 0)
                                             : Sqlite3Stmt::errorText(db, rc);
    sqlite3_finalize(check);
    if (rc == SQLITE_ROW)
        return;
    sqlite3_close_v2(db);
    if ((rc & 0xff) == SQLITE_INTERRUPT && TaskCancel::requested() && !tooLarge)
        throw TaskCancel::Cancelled();
    Sqlite3Stmt::throwError(message, tooLarge ? QString() : path);
}

} // namespace

Sqlite3DB::Sqlite3DB() = default;

Sqlite3DB::~Sqlite3DB()
{
    close();
}

void Sqlite3DB::openThrow(const QString& path, int flags, const char* vfs)
{
    close();
    checkCompanionsThrow(path);
    if (path.startsWith("file:"))
        flags |= SQLITE_OPEN_URI;
    openAsThrow(path.toUtf8(), path, flags, vfs);
}

void Sqlite3DB::openHeldThrow(const HeldFolder& folder, const QString& name, int flags)
{
    close();
    const QString path = folder.filePath(name);
    const QString refused = HeldFolderVfs::refusal(folder, name);
    if (!refused.isEmpty())
        throw std::runtime_error(QStringLiteral("Cannot write %1: %2").arg(path, refused).toStdString());
    const char* vfs = HeldFolderVfs::name();
    if (!vfs)
        throw std::runtime_error(QStringLiteral("Cannot open %1: SQLite has no file layer to open it with.")
                                     .arg(path)
                                     .toStdString());
    m_held = folder; // held while SQLite opens files beside the store
    HeldFolderVfs::takeRefusal();
    openAsThrow(QFile::encodeName(HeldFolderVfs::pathOf(folder, name)), path, flags, vfs);
}

void Sqlite3DB::openAsThrow(const QByteArray& name, const QString& path, int flags, const char* vfs)
{
    sqlite3* db = nullptr;
    int rc = sqlite3_open_v2(name.constData(), &db, flags, vfs);
    if (rc != SQLITE_OK) {
        const QString message = db ? QString::fromUtf8(sqlite3_errmsg(db)) : QString("out of memory");
        sqlite3_close_v2(db);
        const QString refused = HeldFolderVfs::takeRefusal();
        if (!refused.isEmpty())
            throw std::runtime_error(QStringLiteral("Cannot write %1: %2").arg(path, refused).toStdString());
        Sqlite3Stmt::throwError(message, path);
    }
    sqlite3_extended_result_codes(db, 0);
    // Another program (or another connection of ours) may hold a lock for a moment.
    sqlite3_busy_timeout(db, 5000);
    if (m_foreign)
        guardForeign(db);
    readSchemaThrow(db, path, m_foreign);
    if (m_foreign)
        sqlite3_progress_handler(db, kCancelSteps, &Sqlite3DB::onProgress, nullptr);
    if (m_foreign) {
        try {
            refuseGeneratedColumnsThrow(db, path);
        } catch (...) {
            sqlite3_close_v2(db);
            throw;
        }
    }
    handle = db;
    m_path = path;
    m_tranDepth = 0;
}

void Sqlite3DB::openReadOnlyThrow(const QString& path, bool immutable)
{
    openThrow(immutable ? immutableUri(path) : path, SQLITE_OPEN_READONLY);
}

void Sqlite3DB::guardForeign(sqlite3* db)
{
    // A view is a query its file wrote: it may never end or yield rows without end.
    sqlite3_db_config(db, SQLITE_DBCONFIG_ENABLE_VIEW, 0, nullptr);
    // Triggers and the like run only harmless functions.
    sqlite3_db_config(db, SQLITE_DBCONFIG_TRUSTED_SCHEMA, 0, nullptr);
    // Nor do its triggers act on what the program writes into its copy: one may never end, and what
    // it records would be the program's doing taken for the phone user's.
    sqlite3_db_config(db, SQLITE_DBCONFIG_ENABLE_TRIGGER, 0, nullptr);
    // One value read whole costs several times its size in memory: none larger than a phone keeps.
    sqlite3_limit(db, SQLITE_LIMIT_LENGTH, kForeignValueBytes);
    sqlite3_progress_handler(db, kCancelSteps, &Sqlite3DB::onProgress, nullptr);
}

void Sqlite3DB::refuseGeneratedColumnsThrow(sqlite3* db, const QString& path)
{
    // A generated column is an expression its file wrote, run for every row read (a billion-byte
    // zeroblob of a row that stores nothing). Only a table whose statement holds the letters of the
    // keyword AS, which every generated column needs, can have one (no table of a manifest does):
    // the columns of those alone are listed, and only when there are any. Virtual tables are left
    // out: listing their columns would connect them, and they hold none.
    m_generated.clear();
    const QByteArray candidates
        = "m.type = 'table' and m.sql like '%as%' and m.sql not like 'create virtual table%'";
    bool any = false;
    int rc = forEachRow(db, "select 1 from sqlite_master as m where " + candidates + " limit 1",
        [&](sqlite3_stmt*) { any = true; });
    if (rc == SQLITE_DONE && any)
        rc = forEachRow(db,
            "select m.name, c.name from sqlite_master as m join pragma_table_xinfo(m.name) as c where "
                + candidates + " and c.hidden in (2, 3)",
            [&](sqlite3_stmt* stmt) {
                m_generated.insert(
                    QByteArray(reinterpret_cast<const char*>(sqlite3_column_text(stmt, 0))).toLower() + '.'
                    + QByteArray(reinterpret_cast<const char*>(sqlite3_column_text(stmt, 1))).toLower());
            });
    if (rc != SQLITE_DONE && (rc & 0xff) == SQLITE_INTERRUPT && TaskCancel::requested())
        throw TaskCancel::Cancelled();
    if (rc != SQLITE_DONE)
        Sqlite3Stmt::throwError(Sqlite3Stmt::errorText(db, rc), path);
    sqlite3_set_authorizer(db, m_generated.isEmpty() ? nullptr : &Sqlite3DB::onAuthorize, this);
}

int Sqlite3DB::forEachRow(sqlite3* db, const QByteArray& sql, const std::function<void(sqlite3_stmt*)>& row)
{
    sqlite3_stmt* stmt = nullptr;
    int rc = sqlite3_prepare_v2(db, sql.constData(), int(sql.size()), &stmt, nullptr);
    while (rc == SQLITE_OK && (rc = sqlite3_step(stmt)) == SQLITE_ROW) {
        row(stmt);
        rc = SQLITE_OK;
    }
    sqlite3_finalize(stmt); // keeps the connection's message of a failed step
    return rc;
}

int Sqlite3DB::onProgress(void*)
{
    return TaskCancel::requested() ? 1 : 0;
}

int Sqlite3DB::onAuthorize(
    void* self, int action, const char* table, const char* column, const char*, const char*)
{
    if (action != SQLITE_READ || !table || !column)
        return SQLITE_OK;
    const QByteArray key = QByteArray(table).toLower() + '.' + QByteArray(column).toLower();
    return static_cast<Sqlite3DB*>(self)->m_generated.contains(key) ? SQLITE_DENY : SQLITE_OK;
}

QString Sqlite3DB::immutableUri(const QString& path)
{
    QUrl url = QUrl::fromLocalFile(QFileInfo(path).absoluteFilePath());
    url.setQuery("mode=ro&immutable=1");
    return QString::fromUtf8(url.toEncoded());
}

QString Sqlite3DB::failureReason(const std::exception& e) const
{
    const QString text = QString::fromUtf8(e.what());
    int code = handle ? sqlite3_errcode(handle) : SQLITE_OK;
    // Statements run since (a roll back, say) may have changed the connection's code: SQLite's own
    // words at the start of the text still tell what failed.
    for (int failed : { SQLITE_IOERR, SQLITE_FULL, SQLITE_CANTOPEN })
        if (text.startsWith(QString::fromUtf8(sqlite3_errstr(failed))))
            code = failed;
    return failureReason(code, text);
}

QString Sqlite3DB::failureReason(int code, const QString& text) const
{
    // The database file keeps the errno of its last failed read or write; the connection keeps
    // errno as it stood when the statement ended, which later calls may have changed.
    int error = 0;
    if (handle && sqlite3_file_control(handle, "main", SQLITE_FCNTL_LAST_ERRNO, &error) != SQLITE_OK)
        error = 0;
    if (error == 0 && handle)
        error = sqlite3_system_errno(handle);
    if ((code & 0xff) == SQLITE_FULL)
        error = ENOSPC;
    // A file beside a store that the rule for shared folders kept SQLite from opening (told as a
    // failed open, or as a folder it may not write into).
    const QString refused = HeldFolderVfs::takeRefusal();
    if (!refused.isEmpty())
        return refused;
    if (((code & 0xff) == SQLITE_IOERR || (code & 0xff) == SQLITE_CANTOPEN || (code & 0xff) == SQLITE_FULL)
        && error != 0)
        return QString::fromLocal8Bit(std::strerror(error));
    return text;
}

void Sqlite3DB::close()
{
    m_tranStmts.clear();
    if (!handle)
        return;
    // A cursor that outlives the connection must not call back into this object.
    sqlite3_set_authorizer(handle, nullptr, nullptr);
    m_generated.clear();
    // close_v2 waits for cursors that still live: the connection goes with the last of them.
    sqlite3_close_v2(handle);
    handle = nullptr;
    m_tranDepth = 0;
}

QString Sqlite3DB::savepointName(int depth) const
{
    return QString("qm_nested_%1").arg(depth);
}

void Sqlite3DB::runTran(TranOp op, int depth)
{
    std::unique_ptr<Sqlite3Stmt>& stmt = m_tranStmts[{ op, depth }];
    if (!stmt) {
        QString sql;
        switch (op) {
        case TranOp::Begin:
            sql = QStringLiteral("begin");
            break;
        case TranOp::Commit:
            sql = QStringLiteral("commit");
            break;
        case TranOp::Rollback:
            sql = QStringLiteral("rollback");
            break;
        case TranOp::Savepoint:
            sql = QStringLiteral("savepoint ") + savepointName(depth);
            break;
        case TranOp::Release:
            sql = QStringLiteral("release ") + savepointName(depth);
            break;
        case TranOp::RollbackTo:
            sql = QStringLiteral("rollback to ") + savepointName(depth);
            break;
        }
        const QByteArray utf8 = sql.toUtf8();
        stmt = std::make_unique<Sqlite3Stmt>(handle, utf8.constData(), int(utf8.size()));
    }
    // A commit or rollback is never stopped half way by a cancel.
    if (m_foreign)
        sqlite3_progress_handler(handle, 0, nullptr, nullptr);
    const auto restore = qScopeGuard([&] {
        if (m_foreign)
            sqlite3_progress_handler(handle, kCancelSteps, &Sqlite3DB::onProgress, nullptr);
    });
    stmt->stepThrow(); // resets itself when it fails
    stmt->reset();
}

void Sqlite3DB::beginTran()
{
    if (!handle)
        Sqlite3Stmt::throwError(QString("database is not open"), "begin");
    if (m_tranDepth > 0 && sqlite3_get_autocommit(handle))
        m_tranDepth = 0; // SQLite ended the transaction itself after an error
    if (m_tranDepth == 0)
        runTran(TranOp::Begin);
    else
        runTran(TranOp::Savepoint, m_tranDepth);
    ++m_tranDepth;
}

void Sqlite3DB::commitTran()
{
    if (!handle || m_tranDepth == 0)
        return;
    if (sqlite3_get_autocommit(handle)) {
        // Reporting success here would lose the caller's writes silently.
        m_tranDepth = 0;
        Sqlite3Stmt::throwError(
            QString("the transaction was already rolled back after an earlier error"), "commit");
    }
    if (m_tranDepth == 1) {
        try {
            runTran(TranOp::Commit);
        } catch (...) {
            if (sqlite3_get_autocommit(handle))
                m_tranDepth = 0;
            throw; // still open: a later rollback ends it
        }
    } else {
        runTran(TranOp::Release, m_tranDepth - 1);
    }
    --m_tranDepth;
}

void Sqlite3DB::rollbackTran()
{
    if (!handle || m_tranDepth == 0)
        return;
    if (sqlite3_get_autocommit(handle)) {
        // Already undone by SQLite; the enclosing commit will report it.
        --m_tranDepth;
        return;
    }
    if (m_tranDepth == 1) {
        runTran(TranOp::Rollback);
    } else {
        runTran(TranOp::RollbackTo, m_tranDepth - 1);
        runTran(TranOp::Release, m_tranDepth - 1);
    }
    --m_tranDepth;
}

void Sqlite3DB::executeThrow(Sqlite3Sql sql)
{
    const QByteArray utf8 = sql.sql().toUtf8();
    const char* begin = utf8.constData();
    const char* end = begin + utf8.size();
    const QList<QVariant>& params = sql.params();
    int next = 0;
    while (begin < end) {
        const char* tail = nullptr;
        Sqlite3Stmt stmt(handle, begin, int(end - begin), &tail);
        if (!stmt.handle())
            break; // only blanks or comments left
        const int count = stmt.paramCount();
        for (int i = 1; i <= count && next < params.size(); ++i)
            stmt.bindThrow(i, params[next++]);
        begin = tail ? tail : end;
        // Surplus parameters mean a wrong statement: refuse it before it changes anything.
        if (next < params.size() && QByteArray(begin, int(end - begin)).trimmed().isEmpty())
            break;
        while (stmt.stepThrow()) { }
    }
    if (next < params.size())
        Sqlite3Stmt::throwError(QString("more parameters than placeholders (%1)").arg(params.size()),
            sql.sql().simplified().left(200));
}

Sqlite3Cursor Sqlite3DB::queryThrow(Sqlite3Sql sql)
{
    const QByteArray utf8 = sql.sql().toUtf8();
    auto stmt = std::make_unique<Sqlite3Stmt>(handle, utf8.constData(), int(utf8.size()));
    const QList<QVariant>& params = sql.params();
    for (int i = 0; i < params.size(); ++i)
        stmt->bindThrow(i + 1, params[i]);
    return Sqlite3Cursor(std::move(stmt), std::move(sql));
}

int Sqlite3DB::exec(const QString& sql, QString& err)
{
    if (!handle) {
        err = "database is not open";
        return SQLITE_MISUSE;
    }
    char* message = nullptr;
    int rc = sqlite3_exec(handle, sql.toUtf8().constData(), nullptr, nullptr, &message);
    if (rc != SQLITE_OK)
        err = message ? QString::fromUtf8(message) : QString::fromUtf8(sqlite3_errstr(rc));
    sqlite3_free(message);
    return rc;
}

qint64 Sqlite3DB::lastInsertId() const
{
    return handle ? sqlite3_last_insert_rowid(handle) : 0;
}

int Sqlite3DB::changes() const
{
    return handle ? sqlite3_changes(handle) : 0;
}

QList<_SqliteCol> Sqlite3DB::tbCols(const QString& table)
{
    QList<_SqliteCol> cols;
    // A foreign file's generated columns too, which table_info leaves out: a reader that names one
    // is then refused by name instead of reading it as blank.
    Sqlite3Cursor cursor = queryThrow(QString("pragma table_xinfo(%1)").arg(Sqlite3Row::quoteName(table)));
    while (cursor.moveNext()) {
        const int hidden = cursor.getInt("hidden");
        if (hidden == 1 || (hidden != 0 && !m_foreign))
            continue;
        cols.append(_SqliteCol(cursor.getText("name"), cursor.getText("type"), cursor.getInt("notnull") != 0,
            !cursor.isNull("dflt_value"), cursor.getInt("pk") != 0));
    }
    return cols;
}

QHash<QString, QString> Sqlite3DB::tableTextsThrow(const QStringList& tables)
{
    QHash<QString, QString> texts;
    for (const QString& table : tables) {
        Sqlite3Cursor c
            = queryThrow(Sqlite3Sql("select sql from sqlite_master where type = 'table' and name = ?")
                             .addTextParam(table));
        if (c.moveNext())
            texts.insert(table, c.getText(0));
    }
    return texts;
}

QStringList Sqlite3DB::indexesWithoutCollationThrow(const QString& table)
{
    QStringList indexes;
    QHash<QString, bool> known;
    Sqlite3Cursor c = queryThrow(Sqlite3Sql("select l.name, x.coll from pragma_index_list(?) as l join "
                                            "pragma_index_xinfo(l.name) as x where x.coll is not null")
                                     .addTextParam(table));
    while (c.moveNext()) {
        const QString index = c.getText(0);
        const QString collation = c.getText(1);
        auto k = known.constFind(collation);
        if (k == known.constEnd()) {
            // A comparison by a collating sequence this build lacks fails as it is prepared.
            QString quoted = collation;
            quoted.replace(QLatin1Char('"'), QStringLiteral("\"\""));
            const QByteArray sql = QStringLiteral("select 'a' = 'b' collate \"%1\"").arg(quoted).toUtf8();
            sqlite3_stmt* stmt = nullptr;
            const int rc = sqlite3_prepare_v2(handle, sql.constData(), int(sql.size()), &stmt, nullptr);
            sqlite3_finalize(stmt);
            k = known.insert(collation, rc == SQLITE_OK);
        }
        if (!*k && !indexes.contains(index))
            indexes.append(index);
    }
    return indexes;
}

QHash<QString, _SqliteCol> Sqlite3DB::tbInfo(const QString& table)
{
    QHash<QString, _SqliteCol> info;
    for (const _SqliteCol& col : tbCols(table))
        info.insert(col.name, col);
    return info;
}

QString Sqlite3DB::columnsOf(const QString& table, const QStringList& columns, const QString& alias)
{
    QSet<QString> has;
    // Generated columns too: one a reader names is then refused by name, not passed over.
    Sqlite3Cursor c = queryThrow(
        Sqlite3Sql("select name from pragma_table_xinfo(?) where hidden <> 1").addTextParam(table));
    while (c.moveNext())
        has.insert(c.getText(0).toLower());
    const QString prefix = alias.isEmpty() ? QString() : alias + QLatin1Char('.');
    QStringList list;
    for (const QString& name : columns) {
        if (name.compare(QLatin1String("rowid"), Qt::CaseInsensitive) == 0)
            list << prefix + QStringLiteral("rowid");
        else if (has.contains(name.toLower()))
            list << prefix + Sqlite3Row::quoteName(name);
    }
    return list.isEmpty() ? QStringLiteral("null") : list.join(QLatin1String(", "));
}

QString Sqlite3DB::storedColumnsOf(const QString& table)
{
    QStringList list;
    Sqlite3Cursor c = queryThrow(
        Sqlite3Sql("select name from pragma_table_xinfo(?) where hidden = 0").addTextParam(table));
    while (c.moveNext())
        list << Sqlite3Row::quoteName(c.getText(0));
    return list.isEmpty() ? QStringLiteral("*") : list.join(QLatin1String(", "));
}

bool Sqlite3DB::tableExists(const QString& table)
{
    Sqlite3Sql sql("select type, name from sqlite_master where type in ('table', 'view') and name=? "
                   "collate nocase");
    sql.addTextParam(table);
    Sqlite3Cursor cursor = queryThrow(sql);
    if (!cursor.moveNext())
        return false;
    // A view where a foreign file's table is looked for is refused by name, never taken for none.
    if (m_foreign && cursor.getText(0) == QLatin1String("view"))
        Sqlite3Stmt::throwError(Sqlite3Stmt::viewText(handle, cursor.getText(1)), QString());
    return cursor.getText(0) == QLatin1String("table");
}

bool Sqlite3DB::mayHoldValueOverBound() const
{
    // The snapshot's page count takes in the pages only the log holds.
    qint64 pages = -1, size = -1;
    for (auto [sql, value] :
        { std::pair { "pragma page_count", &pages }, std::pair { "pragma page_size", &size } }) {
        sqlite3_stmt* stmt = nullptr;
        if (sqlite3_prepare_v2(handle, sql, -1, &stmt, nullptr) == SQLITE_OK
            && sqlite3_step(stmt) == SQLITE_ROW)
            *value = sqlite3_column_int64(stmt, 0);
        sqlite3_finalize(stmt);
    }
    if (pages < 0 || size <= 0 || pages > (qint64(1) << 40) / size)
        return true;
    const qint64 bytes = pages * size;
    return (keepsUtf8Text() ? bytes : bytes + bytes / 2) > kForeignValueBytes;
}

bool Sqlite3DB::keepsUtf8Text() const
{
    sqlite3_stmt* stmt = nullptr;
    bool utf8 = false;
    if (sqlite3_prepare_v2(handle, "pragma encoding", -1, &stmt, nullptr) == SQLITE_OK
        && sqlite3_step(stmt) == SQLITE_ROW)
        utf8 = qstrcmp(reinterpret_cast<const char*>(sqlite3_column_text(stmt, 0)), "UTF-8") == 0;
    sqlite3_finalize(stmt);
    return utf8;
}
