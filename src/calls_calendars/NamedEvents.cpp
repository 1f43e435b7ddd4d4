#include "calls_calendars/NamedEvents.h"

#include "app/CountText.h"

namespace
{
constexpr int kNamed = 10;
}

void NamedEvents::add(const _CalEvent& event)
{
    if (++m_count <= kNamed)
        m_names.append(nameOf(event));
}

QString NamedEvents::text(const QString& one, const QString& many) const
{
    if (m_count == 0)
        return QString();
    QStringList lines { QString(), CountText::of(m_count, one, many) };
    lines += m_names;
    if (m_count > m_names.size())
        lines.append(QStringLiteral("... and %1 more.").arg(m_count - m_names.size()));
    return lines.join(QLatin1Char('\n'));
}

QString NamedEvents::nameOf(const _CalEvent& event)
{
    const QString title = event.title().isEmpty() ? QStringLiteral("(no title)") : event.title();
    return event.calendar_name.isEmpty() ? title : QStringLiteral("%1 (%2)").arg(title, event.calendar_name);
}
