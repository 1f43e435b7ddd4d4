#include "contacts/store/AbsContactCombineRule.h"

namespace
{
bool isInteger(const QVariant& v)
{
    switch (v.metaType().id()) {
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::LongLong:
    case QMetaType::ULongLong:
    case QMetaType::Long:
    case QMetaType::ULong:
    case QMetaType::Short:
    case QMetaType::UShort:
        return true;
    default:
        return false;
    }
}
} // namespace

bool AbsContactCombineRule::isValueEqual(const QVariant& a, const QVariant& b)
{
    if (!a.isValid() || !b.isValid())
        return a.isValid() == b.isValid();
    const int ta = a.metaType().id();
    const int tb = b.metaType().id();
    if (ta == QMetaType::QString && tb == QMetaType::QString)
        return a.toString() == b.toString(); // a null text equals an empty one
    if (ta == QMetaType::QByteArray && tb == QMetaType::QByteArray)
        return a.toByteArray() == b.toByteArray();
    if (isInteger(a) && isInteger(b))
        return a.toLongLong() == b.toLongLong();
    if (ta == tb)
        return a == b;
    QVariant converted = b;
    if (!converted.convert(a.metaType()))
        return false;
    if (ta == QMetaType::QString)
        return a.toString() == converted.toString();
    return a == converted;
}

bool AbsContactCombineRule::isValueEmpty(const QVariant& v)
{
    if (!v.isValid())
        return true;
    if (v.metaType().id() == QMetaType::QByteArray)
        return v.toByteArray().isEmpty();
    return v.toString().isEmpty();
}

bool AbsContactCombineRule::isEntityEqual(const pim::Entity& a, const pim::Entity& b, const QStringList& keys)
{
    for (const QString& key : keys) {
        if (!isValueEqual(a.values.value(key), b.values.value(key)))
            return false;
    }
    return true;
}

bool AbsContactCombineRule::isEntityEmpty(const pim::Entity& e, const QStringList& keys)
{
    for (const QString& key : keys) {
        if (!isValueEmpty(e.values.value(key)))
            return false;
    }
    return true;
}
