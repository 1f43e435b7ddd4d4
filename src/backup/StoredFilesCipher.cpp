#include "backup/StoredFilesCipher.h"

#include "app/RegularFile.h"
#include "app/sqlite/Sqlite3DB.h"
#include "backup/MBDBParser.h"
#include "backup/MBFileArchive.h"

#include <QFile>

namespace
{

enum class Looks { Unknown, Plain, Encrypted };

// Records whose files are databases whenever the phone backs them up.
const char* const kDatabases[6] = { "Library/SMS/sms.db", "Library/AddressBook/AddressBook.sqlitedb",
    "Library/CallHistoryDB/CallHistory.storedata", "Library/Notes/notes.sqlite",
    "Library/Calendar/Calendar.sqlitedb", "Library/Safari/Bookmarks.db" };
constexpr int kSamples = 8;

// What one stored file looks like. A device pads every file it encrypts to whole blocks, at least
// one byte more than the file; a database's plain bytes begin with its header.
Looks looksOf(const QDir& dir, const QString& fileId, const QByteArray& archive, bool database)
{
    MBFileArchive::Fields f;
    if (!MBFileArchive::decode(archive, f, true, false) || f.encryptionKey.isEmpty())
        return Looks::Unknown;
    QFile in;
    if (!RegularFile::openRead(in, MBDBParser::getBKFilePath(dir, fileId.toLower(), false), nullptr))
        return Looks::Unknown;
    const qint64 length = in.size();
    if (length == 0)
        return Looks::Unknown;
    if (in.read(16) == QByteArray("SQLite format 3\0", 16) || length % 16 != 0)
        return Looks::Plain;
    if (database)
        return Looks::Encrypted;
    return length > f.size && length - f.size <= 16 ? Looks::Encrypted : Looks::Plain;
}

} // namespace

bool StoredFilesCipher::stillEncrypted(const QDir& dir, const QString& plainManifestDb)
{
    int plain = 0;
    int encrypted = 0;
    const auto count = [&](Looks looks) {
        plain += looks == Looks::Plain;
        encrypted += looks == Looks::Encrypted;
    };
    try {
        Sqlite3DB db;
        db.openReadOnlyThrow(plainManifestDb, true);
        // One query: without its index (damaged) the table is scanned once, not once a name.
        Sqlite3Sql known("select fileID, file from Files where relativePath in (?,?,?,?,?,?) limit 12");
        for (const char* path : kDatabases)
            known.addTextParam(QString::fromLatin1(path));
        Sqlite3Cursor c = db.queryThrow(known);
        while (c.moveNext())
            count(looksOf(dir, c.getText(0), c.getBlob(1), true));
        // Not folders or links; some tools leave a file's flags 0.
        Sqlite3Cursor any = db.queryThrow("select fileID, file from Files where flags<>2 and flags<>4 limit 64");
        while (plain + encrypted < kSamples && any.moveNext())
            count(looksOf(dir, any.getText(0), any.getBlob(1), false));
    } catch (const std::exception&) {
        // A manifest that does not read tells nothing here; reading its records says why.
    }
    return encrypted > plain;
}
