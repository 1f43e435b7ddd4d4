#include "messages/store/SqliteDeletedRowWalk.h"

#include "app/IProgressSink.h"
#include "messages/store/MsgTempDir.h"

#include <QFile>
#include <QSet>
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
        throw std::runtime_error(QString("can not find message database %1.").arg(m_source).toStdString());
    if (!m_copyDir.isValid())
        throw std::runtime_error("Cannot create a temporary folder for the recovery.");
    m_copyPath = m_copyDir.filePath(QStringLiteral("work.db"));
    if (!QFile::copy(m_source, m_copyPath))
        throw std::runtime_error(QString("Cannot copy %1.").arg(m_source).toStdString());
    // Committed changes still in the write-ahead log belong to the database: take the log along.
    if (QFile::exists(m_source + "-wal") && !QFile::copy(m_source + "-wal", m_copyPath + "-wal"))
        throw std::runtime_error(QString("Cannot copy %1-wal.").arg(m_source).toStdString());
    m_copy.openThrow(m_copyPath, 2);
    QString err;
    m_copy.exec(QStringLiteral("PRAGMA wal_checkpoint(PASSIVE);"), err);
    m_file = std::make_unique<Sqlite3File>(m_copyPath);
    m_file->open();
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

bool SqliteDeletedRowWalk::listTableLeaves(const QString& table)
{
    Sqlite3Sql sql("select rootpage from sqlite_master where type='table' and name=?");
    sql.addTextParam(table);
    Sqlite3Cursor c = m_copy.queryThrow(sql);
    if (!c.moveNext())
        return false;
    for (const _SqliteBtreePage& leaf : m_file->leafs(m_file->btreePage(c.getInt64("rootpage"))))
        m_pages.append(leaf.pageNo);
    return true;
}

void SqliteDeletedRowWalk::carvePages(const std::function<bool(const _SqliteBtreePage& page)>& visit)
{
    const qint64 total = m_pages.size();
    for (qint64 i = 0; i < total; ++i) {
        if (cancelled())
            return;
        if (m_progress)
            m_progress->updateProgress(QString(), int(double(i + 1) / double(total) * 100.0), QString());
        if (!visit(m_file->btreePage(m_pages.at(i))))
            return;
    }
}

QList<_SqliteFileRowData> SqliteDeletedRowWalk::carve(
    const _SqliteBtreePage& page, const _SqliteCarveShape& shape, Sqlite3File::RowFilter filter) const
{
    return page.isBtreePage() ? m_file->recoverFreeBlockRows(shape, 0, page, filter)
                              : m_file->recoverFreeBlockRowsRaw(shape, 0, page.pageNo, 0, filter);
}
