#include "messages/store/MsgMessage.h"

#include "app/EmojiReplace.h"
#include "messages/store/MsgAttachment.h"
#include "messages/store/MsgChat.h"
#include "messages/store/MsgHandle.h"
#include "messages/store/MsgText.h"

#include <QCryptographicHash>
#include <QStringList>
#include <QtEndian>
#include <algorithm>
#include <future>
#include <system_error>
#include <vector>

namespace
{
QString plainName(const _MsgHandle* h)
{
    if (!h)
        return QStringLiteral("You");
    return h->_ct_name.isEmpty() ? h->id : h->_ct_name;
}

QString attachmentMarker(const QString& mime)
{
    if (mime.startsWith(QLatin1String("image/"), Qt::CaseInsensitive))
        return QStringLiteral(" [IMAGE]");
    if (mime.startsWith(QLatin1String("video/"), Qt::CaseInsensitive))
        return QStringLiteral(" [VIDEO]");
    if (mime.startsWith(QLatin1String("audio/"), Qt::CaseInsensitive))
        return QStringLiteral(" [AUDIO]");
    if (mime.compare(QLatin1String("text/x-vCard"), Qt::CaseInsensitive) == 0
        || mime.compare(QLatin1String("text/vcard"), Qt::CaseInsensitive) == 0)
        return QStringLiteral(" [VCARD]");
    return QStringLiteral(" [ATTA]");
}
} // namespace

QString _MsgMessage::summaryRawEmoji() const
{
    if (item_type == 0) {
        QString s = text();
        // Markers in rowid order, so the summary does not depend on hash iteration.
        for (const _MsgAttachment* a : attachments())
            s += attachmentMarker(a->mime_type);
        return s.trimmed();
    }
    const QString when = dtFromDate21(date).toString(QStringLiteral("dd MMM yyyy h:m AP"));
    switch (item_type) {
    case 1:
        return QStringLiteral("%1 Added %2 to the conversation.\n%3")
            .arg(plainName(_sender))
            .arg(plainName(_other_handle))
            .arg(when);
    case 2:
        return QStringLiteral("%1 named the conversation \"%2\".\n%3")
            .arg(plainName(_sender))
            .arg(group_title)
            .arg(when);
    case 3:
        return QStringLiteral("%1 left the conversation.\n%2").arg(plainName(_sender)).arg(when);
    case 4:
        return QStringLiteral("%1 %2 sharing location with %3.\n%4")
            .arg(plainName(_sender))
            .arg(share_status == 0 ? QStringLiteral("started") : QStringLiteral("stopped"))
            .arg(plainName(_other_handle))
            .arg(when);
    default:
        return QStringLiteral("System Information.\n%1").arg(when);
    }
}

QString _MsgMessage::summary() const
{
    return emoji_replace(summaryRawEmoji(), emoji_replace_handler, nullptr);
}

QString _MsgMessage::summaryHead() const
{
    if (item_type != 0)
        return summary();
    // The first kSummaryHead characters of text(), leading blanks taken as trimmed() takes them.
    const auto skipped = [this](qsizetype i, bool blanks) {
        while (i < text.size() && (text.at(i) == QChar(0xFFFC) || (blanks && text.at(i).isSpace())))
            ++i;
        return i;
    };
    QString head;
    qsizetype i = skipped(0, true);
    for (; i < text.size() && head.size() < kSummaryHead; i = skipped(i + 1, false))
        head += text.at(i);
    // Nothing but blanks after the head: the whole summary is short.
    if (skipped(i, true) == text.size())
        return summary();
    if (head.back().isHighSurrogate())
        head.chop(1); // no half character
    head += QStringLiteral("\n[Cut here: only the first %1 characters of the text are shown.]")
                .arg(kSummaryHead);
    return emoji_replace(head, emoji_replace_handler, nullptr);
}

QList<_MsgAttachment*> _MsgMessage::attachments() const
{
    QList<_MsgAttachment*> list = _attachments.values();
    std::sort(list.begin(), list.end(), compareMsgAttachmentAsc);
    return list;
}

QString _MsgMessage::contactInfo() const
{
    if (!_chat)
        return QStringLiteral("unknown");
    QString s = _chat->displayName(true);
    if (_chat->_handles.size() >= 2 && _sender)
        s += QStringLiteral(" (%1)").arg(plainName(_sender));
    return s;
}

QString _MsgMessage::logicalHash() const
{
    QCryptographicHash md5(QCryptographicHash::Md5);
    if (item_type != 0) {
        md5.addData(guid.toUtf8());
    } else {
        if (_sender)
            md5.addData(_sender->id.toLower().toUtf8());
        char le[4];
        qToLittleEndian<qint32>(date, le);
        md5.addData(QByteArrayView(le, 4));
        const char fromMe = char(is_from_me & 0xFF);
        md5.addData(QByteArrayView(&fromMe, 1));
        md5.addData(text().toUtf8());
        if (!_attachments.isEmpty()) {
            QStringList names;
            for (const _MsgAttachment* a : _attachments) {
                if (!a || a->filename.isEmpty())
                    continue;
                names << a->filename.mid(a->filename.lastIndexOf('/') + 1).toLower();
            }
            std::sort(names.begin(), names.end());
            for (const QString& n : names)
                md5.addData(n.toLower().toUtf8());
        }
    }
    return QString::fromLatin1(md5.result().toHex());
}

bool isMsgMessageNear(const _MsgMessage* a, const _MsgMessage* b)
{
    if (a->_sort_rowid <= 0 || b->_sort_rowid <= 0 || a->_recovered || b->_recovered)
        return false;
    const qint64 dr = a->_sort_rowid - b->_sort_rowid;
    const qint64 dd = qint64(a->date) - qint64(b->date);
    return (dr < 0 ? -dr : dr) <= 20 && (dd < 0 ? -dd : dd) <= 120;
}

bool compareMsgMessageAsc(const _MsgMessage* a, const _MsgMessage* b)
{
    if (a->date != b->date)
        return a->date < b->date;
    if (a->_sort_rowid != b->_sort_rowid)
        return a->_sort_rowid < b->_sort_rowid;
    return a->rowid < b->rowid;
}

bool compareMsgMessageDesc(const _MsgMessage* a, const _MsgMessage* b)
{
    return compareMsgMessageAsc(b, a);
}

namespace
{
// What the order reads of a message, side by side: sorting these touches no record.
struct MsgSortKey {
    int date;
    bool recovered;
    qint64 sortRowid;
    qint64 rowid;
    _MsgMessage* message;

    bool operator<(const MsgSortKey& o) const
    {
        if (date != o.date)
            return date < o.date;
        if (sortRowid != o.sortRowid)
            return sortRowid < o.sortRowid;
        return rowid < o.rowid;
    }
    // isMsgMessageNear on the keys.
    bool near(const MsgSortKey& o) const
    {
        if (sortRowid <= 0 || o.sortRowid <= 0 || recovered || o.recovered)
            return false;
        const qint64 dr = sortRowid - o.sortRowid;
        const qint64 dd = qint64(date) - qint64(o.date);
        return (dr < 0 ? -dr : dr) <= 20 && (dd < 0 ? -dd : dd) <= 120;
    }
};

using MsgSortKeys = std::vector<MsgSortKey>;

MsgSortKey keyOf(_MsgMessage* m)
{
    return { m->date, m->_recovered, m->_sort_rowid, m->rowid, m };
}

// From about this many messages a second thread sorting half of them pays for itself.
constexpr qsizetype kTwoThreadSortFrom = 20000;
// Lists come mostly in reading order, which is nearly date order: up to this many runs (stretches
// already in order) are merged rather than sorted, in at most nine passes over the keys.
constexpr size_t kMostRuns = 512;

// The keys of list[from, to) into keys[from, to), in key order; equal ones keep their places.
void sortKeyRange(const QList<_MsgMessage*>& list, MsgSortKeys& keys, size_t from, size_t to)
{
    for (size_t i = from; i < to; ++i)
        keys[i] = keyOf(list[qsizetype(i)]);
    std::stable_sort(keys.begin() + std::ptrdiff_t(from), keys.begin() + std::ptrdiff_t(to));
}

// The keys of list into keys, in key order, equal ones in list order. A long list is sorted as
// two halves at once, then merged (the merge keeps the first half's equal keys first, so the
// result is the same).
void sortKeys(const QList<_MsgMessage*>& list, MsgSortKeys& keys)
{
    const size_t n = keys.size();
    const size_t half = list.size() >= kTwoThreadSortFrom ? n / 2 : 0;
    std::future<void> first;
    try {
        if (half)
            first = std::async(std::launch::async, sortKeyRange, std::cref(list), std::ref(keys), 0, half);
    } catch (const std::system_error&) { // no thread to be had: all on this one
    }
    const size_t mine = first.valid() ? half : 0;
    sortKeyRange(list, keys, mine, n);
    if (!first.valid())
        return;
    first.get();
    std::inplace_merge(keys.begin(), keys.begin() + std::ptrdiff_t(mine), keys.end());
}

// With keys[start] read, reads the keys of the run that starts there and returns where it ends
// (the key there is read too). A strictly descending run is turned round: it has no equal keys
// whose order that could change.
size_t readRun(const QList<_MsgMessage*>& list, MsgSortKeys& keys, size_t start)
{
    const size_t n = keys.size();
    size_t end = start + 1;
    if (end == n)
        return end;
    keys[end] = keyOf(list[qsizetype(end)]);
    const bool descending = keys[end] < keys[start];
    for (++end; end < n; ++end) {
        keys[end] = keyOf(list[qsizetype(end)]);
        if (descending ? !(keys[end] < keys[end - 1]) : keys[end] < keys[end - 1])
            break;
    }
    if (descending)
        std::reverse(keys.begin() + std::ptrdiff_t(start), keys.begin() + std::ptrdiff_t(end));
    return end;
}

// The keys of list into keys, each run in order, and where the runs start; nothing when there are
// more than kMostRuns (the keys are then partly read).
std::vector<size_t> readRuns(const QList<_MsgMessage*>& list, MsgSortKeys& keys)
{
    std::vector<size_t> starts;
    if (keys.empty())
        return starts;
    keys[0] = keyOf(list[0]);
    for (size_t i = 0; i < keys.size(); i = readRun(list, keys, i)) {
        if (starts.size() == kMostRuns)
            return {};
        starts.push_back(i);
    }
    return starts;
}

// Merges the neighbouring sorted ranges [first, middle) and [middle, last), equal keys of the
// first one first. Only where the two overlap do keys move: runs that overlap little (a few
// messages out of place) merge at the cost of that overlap.
void mergeTwo(MsgSortKeys::iterator first, MsgSortKeys::iterator middle, MsgSortKeys::iterator last)
{
    first = std::upper_bound(first, middle, *middle);
    last = std::lower_bound(middle, last, *(middle - 1));
    std::inplace_merge(first, middle, last);
}

// Merges the runs of keys that start at starts, neighbours pairwise, until one is left.
void mergeRuns(MsgSortKeys& keys, std::vector<size_t> starts)
{
    const auto at = [&keys](size_t i) { return keys.begin() + std::ptrdiff_t(i); };
    starts.push_back(keys.size());
    while (starts.size() > 2) {
        std::vector<size_t> merged;
        size_t r = 0;
        for (; r + 2 < starts.size(); r += 2) {
            mergeTwo(at(starts[r]), at(starts[r + 1]), at(starts[r + 2]));
            merged.push_back(starts[r]);
        }
        if (r + 1 < starts.size()) // an odd run out, merged in the next round
            merged.push_back(starts[r]);
        merged.push_back(keys.size());
        starts.swap(merged);
    }
}

// The keys of list in the order compareMsgMessageAsc gives, equal ones in list order: merged from
// the list's runs when it has few, sorted otherwise.
MsgSortKeys sortedKeys(const QList<_MsgMessage*>& list)
{
    MsgSortKeys keys(size_t(list.size()));
    const std::vector<size_t> runs = readRuns(list, keys);
    if (runs.empty())
        sortKeys(list, keys);
    else
        mergeRuns(keys, runs);
    return keys;
}
} // namespace

void sortMsgMessages(QList<_MsgMessage*>& list, bool ascending)
{
    std::vector<MsgSortKey> keys = sortedKeys(list);
    // Neighbours that are near each other take the order of their source rows. Each swap removes
    // one row-order inversion, so the passes end; the loop is bounded by the list length anyway.
    const size_t n = keys.size();
    for (size_t pass = 0; pass < n; ++pass) {
        bool swapped = false;
        for (size_t i = 0; i + 1 < n; ++i) {
            if (keys[i].sortRowid > keys[i + 1].sortRowid && keys[i].near(keys[i + 1])) {
                std::swap(keys[i], keys[i + 1]);
                swapped = true;
            }
        }
        if (!swapped)
            break;
    }
    for (size_t i = 0; i < n; ++i)
        list[qsizetype(ascending ? i : n - 1 - i)] = keys[i].message;
}
