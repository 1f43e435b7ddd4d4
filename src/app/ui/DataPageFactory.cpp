#include "app/ui/DataPageFactory.h"

#include "app/ItemModelBK.h"
#include "app/ui/NotAvailableForm.h"
#include "app/ui/Tips.h"
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
    Q_UNUSED(manifest);
    Q_UNUSED(dataDir);
    Page page;
    // The views of each kind plug in here as they are built.
    page.page = new NotAvailableForm(kind, kindTitle(kind), parent);
    return page;
}

DataPageFactory::Page DataPageFactory::localDbPage(int kind, const QDir& folder, QWidget* parent)
{
    Q_UNUSED(folder);
    Page page;
    page.page = new NotAvailableForm(kind, kindTitle(kind), parent);
    return page;
}

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
