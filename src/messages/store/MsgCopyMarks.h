#pragma once

#include <QDir>
#include <QString>

class MsgData;

// Tells the attachments of a message model read from a backup's cache folder which of their copies
// the load found not to be what the phone wrote (the marks of the folder's file-date databases), so
// that extraction, exports and previews name and count them apart. Attachments outside the folder,
// and a folder without marks (a local database), are left as they are.
class MsgCopyMarks
{
public:
    // Returns how many attachments were marked. When a file-date database stands in the folder but
    // cannot be read, no copy there is known to be whole: each is marked so, and unread (when
    // given) says which database could not be read and why.
    static int apply(MsgData& data, const QDir& cacheFolder, QString* unread = nullptr);
};
