#pragma once

#include "app/AbsTreeItemModel.h"
#include "calls_calendars/_Calendar.h"

#include <QList>

// The calendar page's tree: calendars by name (case ignored), their events latest first.
class ItemModelCalendar : public AbsTreeItemModel
{
    Q_OBJECT
public:
    class _CalendarItemNode : public _ItemNode
    {
    public:
        explicit _CalendarItemNode(_Calendar calendar)
            : _ItemNode(0, QString(), nullptr)
            , calendar(std::move(calendar))
        {
        }
        _Calendar calendar;
    };
    class _CalEventItemNode : public _ItemNode
    {
    public:
        _CalEventItemNode(_ItemNode* parent, _CalEvent event)
            : _ItemNode(1, event.summary, parent)
            , event(std::move(event))
        {
        }
        _CalEvent event;
    };

    explicit ItemModelCalendar(QObject* parent = nullptr);

    void loadCalendars(QList<_Calendar> calendars);
    const QList<_Calendar>& calendars() const { return m_calendars; }

    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

    static QString eventText(const _CalEvent& event, int column, bool toolTip);

private:
    QList<_Calendar> m_calendars;
};
