#include "calls_calendars/ui/ItemModelCall.h"

#include "app/ShownText.h"
#include "calls_calendars/CallHistoryExport.h"

#include <QBrush>
#include <QColor>
#include <QPixmap>
#include <QSize>
#include <algorithm>
#include <vector>

namespace
{

const char* const g_columns[5] = { "Flag", "Number", "Contact", "Date", "Duration" };

QPixmap scaledIcon(const char* path)
{
    return QPixmap(QLatin1String(path)).scaledToWidth(18, Qt::FastTransformation);
}

// Sorts newest first exactly as std::sort with compareCallByDateLess does, ties included: with UTC
// dates the same comparisons are made on plain keys, which std::sort arranges alike. A list
// already strictly newest first (as the readers give it) is left as it is, and so not copied.
void sortNewestFirst(QList<_CallHistory>& calls)
{
    struct Key {
        qint64 msecs;
        qsizetype index;
    };
    std::vector<Key> keys;
    keys.reserve(size_t(calls.size()));
    for (qsizetype i = 0; i < calls.size(); ++i) {
        const QDateTime& date = std::as_const(calls)[i].date;
        if (!date.isValid() || date.timeSpec() != Qt::UTC) {
            std::sort(calls.begin(), calls.end(), compareCallByDateLess);
            return;
        }
        keys.push_back({ date.toMSecsSinceEpoch(), i });
    }
    const auto notLater = [](const Key& a, const Key& b) { return a.msecs <= b.msecs; };
    if (std::adjacent_find(keys.begin(), keys.end(), notLater) == keys.end())
        return; // all distinct and in order: the one order a sort can give
    std::sort(keys.begin(), keys.end(), [](const Key& a, const Key& b) { return a.msecs > b.msecs; });
    QList<_CallHistory> sorted;
    sorted.reserve(calls.size());
    for (const Key& key : keys)
        sorted.append(std::as_const(calls)[key.index]);
    calls = std::move(sorted);
}

} // namespace

QString plainToolTip(const QString& text)
{
    if (text.isEmpty())
        return text;
    QString html = text.toHtmlEscaped();
    html.replace(QLatin1Char('\n'), QLatin1String("<br/>"));
    return QStringLiteral("<qt>%1</qt>").arg(html);
}

ItemModelCall::ItemModelCall(QObject* parent)
    : AbsTreeItemModel(parent)
{
}

void ItemModelCall::loadCalls(QList<_CallHistory> calls)
{
    beginResetModel();
    qDeleteAll(roots);
    roots.clear();
    sortNewestFirst(calls);
    m_calls = std::move(calls);
    roots.reserve(m_calls.size());
    for (const _CallHistory& call : std::as_const(m_calls))
        roots.append(new _CallItemNode(call));
    endResetModel();
}

int ItemModelCall::columnCount(const QModelIndex&) const
{
    return 5;
}

QString ItemModelCall::cellText(const _CallHistory& call, int column)
{
    switch (column) {
    case 0:
        return CallHistoryExport::flagWord(call.flags);
    case 1:
        return ShownText::line(call.address);
    case 2:
        return ShownText::line(call.person);
    case 3:
        return CallHistoryExport::dateText(call.date);
    case 4:
        return CallHistoryExport::durationText(call);
    default:
        return QString();
    }
}

QVariant ItemModelCall::data(const QModelIndex& index, int role) const
{
    static const QPixmap pmIn = scaledIcon(":/res/call_in.png");
    static const QPixmap pmOut = scaledIcon(":/res/call_out.png");
    static const QPixmap pmErr = scaledIcon(":/res/call_err.png");
    const auto* node = static_cast<const _CallItemNode*>(nodeOf(index));
    if (!node)
        return QVariant();
    const _CallHistory& call = node->call;
    switch (role) {
    case Qt::DisplayRole:
        return index.column() < 5 ? QVariant(cellText(call, index.column())) : QVariant();
    case Qt::ToolTipRole:
        return index.column() < 5 ? QVariant(plainToolTip(cellText(call, index.column()))) : QVariant();
    case Qt::DecorationRole:
        if (index.column() != 0)
            return QVariant();
        return call.flags == CallFlagIncoming ? pmIn : call.flags == CallFlagOutgoing ? pmOut : pmErr;
    case Qt::BackgroundRole:
        return QBrush(index.row() % 2 == 0 ? QColor(250, 250, 250) : QColor(255, 255, 255));
    case Qt::SizeHintRole:
        return QSize(0, 25);
    default:
        return QVariant();
    }
}

QVariant ItemModelCall::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole || section < 0 || section >= 5)
        return QVariant();
    return QString::fromLatin1(g_columns[section]);
}
