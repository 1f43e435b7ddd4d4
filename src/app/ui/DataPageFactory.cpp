#include "app/ui/DataPageFactory.h"

#include "app/ui/ItemModelBK.h"
#include "app/ui/NotAvailableForm.h"
#include "app/ui/shared/Tips.h"
#include "contacts/store/IOSContactCombineRule.h"
#include "contacts/store/IOSContactsDb.h"
#include "contacts/store/LocalContactsDb.h"
#include "contacts/ui/ContactsMainForm.h"
#include "messages/store/MacMessagingDb.h"
#include "messages/store/MsgData.h"

#include <QCoreApplication>

namespace
{

QString g_lastImportedDbName;

} // namespace

QString DataPageFactory::kindTitle(int kind)
{
    switch (kind) {
    case ItemModelBK::KindSms:
        return QStringLiteral("SMS");
    case ItemModelBK::KindContacts:
        return QStringLiteral("Contacts");
    case ItemModelBK::KindVoicemail:
        return QStringLiteral("Voicemail");
    case ItemModelBK::KindCalendar:
        return QStringLiteral("Calendar");
    case ItemModelBK::KindNotes:
        return QStringLiteral("Notes");
    case ItemModelBK::KindCallHistory:
        return QStringLiteral("Call History");
    case ItemModelBK::KindRecordings:
        return QStringLiteral("Recordings");
    case ItemModelBK::KindBookmarks:
        return QStringLiteral("Bookmarks");
    case ItemModelBK::KindFileSystem:
        return QStringLiteral("File System");
    case ItemModelBK::KindPhotos:
        return QStringLiteral("Photos");
    case ItemModelBK::KindVideos:
        return QStringLiteral("Videos");
    default:
        return QString();
    }
}

DataPageFactory::Page DataPageFactory::backupPage(
    int kind, BackupManifest* manifest, const QDir& dataDir, QWidget* parent)
{
    return pageFor(kind, Source { manifest, dataDir }, parent);
}

DataPageFactory::Page DataPageFactory::localDbPage(int kind, const QDir& folder, QWidget* parent)
{
    return pageFor(kind, Source { nullptr, folder }, parent);
}

DataPageFactory::Page DataPageFactory::pageFor(int kind, const Source& src, QWidget* parent)
{
    switch (kind) {
    case ItemModelBK::KindSms:
        return messagesPage(src, parent);
    case ItemModelBK::KindContacts:
        return contactsPage(src, parent);
    case ItemModelBK::KindCallHistory:
        return callHistoryPage(src, parent);
    case ItemModelBK::KindCalendar:
        return calendarPage(src, parent);
    case ItemModelBK::KindNotes:
        return notesPage(src, parent);
    case ItemModelBK::KindBookmarks:
        return bookmarksPage(src, parent);
    case ItemModelBK::KindFileSystem:
        return src.isBackup() ? fileSystemPage(src, parent) : notAvailablePage(kind, parent);
    default:
        return notAvailablePage(kind, parent);
    }
}

DataPageFactory::Page DataPageFactory::notAvailablePage(int kind, QWidget* parent)
{
    Page page;
    page.page = new NotAvailableForm(kind, kindTitle(kind), parent);
    return page;
}

// ---- Messages ----

DataPageFactory::Page DataPageFactory::messagesPage(const Source& src, QWidget* parent)
{
    Q_UNUSED(src);
    return notAvailablePage(ItemModelBK::KindSms, parent);
}

// ---- Contacts ----

DataPageFactory::Page DataPageFactory::contactsPage(const Source& src, QWidget* parent)
{
    QSharedPointer<IContactsDb> db;
    if (src.isBackup())
        db.reset(new IOSContactsDb(src.dir));
    else
        db.reset(new LocalContactsDb(src.dir.absoluteFilePath(QStringLiteral("contacts.db")),
            QSharedPointer<AbsContactCombineRule>(new IOSContactCombineRule)));
    auto* form = new ContactsMainForm(db, src.manifest, parent);
    Page page;
    page.page = form;
    page.actions = form->toolbarActions();
    page.savesToLocalDb = src.isBackup();
    return page;
}

// ---- Call history ----

DataPageFactory::Page DataPageFactory::callHistoryPage(const Source& src, QWidget* parent)
{
    Q_UNUSED(src);
    return notAvailablePage(ItemModelBK::KindCallHistory, parent);
}

// ---- Calendars ----

DataPageFactory::Page DataPageFactory::calendarPage(const Source& src, QWidget* parent)
{
    Q_UNUSED(src);
    return notAvailablePage(ItemModelBK::KindCalendar, parent);
}

// ---- Notes ----

DataPageFactory::Page DataPageFactory::notesPage(const Source& src, QWidget* parent)
{
    Q_UNUSED(src);
    return notAvailablePage(ItemModelBK::KindNotes, parent);
}

// ---- Bookmarks ----

DataPageFactory::Page DataPageFactory::bookmarksPage(const Source& src, QWidget* parent)
{
    Q_UNUSED(src);
    return notAvailablePage(ItemModelBK::KindBookmarks, parent);
}

// ---- Backup file tree ----

DataPageFactory::Page DataPageFactory::fileSystemPage(const Source& src, QWidget* parent)
{
    Q_UNUSED(src);
    return notAvailablePage(ItemModelBK::KindFileSystem, parent);
}

// ---- Import of the computer's own messages ----

bool DataPageFactory::importMacMessagesThrow(QWidget* parent)
{
    Q_UNUSED(parent);
    g_lastImportedDbName.clear();
    // Read first: a Messages database that cannot be read ends here with the reader's text.
    MacMessagingDb db(MacMessagingDb::defaultFolder());
    MsgData data;
    db.messages(data, 0);
    // Saving messages into a local database comes with the message views; until then nothing is
    // chosen, so no empty local database folder is made.
    Tips::info(QCoreApplication::translate("MainWindow", "IDS_FEATURE_NOT_AVAILABLE_YET"));
    return false;
}

QString DataPageFactory::lastImportedDbName()
{
    return g_lastImportedDbName;
}
