#pragma once

#include "calls_calendars/_CalEvent.h"

#include <QString>
#include <QStringList>

// Events of one kind that a result tells of (left out of a file, or kept without their dates): the
// first ten by name, the count tells the rest.
class NamedEvents
{
public:
    void add(const _CalEvent& event);
    int count() const { return m_count; }
    // The heading (one for a single event, else many with %1 the count) and the names, each on a
    // line of its own after a line break; empty when there are none.
    QString text(const QString& one, const QString& many) const;
    // An event as a result names it: its title and calendar.
    static QString nameOf(const _CalEvent& event);

private:
    int m_count = 0;
    QStringList m_names;
};
