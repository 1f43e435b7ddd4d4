#include "ProbeContactsSupport.h"

#include "ProbeBackupSupport.h"
#include "ProbePrivateCopy.h"
#include "backup/BackupCacheCopy.h"
#include "contacts/store/IOSContactCombineRule.h"
#include "contacts/store/IOSContactsDb.h"
#include "contacts/store/LocalContactsDb.h"

#include <QFile>
#include <QFileInfo>
#include <stdexcept>

namespace
{
[[noreturn]] void fail(const QString& text)
{
    throw std::runtime_error(text.toStdString());
}

// The address book and its images from a plain folder or a cache folder, under backup names.
bool stageAddressBook(const QDir& src, const QDir& work)
{
    const QString ab = IOSContactsDb::kAddressBookName, img = IOSContactsDb::kImagesName;
    for (const auto& [name, hashed] :
        { std::pair { QString(ab), true }, std::pair { QStringLiteral("AddressBook.sqlitedb"), false } }) {
        if (!QFile::exists(src.absoluteFilePath(name)))
            continue;
        probeCopyDbThrow(src.absoluteFilePath(name), work.absoluteFilePath(ab));
        const QString images = hashed ? img : QStringLiteral("AddressBookImages.sqlitedb");
        if (QFile::exists(src.absoluteFilePath(images)))
            probeCopyDbThrow(src.absoluteFilePath(images), work.absoluteFilePath(img));
        return true;
    }
    return false;
}

void stageBackup(const QString& dir, const QDir& work)
{
    std::unique_ptr<BackupManifest> m = ProbeBackup::openThrow(dir, true, true);
    if (!m->addressBookNode)
        fail(QStringLiteral("the backup holds no Library/AddressBook/AddressBook.sqlitedb"));
    BackupCacheCopy::copyWithLogThrow(
        *m, m->addressBookNode, work.absoluteFilePath(IOSContactsDb::kAddressBookName));
    if (m->addressBookImagesNode)
        BackupCacheCopy::copyWithLogThrow(
            *m, m->addressBookImagesNode, work.absoluteFilePath(IOSContactsDb::kImagesName));
}
} // namespace

std::unique_ptr<IContactsDb> ProbeContacts::openCopyThrow(const QString& src, const QDir& work, QString& kind)
{
    ProbeBackup::requireEnterable(src);
    const QFileInfo info(src);
    if (!info.exists())
        fail(QStringLiteral("%1 does not exist").arg(src));
    const QDir dir(info.isDir() ? info.absoluteFilePath() : info.absolutePath());
    const QString store = work.absoluteFilePath(QStringLiteral("contacts.db"));
    kind = QStringLiteral("addressbook");
    // A single file's kind is read from its private copy: the original is never opened.
    if (info.isFile())
        probeCopyDbThrow(info.absoluteFilePath(), store);
    if (info.isFile() && LocalContactsDb::isStoreFile(store)) {
        kind = QStringLiteral("store");
    } else if (info.isFile()) {
        probeMoveDbThrow(store, work.absoluteFilePath(IOSContactsDb::kAddressBookName));
        const QString images = dir.absoluteFilePath(QStringLiteral("AddressBookImages.sqlitedb"));
        if (QFile::exists(images))
            probeCopyDbThrow(images, work.absoluteFilePath(IOSContactsDb::kImagesName));
    } else if (QFile::exists(dir.absoluteFilePath(QStringLiteral("contacts.db")))) {
        probeCopyDbThrow(dir.absoluteFilePath(QStringLiteral("contacts.db")), store);
        kind = QStringLiteral("store");
    } else if (!stageAddressBook(dir, work)) {
        if (!QFile::exists(dir.absoluteFilePath(QStringLiteral("Manifest.db")))
            && !QFile::exists(dir.absoluteFilePath(QStringLiteral("Manifest.mbdb"))))
            fail(QStringLiteral("%1 holds no address book, contacts.db or backup").arg(src));
        stageBackup(dir.absolutePath(), work);
    }
    if (kind == QLatin1String("store"))
        return std::make_unique<LocalContactsDb>(
            store, QSharedPointer<AbsContactCombineRule>(new IOSContactCombineRule));
    return std::make_unique<IOSContactsDb>(work);
}
