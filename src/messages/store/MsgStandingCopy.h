#pragma once

#include "app/HeldFolder.h"

#include <QDir>
#include <QHash>
#include <QString>
#include <QStringList>
#include <functional>
#include <optional>

// What a save of messages into a store of the program's own does with a file that already stands
// at the name of an attachment's copy. It is kept only when it holds the copy's very bytes; a file
// an earlier version saved there of another record (its rule left the marks out of names, so two
// names became one) is first moved to that record's own name; and on a disk that does not tell
// names apart by case, a file at another case of the name is another record's and is never written
// over: the copy takes its name set aside (KeptFileName::aside), where the readers look first.
class MsgStandingCopy
{
public:
    // Hands every device path the store's attachment records name to the function given.
    using Filenames = std::function<void(const std::function<void(const QString&)>&)>;
    enum class Verdict {
        Kept, // the copy stands already
        Free, // the name may be written
        Refused, // the file there stays, and why says so
        Aside, // another record's file is found by the name: the copy goes to the name set aside
    };

    // relay: the store's attachment folder, held, and its path; records: read once, when first needed.
    MsgStandingCopy(HeldFolder relay, const QDir& relayDir, Filenames records);

    // Settles the file standing at name in folder (dest: its path) before source, the copy of the
    // record filename (a phone's path: its last part the phone's name), is written there.
    Verdict settle(const HeldFolder& folder, const QString& name, const QString& dest, const QString& source,
        const QString& filename, QString* why);

    // Whether the regular file at name in folder holds the bytes of the file at source.
    static bool sameBytes(const HeldFolder& folder, const QString& name, const QString& source);

private:
    // The records whose file an earlier version kept at dest, and whose own copy does not stand.
    QStringList earlierOwners(const QString& dest, const QString& filename);
    // Moves name in folder to the own place of the record filename; false when it cannot.
    bool moveToOwnName(const HeldFolder& folder, const QString& name, const QString& filename);

    HeldFolder m_relay;
    QDir m_relayDir;
    Filenames m_records;
    std::optional<QHash<QString, QStringList>> m_byEarlier; // earlier path -> records
};
