#include "messages/store/IOSContactsMemDb.h"

#include "messages/store/MsgHandle.h"

#include <QDebug>
#include <QFile>
#include <QFileInfo>
#include <stdexcept>
#include <utime.h>

namespace
{
const char kSchema[]
    = "CREATE TABLE person(  rowid INTEGER PRIMARY KEY,  first TEXT,  last TEXT,  middle TEXT,  "
      "photo BLOB);CREATE TABLE tel(  person_id INTEGER,  number TEXT,  UNIQUE(person_id, "
      "number));CREATE INDEX index_tel_number on tel(number);";

qint64 mtimeSecs(const QString& path)
{
    const QFileInfo fi(path);
    if (!fi.exists())
        return 0;
    return fi.lastModified().toSecsSinceEpoch();
}
} // namespace

QString _IOSContactPhoneInfo::displayName() const
{
    QString s = first;
    if (!middle.trimmed().isEmpty())
        s += ' ' + middle.trimmed();
    if (!last.trimmed().isEmpty())
        s += ' ' + last.trimmed();
    return s.trimmed();
}

IOSContactsMemDb::IOSContactsMemDb(const QDir& dir, const _CountryInfo& country)
    : dbDir(dir)
    , countryInfo(country)
{
}

void IOSContactsMemDb::openCheck()
{
    if (handle)
        return;
    const QString store = dbDir.absoluteFilePath(QStringLiteral("ct-phone.db"));
    const QString book = dbDir.absoluteFilePath(
        QStringLiteral("file-relay/var/mobile/Library/AddressBook/AddressBook.sqlitedb"));
    const QString images = dbDir.absoluteFilePath(
        QStringLiteral("file-relay/var/mobile/Library/AddressBook/AddressBookImages.sqlitedb"));
    if (!QFile::exists(book))
        return;
    const QString wal = book + QStringLiteral("-wal");
    const qint64 sourceTime = QFile::exists(wal) ? mtimeSecs(wal) : mtimeSecs(book);
    const qint64 storeTime = mtimeSecs(store);
    if (storeTime < sourceTime)
        rebuild(store, book, images, sourceTime);
    openThrow(store, 1);
}

void IOSContactsMemDb::openQuietly()
{
    try {
        openCheck();
    } catch (const std::exception&) {
    }
}

void IOSContactsMemDb::rebuild(
    const QString& store, const QString& book, const QString& images, qint64 sourceTime)
{
    qDebug() << "rebuild IOSContactsMemDb.";
    QFile::remove(store);
    try {
        openThrow(store, 6);
        char* err = nullptr;
        if (sqlite3_exec(handle, kSchema, nullptr, nullptr, &err) != SQLITE_OK) {
            const QString msg = QString::fromUtf8(err ? err : "");
            sqlite3_free(err);
            throw std::runtime_error(
                QStringLiteral("create IOSContactsMemDb error. %1").arg(msg).toStdString());
        }
        beginTran();
        {
            // The address book is only read: open it read-only.
            Sqlite3DB ab;
            ab.setForeign(true);
            ab.openThrow(book, 1);
            Sqlite3Cursor c = ab.queryThrow("select rowid, first, last, middle from ABPerson");
            while (c.moveNext()) {
                Sqlite3Sql ins("insert into person(rowid, first, last, middle) values(?,?,?,?)");
                ins.addInt64Param(c.getInt64("rowid"))
                    .addTextParam(c.getText("first"))
                    .addTextParam(c.getText("last"))
                    .addTextParam(c.getText("middle"));
                executeThrow(ins);
            }
            c = ab.queryThrow("select record_id, value from ABMultiValue where property=3");
            while (c.moveNext()) {
                Sqlite3Sql ins("replace into tel(person_id, number) values(?,?)");
                ins.addInt64Param(c.getInt64("record_id"))
                    .addTextParam(countryInfo.formatNumber(c.getText("value")));
                executeThrow(ins);
            }
        }
        addPhotos(images);
        commitTran();
        close();
    } catch (...) {
        // A half-built store would look newer than the address book and never be rebuilt.
        close();
        QFile::remove(store);
        throw;
    }
    struct utimbuf times;
    times.actime = time_t(sourceTime);
    times.modtime = time_t(sourceTime);
    utime(QFile::encodeName(store).constData(), &times);
}

void IOSContactsMemDb::addPhotos(const QString& images)
{
    if (!QFile::exists(images))
        return;
    // The pictures are optional: an images file without its table, or a damaged one, costs the
    // pictures not yet applied, never the names.
    try {
        Sqlite3DB img;
        img.setForeign(true);
        img.openThrow(images, 1);
        Sqlite3Cursor c = img.queryThrow("select record_id, data from ABThumbnailImage");
        while (c.moveNext()) {
            Sqlite3Sql upd("update person set photo=? where rowid=?");
            upd.addBlobParam(c.getBlob("data")).addInt64Param(c.getInt64("record_id"));
            executeThrow(upd);
        }
    } catch (const std::exception& e) {
        qWarning().noquote() << QStringLiteral("IOSContactsMemDb: contact pictures not read. %1")
                                    .arg(QString::fromUtf8(e.what()));
    }
}

_IOSContactPhoneInfo IOSContactsMemDb::contactInfoByNumber(const QString& number)
{
    openCheck();
    _IOSContactPhoneInfo info;
    if (!handle)
        return info;
    Sqlite3Sql sql("select p.* from person as p inner join tel as t on p.rowid=t.person_id and t.number=?");
    sql.addTextParam(number);
    Sqlite3Cursor c = queryThrow(sql);
    if (c.moveNext()) {
        info.first = c.getText("first");
        info.middle = c.getText("middle");
        info.last = c.getText("last");
        info.photo = c.getBlob("photo");
    }
    return info;
}

void IOSContactsMemDb::fillHandleContact(_MsgHandle& h, const char* caller)
{
    if (!handle)
        return;
    try {
        const _IOSContactPhoneInfo info = contactInfoByNumber(h.id);
        h._ct_name = info.displayName();
        h._photo = info.photo;
    } catch (const std::exception& e) {
        qWarning().noquote() << QStringLiteral("%1, IOSContactsMemDb error. %2")
                                    .arg(QLatin1String(caller), QString::fromUtf8(e.what()));
    }
}
