#include "messages/store/SqliteDeletedRowWalk.h"

#include "app/IProgressSink.h"
#include "backup/BackupFileCopy.h"
#include "messages/store/MsgTempDir.h"

#include <QFile>
#include <QFileInfo>
#include <QSet>
#include <QUrl>
#include <algorithm>
#include <cmath>
#include <stdexcept>

SqliteDeletedRowWalk::SqliteDeletedRowWalk(const QString& dbPath, IProgressSink* progress)
    : m_source(dbPath)
    , m_progress(progress)
    , m_copyDir(msgPrivateTempDir() + QStringLiteral("/recover-XXXXXX"))
{
}

SqliteDeletedRowWalk::~SqliteDeletedRowWalk()
{
    m_file.reset();
    m_copy.close();
}

bool SqliteDeletedRowWalk::cancelled() const
{
    return m_progress && m_progress->isCancelled();
}

void SqliteDeletedRowWalk::open()
{
    if (!QFile::exists(m_source))
        throw std::runtime_error(QString("Cannot find the message database %1.").arg(m_source).toStdString());
    if (QFile::exists(m_source + "-wal"))
        openCopy();
    else
        openInPlace();
    m_file = std::make_unique<Sqlite3File>(m_readPath);
    m_file->open();
}

void SqliteDeletedRowWalk::openInPlace()
{
    // Without a log there is nothing to checkpoint: the file is read where it is, read-only and as
    // a file that does not change (no locks, no journal), so it is never written and not copied.
    m_readPath = m_source;
    m_readUri = QUrl::fromLocalFile(QFileInfo(m_source).absoluteFilePath()).toString(QUrl::FullyEncoded)
        + QStringLiteral("?mode=ro&immutable=1");
    m_copy.setForeign(true);
    m_copy.openThrow(m_readUri, SQLITE_OPEN_READONLY);
}

void SqliteDeletedRowWalk::openCopy()
{
    QString why;
    if (!m_copyDir.isValid() && (msgPrivateTempDir(&why), why.isEmpty()))
        why = m_copyDir.errorString();
    if (!m_copyDir.isValid())
        throw std::runtime_error(
            QStringLiteral("Cannot create a temporary folder for the recovery. %1").arg(why).toStdString());
    m_copyPath = m_copyDir.filePath(QStringLiteral("work.db"));
    // Committed changes still in the write-ahead log belong to the database: take the log along.
    for (const QString& suffix : { QString(), QStringLiteral("-wal") }) {
        const QString why = BackupFileCopy::copy(m_source + suffix, m_copyPath + suffix);
        if (!why.isEmpty())
            throw std::runtime_error(QString("Cannot copy %1. %2").arg(m_source + suffix, why).toStdString());
    }
    m_copy.setForeign(true);
    m_copy.openThrow(m_copyPath, SQLITE_OPEN_READWRITE);
    QString err;
    m_copy.exec(QStringLiteral("PRAGMA wal_checkpoint(PASSIVE);"), err);
    m_readPath = m_copyPath;
}

std::unique_ptr<Sqlite3DB> SqliteDeletedRowWalk::openReader() const
{
    auto reader = std::make_unique<Sqlite3DB>();
    reader->setForeign(true);
    reader->openThrow(m_readUri.isEmpty() ? m_readPath : m_readUri, SQLITE_OPEN_READONLY);
    return reader;
}

void SqliteDeletedRowWalk::listFreePages(const std::function<void(const _SqliteFileRowData&)>& wholeRow)
{
    // A trunk chain that comes back to a trunk already read is damage: it ends the walk.
    QSet<quint32> seen;
    for (quint32 t = m_file->firstFreeTrunkPage(); t > 0 && !seen.contains(t);) {
        if (cancelled())
            return;
        seen.insert(t);
        m_pages.append(t);
        const _SqliteFreeTrunkPage trunk = m_file->freeTrunkPage(t);
        t = trunk.nextTrunk;
        listTrunk(trunk, wholeRow);
    }
}

void SqliteDeletedRowWalk::listTrunk(
    const _SqliteFreeTrunkPage& trunk, const std::function<void(const _SqliteFileRowData&)>& wholeRow)
{
    for (qint32 p : trunk.leafPages) {
        if (cancelled())
            return;
        // Numbers outside the file are damage; there is nothing to read there.
        if (p < 1 || p > m_file->pages())
            continue;
        const _SqliteBtreePage page = m_file->btreePage(p);
        if (!page.isBtreePage()) {
            m_pages.append(p);
            continue;
        }
        for (const _SqliteBtreePage& leaf : m_file->leafs(page)) {
            if (cancelled())
                return;
            m_pages.append(leaf.pageNo);
            if (leaf.type != 13)
                continue;
            for (const char* cell : leaf.cells)
                wholeRow(m_file->cellRowData(m_file->pageCellRow(leaf, cell)));
        }
    }
}

QList<_SqliteCol> SqliteDeletedRowWalk::tableColumns(const QString& table)
{
    QList<_SqliteCol> cols;
    Sqlite3Sql sql("select name, type, \"notnull\", dflt_value is not null, pk from pragma_table_info(?)");
    sql.addTextParam(table);
    Sqlite3Cursor c = m_copy.queryThrow(sql);
    while (c.moveNext())
        cols.append(
            _SqliteCol(c.getText(0), c.getText(1), c.getInt(2) != 0, c.getInt(3) != 0, c.getInt(4) != 0));
    return cols;
}

namespace
{
// A default as a column of the given declared type holds it: text that reads wholly as a number
// becomes one in a column of numeric affinity, a real whole number an integer there (a real in a
// REAL column), and a number becomes text in a text column.
QVariant withAffinity(QVariant v, const _SqliteCol& col)
{
    const bool number = v.typeId() == QMetaType::LongLong || v.typeId() == QMetaType::Double;
    if (col.isText())
        return number ? QVariant(v.toString()) : v;
    if (col.isBlob())
        return v;
    if (v.typeId() == QMetaType::QString) {
        bool isInteger = false;
        bool isReal = false;
        const QString text = v.toString().trimmed();
        const qint64 i = text.toLongLong(&isInteger);
        const double d = text.toDouble(&isReal);
        if (!isInteger && !isReal)
            return v;
        v = isInteger ? QVariant(i) : QVariant(d);
    }
    if (col.isReal() && v.typeId() == QMetaType::LongLong)
        return double(v.toLongLong());
    const double d = v.toDouble();
    if (!col.isReal() && v.typeId() == QMetaType::Double && d == std::floor(d) && std::abs(d) < 9.0e18)
        return qint64(d);
    return v;
}

} // namespace

QList<QVariant> SqliteDeletedRowWalk::tableDefaults(const QString& table)
{
    const QList<_SqliteCol> cols = tableColumns(table);
    QList<QVariant> out;
    Sqlite3Sql sql("select dflt_value from pragma_table_info(?)");
    sql.addTextParam(table);
    Sqlite3Cursor c = m_copy.queryThrow(sql);
    for (int i = 0; c.moveNext() && i < cols.size(); ++i) {
        QVariant value;
        if (!c.isNull(0)) {
            // The declared expression is a constant; one SQLite no longer takes reads as NULL.
            try {
                Sqlite3Cursor v = m_copy.queryThrow(QStringLiteral("select (%1)").arg(c.getText(0)));
                if (v.moveNext())
                    value = withAffinity(v.getValue(0), cols[i]);
            } catch (const std::runtime_error&) {
            }
        }
        out.append(value);
    }
    return out;
}

QSet<int> SqliteDeletedRowWalk::tableRecordWidths() const
{
    return m_file->recordWidths(m_pages.mid(m_tablePagesFrom));
}

bool SqliteDeletedRowWalk::tableRootLost(const QString& table)
{
    const qint64 root = rootPage(table);
    if (root < 0)
        return false;
    const quint8 type = root >= 1 && root <= m_file->pages() ? m_file->btreePage(root).type : 0;
    return type != 5 && type != 13;
}

bool SqliteDeletedRowWalk::listOrphanTableLeaves(
    const QString& table, const std::function<void(const _SqliteFileRowData&)>& wholeRow)
{
    // Every page the schema's other b-trees reach (the schema's own from page 1), and every page
    // listed already (the free ones), has an owner.
    QSet<qint64> owned(m_pages.begin(), m_pages.end());
    Sqlite3Sql sql("select rootpage from sqlite_master where rootpage > 0 and name <> ?");
    sql.addTextParam(table);
    Sqlite3Cursor c = m_copy.queryThrow(sql);
    QList<qint64> roots { 1 };
    while (c.moveNext())
        roots.append(c.getInt64(0));
    for (qint64 root : roots) {
        for (qint64 p : m_file->allBTreePageNumbers(root))
            owned.insert(p);
    }
    bool found = false;
    for (qint64 p = 2; p <= m_file->pages() && !cancelled(); ++p) {
        if (owned.contains(p))
            continue;
        const _SqliteBtreePage leaf = m_file->btreePage(p);
        if (leaf.type != 13)
            continue;
        found = true;
        m_pages.append(p);
        for (const char* cell : leaf.cells)
            wholeRow(m_file->cellRowData(m_file->pageCellRow(leaf, cell)));
    }
    return found;
}

qint64 SqliteDeletedRowWalk::rootPage(const QString& table)
{
    Sqlite3Sql sql("select rootpage from sqlite_master where type='table' and name=?");
    sql.addTextParam(table);
    Sqlite3Cursor c = m_copy.queryThrow(sql);
    return c.moveNext() ? c.getInt64("rootpage") : -1;
}

bool SqliteDeletedRowWalk::listTableLeaves(const QString& table)
{
    const qint64 root = rootPage(table);
    if (root < 0)
        return false;
    for (const _SqliteBtreePage& leaf : m_file->leafs(m_file->btreePage(root)))
        m_pages.append(leaf.pageNo);
    return true;
}

bool SqliteDeletedRowWalk::listTablePages(const QString& table)
{
    const qint64 root = rootPage(table);
    if (root < 0)
        return false;
    m_tablePagesFrom = m_pages.size();
    m_pages += m_file->allBTreePageNumbers(root);
    return true;
}

void SqliteDeletedRowWalk::carvePages(const std::function<bool(const _SqliteBtreePage& page)>& visit)
{
    const qint64 total = m_pages.size();
    for (qint64 i = 0; i < total; ++i) {
        if (cancelled())
            return;
        reportPage(i, total);
        if (!visit(m_file->btreePage(m_pages.at(i))))
            return;
    }
}

void SqliteDeletedRowWalk::reportPage(qint64 index, qint64 total)
{
    if (m_progress)
        m_progress->updateProgress(QString(), int(double(index + 1) / double(total) * 100.0), QString());
}

QList<_SqliteFileRowData> SqliteDeletedRowWalk::carve(
    const _SqliteBtreePage& page, const _SqliteCarveShape& shape, Sqlite3File::RowFilter filter) const
{
    return page.isBtreePage() ? m_file->recoverFreeBlockRows(shape, 0, page, filter)
                              : m_file->recoverFreeBlockRowsRaw(shape, 0, page.pageNo, 0, filter);
}

std::runtime_error SqliteDeletedRowWalk::sourceError(const std::exception& e) const
{
    QString text = QString::fromUtf8(e.what());
    if (!m_readUri.isEmpty())
        text.replace(m_readUri, m_source);
    if (m_copyPath.isEmpty())
        return std::runtime_error(text.toStdString());
    if (text.contains(m_copyPath))
        text.replace(m_copyPath, m_source);
    else
        text.replace(QFileInfo(m_copyPath).fileName(), QFileInfo(m_source).fileName());
    return std::runtime_error(text.toStdString());
}

QList<int> SqliteDeletedRowWalk::columnOrder(const QList<_SqliteCol>& table, const QStringList& layout)
{
    QList<int> order;
    bool moved = false;
    for (int i = 0; i < table.size(); ++i) {
        int at = -1;
        for (int k = 0; k < layout.size() && at < 0; ++k)
            at = table[i].name.compare(layout[k], Qt::CaseInsensitive) == 0 ? k : -1;
        moved = moved || (at != i && !(at < 0 && i >= layout.size()));
        order.append(at);
    }
    return moved ? order : QList<int>();
}

_SqliteFileRowData SqliteDeletedRowWalk::reordered(const _SqliteFileRowData& row, const QList<int>& order)
{
    if (order.isEmpty())
        return row;
    _SqliteFileRowData out;
    out.rowid = row.rowid;
    out.values.resize(qMax(0, *std::max_element(order.begin(), order.end()) + 1));
    for (int i = 0; i < qMin(order.size(), row.values.size()); ++i) {
        if (order[i] >= 0)
            out.values[order[i]] = row.values[i];
    }
    return out;
}
