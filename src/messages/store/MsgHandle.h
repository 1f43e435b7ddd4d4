#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

class Sqlite3Cursor;

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

// Copies the current row of a query over the handle table into handle, with the contact columns
// _ct_name and _photo of the program's own stores; a column the result lacks reads 0 or empty.
void fillMsgHandle(_MsgHandle& handle, const Sqlite3Cursor& cursor);
// The columns fillMsgHandle reads, for the select list of its query.
const QStringList& msgHandleColumns();
