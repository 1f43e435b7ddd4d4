#include "backup/ManifestWalCopy.h"

#include "app/PathWalk.h"
#include "app/RegularFile.h"
#include "app/RunFolder.h"
#include "app/sqlite/RollbackJournal.h"
#include "app/sqlite/Sqlite3DB.h"
#include "backup/BackupCacheCopy.h"
#include "backup/BackupFileCopy.h"
#include "backup/ContentDigest.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <stdexcept>

namespace
{

// Copies tried while another program keeps writing, before the reading gives up.
constexpr int kCopyTries = 3;

std::function<void(const QString&)>& whileCopying()
{
    static std::function<void(const QString&)> hook;
    return hook;
}

[[noreturn]] void fail(const QString& text)
{
    throw std::runtime_error(text.toStdString());
}

// Copies from to the private copy to; a source that does not read whole is named with the system's
// reason, as the copy's own error may not tell reading from writing.
void copyThrow(const QString& from, const QString& to, ContentDigest* read)
{
    try {
        BackupFileCopy::copyThrow(from, to, read);
    } catch (const std::runtime_error&) {
        const QString why = RegularFile::readFailure(from);
        if (!why.isEmpty())
            fail(QStringLiteral("Cannot read %1. %2").arg(from, why));
        throw;
    }
}

// What SQLite reads of a database besides its file.
struct Companions {
    bool log = false; // a log that is not empty
    bool journal = false; // a journal that holds a transaction SQLite plays back
    QString without; // what the file is read without, for the user
    bool any() const { return log || journal; }
};

// What the file is read without, told to the user and logged.
void readWithout(Companions& c, const QString& text)
{
    qWarning("%s", qUtf8Printable(text));
    c.without += (c.without.isEmpty() ? QString() : QStringLiteral("\n")) + text;
}

// Whether the log beside dbPath holds rows to read; another user's where everyone may write holds
// theirs, not the backup's, and is read without.
bool logThrow(const QString& dbPath, Companions& c)
{
    const QString log = ManifestWalCopy::logOf(dbPath);
    const QString theirs = PathWalk::readRefusal(log);
    if (!theirs.isEmpty()) {
        readWithout(c,
            QStringLiteral("%1 was read without its log: %2.").arg(QDir::toNativeSeparators(dbPath), theirs));
        return false;
    }
    const QFileInfo info(log);
    // A link is never followed: its rows may be anywhere.
    if (info.isSymLink())
        fail(QStringLiteral("Cannot read %1: it is a link, and what stands beside a backup's manifest is "
                            "never read through a link. Put the file it leads to in its place; then try "
                            "again.")
                 .arg(log));
    // A FIFO or device there would hide the log's rows as if it were empty.
    if (info.exists() && !info.isFile())
        fail(QStringLiteral("Cannot read %1. %2").arg(log, RegularFile::notRegularText()));
    return info.size() > 0;
}

Companions companionsThrow(const QString& dbPath)
{
    Companions c;
    c.log = logThrow(dbPath, c);
    QString why;
    const QString journal = RollbackJournal::pathOf(dbPath);
    switch (RollbackJournal::stateOf(dbPath, &why)) {
    case RollbackJournal::State::Holds:
    case RollbackJournal::State::HoldsJoint:
        c.journal = true;
        break;
    case RollbackJournal::State::Unreadable:
        fail(QStringLiteral("Cannot read %1. %2").arg(journal, why));
    case RollbackJournal::State::NotAFile:
        // Nothing there can be played back: the file is what SQLite reads once it is moved away.
        readWithout(c,
            QStringLiteral(
                "%1 was read without %2, which is not a file but stands where SQLite looks for the "
                "journal of %1: its records are read as the file holds them.")
                .arg(QDir::toNativeSeparators(dbPath), QDir::toNativeSeparators(journal)));
        break;
    case RollbackJournal::State::Foreign:
        readWithout(c,
            QStringLiteral("%1 was read without its journal: %2.")
                .arg(QDir::toNativeSeparators(dbPath), why));
        break;
    case RollbackJournal::State::Stale:
    case RollbackJournal::State::None:
        break;
    }
    return c;
}

QString stampsOf(const QString& dbPath)
{
    return BackupCacheCopy::stampOf(dbPath) + QLatin1Char('|')
        + BackupCacheCopy::stampOf(ManifestWalCopy::logOf(dbPath)) + QLatin1Char('|')
        + BackupCacheCopy::stampOf(RollbackJournal::pathOf(dbPath));
}

// Copies the database and what c names beside it to copy, all unchanged meanwhile: a log or journal
// another program wrote while the file was copied may not fit the copy. Each try decides anew what
// to copy; the copy's companions, and what c says of them, are those of the try that stood.
void copyTogetherThrow(
    const QString& dbPath, const QString& copy, Companions& c, ContentDigest* read, ContentDigest* logRead)
{
    for (int tries = 1;; ++tries) {
        const QString before = stampsOf(dbPath);
        QString failure;
        try {
            copyThrow(dbPath, copy, read);
            if (whileCopying())
                whileCopying()(dbPath);
            if (c.log)
                copyThrow(ManifestWalCopy::logOf(dbPath), ManifestWalCopy::logOf(copy), logRead);
            // Only as far as SQLite reads it back, and without the name of another journal.
            const QString why = c.journal ? RollbackJournal::copy(dbPath, copy) : QString();
            if (!why.isEmpty())
                fail(why);
        } catch (const std::runtime_error& e) {
            failure = QString::fromUtf8(e.what());
        }
        if (stampsOf(dbPath) == before) {
            if (!failure.isEmpty())
                fail(failure);
            return;
        }
        if (tries == kCopyTries)
            fail(QStringLiteral("%1 changed while it was copied: another program is writing into it. Close "
                                "that program and try again.")
                     .arg(dbPath));
        for (ContentDigest* digest : { read, logRead })
            if (digest)
                digest->sum(); // starts again empty
        QFile::remove(ManifestWalCopy::logOf(copy));
        QFile::remove(RollbackJournal::pathOf(copy));
        c = companionsThrow(dbPath);
    }
}

// Opens the copy as SQLite opens a database: its first read plays the journal back (and removes it);
// then the log's committed frames are moved into the file, and the log goes.
void settleThrow(const QString& dbPath, const QString& copy, const Companions& c)
{
    const auto damaged = [&](const std::exception& e, bool journal) {
        fail((journal
                ? QStringLiteral("%1 is damaged: the change its journal %2 holds cannot be taken back. %3")
                : QStringLiteral("%1 is damaged: the log %2 cannot be read. %3"))
                 .arg(dbPath, journal ? RollbackJournal::pathOf(dbPath) : ManifestWalCopy::logOf(dbPath),
                     QString::fromUtf8(e.what()).replace(copy, dbPath)));
    };
    Sqlite3DB db;
    try {
        db.openThrow(copy, SQLITE_OPEN_READWRITE);
        Sqlite3Cursor read = db.queryThrow("select count(*) from sqlite_master");
        if (!read.moveNext() || (c.journal && RollbackJournal::stateOf(copy) != RollbackJournal::State::None))
            fail(QStringLiteral("The journal stayed."));
    } catch (const std::exception& e) {
        damaged(e, c.journal);
    }
    if (!c.log)
        return;
    try {
        Sqlite3Cursor moved = db.queryThrow("pragma wal_checkpoint(TRUNCATE)");
        if (!moved.moveNext() || moved.getInt(0) != 0)
            fail(QStringLiteral("its rows could not be moved into the database."));
    } catch (const std::exception& e) {
        damaged(e, false);
    }
}

} // namespace

QString ManifestWalCopy::logOf(const QString& dbPath)
{
    return dbPath + QStringLiteral("-wal");
}

void ManifestWalCopy::setWhileCopying(std::function<void(const QString& dbPath)> hook)
{
    whileCopying() = std::move(hook);
}

std::unique_ptr<QTemporaryDir> ManifestWalCopy::takeThrow(
    const QString& dbPath, ContentDigest* read, ContentDigest* logRead, QString* without)
{
    Companions c = companionsThrow(dbPath);
    if (without)
        *without = c.without;
    if (!c.any())
        return nullptr;
    auto tmp = std::make_unique<QTemporaryDir>(RunFolder::templateFor(QStringLiteral("qm-manifest")));
    if (!tmp->isValid())
        fail(QStringLiteral("Cannot create a temporary folder for a copy of %1. %2")
                 .arg(dbPath, tmp->errorString()));
    const QString copy = tmp->filePath(QStringLiteral("Manifest.db"));
    copyTogetherThrow(dbPath, copy, c, read, logRead);
    if (without)
        *without = c.without;
    settleThrow(dbPath, copy, c);
    if (c.log)
        qInfo("Read %s with the rows of its log %s, from a private copy.", qUtf8Printable(dbPath),
            qUtf8Printable(logOf(dbPath)));
    if (c.journal)
        qInfo("Read %s without the unfinished change its journal %s holds, from a private copy.",
            qUtf8Printable(dbPath), qUtf8Printable(RollbackJournal::pathOf(dbPath)));
    return tmp;
}
