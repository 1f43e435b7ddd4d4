#include "app/IdsTranslator.h"
#include "app/ui/DataPageFactory.h"
#include "app/ui/ItemModelBK.h"
#include "app/ui/support/EnglishTexts.h"
#include "app/ui/support/ModalAnswerer.h"
#include "backup/BackupManifest.h"
#include "backup/support/GenBackup.h"
#include "notes_media/ui/BookmarksMainForm.h"
#include "notes_media/ui/FileSysMainForm.h"
#include "notes_media/ui/NotesMainForm.h"
#include "support/TestEnv.h"
#include "support/ui/GuiTestEnv.h"

#include <QAction>
#include <QFile>
#include <QtTest>

// The notes, bookmarks and file tree pages as the main window gets them.
class TestNotesPages : public QObject
{
    Q_OBJECT
    IdsTranslator m_translator;
private Q_SLOTS:
    void initTestCase() { installEnglishTexts(m_translator); }

    void backupPages()
    {
        const QString dir = GenBackup::make({ "--photos", "0", "--videos", "0" });
        BackupManifest m(dir);
        m.readManifestInfo();
        m.parseInfo();
        // The cache folder holds no copy of Bookmarks.db: the page opens with the reader's error.
        ModalAnswerer answerer;
        QWidget parent;
        DataPageFactory::Page bookmarks
            = DataPageFactory::backupPage(ItemModelBK::KindBookmarks, &m, QDir(TestEnv::tempDir()), &parent);
        QVERIFY(qobject_cast<BookmarksMainForm*>(bookmarks.page));
        QVERIFY(bookmarks.savesToLocalDb);
        QCOMPARE(bookmarks.actions.size(), 3);
        QVERIFY(answerer.waitHandled(1));
        DataPageFactory::Page files
            = DataPageFactory::backupPage(ItemModelBK::KindFileSystem, &m, QDir(TestEnv::tempDir()), &parent);
        QVERIFY(qobject_cast<FileSysMainForm*>(files.page));
        QCOMPARE(files.actions.size(), 1);
        QVERIFY(!files.savesToLocalDb);
    }

    void localPagesMakeTheirStores()
    {
        const QDir folder(TestEnv::tempDir());
        QWidget parent;
        DataPageFactory::Page notes = DataPageFactory::localDbPage(ItemModelBK::KindNotes, folder, &parent);
        QVERIFY(qobject_cast<NotesMainForm*>(notes.page));
        QCOMPARE(notes.actions.size(), 1);
        QVERIFY(!notes.savesToLocalDb);
        DataPageFactory::Page bookmarks
            = DataPageFactory::localDbPage(ItemModelBK::KindBookmarks, folder, &parent);
        QVERIFY(qobject_cast<BookmarksMainForm*>(bookmarks.page));
        QCOMPARE(bookmarks.actions.last()->text(), QString("Delete Bookmarks"));
        QVERIFY(GuiTestEnv::pageRead(notes.page));
        QVERIFY(GuiTestEnv::pageRead(bookmarks.page));
        QVERIFY(QFile::exists(folder.absoluteFilePath("notes.db")));
        QVERIFY(QFile::exists(folder.absoluteFilePath("bookmarks.db")));
    }
};

QTEST_MAIN(TestNotesPages)
#include "TestNotesPages.moc"
