#include "messages/store/MsgCopyMarks.h"

#include "backup/BkCacheDb.h"
#include "messages/store/MsgAttachment.h"
#include "messages/store/MsgData.h"

int MsgCopyMarks::apply(MsgData& data, const QDir& cacheFolder)
{
    const QHash<QString, QString> marks = BkCacheDb::notAsWrittenIn(cacheFolder);
    if (marks.isEmpty())
        return 0; // the usual case: no attachment is looked at
    int marked = 0;
    for (_MsgAttachment* a : std::as_const(data.p()->attachments)) {
        if (!a || a->_path.isEmpty())
            continue;
        const auto it = marks.constFind(QDir::cleanPath(a->_path));
        if (it == marks.constEnd())
            continue;
        a->_notAsWritten = *it;
        ++marked;
    }
    return marked;
}
