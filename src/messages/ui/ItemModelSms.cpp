#include "messages/ui/ItemModelSms.h"

#include "app/ShownText.h"
#include "messages/store/MsgChat.h"
#include "messages/store/MsgMessage.h"
#include "messages/store/MsgText.h"

#include <QBrush>
#include <QColor>
#include <QDateTime>
#include <QLocale>
#include <QPixmap>
#include <QSize>

namespace
{
constexpr int kColumns = 4; // Date, Flag, Contact, Content
} // namespace

ItemModelSms::ItemModelSms(QObject* parent)
    : QAbstractItemModel(parent)
{
}

void ItemModelSms::loadSMS(const QList<_MsgMessage*>& list)
{
    beginResetModel();
    msgs = list;
    endResetModel();
}

void ItemModelSms::clear()
{
    beginResetModel();
    msgs.clear();
    endResetModel();
}

QModelIndex ItemModelSms::indexOfPos(int pos) const
{
    if (pos < 0 || pos >= msgs.size())
        return QModelIndex();
    return createIndex(pos, 0, msgs.at(pos));
}

QModelIndex ItemModelSms::index(int row, int column, const QModelIndex& parent) const
{
    // hasIndex() without its virtual calls: a view asks this once per row when it lays out.
    if (parent.isValid() || row < 0 || row >= msgs.size() || column < 0 || column >= kColumns)
        return QModelIndex();
    return createIndex(row, column, column == 0 ? msgs.at(row) : nullptr);
}

Qt::ItemFlags ItemModelSms::flags(const QModelIndex& index) const
{
    const Qt::ItemFlags f = QAbstractItemModel::flags(index);
    return index.isValid() ? f | Qt::ItemNeverHasChildren : f;
}

QModelIndex ItemModelSms::parent(const QModelIndex&) const
{
    return QModelIndex();
}

int ItemModelSms::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : int(msgs.size());
}

int ItemModelSms::columnCount(const QModelIndex&) const
{
    return kColumns;
}

QVariant ItemModelSms::text(const _MsgMessage& m, int column) const
{
    switch (column) {
    case 0:
        return QLocale::system().toString(dtFromDate21(m.date), QLocale::ShortFormat);
    case 1:
        if (m.item_type != 0)
            return QString();
        return m.is_from_me ? QStringLiteral("To") : QStringLiteral("From");
    case 2:
        if (m.item_type != 0)
            return m._chat ? ShownText::line(m._chat->displayName(false)) : QString();
        return ShownText::line(m.contactInfo());
    case 3:
        return m.summaryHead();
    default:
        return QVariant();
    }
}

QVariant ItemModelSms::data(const QModelIndex& index, int role) const
{
    if (!index.isValid() || index.row() >= msgs.size() || role >= 14)
        return QVariant();
    const _MsgMessage& m = *msgs.at(index.row());
    switch (role) {
    case Qt::DisplayRole:
    case Qt::ToolTipRole:
        return text(m, index.column());
    case Qt::DecorationRole: {
        if (index.column() != 0)
            return QVariant();
        const bool imsg = m.service.compare(QLatin1String("iMessage"), Qt::CaseInsensitive) == 0;
        const char* res = imsg ? (m.is_from_me ? ":/res/imsg-send.png" : ":/res/imsg-rec.png")
                               : (m.is_from_me ? ":/res/icon_sms-sent.png" : ":/res/icon_sms-receive.png");
        const QPixmap icon { QString::fromLatin1(res) };
        return icon.isNull() ? QVariant() : QVariant(icon.scaledToWidth(18, Qt::FastTransformation));
    }
    case Qt::BackgroundRole:
        return QBrush(m.is_from_me ? QColor(245, 255, 226) : QColor(255, 255, 255));
    case Qt::ForegroundRole:
        return m._recovered ? QVariant(QBrush(QColor(255, 0, 0))) : QVariant();
    case Qt::SizeHintRole:
        return QSize(0, 23);
    default:
        return QVariant();
    }
}

QVariant ItemModelSms::headerData(int section, Qt::Orientation orientation, int role) const
{
    static const char* const names[] = { "Date", "Flag", "Contact", "Content" };
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole || section < 0 || section > 3)
        return QVariant();
    return QString::fromLatin1(names[section]);
}
