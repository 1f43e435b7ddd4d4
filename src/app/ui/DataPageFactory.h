#pragma once

#include <QDir>
#include <QList>

class BackupManifest;
class QAction;
class QWidget;

// The one place where the data views plug into the main window: the page of each data kind over
// a backup's cache folder or over a local database folder. A kind without a page for its source
// (voicemail, recordings, files, photos and videos of a local database) gets none, and the window
// shows its start page.
class DataPageFactory
{
public:
    struct Page {
        QWidget* page = nullptr;
        // The page's actions for the tool bar (those with an icon) and the tree's context menu.
        QList<QAction*> actions;
        // The page can save into a local database and announces it with backupFinished(QString).
        bool savesToLocalDb = false;
    };

    static Page backupPage(int kind, BackupManifest* manifest, const QDir& dataDir, QWidget* parent);
    static Page localDbPage(int kind, const QDir& folder, QWidget* parent);

    // Imports the messages of the computer's own Messages database into a local database the user
    // chooses; false when nothing was imported. The folder name is then lastImportedDbName().
    static bool importMacMessagesThrow(QWidget* parent);
    static QString lastImportedDbName();

    // Where one page is built: over a backup (manifest set, dir its cache folder) or over a local
    // database folder (manifest null, dir that folder).
    struct Source {
        BackupManifest* manifest = nullptr;
        QDir dir;
        bool isBackup() const { return manifest != nullptr; }
    };

private:
    // One builder per data kind, each in its own block of DataPageFactory.cpp.
    static Page messagesPage(const Source& src, QWidget* parent);
    static Page contactsPage(const Source& src, QWidget* parent);
    static Page callHistoryPage(const Source& src, QWidget* parent);
    static Page calendarPage(const Source& src, QWidget* parent);
    static Page notesPage(const Source& src, QWidget* parent);
    static Page bookmarksPage(const Source& src, QWidget* parent);
    static Page fileSystemPage(const Source& src, QWidget* parent);
    static Page voicemailPage(const Source& src, QWidget* parent);
    static Page recordingsPage(const Source& src, QWidget* parent);
    static Page photosPage(int kind, const Source& src, QWidget* parent);
    static Page pageFor(int kind, const Source& src, QWidget* parent);
};
