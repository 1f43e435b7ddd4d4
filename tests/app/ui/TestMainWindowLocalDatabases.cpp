#include "app/DataPaths.h"
#include "app/IdsTranslator.h"
#include "app/sqlite/Sqlite3DB.h"
#include "app/support/SyntheticBackup.h"
#include "app/ui/DataSources.h"
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

#include <QFile>
#include <QFileInfo>
#include <QLabel>
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

    // The path of store in the local database "Alpha", whose stores are made, after damage (see
    // storesOfALocalDatabase_data); empty when the damage could not be done.
    static QString damagedStore(const QString& store, const QString& damage)
    {
        const QDir folder(g_localDbDir().absoluteFilePath("Alpha"));
        folder.mkpath(".");
        DataSources::countLocalDb(folder, true); // makes every store
        const QString path = folder.absoluteFilePath(store);
        if (damage == "bytes" || damage == "empty") {
            QFile f(path);
            const QByteArray bytes = damage == "empty" ? QByteArray() : QByteArray(4096, 'x');
            return f.open(QIODevice::WriteOnly | QIODevice::Truncate) && f.write(bytes) == bytes.size()
                ? path
                : QString();
        }
        Sqlite3DB db;
        db.openThrow(path, SQLITE_OPEN_READWRITE);
        db.executeThrow(damage);
        return path;
    }

    // Shows the window and selects its first local database, which counts it; null when the window
    // is not shown.
    static AbsTreeItemModel::_ItemNode* shownLocalDb(MainWindow& w)
    {
        w.resize(1000, 680);
        w.show();
        if (!QTest::qWaitForWindowExposed(&w))
            return nullptr;
        auto* node = w.model().localDbRoot->children.first();
        select(w, node);
        return node;
    }

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
        auto* node = shownLocalDb(w);
        QVERIFY(node);
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

    // A store of a local database that cannot be read shows "?" in the tree and on the description
    // page, never 0, and the count logs its file and why; one that is empty counts 0.
    void storesOfALocalDatabase_data()
    {
        QTest::addColumn<QString>("store"); // its file in the local database folder
        QTest::addColumn<int>("row"); // its kind's row in the tree
        QTest::addColumn<QString>("damage"); // SQL run in the store; "bytes": not a database; "empty"
        QTest::addColumn<QString>("why"); // what the log says after its file; empty: counted 0
        const QString sms = "file-relay/var/mobile/Library/SMS/sms.db";
        const QList<QPair<QString, int>> stores { { sms, 0 }, { "contacts.db", 1 }, { "calendars.db", 2 },
            { "notes.db", 3 }, { "bookmarks.db", 4 }, { "calls.db", 5 } };
        for (const auto& [store, row] : stores)
            QTest::addRow("%s not a database", qPrintable(QFileInfo(store).fileName()))
                << store << row << "bytes"
                << "file is not a database";
        QTest::newRow("sms.db a table of a module no build has")
            << sms << 0
            << "alter table message rename to Stored; pragma writable_schema=1; insert into sqlite_master "
               "values('table', 'message', 'message', 0, 'CREATE VIRTUAL TABLE message USING nosuchmod(x)')"
            << "no such module: nosuchmod";
        // The stores whose open does not make a table they lack (those of notes and bookmarks do).
        const struct {
            const char* store;
            int row;
            const char* table;
        } made[]
            = { { "contacts.db", 1, "contact" }, { "calendars.db", 2, "events" }, { "calls.db", 5, "call" } };
        for (const auto& m : made)
            QTest::addRow("%s a table missing", m.store)
                << QString(m.store) << m.row << QString("drop table ") + m.table
                << QString("no such table: ") + m.table;
        QTest::newRow("notes.db a schema the parser rejects")
            << "notes.db" << 3
            << "pragma writable_schema=1; update sqlite_master set sql='CREATE TABLE notes(' where "
               "name='notes'"
            << "malformed database schema (notes)";
        // A store whose making a kill or a full disk stopped (an empty file) is made: it holds none.
        for (const auto& m : made)
            QTest::addRow("%s an empty file", m.store) << QString(m.store) << m.row << "empty" << QString();
    }
    void storesOfALocalDatabase()
    {
        QFETCH(QString, store);
        QFETCH(int, row);
        QFETCH(QString, damage);
        QFETCH(QString, why);
        const QString path = damagedStore(store, damage);
        QVERIFY(!path.isEmpty());
        // Counted for the tree, then for the description page, which does not show the calls.
        const QString logged = QRegularExpression::escape(QDir::toNativeSeparators(path) + " not counted: ");
        for (int i = why.isEmpty() ? 0 : (row == 5 ? 1 : 2); i > 0; --i)
            QTest::ignoreMessage(
                QtWarningMsg, QRegularExpression(logged + ".*" + QRegularExpression::escape(why)));
        MainWindow w;
        auto* node = shownLocalDb(w);
        QVERIFY(node);
        QStringList counts;
        for (const auto* kind : node->children)
            counts << kind->text.section('(', 1).chopped(1);
        QStringList expected(6, "0");
        expected[row] = why.isEmpty() ? "0" : "?";
        QCOMPARE(counts, expected);
        auto* page = qobject_cast<LocalDbDescForm*>(w.currentPage());
        QVERIFY(page);
        QStringList shown;
        for (const QLabel* label : page->countLabels)
            shown << label->text();
        QCOMPARE(shown, expected.mid(0, 5));
        QTRY_VERIFY(page->isVisible());
        GuiTestEnv::screenshot(
            &w, "main-window-local-database-" + QString(QTest::currentDataTag()).replace(' ', '-'));
        // Its page says why, and counts what it could not read as not known; an empty one as none.
        ModalAnswerer answerer;
        select(w, node->children.at(row));
        if (why.isEmpty())
            QCOMPARE(answerer.seen(), QStringList());
        else
            QVERIFY2(answerer.seen().value(0).contains(why.toHtmlEscaped()),
                qPrintable(answerer.seen().join('\n')));
        if (row == 0)
            return; // a message page that could not read its store is not shown
        QVERIFY(w.currentPage());
        QCOMPARE(
            w.currentPage()->findChild<QLabel*>("lbCount")->text().back(), QChar(why.isEmpty() ? '0' : '?'));
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
