#include "notes_media/BookmarkTreeBuilder.h"

#include <QHash>
#include <stdexcept>
#include <utility>

QList<_Bookmark*> BookmarkTreeBuilder::build()
{
    const int n = int(m_rows.size());
    QHash<qint64, int> folders;
    for (int i = 0; i < n; ++i)
        if (m_rows[i].isFolder && !folders.contains(m_rows[i].id))
            folders.insert(m_rows[i].id, i);
    m_children.assign(n, {});
    m_parentRow.assign(n, -1);
    m_visited.assign(n, 0);
    for (int i = 0; i < n; ++i) {
        if (m_rows[i].parent == 0)
            continue;
        const int p = folders.value(m_rows[i].parent, -1);
        if (p < 0)
            continue; // its folder is hidden, a bookmark or absent
        m_parentRow[i] = p;
        m_children[p].push_back(i);
    }
    QList<_Bookmark*> roots;
    for (int i = 0; i < n; ++i)
        if (m_rows[i].parent == 0)
            attachFrom(i, nullptr, roots);
    // What is still unvisited below a folder hangs in a parent cycle (or below one).
    for (int i = 0; i < n; ++i) {
        if (m_visited[i] || m_parentRow[i] < 0)
            continue;
        const int root = cycleRootOf(i);
        if (root >= 0)
            attachFrom(root, nullptr, roots);
    }
    return roots;
}

// The folder with the smallest id of the cycle that the parent chain of row runs into, or -1
// when the chain ends at a row without a folder.
int BookmarkTreeBuilder::cycleRootOf(int row) const
{
    std::vector<char> seen(m_rows.size(), 0);
    int cur = row;
    while (cur >= 0 && !m_visited[cur] && !seen[cur]) {
        seen[cur] = 1;
        cur = m_parentRow[cur];
    }
    if (cur < 0 || m_visited[cur])
        return -1;
    int best = cur;
    for (int c = m_parentRow[cur]; c != cur; c = m_parentRow[c])
        if (m_rows[c].id < m_rows[best].id)
            best = c;
    return best;
}

// Builds the node of row and its whole subtree without recursion (trees may be deep).
void BookmarkTreeBuilder::attachFrom(int row, _Bookmark* parent, QList<_Bookmark*>& roots)
{
    struct Step {
        int row;
        _Bookmark* under;
        int depth;
    };
    std::vector<Step> stack { { row, parent, 1 } };
    while (!stack.empty()) {
        const auto [i, under, depth] = stack.back();
        stack.pop_back();
        if (m_visited[i])
            continue;
        if (depth > kMaxDepth) {
            qDeleteAll(roots);
            roots.clear();
            throw std::runtime_error(
                QStringLiteral("The bookmark database is damaged: its folders nest more than %1 deep.")
                    .arg(kMaxDepth)
                    .toStdString());
        }
        m_visited[i] = 1;
        const Row& r = m_rows[i];
        auto* node = new _Bookmark(
            under, r.isFolder, r.title, r.isFolder ? QString() : r.url, r.orderIndex, r.srcId, r.nodeId);
        if (under)
            under->children.append(node);
        else
            roots.append(node);
        const std::vector<int>& kids = m_children[i];
        for (auto it = kids.rbegin(); it != kids.rend(); ++it)
            stack.push_back({ *it, node, depth + 1 });
    }
}
