#include "contacts/support/DeviceContactRecords.h"

#include <QDateTime>

PlistCFType DeviceContactRecords::record(
    const QString& entity, const QVariantMap& values, const QStringList& parents)
{
    PlistCFType r = PlistCFType::createCFDictionary();
    r.put(QStringLiteral("com.apple.syncservices.RecordEntityName"),
        PlistCFType::createCFString(QStringLiteral("com.apple.contacts.") + entity));
    for (auto it = values.cbegin(); it != values.cend(); ++it) {
        const QVariant& v = it.value();
        if (v.metaType().id() == QMetaType::QDateTime)
            r.put(it.key(), PlistCFType::createCFDate(v.toDateTime()));
        else if (v.metaType().id() == QMetaType::QByteArray)
            r.put(it.key(), PlistCFType::createCFData(v.toByteArray()));
        else if (v.metaType().id() == QMetaType::Int)
            r.put(it.key(), PlistCFType::createCFNumberInt32(v.toInt()));
        else
            r.put(it.key(), PlistCFType::createCFString(v.toString()));
    }
    if (!parents.isEmpty()) {
        PlistCFType array = PlistCFType::createCFArray();
        for (const QString& p : parents)
            array.append(PlistCFType::createCFString(p));
        r.put(QStringLiteral("contact"), array);
    }
    return r;
}

PlistCFType DeviceContactRecords::batch(const QList<QPair<QString, PlistCFType>>& records)
{
    PlistCFType dict = PlistCFType::createCFDictionary();
    for (const auto& [id, r] : records)
        dict.put(id, r);
    return dict;
}
