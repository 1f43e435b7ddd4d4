#include "notes_media/BookmarkSyncRecords.h"

#include "notes_media/BookmarkTreeBuilder.h"

namespace
{
const char* const kEntityKey = "com.apple.syncservices.RecordEntityName";
} // namespace

void BookmarkSyncRecords::readBatch(const PlistCFType& batch)
{
    for (const PlistCFType& key : batch.dict_keys()) {
        const PlistCFType r = batch.get(key);
        const QString entity = r.get(QLatin1String(kEntityKey)).CFStringQString();
        Record rec;
        rec.id = key.CFStringQString();
        m_ids.insert(rec.id); // taken whatever its entity, so no new record reuses it
        rec.isFolder = entity == QLatin1String(kFolderEntity);
        if (!rec.isFolder && entity != QLatin1String(kBookmarkEntity))
            continue;
        rec.name = r.get(QStringLiteral("name")).CFStringQString();
        rec.url = rec.isFolder ? QString() : r.get(QStringLiteral("url")).CFStringQString();
        const PlistCFType parent = r.get(QStringLiteral("parent"));
        rec.hasParent = parent.array_size() > 0;
        rec.parent = rec.hasParent ? parent.at(0).CFStringQString() : QString();
        const auto it = m_index.constFind(rec.id);
        if (it != m_index.constEnd()) {
            m_records[it.value()] = rec;
        } else {
            m_index.insert(rec.id, int(m_records.size()));
            m_records.append(rec);
        }
    }
}

QList<_Bookmark*> BookmarkSyncRecords::tree() const
{
    // The builder keys rows by number: a record's is its position plus one, a parent that no
    // record has gets -1, which no row carries.
    BookmarkTreeBuilder builder;
    for (const Record& rec : m_records) {
        BookmarkTreeBuilder::Row row;
        row.id = m_index.value(rec.id) + 1;
        row.parent = rec.hasParent ? m_index.value(rec.parent, -2) + 1 : 0;
        row.isFolder = rec.isFolder;
        row.title = rec.name;
        row.url = rec.url;
        row.srcId = rec.id;
        builder.add(row);
    }
    return builder.build();
}

QSet<QString> BookmarkSyncRecords::ids() const
{
    return m_ids;
}

PlistCFType BookmarkSyncRecords::record(const _Bookmark& node, const QString& parentId)
{
    PlistCFType r = PlistCFType::createCFDictionary();
    r.put(QLatin1String(kEntityKey),
        PlistCFType::createCFString(QLatin1String(node.isFolder ? kFolderEntity : kBookmarkEntity)));
    r.put(QStringLiteral("name"), PlistCFType::createCFString(node.title));
    if (!node.isFolder)
        r.put(QStringLiteral("url"), PlistCFType::createCFString(node.url));
    if (!parentId.isEmpty())
        r.put(
            QStringLiteral("parent"), PlistCFType::createCFArray({ PlistCFType::createCFString(parentId) }));
    return r;
}
