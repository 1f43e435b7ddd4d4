#include "contacts/store/Entity.h"

#include <QCryptographicHash>
#include <utility>

namespace pim
{

Entity::Entity(unsigned long long id, QString srcId)
    : id(id)
    , srcId(std::move(srcId))
{
}

QString Entity::fullName() const
{
    return joinFullName(text(QStringLiteral("data5")), text(QStringLiteral("data2")),
        text(QStringLiteral("data4")), text(QStringLiteral("data3")), text(QStringLiteral("data6")));
}

QString joinFullName(const QString& prefix, const QString& first, const QString& middle, const QString& last,
    const QString& suffix)
{
    // No blank before the first part that is there: trimming would drop it, and a name that needs
    // no trimming is returned without another copy.
    const QString* const parts[] = { &first, &middle, &last, &suffix };
    QString name = prefix;
    qsizetype size = name.size();
    for (const QString* part : parts)
        size += part->size() + 1;
    name.reserve(size);
    for (const QString* part : parts) {
        if (part->isEmpty())
            continue;
        if (!name.isEmpty())
            name += QLatin1Char(' ');
        name += *part;
    }
    return name.trimmed();
}

int Entity::code(const QString& key) const
{
    const auto it = values.constFind(key);
    if (it == values.cend())
        return 0;
    if (it->typeId() == QMetaType::Int)
        return it->toInt(); // the number its text would give, without making the text
    return it->toString().toInt();
}

QString Entity::formattedAddr() const
{
    const QString street = text(QStringLiteral("data4"));
    const QString city = text(QStringLiteral("data7"));
    const QString state = text(QStringLiteral("data8"));
    const QString zip = text(QStringLiteral("data9"));
    const QString country = text(QStringLiteral("data10"));
    QString addr = street;
    if (!city.isEmpty() || !state.isEmpty()) {
        addr += QLatin1Char('\n');
        if (!city.isEmpty()) {
            addr += city;
            if (!state.isEmpty() || !zip.isEmpty())
                addr += QLatin1Char(',');
        }
        if (!state.isEmpty())
            addr += QLatin1Char(' ') + state;
        if (!zip.isEmpty())
            addr += QLatin1Char(' ') + zip;
    }
    if (!country.isEmpty())
        addr += QLatin1Char('\n') + country;
    return addr.trimmed();
}

QString Entity::photoHash() const
{
    return photoHash(values.value(QStringLiteral("data15")).toByteArray());
}

QString Entity::photoHash(const QByteArray& bytes)
{
    return QString::fromLatin1(QCryptographicHash::hash(bytes, QCryptographicHash::Md5).toBase64());
}

int phonePriority(const Entity& phone)
{
    switch (phone.code(QStringLiteral("data2"))) {
    case 2:
        return 10;
    case 12:
        return 20;
    case 1:
        return 30;
    case 3:
        return 40;
    default:
        return 100;
    }
}

bool comparePhoneLess(const Entity& a, const Entity& b)
{
    return phonePriority(a) < phonePriority(b);
}

} // namespace pim
