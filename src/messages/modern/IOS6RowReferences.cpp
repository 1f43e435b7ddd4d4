#include "messages/modern/IOS6RowReferences.h"

#include "app/sqlite/Sqlite3DB.h"
#include "app/sqlite/Sqlite3Stmt.h"

#include <algorithm>
#include <stdexcept>

namespace
{

const char* const kTables[] = { "message", "chat", "handle", "attachment" };
const char* const kColumns[] = { "message_id", "chat_id", "handle_id", "attachment_id" };

// Far enough below the largest row number that old and new numbers shifted by it meet no other.
constexpr qint64 kLargestShift = qint64(1) << 61;

QString quoted(const QString& name)
{
    QString q = name;
    q.replace(QLatin1Char('"'), QStringLiteral("\"\""));
    return QLatin1Char('"') + q + QLatin1Char('"');
}

int kindOf(const QString& name, const char* const (&names)[4])
{
    for (int k = 0; k < 4; ++k) {
        if (name.compare(QLatin1String(names[k]), Qt::CaseInsensitive) == 0)
            return k;
    }
    return -1;
}

// The kind of rows a column declared as a reference names by row id, or -1.
int referencedKind(const QString& table, const QString& to)
{
    const bool byRowid = to.isEmpty() || to.compare(QLatin1String("rowid"), Qt::CaseInsensitive) == 0
        || to.compare(QLatin1String("oid"), Qt::CaseInsensitive) == 0
        || to.compare(QLatin1String("_rowid_"), Qt::CaseInsensitive) == 0;
    return byRowid ? kindOf(table, kTables) : -1;
}

} // namespace

void IOS6RowReferences::findThrow(Sqlite3DB& db, const QSet<QString>& rewritten)
{
    m_columns.clear();
    m_named.fill(false);
    for (QHash<qint64, qint64>& moved : m_moved)
        moved.clear();
    QStringList tables;
    {
        // Only the head of each table's text is read: a file may hold thousands of tables, each with
        // a text of nearly a megabyte.
        Sqlite3Cursor c = db.queryThrow(
            Sqlite3Sql("select name, substr(ltrim(sql, char(32, 9, 10, 12, 13)), 1, 64) from "
                       "main.sqlite_master where type = 'table' and name not like 'sqlite\\_%' escape '\\'"));
        while (c.moveNext()) {
            const QString name = c.getText(0);
            // A virtual table's rows are its module's, not stored in this file as they read.
            if (!rewritten.contains(name.toLower())
                && !c.getText(1).simplified().startsWith(
                    QLatin1String("create virtual"), Qt::CaseInsensitive))
                tables << name;
        }
    }
    m_lastFailed = false;
    for (const QString& table : std::as_const(tables)) {
        QHash<QString, int> kinds;
        QSet<QString> names;
        Sqlite3Sql cols("select name from pragma_table_info(?)");
        Sqlite3Cursor c = db.queryThrow(cols.addTextParam(table));
        while (c.moveNext()) {
            names.insert(c.getText(0).toLower());
            const int k = kindOf(c.getText(0), kColumns);
            if (k >= 0)
                kinds.insert(c.getText(0), k);
        }
        if (table.compare(QLatin1String("kvtable"), Qt::CaseInsensitive) == 0 && names.contains("key")
            && names.contains("value")) {
            m_lastFailed = true;
            m_named[Message] = true;
        }
        Sqlite3Sql keys("select \"from\", \"table\", \"to\" from pragma_foreign_key_list(?)");
        Sqlite3Cursor f = db.queryThrow(keys.addTextParam(table));
        while (f.moveNext()) {
            const int k = referencedKind(f.getText(1), f.getText(2));
            if (k >= 0)
                kinds.insert(f.getText(0), k);
        }
        for (auto it = kinds.cbegin(); it != kinds.cend(); ++it) {
            m_columns.append({ table, it.key(), Kind(it.value()) });
            m_named[it.value()] = true;
        }
    }
}

void IOS6RowReferences::moved(Kind kind, qint64 from, qint64 to)
{
    if (m_named[kind])
        m_moved[kind].insert(from, to);
}

void IOS6RowReferences::applyThrow(Sqlite3DB& db)
{
    for (int k = 0; k < KindCount; ++k) {
        if (!m_named[k])
            continue;
        db.executeThrow(Sqlite3Sql("drop table if exists temp.qm_moved; create temp table qm_moved (qm_from "
                                   "INTEGER PRIMARY KEY, qm_to INTEGER NOT NULL)"));
        qint64 largest = 0;
        {
            const QByteArray sql("insert into temp.qm_moved values (?, ?)");
            Sqlite3Stmt put(db.handle, sql.constData(), int(sql.size()));
            for (auto it = m_moved[k].cbegin(); it != m_moved[k].cend(); ++it) {
                put.bindInt64Throw(1, it.key());
                put.bindInt64Throw(2, it.value());
                put.stepThrow();
                put.reset();
                largest = std::max({ largest, it.key(), it.value() });
            }
        }
        if (largest >= kLargestShift)
            throw std::runtime_error(
                QString("Cannot number the rows of the table %1 anew: a row is numbered %2.")
                    .arg(QLatin1String(kTables[k]))
                    .arg(largest)
                    .toStdString());
        for (const Column& column : std::as_const(m_columns)) {
            if (column.kind == k)
                followThrow(db, column, largest + 1);
        }
        if (k == Message && m_lastFailed)
            followLastFailedThrow(db);
        db.executeThrow(Sqlite3Sql("drop table temp.qm_moved"));
    }
}

void IOS6RowReferences::followThrow(Sqlite3DB& db, const Column& column, qint64 shift)
{
    const QString t = QStringLiteral("main.") + quoted(column.table);
    const QString c = quoted(column.table) + QLatin1Char('.') + quoted(column.name);
    const QString set = quoted(column.name);
    // Only whole positive numbers name rows; a text, a null, 0 or -1 ("none") stays as it is.
    const QString names = QStringLiteral("typeof(%1) = 'integer' and %1 > 0").arg(c);
    db.executeThrow(
        QStringLiteral("delete from %1 where %2 and %3 not in (select qm_from from temp.qm_moved)")
            .arg(t, names, c));
    // In two steps, through numbers above every old and new one, so that no row meets another's
    // key on its way (a primary key holding the column).
    Sqlite3Sql away(
        QStringLiteral("update %1 set %2 = (select qm_to from temp.qm_moved where qm_from = %3) + ? "
                       "where %4 and %3 in (select qm_from from temp.qm_moved where qm_from <> qm_to)")
            .arg(t, set, c, names));
    db.executeThrow(away.addInt64Param(shift));
    Sqlite3Sql back(QStringLiteral("update %1 set %2 = %3 - ? where %4 and %3 >= ?").arg(t, set, c, names));
    db.executeThrow(back.addInt64Param(shift).addInt64Param(shift));
}

// The phone keeps the row number of its last failed message in kvtable (its own trigger writes it):
// it follows its message, and goes with the date beside it when its message is gone. Only a whole
// positive number names a row; the table's other rows stay as they are.
void IOS6RowReferences::followLastFailedThrow(Sqlite3DB& db)
{
    const QString named = QStringLiteral("\"key\" = 'lastFailedMessageRowID' and typeof(\"value\") = "
                                         "'integer' and \"value\" > 0");
    db.executeThrow(QStringLiteral("delete from main.kvtable where \"key\" in ('lastFailedMessageRowID', "
                                   "'lastFailedMessageDate') and exists (select 1 from main.kvtable where %1 "
                                   "and \"value\" not in (select qm_from from temp.qm_moved))")
                        .arg(named));
    db.executeThrow(QStringLiteral("update main.kvtable set \"value\" = (select qm_to from temp.qm_moved "
                                   "where qm_from = kvtable.\"value\") where %1")
                        .arg(named));
}
