#include "messages/store/MsgCopyMarks.h"

#include "backup/BkCacheDb.h"
#include "messages/store/MsgAttachment.h"
#include "messages/store/MsgData.h"

int MsgCopyMarks::apply(MsgData& data, const QDir& cacheFolder, QString* unread)
{
    QStringList unreadRecords;
    const QHash<QString, QString> marks = BkCacheDb::notAsWrittenIn(cacheFolder, &unreadRecords);
    if (marks.isEmpty() && unreadRecords.isEmpty())
        return 0; // the usual case: no attachment is looked at
    const QString folder = QDir::cleanPath(cacheFolder.absolutePath()) + QLatin1Char('/');
    const QString unknown = QStringLiteral("not known to be whole: the record of its copy could not be read");
    int marked = 0;
    for (_MsgAttachment* a : std::as_const(data.p()->attachments)) {
        if (!a || a->_path.isEmpty())
            continue;
        const QString path = QDir::cleanPath(a->_path);
        const auto it = marks.constFind(path);
        if (it != marks.constEnd())
            a->_notAsWritten = *it;
        else if (!unreadRecords.isEmpty() && path.startsWith(folder))
            a->_notAsWritten = unknown;
        else
            continue;
        ++marked;
    }
    if (unread && !unreadRecords.isEmpty())
        *unread = QStringLiteral("Which attachment copies are what the phone wrote could not be read: %1. "
                                 "Each attachment of these messages is counted as not known to be whole.")
                      .arg(unreadRecords.join(QStringLiteral("; ")));
    return marked;
}
