#pragma once

#include <QDir>
#include <QHash>
#include <QList>
#include <QSet>
#include <QString>
#include <QStringList>
#include <functional>

class _MsgAttachment;

// The attachment files of a store of the program's own that an earlier version saved under the
// names of its rule (msgEarlierRelayPath), where nothing stands at their names now. Such a file is
// an attachment's only while no other place the store's records name is that file, by either rule:
// that version kept two attachments whose names became one in one file, holding one of them, and
// nothing tells which. Never for a backup's cache: it is made anew, and a file there at such a
// name may be the copy of any record of the backup.
class MsgEarlierCopies
{
public:
    // Hands every device path the store's attachment records name to the function given.
    using Filenames = std::function<void(const std::function<void(const QString&)>&)>;

    // relay: the folder the store's attachment files lie in.
    explicit MsgEarlierCopies(const QDir& relay);

    // The earlier file of a device path when it is not its file now and a regular file stands there
    // inside relay; else empty.
    static QString standingEarlierFile(const QDir& relay, const QString& filename);
    // Of files, those that no record names, by the rule of now or the earlier: a file another
    // record's earlier name leads to may be that record's, and is kept.
    static QStringList namedByNone(const QDir& relay, const QStringList& files, const Filenames& records);

    // Notes an attachment whose file is not at its name now.
    void noteAbsent(_MsgAttachment& attachment);
    // Points each attachment noted at its earlier file where that file is its alone; the store's
    // records are read only when such a file stands. Returns how many were pointed there.
    int resolve(const Filenames& records);

private:
    // The files now of the records that name a candidate file, by the rule of now or the earlier.
    struct Claims {
        QSet<QString> now;
        QSet<QString> earlier;
    };
    void claim(const Filenames& records);
    // The claims on the candidate path names: by its very text, or by another case of it where the
    // disk keeps both as one file; null when it is no candidate's.
    Claims* claimsOf(const QString& path);
    // Whether the place of filename, by either rule, may end in one of lastNames (in lower case).
    static bool mayName(const QString& filename, const QSet<QString>& lastNames);

    QDir m_relay;
    QHash<QString, Claims> m_claims; // by candidate file
    QHash<QString, QString> m_folded; // candidate file in lower case -> as it is
    QHash<QString, QList<_MsgAttachment*>> m_noted; // by earlier file
    QSet<const _MsgAttachment*> m_seen;
};
