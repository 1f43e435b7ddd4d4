#include "app/sqlite/Sqlite3Stmt.h"

#include "app/PrivateCopyNames.h"
#include "app/TaskCancel.h"
#include "app/sqlite/HeldFolderVfs.h"
#include "app/sqlite/Sqlite3DB.h"

#include <QHash>
#include <QRegularExpression>
#include <stdexcept>

namespace
{
// The words every refusal holds.
const QLatin1String kQueryWords("(a query the file holds)");
const QLatin1String kFormulaWords("worked out by a formula the file holds");
const QLatin1String kSchemaWords("schema entries, more than any phone writes");

// What an error names after its message: the database file when it is damaged, else the statement.
QString errorContext(sqlite3* db, int code, const QString& statement)
{
    const char* file = db ? sqlite3_db_filename(db, "main") : nullptr;
    const bool damaged = (code & 0xff) == SQLITE_CORRUPT || (code & 0xff) == SQLITE_NOTADB;
    return damaged && file && *file ? HeldFolderVfs::shownPath(file) : statement;
}

// Whether db reads a database from a backup or a source file (see Sqlite3DB::setForeign): such a
// connection refuses views.
bool isForeign(sqlite3* db)
{
    int enabled = 1;
    return db && sqlite3_db_config(db, SQLITE_DBCONFIG_ENABLE_VIEW, -1, &enabled) == SQLITE_OK && !enabled;
}

// The first view of db that sql names where db refuses views (a foreign connection): SQLite fails
// such a statement, but its words may be those of the view's own query. Empty when sql names none.
QString viewNamed(sqlite3* db, const QString& sql)
{
    if (sql.isEmpty() || !isForeign(db))
        return QString();
    QHash<QString, QString> views; // by lower-case name
    sqlite3_stmt* stmt = nullptr;
    if (sqlite3_prepare_v2(db, "select name from sqlite_master where type = 'view'", -1, &stmt, nullptr)
        == SQLITE_OK)
        while (sqlite3_step(stmt) == SQLITE_ROW) {
            const QString name
                = QString::fromUtf8(reinterpret_cast<const char*>(sqlite3_column_text(stmt, 0)));
            views.insert(name.toLower(), name);
        }
    sqlite3_finalize(stmt);
    // Names bare or quoted; string literals are passed over.
    static const QRegularExpression token(
        QStringLiteral("\"((?:[^\"]|\"\")*)\"" // "name"
                       "|\\[([^\\]]*)\\]" // [name]
                       "|`((?:[^`]|``)*)`" // `name`
                       "|'(?:[^']|'')*'" // 'a string'
                       "|([A-Za-z_\\x{80}-\\x{10ffff}][\\w$\\x{80}-\\x{10ffff}]*)"));
    for (auto it = token.globalMatch(sql); !views.isEmpty() && it.hasNext();) {
        const QRegularExpressionMatch m = it.next();
        QString name = m.captured(1).replace(QLatin1String("\"\""), QLatin1String("\""));
        for (int group : { 2, 3, 4 })
            if (m.hasCaptured(group))
                name = m.captured(group).replace(QLatin1String("``"), QLatin1String("`"));
        if (const auto found = views.constFind(name.toLower()); !name.isEmpty() && found != views.constEnd())
            return *found;
    }
    return QString();
}

// The database file of db as its texts name it.
QString fileOf(sqlite3* db)
{
    const char* path = db ? sqlite3_db_filename(db, "main") : nullptr;
    return path && *path ? HeldFolderVfs::shownPath(path) : QStringLiteral("the database");
}

// SQLite's words for a view or a generated column a foreign connection refuses, as the program's
// own text naming it and the file; empty for any other failure. sql is the statement that failed to
// be prepared (empty for one that failed while it ran).
QString refusalOf(sqlite3* db, const QString& message, const QString& sql)
{
    static const QRegularExpression viewWords(QStringLiteral("^access to view \"(.+)\" prohibited$"));
    static const QRegularExpression column(QStringLiteral("^access to (.+) is prohibited$"));
    static const QRegularExpression written(
        QStringLiteral("^cannot (?:INSERT into|UPDATE) generated column \"(.+)\"$"));
    if (const QRegularExpressionMatch m = written.match(message); m.hasMatch())
        return QStringLiteral("Cannot write into %1: its column \"%2\" is generated (%3), not stored.")
            .arg(fileOf(db), m.captured(1), kFormulaWords);
    if (db && message == QLatin1String("string or blob too big")
        && sqlite3_limit(db, SQLITE_LIMIT_LENGTH, -1) == Sqlite3DB::kForeignValueBytes)
        return QStringLiteral(
            "Cannot use %1: it holds a value (stored, or %2) larger than %3 MB, more than a "
            "phone keeps in one.")
            .arg(fileOf(db), kFormulaWords, QString::number(Sqlite3DB::kForeignValueBytes / (1024 * 1024)));
    if (const QRegularExpressionMatch m = column.match(message); m.hasMatch())
        return QStringLiteral("Cannot read %1: its column \"%2\" is generated (%3), not stored. Only what a "
                              "database from a backup or a source file stores is read.")
            .arg(fileOf(db), m.captured(1), kFormulaWords);
    QString view = viewNamed(db, sql);
    if (const QRegularExpressionMatch m = viewWords.match(message); view.isEmpty() && m.hasMatch())
        view = m.captured(1);
    return view.isEmpty() ? QString() : Sqlite3Stmt::viewText(db, view);
}

// A statement the progress handler stopped for its task's cancel.
bool stoppedByCancel(int code)
{
    return (code & 0xff) == SQLITE_INTERRUPT && TaskCancel::requested();
}

// Statements can be long (schema scripts); keep the error text readable.
QString shortSql(QString sql)
{
    sql = sql.simplified();
    if (sql.size() > 200)
        sql = sql.left(200) + "...";
    return sql;
}

} // namespace

Sqlite3Stmt::Sqlite3Stmt(sqlite3* db, const char* sql, int len, const char** tail)
    : m_db(db)
{
    if (!db)
        throwError(QString("database is not open"), shortSql(QString::fromUtf8(sql, len)));
    const char* rest = nullptr;
    int rc = sqlite3_prepare_v2(db, sql, len, &m_stmt, &rest);
    if (rc != SQLITE_OK) {
        sqlite3_finalize(m_stmt);
        m_stmt = nullptr;
        if (stoppedByCancel(rc))
            throw TaskCancel::Cancelled();
        const QString text = QString::fromUtf8(sql, len);
        // Read before refusalOf, whose own statements replace the connection's message.
        const QString message = QString::fromUtf8(sqlite3_errmsg(db));
        const QString context = errorContext(db, rc, shortSql(text));
        const QString refused = refusalOf(db, message, text);
        // The program's own text names the file and what it refused: no statement after it.
        if (!refused.isEmpty())
            throwError(refused, QString());
        // What a foreign file holds may leave SQLite unable to read it (a table of a module or with a
        // collation this build lacks, a table without row ids): the error names that file.
        if ((rc & 0xff) == SQLITE_ERROR && isForeign(db))
            throwError(QStringLiteral("Cannot read %1: %2").arg(fileOf(db), message), context);
        throwError(message, context);
    }
    if (tail)
        *tail = rest;
}

Sqlite3Stmt::~Sqlite3Stmt()
{
    if (m_stmt)
        sqlite3_finalize(m_stmt);
}

void Sqlite3Stmt::bindThrow(int index, const QVariant& value)
{
    if (!m_stmt)
        return;
    int rc;
    if (!value.isValid()) {
        rc = sqlite3_bind_null(m_stmt, index);
    } else {
        switch (value.typeId()) {
        case QMetaType::Int:
        case QMetaType::Short:
        case QMetaType::UShort:
        case QMetaType::Char:
        case QMetaType::SChar:
        case QMetaType::UChar:
        case QMetaType::Bool:
            rc = sqlite3_bind_int(m_stmt, index, value.toInt());
            break;
        case QMetaType::UInt:
        case QMetaType::Long:
        case QMetaType::LongLong:
        case QMetaType::ULong:
        case QMetaType::ULongLong:
            rc = sqlite3_bind_int64(m_stmt, index, value.toLongLong());
            break;
        case QMetaType::Double:
        case QMetaType::Float:
            rc = sqlite3_bind_double(m_stmt, index, value.toDouble());
            break;
        case QMetaType::QByteArray: {
            const QByteArray bytes = value.toByteArray();
            // A null data pointer would bind NULL; an empty blob must stay an empty blob.
            rc = bytes.isEmpty() ? sqlite3_bind_zeroblob(m_stmt, index, 0)
                                 : sqlite3_bind_blob64(m_stmt, index, bytes.constData(),
                                     sqlite3_uint64(bytes.size()), SQLITE_TRANSIENT);
            break;
        }
        default: {
            // Explicit length, so text with NUL characters is stored whole.
            const QByteArray utf8 = value.toString().toUtf8();
            // A null data pointer would bind NULL; an empty text must stay an empty text.
            rc = sqlite3_bind_text64(m_stmt, index, utf8.isEmpty() ? "" : utf8.constData(),
                sqlite3_uint64(utf8.size()), SQLITE_TRANSIENT, SQLITE_UTF8);
            break;
        }
        }
    }
    checkBind(rc, index);
}

void Sqlite3Stmt::checkBind(int rc, int index)
{
    if (rc != SQLITE_OK) {
        if (rc == SQLITE_RANGE)
            throwError(QString("more parameters than placeholders (%1)").arg(index), shortSql(sql()));
        throwError(m_db, shortSql(sql()));
    }
}

void Sqlite3Stmt::bindTextThrow(int index, const QString& text)
{
    bindTextThrow(index, text.toUtf8());
}

const QByteArray& Sqlite3Stmt::kept(const QByteArray& bytes)
{
    if (bytes.isEmpty())
        return bytes; // bound from a literal: nothing to keep
    m_kept.append(bytes); // shared, not copied
    return m_kept.constLast();
}

void Sqlite3Stmt::bindTextThrow(int index, const QByteArray& utf8)
{
    if (m_stmt)
        bindTextInPlaceThrow(index, kept(utf8));
}

void Sqlite3Stmt::bindBlobThrow(int index, const QByteArray& bytes)
{
    if (m_stmt)
        bindBlobInPlaceThrow(index, kept(bytes));
}

void Sqlite3Stmt::bindTextInPlaceThrow(int index, const QByteArray& utf8)
{
    if (!m_stmt)
        return;
    // A null data pointer would bind NULL; an empty text must stay an empty text.
    const char* data = utf8.isEmpty() ? "" : utf8.constData();
    checkBind(
        sqlite3_bind_text64(m_stmt, index, data, sqlite3_uint64(utf8.size()), SQLITE_STATIC, SQLITE_UTF8),
        index);
}

void Sqlite3Stmt::bindBlobInPlaceThrow(int index, const QByteArray& bytes)
{
    if (!m_stmt)
        return;
    if (bytes.isEmpty()) {
        checkBind(sqlite3_bind_zeroblob(m_stmt, index, 0), index);
        return;
    }
    checkBind(
        sqlite3_bind_blob64(m_stmt, index, bytes.constData(), sqlite3_uint64(bytes.size()), SQLITE_STATIC),
        index);
}

void Sqlite3Stmt::bindInt64Throw(int index, qint64 value)
{
    if (m_stmt)
        checkBind(sqlite3_bind_int64(m_stmt, index, value), index);
}

void Sqlite3Stmt::clearBindings()
{
    if (m_stmt)
        sqlite3_clear_bindings(m_stmt);
    m_kept.clear();
}

int Sqlite3Stmt::paramCount() const
{
    return m_stmt ? sqlite3_bind_parameter_count(m_stmt) : 0;
}

bool Sqlite3Stmt::stepThrow()
{
    if (!m_stmt)
        return false;
    int rc = sqlite3_step(m_stmt);
    if (rc == SQLITE_ROW)
        return true;
    if (rc == SQLITE_DONE)
        return false;
    // The message belongs to the connection; read it before reset can change it. A refusal (met
    // when the statement is prepared again) names the file and what it refused: no statement after it.
    const QString message = QString::fromUtf8(sqlite3_errmsg(m_db));
    const QString refused = refusalOf(m_db, message, QString());
    const QString context = refused.isEmpty() ? errorContext(m_db, rc, shortSql(sql())) : QString();
    sqlite3_reset(m_stmt);
    if (stoppedByCancel(rc))
        throw TaskCancel::Cancelled();
    throwError(refused.isEmpty() ? message : refused, context);
}

void Sqlite3Stmt::reset()
{
    if (m_stmt)
        sqlite3_reset(m_stmt);
}

QString Sqlite3Stmt::sql() const
{
    return m_stmt ? QString::fromUtf8(sqlite3_sql(m_stmt)) : QString();
}

QString Sqlite3Stmt::errorText(sqlite3* db, int code, const QString& sql)
{
    const QString message
        = db ? QString::fromUtf8(sqlite3_errmsg(db)) : QString::fromUtf8(sqlite3_errstr(code));
    const QString refused = refusalOf(db, message, sql);
    return refused.isEmpty() ? message : refused;
}

QString Sqlite3Stmt::viewText(sqlite3* db, const QString& view)
{
    return QStringLiteral("Cannot read %1: its \"%2\" is a view %3, not a table. Only the tables of a "
                          "database from a backup or a source file are read.")
        .arg(fileOf(db), view, kQueryWords);
}

QString Sqlite3Stmt::schemaText(sqlite3* db, int entries)
{
    if (entries == 0)
        return QStringLiteral("Cannot read %1: its schema entries are far larger than any phone writes.")
            .arg(fileOf(db));
    return QStringLiteral("Cannot read %1: it holds over %2 %3.")
        .arg(fileOf(db), QString::number(entries), kSchemaWords);
}

QString Sqlite3Stmt::refusalText(sqlite3* db, const QString& sql)
{
    return db ? refusalOf(db, QString::fromUtf8(sqlite3_errmsg(db)), sql) : QString();
}

void Sqlite3Stmt::throwError(sqlite3* db, const QString& context)
{
    if (!db)
        throwError(QString("database is not open"), context);
    throwError(QString::fromUtf8(sqlite3_errmsg(db)), errorContext(db, sqlite3_errcode(db), context));
}

void Sqlite3Stmt::throwError(const QString& message, const QString& context)
{
    QString text = message;
    if (!context.isEmpty())
        text += QString(" (%1)").arg(context);
    // A damaged private copy (of a backup's stored database, say) is named as the user knows it.
    throw std::runtime_error(
        PrivateCopyNames::userNames(text, PrivateCopyNames::Texts::DatabaseErrors).toUtf8().toStdString());
}
