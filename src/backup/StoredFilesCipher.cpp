#include "backup/StoredFilesCipher.h"

#include "app/RegularFile.h"
#include "app/sqlite/RollbackJournal.h"
#include "app/sqlite/Sqlite3DB.h"
#include "backup/MBDBParser.h"
#include "backup/MBFileArchive.h"
#include "backup/ManifestConnection.h"
#include "backup/ManifestWalCopy.h"

#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

namespace
{

enum class Looks { Unknown, Plain, Encrypted };

// Records whose files are databases whenever the phone backs them up.
const char* const kDatabases[6] = { "Library/SMS/sms.db", "Library/AddressBook/AddressBook.sqlitedb",
    "Library/CallHistoryDB/CallHistory.storedata", "Library/Notes/notes.sqlite",
    "Library/Calendar/Calendar.sqlitedb", "Library/Safari/Bookmarks.db" };
constexpr int kSamples = 8;
// Manifest.mbdb is read as far as this: thousands of records, never the whole list.
constexpr qint64 kMbdbHead = 1 << 20;

const QByteArray& sqliteHeader()
{
    static const QByteArray header("SQLite format 3\0", 16);
    return header;
}

bool isDatabase(const QByteArray& path)
{
    for (const char* db : kDatabases)
        if (path == db)
            return true;
    return false;
}

// What one stored file looks like. A device pads every file it encrypts to whole blocks, at least
// one byte more than the file; a database's plain bytes begin with its header.
Looks looksOf(const QDir& dir, const QString& fileId, const QByteArray& key, qint64 size, bool database)
{
    if (key.isEmpty())
        return Looks::Unknown;
    QFile in;
    if (!RegularFile::openRead(in, MBDBParser::getBKFilePath(dir, fileId.toLower(), false), nullptr))
        return Looks::Unknown;
    const qint64 length = in.size();
    if (length == 0)
        return Looks::Unknown;
    if (in.read(16) == sqliteHeader() || length % 16 != 0)
        return Looks::Plain;
    if (database)
        return Looks::Encrypted;
    return length > size && length - size <= 16 ? Looks::Encrypted : Looks::Plain;
}

Looks looksOfArchive(const QDir& dir, const QString& fileId, const QByteArray& archive, bool database)
{
    MBFileArchive::Fields f;
    if (!MBFileArchive::decode(archive, f, true, false))
        return Looks::Unknown;
    return looksOf(dir, fileId, f.encryptionKey, f.size, database);
}

struct Tally {
    int plain = 0;
    int encrypted = 0;
    void count(Looks looks)
    {
        plain += looks == Looks::Plain;
        encrypted += looks == Looks::Encrypted;
    }
    bool enough() const { return plain + encrypted >= kSamples; }
};

void sampleManifestDb(const QDir& dir, Sqlite3DB& db, Tally& tally)
{
    // One query: without its index (damaged) the table is scanned once, not once a name.
    Sqlite3Sql known("select fileID, file from Files where relativePath in (?,?,?,?,?,?) limit 12");
    for (const char* p : kDatabases)
        known.addTextParam(QString::fromLatin1(p));
    Sqlite3Cursor c = db.queryThrow(known);
    while (c.moveNext())
        tally.count(looksOfArchive(dir, c.getText(0), c.getBlob(1), true));
    // Not folders or links; some tools leave a file's flags 0.
    Sqlite3Cursor any = db.queryThrow("select fileID, file from Files where flags<>2 and flags<>4 limit 64");
    while (!tally.enough() && any.moveNext())
        tally.count(looksOfArchive(dir, any.getText(0), any.getBlob(1), false));
}

void sampleMbdb(const QDir& dir, QFile& mbdb, Tally& tally)
{
    const QList<MBDBParser::_MBDBItem> items = MBDBParser::parseHead(mbdb.read(kMbdbHead));
    const auto looks = [&](const MBDBParser::_MBDBItem& it, bool database) {
        return looksOf(dir, it.backupFileName(), it.encryptionKey(), it.size, database);
    };
    for (const MBDBParser::_MBDBItem& it : items)
        if (it.isFile() && isDatabase(it.pathUtf8))
            tally.count(looks(it, true));
    int others = 0;
    for (qsizetype i = 0; i < items.size() && others < 64 && !tally.enough(); ++i)
        if (items[i].isFile() && !items[i].encryptionKey().isEmpty()) {
            ++others;
            tally.count(looks(items[i], false));
        }
}

} // namespace

StoredFilesCipher::Verdict StoredFilesCipher::verdict(const QDir& dir, ManifestConnection& connection)
{
    Tally tally;
    try {
        QFile f;
        // Opened first as regular files: a FIFO in a manifest's place would hold the reading for ever.
        // Manifest.mbdb comes first, as it does for the reading of the records.
        const QString mbdb = dir.absoluteFilePath(QStringLiteral("Manifest.mbdb"));
        const QString db = dir.absoluteFilePath(QStringLiteral("Manifest.db"));
        if (QFileInfo::exists(mbdb)) {
            if (RegularFile::openRead(f, mbdb, nullptr))
                sampleMbdb(dir, f, tally);
        } else if (RegularFile::openRead(f, db, nullptr) && f.read(16) == sqliteHeader()) {
            // Records of a change another program left unfinished are read as SQLite takes it back.
            const auto copy = RollbackJournal::playsBack(RollbackJournal::stateOf(db))
                ? ManifestWalCopy::takeThrow(db)
                : nullptr;
            if (copy) {
                // A copy for this sampling alone, gone after it.
                Sqlite3DB own;
                own.setForeign(true);
                own.openReadOnlyThrow(copy->filePath(QStringLiteral("Manifest.db")), true);
                sampleManifestDb(dir, own, tally);
            } else
                connection.useThrow(db, [&](Sqlite3DB& read) { sampleManifestDb(dir, read, tally); });
        }
    } catch (const std::exception&) {
        // A manifest that does not read tells nothing here; reading its records says why.
    }
    if (tally.encrypted > tally.plain)
        return Verdict::Encrypted;
    return tally.plain > 0 ? Verdict::Plain : Verdict::Unknown;
}
