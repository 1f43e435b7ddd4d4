#include "app/ui/DataPageFactory.h"

#include "app/ui/ItemModelBK.h"
#include "app/ui/shared/LocalDbSelForm.h"
#include "app/ui/shared/ProgressForm.h"
#include "app/ui/shared/Tips.h"
#include "app/ui/shared/WorkerEnd.h"
#include "backup/BackupManifest.h"
#include "calls_calendars/IOSCalendarDb.h"
#include "calls_calendars/IOSCallHistoryDb.h"
#include "calls_calendars/LocalCalendarsDb.h"
#include "calls_calendars/LocalCallHistoryDb.h"
#include "calls_calendars/ui/CalendarMainForm.h"
#include "calls_calendars/ui/CallHistoryMainForm.h"
#include "contacts/store/IOSContactCombineRule.h"
#include "contacts/store/IOSContactsDb.h"
#include "contacts/store/LocalContactsDb.h"
#include "contacts/ui/ContactsMainForm.h"
#include "messages/store/MacMessagingDb.h"
#include "messages/store/MsgData.h"
#include "messages/ui/BackupMMSThread.h"
#include "messages/ui/SMSMainForm.h"
#include "notes_media/IOSBookmarkDb.h"
#include "notes_media/IOSNotesDb.h"
#include "notes_media/IOSRecordingDb.h"
#include "notes_media/IOSVoicemailDb.h"
#include "notes_media/LocalBookmarkDb.h"
#include "notes_media/LocalNotesDb.h"
#include "notes_media/ui/BookmarksMainForm.h"
#include "notes_media/ui/FileSysMainForm.h"
#include "notes_media/ui/NotesMainForm.h"
#include "notes_media/ui/PhotosMainForm.h"
#include "notes_media/ui/RecordingMainForm.h"
#include "notes_media/ui/VoicemailMainForm.h"

#include <QCoreApplication>

namespace
{

// The page of a data view with its tool-bar actions; saves is whether it saves into a local database.
template <class Form> DataPageFactory::Page formPage(Form* form, bool saves)
{
    DataPageFactory::Page page;
    page.page = form;
    page.actions = form->toolbarActions();
    page.savesToLocalDb = saves;
    return page;
}

QString g_lastImportedDbName;

} // namespace

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
        return src.isBackup() ? fileSystemPage(src, parent) : Page();
    case ItemModelBK::KindVoicemail:
        return src.isBackup() ? voicemailPage(src, parent) : Page();
    case ItemModelBK::KindRecordings:
        return src.isBackup() ? recordingsPage(src, parent) : Page();
    case ItemModelBK::KindPhotos:
    case ItemModelBK::KindVideos:
        return src.isBackup() ? photosPage(kind, src, parent) : Page();
    default:
        return Page(); // no page: the start page is shown
    }
}

// ---- Messages ----

DataPageFactory::Page DataPageFactory::messagesPage(const Source& src, QWidget* parent)
{
    Page page;
    try {
        page = formPage(new SMSMainForm(src.dir, src.manifest, parent), src.isBackup());
    } catch (const std::exception& e) {
        // An unreadable or damaged message database is reported; the program goes on.
        Tips::plainError(QCoreApplication::translate("SMSMainForm", "IDS_CAN_NOT_OPEN_MESSAGES_%1")
                             .arg(QString::fromUtf8(e.what())));
    }
    return page;
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
    return formPage(form, src.isBackup());
}

// ---- Call history ----

DataPageFactory::Page DataPageFactory::callHistoryPage(const Source& src, QWidget* parent)
{
    QSharedPointer<ICallHistoryDb> db;
    if (src.isBackup())
        db.reset(new IOSCallHistoryDb(src.dir, src.manifest->IsEncrypted));
    else
        db.reset(new LocalCallHistoryDb(src.dir.absoluteFilePath(QStringLiteral("calls.db"))));
    auto* form = new CallHistoryMainForm(src.manifest, db, parent);
    return formPage(form, src.isBackup());
}

// ---- Calendars ----

DataPageFactory::Page DataPageFactory::calendarPage(const Source& src, QWidget* parent)
{
    QSharedPointer<ICalendarDb> db;
    if (src.isBackup())
        db.reset(new IOSCalendarDb(src.manifest, src.dir));
    else
        db.reset(new LocalCalendarsDb(src.dir.absoluteFilePath(QStringLiteral("calendars.db"))));
    auto* form = new CalendarMainForm(db, src.manifest, parent);
    return formPage(form, src.isBackup());
}

// ---- Notes ----

DataPageFactory::Page DataPageFactory::notesPage(const Source& src, QWidget* parent)
{
    QSharedPointer<INotesDb> source;
    if (src.isBackup())
        source.reset(new IOSNotesDb(src.manifest, src.dir));
    else
        source.reset(new LocalNotesDb(src.dir.absoluteFilePath(QStringLiteral("notes.db"))));
    auto* form = new NotesMainForm(source, src.manifest, parent);
    return formPage(form, src.isBackup());
}

// ---- Bookmarks ----

DataPageFactory::Page DataPageFactory::bookmarksPage(const Source& src, QWidget* parent)
{
    QSharedPointer<IBookmarkDb> source;
    if (src.isBackup())
        source.reset(new IOSBookmarkDb(src.manifest, src.dir));
    else
        source.reset(new LocalBookmarkDb(src.dir.absoluteFilePath(QStringLiteral("bookmarks.db"))));
    auto* form = new BookmarksMainForm(source, src.manifest, parent);
    return formPage(form, src.isBackup());
}

// ---- Backup file tree ----

DataPageFactory::Page DataPageFactory::fileSystemPage(const Source& src, QWidget* parent)
{
    auto* form = new FileSysMainForm(src.manifest, parent);
    return formPage(form, false);
}

// ---- Voicemail and recordings ----

DataPageFactory::Page DataPageFactory::voicemailPage(const Source& src, QWidget* parent)
{
    QSharedPointer<IOSVoicemailDb> source(new IOSVoicemailDb(src.manifest, src.dir));
    return formPage(new VoicemailMainForm(src.manifest, source, parent), false);
}

DataPageFactory::Page DataPageFactory::recordingsPage(const Source& src, QWidget* parent)
{
    QSharedPointer<IOSRecordingDb> source(new IOSRecordingDb(src.manifest, src.dir));
    return formPage(new RecordingMainForm(src.manifest, source, parent), false);
}

// ---- Photos and videos ----

DataPageFactory::Page DataPageFactory::photosPage(int kind, const Source& src, QWidget* parent)
{
    const QList<BackupManifest::_FileNode*>& list
        = kind == ItemModelBK::KindVideos ? src.manifest->videoList : src.manifest->photoList;
    const QList<const BackupManifest::_FileNode*> files(list.begin(), list.end());
    auto* form = new PhotosMainForm(src.manifest, files, src.dir, parent);
    form->setShowsVideos(kind == ItemModelBK::KindVideos);
    return formPage(form, false);
}

// ---- Import of the computer's own messages ----

bool DataPageFactory::importMacMessagesThrow(QWidget* parent)
{
    g_lastImportedDbName.clear();
    // Read first: a Messages database that cannot be read ends here with the reader's text.
    MacMessagingDb db(MacMessagingDb::defaultFolder());
    MsgData data;
    db.messages(data, 0);
    LocalDbSelForm dlg(parent, QStringLiteral("MAC_Messages_Backup"));
    if (dlg.exec() != 1)
        return false;
    ProgressForm form(QCoreApplication::translate("MainWindow", "Backing up Messages..."), parent);
    BackupMMSThread thread(dlg.dbDir, _CountryInfo(), data.messages(), form, parent);
    thread.start(QThread::InheritPriority);
    const int result = form.exec();
    // The thread reads the records of data: it must have ended before they go.
    WorkerEnd::waitFor(thread, form.cancelled.token(), parent);
    if (result != 1 || form.cancelled)
        return false;
    g_lastImportedDbName = dlg.dbDir.dirName();
    return true;
}

QString DataPageFactory::lastImportedDbName()
{
    return g_lastImportedDbName;
}
