#pragma once

#include <QByteArray>
#include <QString>

class ContentDigest;

// A whole file copied as it stands, or encrypted, into a new file: how the reads of a backup take
// their private copies and how a write stages its manifest. The new file is made as a file of its
// own (what stood at its name goes as a name, never followed), and a failure names the system's
// reason and leaves no part of it.
class BackupFileCopy
{
public:
    // Copies a file (replacing to), made writable for its owner; the bytes written are added to
    // written when one is given.
    static void copyThrow(const QString& from, const QString& to, ContentDigest* written = nullptr);
    // The same copy for a caller that names the files itself: empty when it succeeded, else the
    // system's reason ("Not a regular file" for what is no file).
    static QString copy(const QString& from, const QString& to, ContentDigest* written = nullptr);
    // Encrypts a whole file with key into to, the same way.
    static void encryptThrow(
        const QByteArray& key, const QString& from, const QString& to, ContentDigest* written = nullptr);
};
