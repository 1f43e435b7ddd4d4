#pragma once

#include <QDir>

class MsgData;

// Tells the attachments of a message model read from a backup's cache folder which of their copies
// the load found not to be what the phone wrote (the marks of the folder's file-date databases), so
// that extraction, exports and previews name and count them apart. Attachments outside the folder,
// and a folder without marks (a local database), are left as they are.
class MsgCopyMarks
{
public:
    // Returns how many attachments were marked.
    static int apply(MsgData& data, const QDir& cacheFolder);
};
