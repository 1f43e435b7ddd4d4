#pragma once

#include "notes_media/_Bookmark.h"

#include <QList>
#include <QString>
#include <vector>

// Builds a bookmark tree from the rows of a bookmark table. Rows are attached to their folder
// whatever the order of their ids, so a folder whose id is lower than its parent's keeps its
// contents; a parent cycle is cut at its folder with the smallest id, which becomes a root, so
// nothing in it is lost and nothing loops. A row whose parent is not a folder among the rows
// (hidden, a bookmark, missing) is left out with everything below it. A tree deeper than
// kMaxDepth levels is refused: no device nests folders that far, and the pages, exports and
// stores that walk the tree need not guard against it.
class BookmarkTreeBuilder
{
public:
    static constexpr int kMaxDepth = 1000;

    struct Row {
        qint64 id = 0;
        qint64 parent = 0; // 0 at root level
        bool isFolder = false;
        QString title;
        QString url;
        int orderIndex = 0;
        QString srcId;
        qint64 nodeId = 0; // the id the node carries (the local store's row id, else 0)
    };

    // Rows in the order in which they stand among their siblings.
    void add(Row row) { m_rows.push_back(std::move(row)); }
    // The roots: rows at root level in the order added, then one folder per parent cycle.
    // The caller owns them. Throws std::runtime_error, leaving nothing behind, for a tree deeper
    // than kMaxDepth.
    QList<_Bookmark*> build();

private:
    void attachFrom(int row, _Bookmark* parent, QList<_Bookmark*>& roots);
    int cycleRootOf(int row) const;

    std::vector<Row> m_rows;
    std::vector<char> m_visited;
    std::vector<std::vector<int>> m_children; // by row index of the folder
    std::vector<int> m_parentRow; // row index of the parent folder, -1 when none
};
