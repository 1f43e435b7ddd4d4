#pragma once

#include <QByteArray>
#include <QString>

// One participant address of the message model, with the contact name and photo found for it.
class _MsgHandle
{
public:
    _MsgHandle() = default;

    // The contact name when known ("name (id)" with withId), else the address.
    QString displayName(bool withId) const;

    qint64 rowid = 0;
    QString id;
    QString country;
    QString service = QStringLiteral("SMS");
    QString uncanonicalized_id;
    QString _ct_name;
    QByteArray _photo;
};
