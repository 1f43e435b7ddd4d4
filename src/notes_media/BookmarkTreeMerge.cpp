#include "notes_media/BookmarkTreeMerge.h"

#include <utility>
#include <vector>

BookmarkTreeMerge::BookmarkTreeMerge(QList<_Bookmark*> targetRoots)
    : m_roots(std::move(targetRoots))
{
    // Depth first, each node before its children, so the first match in tree order is kept.
    std::vector<_Bookmark*> pending(m_roots.crbegin(), m_roots.crend());
    while (!pending.empty()) {
        _Bookmark* node = pending.back();
        pending.pop_back();
        index(node);
        pending.insert(pending.end(), node->children.crbegin(), node->children.crend());
    }
}

BookmarkTreeMerge::~BookmarkTreeMerge()
{
    qDeleteAll(m_roots);
}

void BookmarkTreeMerge::index(_Bookmark* node)
{
    QHash<Key, _Bookmark*>& keys = node->isFolder ? m_folders : m_bookmarks;
    const Key key(node->parent, node->isFolder ? node->title : node->url);
    if (!keys.contains(key))
        keys.insert(key, node);
}

void BookmarkTreeMerge::merge(const _Bookmark* bookmark)
{
    std::vector<const _Bookmark*> chain;
    for (const _Bookmark* p = bookmark->parent; p; p = p->parent)
        chain.push_back(p);
    _Bookmark* parent = nullptr;
    for (auto it = chain.rbegin(); it != chain.rend(); ++it)
        parent = matchOrAdd(parent, *it);
    // Without recursion: trees may be deep.
    std::vector<std::pair<const _Bookmark*, _Bookmark*>> pending { { bookmark, parent } };
    while (!pending.empty()) {
        const auto [source, under] = pending.back();
        pending.pop_back();
        _Bookmark* node = matchOrAdd(under, source);
        if (!source->isFolder)
            continue;
        for (auto it = source->children.crbegin(); it != source->children.crend(); ++it)
            pending.emplace_back(*it, node);
    }
}

_Bookmark* BookmarkTreeMerge::matchOrAdd(_Bookmark* parent, const _Bookmark* source)
{
    QHash<Key, _Bookmark*>& keys = source->isFolder ? m_folders : m_bookmarks;
    const Key key(parent, source->isFolder ? source->title : source->url);
    if (_Bookmark* found = keys.value(key))
        return found;
    auto* node = new _Bookmark(parent, source->isFolder, source->title,
        source->isFolder ? QString() : source->url, source->orderIndex, QString(), 0);
    (parent ? parent->children : m_roots).append(node);
    keys.insert(key, node);
    m_added.append(node);
    return node;
}
