#include "app/sqlite/Sqlite3Cursor.h"

#include "app/sqlite/Sqlite3Stmt.h"

#include <QHash>
#include <memory>

struct Sqlite3Cursor::State {
    std::unique_ptr<Sqlite3Stmt> stmt;
    Sqlite3Sql sql; // the statement as run, for count()
    QHash<QString, int> names; // lower-case name -> first column of that name
    bool started = false;
    bool onRow = false;
    bool done = false;
    int rowidIndex = -2; // -2: not looked up yet, -1: none
    // The statement's handle and column count, fixed for its life: read once, not per value.
    sqlite3_stmt* handle = nullptr;
    int columns = 0;

    int find(const QString& column);
};

namespace
{

bool isRowidName(const QString& lower)
{
    return lower == QLatin1String("rowid") || lower == QLatin1String("oid")
        || lower == QLatin1String("_rowid_");
}

} // namespace

int Sqlite3Cursor::State::find(const QString& column)
{
    const QString lower = column.toLower();
    auto it = names.constFind(lower);
    if (it != names.constEnd())
        return it.value();
    if (!isRowidName(lower) || !stmt || !stmt->handle())
        return -1;
    if (rowidIndex == -2) {
        // "select *" does not name the rowid; its alias column, the INTEGER PRIMARY KEY, holds it.
        rowidIndex = -1;
        sqlite3_stmt* h = stmt->handle();
        const int n = sqlite3_column_count(h);
        for (int i = 0; i < n && rowidIndex < 0; ++i) {
            const char* table = sqlite3_column_table_name(h, i);
            const char* origin = sqlite3_column_origin_name(h, i);
            const char* dbName = sqlite3_column_database_name(h, i);
            if (!table || !origin)
                continue;
            const char* type = nullptr;
            int notNull = 0, primaryKey = 0, autoinc = 0;
            if (sqlite3_table_column_metadata(
                    stmt->db(), dbName, table, origin, &type, nullptr, &notNull, &primaryKey, &autoinc)
                != SQLITE_OK)
                continue;
            if (primaryKey && type && QString::fromUtf8(type).compare("INTEGER", Qt::CaseInsensitive) == 0)
                rowidIndex = i;
        }
    }
    return rowidIndex;
}

Sqlite3Cursor::Sqlite3Cursor() = default;
Sqlite3Cursor::~Sqlite3Cursor() = default;
Sqlite3Cursor::Sqlite3Cursor(const Sqlite3Cursor&) = default;
Sqlite3Cursor& Sqlite3Cursor::operator=(const Sqlite3Cursor&) = default;

Sqlite3Cursor::Sqlite3Cursor(std::unique_ptr<Sqlite3Stmt> stmt, Sqlite3Sql sql)
    : m_state(QSharedPointer<State>::create())
{
    if (sqlite3_stmt* h = stmt->handle()) {
        const int n = sqlite3_column_count(h);
        m_state->handle = h;
        m_state->columns = n;
        for (int i = 0; i < n; ++i) {
            const QString name = QString::fromUtf8(sqlite3_column_name(h, i)).toLower();
            if (!m_state->names.contains(name))
                m_state->names.insert(name, i);
        }
    }
    m_state->stmt = std::move(stmt);
    m_state->sql = std::move(sql);
}

bool Sqlite3Cursor::moveNext()
{
    if (!m_state || !m_state->stmt || m_state->done)
        return false;
    m_state->started = true;
    bool row;
    try {
        row = m_state->stmt->stepThrow();
    } catch (...) {
        m_state->onRow = false;
        m_state->done = true;
        throw;
    }
    m_state->onRow = row;
    if (!row) {
        m_state->done = true;
        // Ends the statement's read transaction now rather than with the last copy of the cursor.
        m_state->stmt->reset();
    }
    return row;
}

int Sqlite3Cursor::count() const
{
    if (!m_state || !m_state->stmt || !m_state->stmt->handle())
        return 0;
    const QByteArray utf8 = m_state->stmt->sql().toUtf8();
    Sqlite3Stmt counter(m_state->stmt->db(), utf8.constData(), int(utf8.size()));
    const QList<QVariant>& params = m_state->sql.params();
    for (int i = 0; i < params.size() && i < counter.paramCount(); ++i)
        counter.bindThrow(i + 1, params[i]);
    int n = 0;
    while (counter.stepThrow())
        ++n;
    return n;
}

bool Sqlite3Cursor::hasRow() const
{
    return m_state && m_state->onRow;
}

int Sqlite3Cursor::columnCount() const
{
    return (m_state && m_state->stmt && m_state->stmt->handle())
        ? sqlite3_column_count(m_state->stmt->handle())
        : 0;
}

QString Sqlite3Cursor::columnName(int index) const
{
    if (index < 0 || index >= columnCount())
        return QString();
    return QString::fromUtf8(sqlite3_column_name(m_state->stmt->handle(), index));
}

int Sqlite3Cursor::columnIndex(const QString& column) const
{
    return m_state ? m_state->find(column) : -1;
}

// Getters by index: a column outside the result, or no current row, reads as empty.
#define QM_CURSOR_ROW(index, empty)                                                                          \
    if (!m_state || !m_state->onRow || (index) < 0 || (index) >= m_state->columns)                           \
        return empty;                                                                                        \
    sqlite3_stmt* h = m_state->handle;

int Sqlite3Cursor::getInt(int index) const
{
    QM_CURSOR_ROW(index, 0)
    return sqlite3_column_int(h, index);
}

qint64 Sqlite3Cursor::getInt64(int index) const
{
    QM_CURSOR_ROW(index, 0)
    return sqlite3_column_int64(h, index);
}

double Sqlite3Cursor::getDouble(int index) const
{
    QM_CURSOR_ROW(index, 0.0)
    return sqlite3_column_double(h, index);
}

QString Sqlite3Cursor::getText(int index) const
{
    QM_CURSOR_ROW(index, QString())
    const char* text = reinterpret_cast<const char*>(sqlite3_column_text(h, index));
    const int bytes = sqlite3_column_bytes(h, index);
    return text ? QString::fromUtf8(text, bytes) : QString();
}

QByteArrayView Sqlite3Cursor::getTextUtf8(int index) const
{
    QM_CURSOR_ROW(index, QByteArrayView())
    const char* text = reinterpret_cast<const char*>(sqlite3_column_text(h, index));
    const int bytes = sqlite3_column_bytes(h, index);
    return text ? QByteArrayView(text, bytes) : QByteArrayView();
}

QByteArrayView Sqlite3Cursor::getBlobView(int index) const
{
    QM_CURSOR_ROW(index, QByteArrayView())
    const char* data = static_cast<const char*>(sqlite3_column_blob(h, index));
    const int bytes = sqlite3_column_bytes(h, index);
    return data ? QByteArrayView(data, bytes) : QByteArrayView();
}

QByteArray Sqlite3Cursor::getBlob(int index) const
{
    QM_CURSOR_ROW(index, QByteArray())
    const char* data = static_cast<const char*>(sqlite3_column_blob(h, index));
    const int bytes = sqlite3_column_bytes(h, index);
    return data ? QByteArray(data, bytes) : QByteArray();
}

bool Sqlite3Cursor::isNull(int index) const
{
    QM_CURSOR_ROW(index, true)
    return sqlite3_column_type(h, index) == SQLITE_NULL;
}

int Sqlite3Cursor::valueType(int index) const
{
    QM_CURSOR_ROW(index, SQLITE_NULL)
    return sqlite3_column_type(h, index);
}

#undef QM_CURSOR_ROW

int Sqlite3Cursor::getInt(const QString& column) const
{
    return getInt(columnIndex(column));
}

qint64 Sqlite3Cursor::getInt64(const QString& column) const
{
    return getInt64(columnIndex(column));
}

double Sqlite3Cursor::getDouble(const QString& column) const
{
    return getDouble(columnIndex(column));
}

QString Sqlite3Cursor::getText(const QString& column) const
{
    return getText(columnIndex(column));
}

QByteArray Sqlite3Cursor::getBlob(const QString& column) const
{
    return getBlob(columnIndex(column));
}

bool Sqlite3Cursor::isNull(const QString& column) const
{
    return isNull(columnIndex(column));
}

Sqlite3Row Sqlite3Cursor::getRow() const
{
    Sqlite3Row row;
    if (!hasRow())
        return row;
    sqlite3_stmt* h = m_state->stmt->handle();
    const int n = sqlite3_column_count(h);
    for (int i = 0; i < n; ++i) {
        const QString name = QString::fromUtf8(sqlite3_column_name(h, i));
        if (row.contains(name))
            continue;
        row[name] = getValue(i);
    }
    return row;
}

QVariant Sqlite3Cursor::getValue(int index) const
{
    if (!hasRow())
        return QVariant();
    sqlite3_stmt* h = m_state->stmt->handle();
    switch (sqlite3_column_type(h, index)) {
    case SQLITE_INTEGER:
        return QVariant(qlonglong(sqlite3_column_int64(h, index)));
    case SQLITE_FLOAT:
        return QVariant(sqlite3_column_double(h, index));
    case SQLITE_TEXT:
        return QVariant(getText(index));
    case SQLITE_BLOB:
        return QVariant(getBlob(index));
    default:
        return QVariant();
    }
}
