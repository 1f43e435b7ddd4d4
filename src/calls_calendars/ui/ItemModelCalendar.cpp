#include "calls_calendars/ui/ItemModelCalendar.h"

#include "app/ShownText.h"
#include "calls_calendars/ui/ItemModelCall.h"

#include <QBrush>
#include <QColor>
#include <QLocale>
#include <QPixmap>
#include <QSize>
#include <algorithm>

ItemModelCalendar::ItemModelCalendar(QObject* parent)
    : AbsTreeItemModel(parent)
{
}

void ItemModelCalendar::loadCalendars(QList<_Calendar> calendars)
{
    m_calendars = std::move(calendars);
    beginResetModel();
    qDeleteAll(roots);
    roots.clear();
    std::sort(m_calendars.begin(), m_calendars.end(), compareCalendarLess);
    for (_Calendar& cal : m_calendars) {
        auto* node = new _CalendarItemNode(cal); // keeps the source's event order
        std::sort(cal.events.begin(), cal.events.end(), compareCalEventLess);
        for (const _CalEvent& e : cal.events)
            node->children.append(new _CalEventItemNode(node, e));
        roots.append(node);
    }
    endResetModel();
}

int ItemModelCalendar::columnCount(const QModelIndex&) const
{
    return 5;
}

QString ItemModelCalendar::eventText(const _CalEvent& e, int column, bool toolTip)
{
    switch (column) {
    case 0: {
        // Each part bounded before it is joined: a row costs the bound, whatever the values hold.
        const QString summary = ShownText::line(e.summary);
        QString text = toolTip ? summary : QString(summary).replace(QLatin1Char('\n'), QLatin1Char(' '));
        const QString sep = toolTip ? QStringLiteral("\n") : QStringLiteral(" ");
        if (!e.description.isEmpty())
            text += sep + QStringLiteral("Notes:%1").arg(ShownText::line(e.description));
        if (!e.url.isEmpty())
            text += sep + QStringLiteral("Url:%1").arg(ShownText::line(e.url));
        return ShownText::line(text);
    }
    case 1:
    case 2: {
        const QDateTime& d = column == 1 ? e.start_date : e.end_date;
        return d.isValid() ? QLocale::system().toString(d, QLocale::ShortFormat) : QString();
    }
    case 3:
        return e.all_day != 0 ? QStringLiteral("Yes") : QString();
    case 4:
        return ShownText::line(e.rrule);
    default:
        return QString();
    }
}

QVariant ItemModelCalendar::data(const QModelIndex& index, int role) const
{
    static const QPixmap calIcon = QPixmap(":/res/calendar.png").scaledToWidth(18, Qt::FastTransformation);
    static const QPixmap eventIcon = QPixmap(":/res/cal_item.png").scaledToWidth(18, Qt::FastTransformation);
    const _ItemNode* node = nodeOf(index);
    if (!node || index.column() > 4)
        return QVariant();
    if (role == Qt::SizeHintRole)
        return QSize(0, 25);
    if (node->kind == 0) {
        const auto* cal = static_cast<const _CalendarItemNode*>(node);
        const QString name = ShownText::line(cal->calendar.name);
        if (role == Qt::DisplayRole)
            return index.column() == 0 ? name : QStringLiteral("--");
        if (role == Qt::ToolTipRole)
            return index.column() == 0 ? plainToolTip(name) : QStringLiteral("--");
        if (role == Qt::DecorationRole && index.column() == 0)
            return calIcon;
        return QVariant();
    }
    const auto* ev = static_cast<const _CalEventItemNode*>(node);
    switch (role) {
    case Qt::DisplayRole:
        return eventText(ev->event, index.column(), false);
    case Qt::ToolTipRole:
        return plainToolTip(eventText(ev->event, index.column(), true));
    case Qt::DecorationRole:
        return index.column() == 0 ? QVariant(eventIcon) : QVariant();
    case Qt::BackgroundRole:
        return QBrush(index.row() % 2 == 0 ? QColor(250, 250, 250) : QColor(255, 255, 255));
    default:
        return QVariant();
    }
}

QVariant ItemModelCalendar::headerData(int section, Qt::Orientation orientation, int role) const
{
    static const char* const headers[5] = { "Calendar/Event", "Start Date", "End Date", "All day", "Rule" };
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole || section < 0 || section > 4)
        return QVariant();
    return tr(headers[section]);
}
