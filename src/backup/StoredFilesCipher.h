#pragma once

#include <QDir>
#include <QString>

class ManifestConnection;

// Tells from the stored files' own bytes whether a backup keeps its files encrypted, whatever its
// Manifest.plist says. A tool that decrypts a backup leaves plain files, often with their keys in
// the plain records. A plain manifest with the keys in its records (Manifest.mbdb, the Manifest.db
// of iOS 10.0 and 10.1, or a tool's decrypted Manifest.db copied over the encrypted one) may stand
// beside files the device encrypted, under a Manifest.plist that another tool rewrote or that was
// lost.
class StoredFilesCipher
{
public:
    enum class Verdict {
        Unknown, // no record sampled carries a key to a stored file that tells
        Plain, // the files sampled whose records carry a key are plain: a decrypted copy
        Encrypted, // more of them look encrypted than plain
    };
    // Samples the stored files of the backup in dir whose records carry a key (the well-known
    // databases first, then others): a file looks encrypted when it is whole AES blocks, without a
    // database's header, longer than its record's size by the padding. The records are those of
    // the plain Manifest.db or of the head of Manifest.mbdb; Unknown when neither reads. Cheap: a
    // few records and the first bytes of a few files. A plain Manifest.db is read through connection,
    // which the reading of its records then uses again.
    static Verdict verdict(const QDir& dir, ManifestConnection& connection);
};
