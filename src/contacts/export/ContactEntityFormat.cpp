#include "contacts/export/ContactEntityFormat.h"

#include "contacts/store/PimLabelMaps.h"

#include <QDateTime>
#include <QLocale>

namespace
{
QString label(const pim::Entity& e, const QMap<int, QString>& map)
{
    const QString custom = e.text(QStringLiteral("data3"));
    if (!custom.isEmpty())
        return custom;
    return map.value(e.code(QStringLiteral("data2")));
}

QString labelled(const pim::Entity& e, const QMap<int, QString>& map, const QString& value)
{
    return QStringLiteral("%1:%2").arg(label(e, map), value);
}
} // namespace

QString ContactEntityFormat::phone(const pim::Entity& e)
{
    return labelled(e, pim::phoneTypeMap(), e.text(QStringLiteral("data1")));
}

QString ContactEntityFormat::email(const pim::Entity& e)
{
    return labelled(e, pim::emailTypeMap(), e.text(QStringLiteral("data1")));
}

QString ContactEntityFormat::shortDate(const QString& iso)
{
    QDateTime dt = QDateTime::fromString(iso, Qt::ISODate);
    if (!dt.isValid())
        return QString();
    return QLocale::system().toString(dt.date(), QLocale::ShortFormat);
}

QString ContactEntityFormat::event(const pim::Entity& e)
{
    return labelled(e, pim::eventTypeMap(), shortDate(e.text(QStringLiteral("data1"))));
}

QString ContactEntityFormat::im(const pim::Entity& e)
{
    QString service = e.text(QStringLiteral("data6"));
    if (service.isEmpty())
        service = pim::imProtocolMap().value(e.code(QStringLiteral("data5")));
    return QStringLiteral("%1:%2(%3)")
        .arg(label(e, pim::imTypeMap()), e.text(QStringLiteral("data1")), service);
}

QString ContactEntityFormat::orgLine(const pim::Entity& e)
{
    QString text = e.text(QStringLiteral("data4"));
    const QString department = e.text(QStringLiteral("data5"));
    const QString company = e.text(QStringLiteral("data1"));
    if (!department.isEmpty())
        text += QLatin1Char(' ') + department;
    if (!company.isEmpty())
        text += QLatin1Char(' ') + company;
    return text.trimmed();
}

QString ContactEntityFormat::org(const pim::Entity& e)
{
    return labelled(e, pim::orgTypeMap(), orgLine(e));
}

QString ContactEntityFormat::relation(const pim::Entity& e)
{
    return labelled(e, pim::relTypeMap(), e.text(QStringLiteral("data1")));
}

QString ContactEntityFormat::addressLabel(const pim::Entity& e)
{
    return label(e, pim::addrTypeMap());
}

QString ContactEntityFormat::address(const pim::Entity& e)
{
    return e.formattedAddr();
}

QString ContactEntityFormat::url(const pim::Entity& e)
{
    return labelled(e, pim::urlTypeMap(), e.text(QStringLiteral("data1")));
}

QString ContactEntityFormat::notes(const pim::Entity& e)
{
    return e.text(QStringLiteral("data1"));
}
