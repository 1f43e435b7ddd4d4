#include "notes_media/ui/RestoreBookmarksThread.h"

#include "app/ui/shared/ProgressForm.h"
#include "device/SyncRecordWriter.h"
#include "notes_media/BookmarkSyncRecords.h"
#include "notes_media/BookmarkTreeMerge.h"

#include <QHash>
#include <algorithm>
#include <stdexcept>
#include <utility>

namespace
{
const int kBatch = 20;
} // namespace

RestoreBookmarksThread::RestoreBookmarksThread(
    QString udid, QList<_Bookmark*> bookmarks, ProgressForm* form, QObject* parent)
    : QThread(parent)
    , m_udid(std::move(udid))
    , m_bookmarks(std::move(bookmarks))
    , m_form(form)
{
}

void RestoreBookmarksThread::run()
{
    m_usedIds.clear();
    m_lastId = 0;
    try {
        if (restore())
            m_form->invokeSucceed(tr("IDS_SUC_RESTORE_%1_BOOKMARKS").arg(_Bookmark::countOf(m_bookmarks)));
    } catch (const std::exception& e) {
        m_form->invokeErrorOccurred(QString::fromUtf8(e.what()));
    }
}

bool RestoreBookmarksThread::restore()
{
    m_form->invokeUpdateProgress(tr("IDS_LOADING_BOOKMARKS_FROM_DEVICE"), -1, QString());
    BookmarkSyncRecords records;
    mobiledevice_sync_read_all_throw(m_udid, QLatin1String(BookmarkSyncRecords::kDataClass),
        QStringLiteral("Bookmarks"), [&records](const PlistCFType& batch) { records.readBatch(batch); });
    m_usedIds = records.ids();
    BookmarkTreeMerge merge(records.tree());
    m_form->invokeUpdateProgress(tr("IDS_MERGING_BOOKMARKS"), -1, QString());
    for (const _Bookmark* b : std::as_const(m_bookmarks))
        merge.merge(b);
    const QList<_Bookmark*> fresh = merge.added();
    m_form->invokeUpdateProgress(tr("IDS_SENDING_BOOKMARKS_TO_DEVICE"), 0, QString());
    for (int first = 0; first < fresh.size(); first += kBatch) {
        if (m_form->cancelled)
            return false; // what earlier batches sent stays on the device
        sendBatch(fresh.mid(first, kBatch));
        const int sent = int(std::min<qsizetype>(first + kBatch, fresh.size()));
        m_form->invokeUpdateProgress(QString(), int(double(sent) / fresh.size() * 100.0), QString());
    }
    return !m_form->cancelled;
}

void RestoreBookmarksThread::sendBatch(const QList<_Bookmark*>& nodes)
{
    QList<_Bookmark*> folders;
    QList<_Bookmark*> bookmarks;
    for (_Bookmark* n : nodes)
        (n->isFolder ? folders : bookmarks).append(n);
    SyncRecordWriter writer{QLatin1String(BookmarkSyncRecords::kDataClass)}; // released on every path
    writer.open(m_udid);
    // A folder goes once the device has named the folder it sits in, so every record refers to an
    // identifier the device already holds.
    while (!folders.isEmpty())
        sendPlaced(writer, folders);
    if (!bookmarks.isEmpty())
        sendPlaced(writer, bookmarks);
    writer.finish();
}

void RestoreBookmarksThread::sendPlaced(SyncRecordWriter& writer, QList<_Bookmark*>& nodes)
{
    PlistCFType records = PlistCFType::createCFDictionary();
    QHash<QString, _Bookmark*> sent;
    QList<_Bookmark*> waiting;
    for (_Bookmark* n : std::as_const(nodes)) {
        if (n->parent && n->parent->srcId.isEmpty()) {
            waiting.append(n);
            continue;
        }
        const QString id = newRecordId();
        records.put(id, BookmarkSyncRecords::record(*n, n->parent ? n->parent->srcId : QString()));
        sent.insert(id, n);
    }
    if (sent.isEmpty())
        throw std::runtime_error("Bookmarks restore: a folder to send has no place on the device.");
    QHash<QString, QString> assigned;
    for (const auto& [from, to] : writer.send(records)) {
        qDebug("IOS Sync, bookmark:%s => %s", qUtf8Printable(from), qUtf8Printable(to));
        assigned.insert(from, to);
    }
    // A record the device did not remap keeps the identifier it was sent with.
    for (auto it = sent.cbegin(); it != sent.cend(); ++it) {
        const QString to = assigned.value(it.key());
        it.value()->srcId = to.isEmpty() ? it.key() : to;
        m_usedIds.insert(it.value()->srcId);
    }
    nodes = waiting;
}

QString RestoreBookmarksThread::newRecordId()
{
    QString id;
    do
        id = QStringLiteral("-%1").arg(++m_lastId);
    while (m_usedIds.contains(id));
    m_usedIds.insert(id);
    return id;
}
