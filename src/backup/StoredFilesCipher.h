#pragma once

#include <QDir>
#include <QString>

// Tells from the stored files' own bytes whether a backup whose Manifest.db is plain still keeps
// its files encrypted. Tools write a decrypted Manifest.db into or beside the backup folder; copied
// over the encrypted one, it leaves the files as the device encrypted them, with their keys in the
// plain records, where a tool that decrypted the whole backup leaves plain files.
class StoredFilesCipher
{
public:
    // Whether the stored files sampled (the well-known databases first, then other files whose
    // records carry a key) look encrypted: whole AES blocks, not a database's header, longer than
    // their record's size by the padding. False when no sample tells either way.
    static bool stillEncrypted(const QDir& dir, const QString& plainManifestDb);
};
