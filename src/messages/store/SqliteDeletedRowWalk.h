#pragma once

#include "app/sqlite/Sqlite3DB.h"
#include "messages/store/OrderedHandOff.h"
#include "messages/store/Sqlite3File.h"

#include <QList>
#include <QSet>
#include <QTemporaryDir>
#include <functional>
#include <memory>
#include <mutex>
#include <stdexcept>

class IProgressSink;

// The page walk shared by the recoveries of deleted rows: a private copy of the database file (with
// its -wal, checkpointed into the copy, so the user's file is never opened for writing and nothing
// is zeroed before it is read; a file without a log is read in place, read-only), the free pages
// of the file, the pages of a live table, and the carving of every listed page, with progress and
// cancel.
class SqliteDeletedRowWalk
{
public:
    SqliteDeletedRowWalk(const QString& dbPath, IProgressSink* progress);
    ~SqliteDeletedRowWalk();

    // Copies and maps the database; throws when it is missing or cannot be read.
    void open();
    // The connection to the database read (root pages, the live-row test): the private copy, or
    // the source itself opened read-only.
    Sqlite3DB& copy() { return m_copy; }
    // Another read-only connection to the database read, for work on another thread; after open().
    std::unique_ptr<Sqlite3DB> openReader() const;
    const Sqlite3File& file() const { return *m_file; }
    // The user's database file the walk reads.
    const QString& source() const { return m_source; }
    bool cancelled() const;

    // Lists the freelist's trunk pages, its pages that are not b-tree pages and the leaves under
    // those that are; each cell of a free table leaf is handed to wholeRow with its own rowid.
    void listFreePages(const std::function<void(const _SqliteFileRowData&)>& wholeRow);
    // A table's columns as the copy's schema declares them, in stored order; empty when there is
    // no such table.
    QList<_SqliteCol> tableColumns(const QString& table);
    // What each column of a table reads as in a record written before the column was added: its
    // declared default, with the column's affinity applied (NULL where it declares none).
    QList<QVariant> tableDefaults(const QString& table);
    // The column counts of the live records of the table listTablePages listed last (records keep
    // the width they were written with).
    QSet<int> tableRecordWidths() const;
    // Whether a table is there but its root page is no table b-tree page: its rows cannot be reached.
    bool tableRootLost(const QString& table);
    // Appends the table leaves that no other b-tree of the schema and no listed page holds (the
    // leaves of a table whose root is lost), handing each cell to wholeRow; false when there are none.
    bool listOrphanTableLeaves(
        const QString& table, const std::function<void(const _SqliteFileRowData&)>& wholeRow);
    // Appends the leaves of a live table; false when the copy has no such table.
    bool listTableLeaves(const QString& table);
    // Appends every page of a live table's b-tree, its interior pages too: a root that was a leaf
    // before it split keeps the records it held then in its free space.
    bool listTablePages(const QString& table);
    // Visits every listed page in order, reporting progress before each; a visit that returns
    // false, or a cancel, ends the pass.
    void carvePages(const std::function<bool(const _SqliteBtreePage& page)>& visit);
    // As carvePages, with each page's work done ahead on a worker thread: make runs there (so it
    // must use nothing the caller uses meanwhile), take runs on the calling thread, in page order,
    // after the same progress report and cancel test.
    template <typename T>
    void carvePagesAhead(
        const std::function<T(const _SqliteBtreePage& page)>& make, const std::function<bool(T& made)>& take);
    // The rows a layout carves from one page: its free space when it is a b-tree page, else all of it.
    QList<_SqliteFileRowData> carve(
        const _SqliteBtreePage& page, const _SqliteCarveShape& shape, Sqlite3File::RowFilter filter) const;

    const QList<qint64>& pages() const { return m_pages; }

    // Where each column of a table stands in a layout of the same table, found by name (-1 when
    // the layout lacks it); empty when every column stands where the layout has it (columns past
    // the layout's end that it does not know count as in place).
    static QList<int> columnOrder(const QList<_SqliteCol>& table, const QStringList& layout);
    // A row decoded in a table's own column order with its values moved to where order puts them
    // (NULL where the table lacks a column); the row itself when order is empty.
    static _SqliteFileRowData reordered(const _SqliteFileRowData& row, const QList<int>& order);

    // An error met on the private copy, told with the user's file in place of the copy (which is
    // gone by the time the user reads it).
    std::runtime_error sourceError(const std::exception& e) const;

private:
    void openInPlace();
    void openCopy();
    qint64 rootPage(const QString& table);
    void reportPage(qint64 index, qint64 total);
    void listTrunk(
        const _SqliteFreeTrunkPage& trunk, const std::function<void(const _SqliteFileRowData&)>& wholeRow);

    QString m_source;
    IProgressSink* m_progress;
    QTemporaryDir m_copyDir;
    QString m_copyPath;
    QString m_readPath; // the file read: the copy, or the source itself when it has no log
    QString m_readUri; // the source's read-only address when it is read in place
    Sqlite3DB m_copy;
    std::unique_ptr<Sqlite3File> m_file;
    QList<qint64> m_pages;
    qsizetype m_tablePagesFrom = 0; // where the pages of the table listed last begin
};

template <typename T>
void SqliteDeletedRowWalk::carvePagesAhead(
    const std::function<T(const _SqliteBtreePage& page)>& make, const std::function<bool(T& made)>& take)
{
    // Pages go over in runs: a hand-off per page costs more in waking threads than it saves. A few
    // runs ahead ride out pages slow to file and keep memory low.
    constexpr qint64 kPagesPerRun = 128;
    constexpr int kRunsAhead = 4;
    const qint64 total = m_pages.size();
    const qint64 runs = (total + kPagesPerRun - 1) / kPagesPerRun;
    // Filed runs go back to the carving thread to be freed there: memory freed by the thread that
    // took it is reused at once, and the other thread's allocator is not contended for.
    std::mutex filedLock;
    QList<QList<T>> filed;
    OrderedHandOff<QList<T>>(kRunsAhead)
        .run(
            runs,
            [&](qint64 r) {
                QList<QList<T>> done;
                {
                    const std::lock_guard<std::mutex> lock(filedLock);
                    done.swap(filed);
                }
                done.clear();
                QList<T> made;
                for (qint64 i = r * kPagesPerRun; i < qMin(total, (r + 1) * kPagesPerRun); ++i)
                    made.append(make(m_file->btreePage(m_pages.at(i))));
                return made;
            },
            [&](qint64 r, QList<T>& made) {
                for (qint64 k = 0; k < made.size(); ++k) {
                    if (cancelled())
                        return false;
                    reportPage(r * kPagesPerRun + k, total);
                    if (!take(made[k]))
                        return false;
                }
                const std::lock_guard<std::mutex> lock(filedLock);
                filed.append(std::move(made));
                return true;
            });
}
