#include "backup/support/BackupReads.h"

#include "app/sqlite/Sqlite3DB.h"
#include "support/TestEnv.h"

#include <QFile>
#include <QFileInfo>
#include <QSet>
#include <exception>
#include <sqlite3.h>

namespace BackupReads
{

QByteArray readAll(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

QByteArray extract(const BackupManifest& m, const BackupManifest::_FileNode* node)
{
    const QString out = TestEnv::tempDir() + "/out.bin";
    m.copyFile(node, out, nullptr, nullptr);
    return readAll(out);
}

QString errorOf(const std::function<void()>& f)
{
    try {
        f();
    } catch (const std::exception& e) {
        return QString::fromUtf8(e.what());
    }
    return QString();
}

QString loadError(BackupManifest& m)
{
    const bool hasPlist = QFileInfo::exists(m.dir.absoluteFilePath("Manifest.plist"));
    return errorOf([&] {
        if (hasPlist)
            m.readManifestInfo();
        m.parseInfo();
    });
}

int scanManifest(const QString& path, QStringList* records, qint64* counted)
{
    sqlite3* db = nullptr;
    const QByteArray uri = Sqlite3DB::immutableUri(path).toUtf8();
    int rc = sqlite3_open_v2(uri.constData(), &db, SQLITE_OPEN_READONLY | SQLITE_OPEN_URI, nullptr);
    sqlite3_stmt* stmt = nullptr;
    *counted = -1;
    if (rc == SQLITE_OK
        && sqlite3_prepare_v2(db, "select count(*) from Files", -1, &stmt, nullptr) == SQLITE_OK
        && sqlite3_step(stmt) == SQLITE_ROW)
        *counted = sqlite3_column_int64(stmt, 0);
    sqlite3_finalize(stmt);
    stmt = nullptr;
    if (rc == SQLITE_OK)
        rc = sqlite3_prepare_v2(
            db, "select fileID, rowid, domain, relativePath from Files not indexed", -1, &stmt, nullptr);
    QSet<QString> seen;
    while (rc == SQLITE_OK && (rc = sqlite3_step(stmt)) == SQLITE_ROW) {
        const auto text = [&](int column) {
            return QString::fromUtf8(reinterpret_cast<const char*>(sqlite3_column_text(stmt, column)));
        };
        const QString key = sqlite3_column_type(stmt, 0) == SQLITE_NULL
            ? "rowid " + QString::number(sqlite3_column_int64(stmt, 1))
            : text(0);
        if (!seen.contains(key)) {
            seen.insert(key);
            records->append(text(2) + "/" + text(3));
        }
        rc = SQLITE_OK;
    }
    sqlite3_finalize(stmt);
    sqlite3_close(db);
    return rc == SQLITE_DONE ? SQLITE_OK : rc;
}

} // namespace BackupReads
