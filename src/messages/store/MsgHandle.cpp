#include "messages/store/MsgHandle.h"

#include "app/sqlite/Sqlite3Cursor.h"

QString _MsgHandle::displayName(bool withId) const
{
    if (_ct_name.isEmpty())
        return id;
    if (!withId)
        return _ct_name;
    return QStringLiteral("%1 (%2)").arg(_ct_name, id);
}

const QStringList& msgHandleColumns()
{
    static const QStringList names { "rowid", "id", "country", "service", "uncanonicalized_id", "_ct_name",
        "_photo" };
    return names;
}

void fillMsgHandle(_MsgHandle& h, const Sqlite3Cursor& c)
{
    h.rowid = c.getInt64("rowid");
    h.id = c.getText("id");
    h.country = c.getText("country");
    h.service = c.getText("service");
    h.uncanonicalized_id = c.getText("uncanonicalized_id");
    h._ct_name = c.getText("_ct_name");
    h._photo = c.getBlob("_photo");
}
