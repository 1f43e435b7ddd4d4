#include "backup/ManifestDecryption.h"

#include "app/OutputFile.h"
#include "app/RegularFile.h"
#include "app/RunFolder.h"
#include "app/WrittenDisks.h"
#include "backup/BackupCacheCopy.h"
#include "backup/BackupCrypto.h"
#include "backup/BackupKeyBag.h"
#include "backup/DigestingReader.h"
#include "backup/lock/BackupFolderLock.h"

#include <QFile>
#include <QTemporaryDir>
#include <stdexcept>

namespace
{

[[noreturn]] void fail(const QString& text)
{
    throw std::runtime_error(text.toStdString());
}

void decryptInto(const QByteArray& key, const QString& src, QFile& file, DigestingReader& in, OutputFile& out,
    const std::atomic<bool>& cancel)
{
    try {
        // A large manifest takes seconds: the user's cancel is seen between blocks.
        BackupCrypto::decryptStream(key, in, out, 0, [&cancel](qint64) {
            if (cancel.load())
                throw BackupKeyBag::Cancelled();
        });
    } catch (const BackupKeyBag::Cancelled&) {
        throw;
    } catch (const std::exception& e) {
        if (out.failed())
            fail(out.failure());
        if (file.error() != QFileDevice::NoError)
            fail(QStringLiteral("Cannot read %1. %2").arg(src, file.errorString()));
        fail(QStringLiteral("%1 is damaged and cannot be decrypted: %2")
                 .arg(src, QString::fromUtf8(e.what())));
    }
}

} // namespace

bool ManifestDecryption::looksLikeSqlite(const QString& path)
{
    QFile f;
    return RegularFile::openRead(f, path, nullptr) && f.read(16) == QByteArray("SQLite format 3\0", 16);
}

ManifestDecryption::Copy ManifestDecryption::makeThrow(
    const QDir& dir, const QByteArray& key, const std::atomic<bool>& cancel)
{
    const BackupFolderLock reading(dir, BackupFolderLock::Mode::Shared);
    const QString src = dir.absoluteFilePath(QStringLiteral("Manifest.db"));
    Copy copy;
    copy.stamp = BackupCacheCopy::stampOf(src);
    QFile file;
    QString why;
    if (!RegularFile::openRead(file, src, &why))
        fail(QStringLiteral("Cannot read %1. %2").arg(src, why));
    ContentDigest read; // which content was decrypted, for a write to compare with the file in place
    DigestingReader in(file, read);
    copy.dir = std::make_unique<QTemporaryDir>(RunFolder::templateFor(QStringLiteral("qm-manifest")));
    if (!copy.dir->isValid())
        fail(QStringLiteral("Cannot create a temporary folder for the decrypted manifest. %1")
                 .arg(copy.dir->errorString()));
    const QString plainPath = copy.dir->filePath(QStringLiteral("Manifest.db"));
    const WrittenDisks::Unnoted temporary;
    OutputFile out(plainPath);
    if (!out.open(QIODevice::WriteOnly))
        fail(out.failure());
    decryptInto(key, src, file, in, out, cancel);
    if (!out.commit())
        fail(out.failure());
    if (!looksLikeSqlite(plainPath))
        fail(QStringLiteral("%1 is damaged: it does not decrypt to a database.").arg(src));
    copy.sum = read.sum();
    return copy;
}
