#include "app/DataPaths.h"
#include "app/IdsTranslator.h"
#include "app/support/SyntheticBackup.h"
#include "app/ui/LocalDbDescForm.h"
#include "app/ui/MainWindow.h"
#include "app/ui/support/DialogAnswers.h"
#include "app/ui/support/EnglishTexts.h"
#include "app/ui/support/MainWindowTree.h"
#include "app/ui/support/ModalAnswerer.h"
#include "contacts/store/IOSContactCombineRule.h"
#include "contacts/store/LocalContactsDb.h"
#include "contacts/ui/ContactsMainForm.h"
#include "messages/ui/SMSMainForm.h"
#include "support/TestEnv.h"
#include "support/ui/GuiTestEnv.h"

#include <QLayout>
#include <QMessageBox>
#include <QtTest>

using MainWindowTree::actionTexts;
using MainWindowTree::select;
using MainWindowTree::texts;

// The local databases in the main window's tree: listed uncounted, counted when selected, counted
// again after a page saves into one or deletes from it, and deleted.
class TestMainWindowLocalDatabases : public QObject
{
    Q_OBJECT
    IdsTranslator m_english;
    QString m_backups; // a folder of synthetic backups made once

    QString plainBackup() const { return m_backups + "/plain"; }

private Q_SLOTS:
    void initTestCase()
    {
        installEnglishTexts(m_english);
        m_backups = TestEnv::tempDir();
        QVERIFY(SyntheticBackup::make(plainBackup(), { "--demo" }));
    }

    void init()
    {
        g_delDirCascade(g_dataSaveDir().absolutePath());
        QDir(g_dataSaveDir().absolutePath()).removeRecursively();
    }

    void listsLocalDatabasesUncounted()
    {
        g_localDbDir().mkpath("Alpha");
        g_localDbDir().mkpath("Beta");
        MainWindow w;
        QStringList names = texts(w.model().localDbRoot->children);
        names.sort();
        QCOMPARE(names, QStringList({ "Alpha", "Beta" }));
        for (const auto* node : w.model().localDbRoot->children)
            QCOMPARE(node->children.size(), 0);
    }

    void selectingALocalDatabaseCountsIt()
    {
        g_localDbDir().mkpath("Alpha");
        MainWindow w;
        w.resize(1000, 680);
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        auto* node = w.model().localDbRoot->children.first();
        select(w, node);
        QCOMPARE(node->children.size(), 6);
        QCOMPARE(node->children.first()->text, QString("SMS(0)"));
        QVERIFY(qobject_cast<LocalDbDescForm*>(w.currentPage()));
        QTRY_VERIFY(w.currentPage()->isVisible());
        GuiTestEnv::screenshot(&w, "main-window-local-database");
        QCOMPARE(actionTexts(w.treeContextActions()), QStringList({ "Delete local Database" }));

        // A name differing only in case refreshes the same node.
        w.loadLocalDb("ALPHA");
        QCOMPARE(w.model().localDbRoot->children.size(), 1);
        // A new database saved by a page appears.
        g_localDbDir().mkpath("Gamma");
        w.onBackupFinished("Gamma");
        QCOMPARE(w.model().localDbRoot->children.size(), 2);
        QCOMPARE(w.model().localDbRoot->children.last()->children.size(), 6);
    }

    void refreshingTheShownLocalDatabasePage()
    {
        g_localDbDir().mkpath("Alpha");
        MainWindow w;
        auto* node = w.model().localDbRoot->children.first();
        select(w, node);
        select(w, node->children.first());
        QVERIFY(qobject_cast<SMSMainForm*>(w.currentPage()));
        // Recounting changes the counts in place: the page and its node stay.
        QWidget* page = w.currentPage();
        w.loadLocalDb("Alpha");
        QCOMPARE(node->children.size(), 6);
        QCOMPARE(w.currentPage(), page);
        QCOMPARE(w.ui->wdMain->layout()->count(), 1);
    }

    // Every backup page that saves into a local database has the tree recount that database.
    void savingFromEachBackupPageRecountsTheLocalDatabase()
    {
        const QString folder = g_localDbDir().absoluteFilePath("Alpha");
        g_localDbDir().mkpath("Alpha");
        MainWindow w;
        {
            ModalAnswerer answerer;
            DialogAnswers::chooseBackup(answerer, plainBackup());
            w.miLoadiTunesBackup();
        }
        auto* local = w.model().localDbRoot->children.first();
        select(w, local);
        QCOMPARE(local->children.at(1)->text, QString("Contacts(0)"));
        const auto* backup = w.model().bkRoot->children.first();
        int contacts = 0;
        for (int kind : { ItemModelBK::KindSms, ItemModelBK::KindContacts, ItemModelBK::KindCallHistory,
                 ItemModelBK::KindCalendar, ItemModelBK::KindNotes, ItemModelBK::KindBookmarks }) {
            {
                // What a save puts into the database, written here directly.
                LocalContactsDb store(folder + "/contacts.db",
                    QSharedPointer<AbsContactCombineRule>(new IOSContactCombineRule));
                pim::_Contact c(0, "", QString("Person %1").arg(++contacts));
                store.insertContactBase(c);
            }
            const AbsTreeItemModel::_ItemNode* node = nullptr;
            for (const auto* child : backup->children)
                if (child->kind == kind)
                    node = child;
            QVERIFY(node);
            ModalAnswerer answerer;
            select(w, node);
            QVERIFY2(w.currentPage(), qPrintable(node->text));
            QVERIFY(QMetaObject::invokeMethod(w.currentPage(), "backupFinished", Q_ARG(QString, "Alpha")));
            QCOMPARE(local->children.at(1)->text, QString("Contacts(%1)").arg(contacts));
        }
    }

    void deletingOnALocalPageRecountsItsNode()
    {
        const QString folder = g_localDbDir().absoluteFilePath("Alpha");
        g_localDbDir().mkpath("Alpha");
        {
            LocalContactsDb store(
                folder + "/contacts.db", QSharedPointer<AbsContactCombineRule>(new IOSContactCombineRule));
            for (const char* name : { "Ann", "Bob" }) {
                pim::_Contact c(0, "", name);
                store.insertContactBase(c);
            }
        }
        MainWindow w;
        auto* node = w.model().localDbRoot->children.first();
        select(w, node);
        select(w, node->children.at(1));
        QCOMPARE(node->children.at(1)->text, QString("Contacts(2)"));
        QWidget* page = w.currentPage();
        QVERIFY(qobject_cast<ContactsMainForm*>(page));
        {
            LocalContactsDb store(
                folder + "/contacts.db", QSharedPointer<AbsContactCombineRule>(new IOSContactCombineRule));
            store.removeContact(1);
        }
        QVERIFY(QMetaObject::invokeMethod(page, "localDbChanged"));
        QCOMPARE(node->children.at(1)->text, QString("Contacts(1)"));
        QCOMPARE(w.currentPage(), page);
    }

    void deletingALocalDatabase()
    {
        g_localDbDir().mkpath("Alpha");
        MainWindow w;
        auto* node = w.model().localDbRoot->children.first();
        select(w, node);
        {
            ModalAnswerer answerer;
            answerer.answer(QMessageBox::No);
            w.miRemoveLocalDb();
            QCOMPARE(answerer.seen(), QStringList({ "Confirm to delete local Database?" }));
            QCOMPARE(w.model().localDbRoot->children.size(), 1);
            QVERIFY(g_localDbDir().exists("Alpha"));
        }
        {
            ModalAnswerer answerer;
            answerer.answer(QMessageBox::Yes);
            int childrenWhenInfoShown = -1;
            answerer.answerWith([&](QWidget* modal) {
                auto* box = qobject_cast<QMessageBox*>(modal);
                if (!box)
                    return false;
                childrenWhenInfoShown = int(w.model().localDbRoot->children.size());
                return ModalAnswerer::click(box, QMessageBox::Ok);
            });
            w.miRemoveLocalDb();
            QCOMPARE(childrenWhenInfoShown, 1); // the box comes first, then the node goes
            QCOMPARE(w.model().localDbRoot->children.size(), 0);
            QVERIFY(!g_localDbDir().exists("Alpha"));
        }
    }
};

QTEST_MAIN(TestMainWindowLocalDatabases)
#include "TestMainWindowLocalDatabases.moc"
