#pragma once

#include "app/sqlite/Sqlite3Sql.h"

#include <QString>
#include <QStringList>
#include <QVariantList>

class Sqlite3DB;

// A cut of the rows of a join query into two runs that, read one after the other, give the rows in
// the order the query itself gives them, so that each run can be read by a connection of its own.
// That holds when the query's outer loop scans its first table from start to end (by rowid, or
// along a unique covering index) and the plan stays that scan with either run's condition added:
// a key of the scan then divides the rows. Anything else is left uncut.
class MsgTableLoaderSplit
{
public:
    // Plans a cut of sql, whose outer table is table (named alias in sql), after about firstRows
    // of that table's rows. False when the query cannot be cut that way, or on any failure.
    bool plan(
        Sqlite3DB& db, const QString& sql, const QString& table, const QString& alias, qint64 firstRows);

    // sql with the condition of the first run (up to the cut) or of the second (after it) added
    // with "and", as the join condition of an inner join that ends sql.
    Sqlite3Sql first(const QString& sql) const { return withCondition(sql, true); }
    Sqlite3Sql second(const QString& sql) const { return withCondition(sql, false); }

private:
    // The plan's lines (EXPLAIN QUERY PLAN details) of a query.
    static QStringList planOf(Sqlite3DB& db, const Sqlite3Sql& sql);
    // The key of the outer scan: "rowid", or the columns of a unique index (empty when neither).
    bool findKey(Sqlite3DB& db, const QString& scan, const QString& table, const QString& alias);
    // The key of the row firstRows into the scan; false when there is none or it holds a NULL.
    bool findCut(Sqlite3DB& db, const QString& table, qint64 firstRows);
    // True when both runs keep the outer scan and every inner step of the query's plan.
    bool keepsPlan(Sqlite3DB& db, const QString& sql, const QStringList& plan) const;
    Sqlite3Sql withCondition(const QString& sql, bool first) const;

    QString m_alias;
    QString m_index; // empty for a scan by rowid
    QStringList m_columns; // the key's columns in scan order
    QVariantList m_cut; // the key of the last row of the first run
};
