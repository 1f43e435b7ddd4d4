#include "app/DataPaths.h"
#include "app/IdsTranslator.h"
#include "app/ui/DataPageFactory.h"
#include "app/ui/DataSources.h"
#include "app/ui/ItemModelBK.h"
#include "app/ui/shared/LocalDbSelForm.h"
#include "app/ui/shared/MyTreeView.h"
#include "app/ui/shared/ProgressForm.h"
#include "app/ui/support/EnglishTexts.h"
#include "app/ui/support/ModalAnswerer.h"
#include "backup/BackupManifest.h"
#include "messages/store/MsgAttachment.h"
#include "messages/store/MsgChat.h"
#include "messages/support/MsgFixtures.h"
#include "messages/ui/BackupMMSThread.h"
#include "messages/ui/BubbleViewMgr.h"
#include "messages/ui/ItemModelSMSHandle.h"
#include "messages/ui/ItemModelSms.h"
#include "messages/ui/SMSMainForm.h"
#include "messages/ui/support/MsgUiFixtures.h"
#include "support/TestEnv.h"
#include "support/ui/GuiTestEnv.h"

#include <QAction>
#include <QComboBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QtTest>
#include <unistd.h>

using namespace MsgFixtures;
using namespace MsgUiFixtures;

namespace
{
QStringList texts(const QList<QAction*>& actions)
{
    QStringList t;
    for (const QAction* a : actions)
        t << a->text();
    return t;
}

// A local database folder whose message store holds the generated device messages, beside the
// folder's other stores.
QString makeLocalDb(const QString& source)
{
    const QString folder = TestEnv::tempDir() + "/Local";
    MsgData data = loadFolder(source);
    ProgressForm form;
    BackupMMSThread thread(QDir(folder), _CountryInfo(), data.messages(), form, nullptr);
    if (runQuiet(form, thread) != 1)
        return QString();
    for (const char* other :
        { "file-relay/var/mobile/Library/AddressBook/AddressBook.sqlitedb", "notes.db" }) {
        QFile f(folder + "/" + other);
        QDir().mkpath(QFileInfo(f).absolutePath());
        f.open(QIODevice::WriteOnly);
        f.write("keep");
    }
    return folder;
}

QModelIndex conversationIndex(SMSMainForm& page, int row)
{
    return page.handleModel()->indexOfItemNode(page.handleModel()->roots.at(row));
}
} // namespace

class TestSMSMainForm : public QObject
{
    Q_OBJECT
    IdsTranslator english;
    QString source;

private Q_SLOTS:
    void initTestCase()
    {
        installEnglishTexts(english);
        QString err;
        source = generate("ios6", {}, &err);
        QVERIFY2(!source.isEmpty(), qPrintable(err));
    }

    void damagedDatabaseIsReportedNotFatal()
    {
        const QString folder = TestEnv::tempDir();
        QDir().mkpath(QFileInfo(smsPath(folder)).absolutePath());
        QFile f(smsPath(folder));
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(QByteArray(4096, 'x'));
        f.close();
        // The page stands, empty, its count not made, once the box has said why.
        ModalAnswerer answerer;
        const DataPageFactory::Page page
            = DataPageFactory::localDbPage(ItemModelBK::KindSms, QDir(folder), nullptr);
        const std::unique_ptr<QWidget> owned(page.page);
        QVERIFY(page.page);
        QVERIFY(GuiTestEnv::pageRead(page.page));
        QCOMPARE(answerer.seen().size(), 1);
        QVERIFY2(answerer.seen().first().contains("Cannot open the messages: file is not a database"),
            qPrintable(answerer.seen().first()));
        QCOMPARE(static_cast<SMSMainForm*>(page.page)->lbCount->text(), QString("Total: ?"));
    }

    // A backup's cache folder whose record of damaged copies cannot be read: the messages show, the
    // box says so, and no attachment is taken as whole.
    void unreadableCopyRecordsAreTold()
    {
        const QString folder = TestEnv::tempDir() + "/cache";
        QCOMPARE(QProcess::execute("cp", { "-a", source, folder }), 0);
        QFile records(folder + "/manifest.db");
        QVERIFY(records.open(QIODevice::WriteOnly));
        records.write(QByteArray(4096, 'x'));
        records.close();
        BackupManifest manifest(TestEnv::tempDir());
        ModalAnswerer answerer;
        SMSMainForm page(QDir(folder), &manifest, nullptr);
        QVERIFY(GuiTestEnv::pageRead(&page));
        QCOMPARE(answerer.seen().size(), 1);
        QVERIFY2(answerer.seen().first().contains(
                     "could not be read: file is not a database (" + records.fileName() + ")"),
            qPrintable(answerer.seen().first()));
        QVERIFY(!page.data().messages().isEmpty());
        int copies = 0; // every copy in the folder; the database's name that leads out of it is none
        for (const _MsgAttachment* a : std::as_const(page.data().p()->attachments)) {
            if (!QDir::cleanPath(a->_path).startsWith(folder + "/"))
                continue;
            QVERIFY2(a->_notAsWritten.startsWith("not known to be whole"), qPrintable(a->_path));
            ++copies;
        }
        QVERIFY(copies > 0);
    }

    void actionsOfferedBySource()
    {
        SMSMainForm local(QDir(source), nullptr, nullptr);
        QVERIFY(GuiTestEnv::pageRead(&local));
        QCOMPARE(texts(local.toolbarActions()),
            QStringList({ "Export SMS to iTunes Backup", "Restore SMS to Device", "Extract MMS attachment",
                "Extract Messages to file", "Print Messages", "Delete Messages" }));
        for (const char* icon :
            { ":res/save-to-database.png", ":res/db2i.png", ":res/extract_meida_files.png",
                ":res/mi_export-sms.png", ":res/mi_print.png", ":res/mi_delete.png", ":/res/search.png",
                ":/res/icon_sms-sent.png", ":/res/icon_sms-receive.png", ":/res/imsg-send.png",
                ":/res/imsg-rec.png", ":res/group.png", ":/res/sms_handle.png" })
            QVERIFY2(!QPixmap(QString::fromLatin1(icon)).isNull(), icon);
        BackupManifest manifest(TestEnv::tempDir());
        SMSMainForm backup(QDir(source), &manifest, nullptr);
        QVERIFY(GuiTestEnv::pageRead(&backup));
        QCOMPARE(texts(backup.toolbarActions()),
            QStringList({ "Backup Messages", "Restore SMS to Device", "Extract MMS attachment",
                "Extract Messages to file", "Print Messages" }));
    }

    // The conversation's name over the conversation view: whole up to 25 characters, else its first
    // 25 and "...", never half a character, at any length.
    void conversationTitle_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("shown");
        const QString pair = QString::fromUtf8("\xF0\x9F\x98\x80");
        QTest::newRow("25 characters") << QString(25, 'x') << QString(25, 'x');
        QTest::newRow("26 characters") << QString(26, 'x') << QString(25, 'x') + "...";
        QTest::newRow("pair across the cut") << QString(24, 'x') + pair + "y" << QString(24, 'x') + "...";
        QTest::newRow("accent across the cut") << QString(24, 'x') + "e\u0301y" << QString(24, 'x') + "...";
        QTest::newRow("1 MB") << QString(1 << 20, 'x') << QString(25, 'x') + "...";
    }
    void conversationTitle()
    {
        QFETCH(QString, name);
        QFETCH(QString, shown);
        SMSMainForm page(QDir(source), nullptr, nullptr);
        _MsgChat chat;
        chat.display_name = name;
        page.showSMS({}, &chat);
        QCOMPARE(page.lbConversation->text(), shown);
        page.showSMS({}, nullptr);
    }

    void listsSortingAndSearch()
    {
        SMSMainForm page(QDir(source), nullptr, nullptr);
        QVERIFY(GuiTestEnv::pageRead(&page));
        const int n = expected(source).value("messages").toInt();
        QCOMPARE(page.smsModel()->rowCount(), n);
        QCOMPARE(page.lbCount->text(), QString("Total: %1").arg(n));
        QCOMPARE(page.lbConversation->text(), QString("All messages"));
        QCOMPARE(page.handleModel()->rowCount(), expected(source).value("chats").toInt());
        const auto& msgs = page.smsModel()->messages();
        QVERIFY(msgs.first()->date <= msgs.last()->date);
        QHeaderView* header = page.treeViewSMS->header();
        header->setSortIndicator(0, Qt::DescendingOrder);
        QVERIFY(page.smsModel()->messages().first()->date >= page.smsModel()->messages().last()->date);
        header->setSortIndicator(2, Qt::DescendingOrder); // not a sort column: back to date, oldest first
        QCOMPARE(header->sortIndicatorSection(), 0);
        QCOMPARE(header->sortIndicatorOrder(), Qt::AscendingOrder);
        QVERIFY(page.smsModel()->messages().first()->date <= page.smsModel()->messages().last()->date);

        page.listHandle->setCurrentIndex(conversationIndex(page, 0));
        QVERIFY(page.currentChat());
        QVERIFY(page.smsModel()->rowCount() < n);
        QCOMPARE(page.bubbles()->pageCount(), 1);

        QString keyword;
        for (const _MsgMessage* m : page.smsModel()->messages())
            if (keyword.isEmpty())
                keyword = m->summary().trimmed().left(4);
        QVERIFY(!keyword.isEmpty());
        page.txtSMSKeyword->setText(QStringLiteral("  ") + keyword);
        page.findNextSMS();
        QVERIFY(page.treeViewSMS->currentIndex().isValid());
        // An emoji typed finds the message that holds it, beside 20 MB of other emoji.
        _MsgMessage* last = page.smsModel()->messages().last();
        last->text
            = QString(QStringLiteral("\U0001F600")).repeated(5'000'000) + QStringLiteral(" \U0001F9ED");
        page.treeViewSMS->setCurrentIndex(page.smsModel()->indexOfPos(0));
        page.txtSMSKeyword->setText(QStringLiteral("\U0001F9ED"));
        page.findNextSMS();
        QCOMPARE(page.treeViewSMS->currentIndex().row(), page.smsModel()->rowCount() - 1);
        ModalAnswerer answerer;
        page.txtHandleKeyword->setText("no such contact anywhere");
        QTest::keyClick(page.txtHandleKeyword, Qt::Key_Return);
        QCOMPARE(answerer.seen().size(), 1);
        QVERIFY(answerer.seen().first().contains("no such contact anywhere"));
    }

    void deletingFromALocalDatabase()
    {
        const QString folder = makeLocalDb(source);
        QVERIFY(!folder.isEmpty());
        SMSMainForm page(QDir(folder), nullptr, nullptr);
        QVERIFY(GuiTestEnv::pageRead(&page));
        QSignalSpy changed(&page, &SMSMainForm::localDbChanged);
        const int total = page.data().p()->messages.size();
        // Delete one selected message of the shown conversation: the conversation shows again.
        page.listHandle->setCurrentIndex(conversationIndex(page, 0));
        _MsgChat* chat = page.currentChat();
        const int shown = page.smsModel()->rowCount();
        QVERIFY(shown > 1);
        page.treeViewSMS->setCurrentIndex(page.smsModel()->indexOfPos(0));
        {
            ModalAnswerer answerer;
            answerer.answer(QMessageBox::Yes);
            page.miToolbarDel();
        }
        QTRY_COMPARE(page.smsModel()->rowCount(), shown - 1);
        QCOMPARE(page.currentChat(), chat);
        QCOMPARE(page.data().p()->messages.size(), total - 1);

        // Current row and selection differ: the current conversation goes with its own messages.
        auto* second = static_cast<ItemModelSMSHandle::_HandleItemNode*>(page.handleModel()->roots.at(1));
        const QList<_MsgChat*> freed = second->merge.chats;
        const int freedCount = second->merge.messages().size();
        page.listHandle->setCurrentIndex(conversationIndex(page, 0));
        page.listHandle->selectionModel()->setCurrentIndex(
            conversationIndex(page, 1), QItemSelectionModel::NoUpdate);
        {
            ModalAnswerer answerer;
            answerer.answer(QMessageBox::Yes);
            page.miDelHandle();
        }
        QCOMPARE(page.data().p()->messages.size(), total - 1 - freedCount);
        for (_MsgMessage* m : page.data().messages()) {
            QVERIFY(!freed.contains(m->_chat));
            QVERIFY(!m->_chat || page.data().p()->chats.values().contains(m->_chat));
        }
        QCOMPARE(loadFolder(folder).p()->messages.size(), page.data().p()->messages.size());

        // Nothing selected: delete all takes the message store only.
        page.treeViewSMS->clearSelection();
        page.listHandle->clearSelection();
        {
            ModalAnswerer answerer;
            answerer.answer(QMessageBox::Yes);
            page.miToolbarDel();
            QCOMPARE(answerer.seen().last(), QString("Successfully deleted all Messages."));
        }
        QVERIFY(!QFile::exists(smsPath(folder)));
        QVERIFY(QFile::exists(folder + "/notes.db"));
        QVERIFY(QFile::exists(folder + "/file-relay/var/mobile/Library/AddressBook/AddressBook.sqlitedb"));
        QCOMPARE(page.handleModel()->rowCount(), 0);
        QCOMPARE(page.smsModel()->rowCount(), 0);
        QCOMPARE(changed.count(), 3);

        // The emptied database opens again as an empty page, and deleting all there still works.
        ModalAnswerer answerer;
        const DataPageFactory::Page again
            = DataPageFactory::localDbPage(ItemModelBK::KindSms, QDir(folder), nullptr);
        const std::unique_ptr<QWidget> owned(again.page);
        auto* emptied = qobject_cast<SMSMainForm*>(again.page);
        QVERIFY(emptied);
        QCOMPARE(answerer.seen(), QStringList());
        QCOMPARE(emptied->handleModel()->rowCount(), 0);
        answerer.answer(QMessageBox::Yes);
        emptied->miToolbarDel();
        QCOMPARE(answerer.seen().last(), QString("Successfully deleted all Messages."));
    }

    // The save ends with its text; one that names an attachment saved as it is, although its copy
    // is not what the phone wrote, ends with an error, yet the store it filled is announced.
    void savingABackupsMessagesIntoALocalDatabase_data()
    {
        QTest::addColumn<bool>("damaged"); // the message has an attachment not as the phone wrote it
        QTest::addColumn<QString>("told");
        QTest::newRow("whole") << false << "Successfully backup 1 messages.";
        QTest::newRow("attachment not as written")
            << true
            << "1 of the attachments is not what the phone wrote:\nIMG_7.JPG: The stored copy /bk/ab07 is "
               "not the file the phone wrote: it ends without its padding.\n1 Message was saved, with "
               "those attachments as they are.";
    }
    void savingABackupsMessagesIntoALocalDatabase()
    {
        QFETCH(bool, damaged);
        QFETCH(QString, told);
        BackupManifest manifest(TestEnv::tempDir());
        manifest.DeviceName = "Kid's: <Phone>?";
        SMSMainForm page(QDir(source), &manifest, nullptr);
        QVERIFY(GuiTestEnv::pageRead(&page));
        QSignalSpy finished(&page, &SMSMainForm::backupFinished);
        const QDir store(TestEnv::tempDir() + "/Saved");
        QString preset;
        page.askLocalDb = [&](const QString& name, bool* ok) {
            preset = name;
            *ok = true;
            return store;
        };
        page.treeViewSMS->setCurrentIndex(page.smsModel()->indexOfPos(0));
        if (damaged) {
            QCOMPARE(page.getSMSSelections().size(), 1);
            // Owned by the page's model from here on.
            auto* a = new _MsgAttachment(cutAttachment("ab07", "IMG_7.JPG", 900001));
            QVERIFY(!a->_path.isEmpty());
            page.data().p()->attachments.insert(a->rowid, a);
            page.getSMSSelections().first()->_attachments.insert(a->guid, a);
        }
        {
            ModalAnswerer answerer;
            page.miToolbarBakcup(); // one selected message
            QCOMPARE(answerer.seen().size(), 1);
            // An error box shows its lines as lines of a page.
            QVERIFY2(answerer.seen().first().contains(QString(told).replace('\n', "<br/>")),
                qPrintable(answerer.seen().first()));
        }
        QCOMPARE(preset, QString("Kid's Phone"));
        QCOMPARE(finished.size(), 1);
        QCOMPARE(finished.first().first().toString(), QString("Saved"));
        QCOMPARE(querySql(smsPath(store.absolutePath()), "select count(*) from message"), "1");
    }

    void extractAndExportChooseTheirPaths()
    {
        SMSMainForm page(QDir(source), nullptr, nullptr);
        QVERIFY(GuiTestEnv::pageRead(&page));
        const QString out = TestEnv::tempDir();
        page.askExtractFolder = [&] { return out; };
        ModalAnswerer answerer;
        page.miToolbarExtractMedia();
        QCOMPARE(answerer.seen().size(), 1);
        QVERIFY2(
            answerer.seen().first().startsWith(QString("Successfully extacted %1 MMS attachment")
                                                   .arg(expected(source).value("attachment_files").toInt())),
            qPrintable(answerer.seen().first()));
        QCOMPARE(QDir(out).entryList(QDir::Dirs | QDir::NoDotAndDotDot).size(), 1);
        QVERIFY(QDir(out).entryList(QDir::Dirs | QDir::NoDotAndDotDot).first().startsWith("attachments("));
    }

    // A local database an earlier version saved keeps an attachment under the name of that
    // version's rule: its page reads the file there, as extracting it shows; the page of a backup's
    // cache never reads such a name.
    void localDatabaseOfAnEarlierVersion()
    {
        const QString folder = TestEnv::tempDir() + "/Local";
        QVERIFY(makeStoreWith(folder, { "~/Library/SMS/Attachments/ab/01/G/a:b?.jpg" },
            { "var/mobile/Library/SMS/Attachments/ab/01/G/ab.jpg=earlier" }));
        SMSMainForm page(QDir(folder), nullptr, nullptr);
        QVERIFY(GuiTestEnv::pageRead(&page));
        const QString out = TestEnv::tempDir();
        page.askExtractFolder = [&] { return out; };
        {
            ModalAnswerer answerer;
            page.miToolbarExtractMedia();
            QVERIFY2(answerer.seen().value(0).startsWith("Successfully extacted 1 MMS attachment"),
                qPrintable(answerer.seen().value(0)));
        }
        const QDir made(out + "/" + QDir(out).entryList(QDir::Dirs | QDir::NoDotAndDotDot).value(0));
        QCOMPARE(made.entryList(QDir::Files).size(), 1);
        QCOMPARE(bytesOf(made.absoluteFilePath(made.entryList(QDir::Files).first())), QByteArray("earlier"));

        BackupManifest manifest(TestEnv::tempDir());
        SMSMainForm backup(QDir(folder), &manifest, nullptr);
        QVERIFY(GuiTestEnv::pageRead(&backup));
        QVERIFY(!QFileInfo(backup.data().p()->attachments.value(1)->_path).exists());
    }

    // The page's export runs the export thread: the chosen file is written with every message. What
    // stands where it writes is asked about by that name (a PDF export writes a folder of pages beside
    // the ".pdf" name typed, and adds to it), and the closing box says where the pages went.
    void exportWritesTheChosenFile_data()
    {
        QTest::addColumn<int>("format");
        QTest::addColumn<QString>("typed"); // the name given to the dialog, after the folder
        QTest::addColumn<QString>("standing"); // what stands there first, by its name
        QTest::addColumn<QString>("asked"); // the question about what stands, when one is asked
        QTest::newRow("csv") << 1 << "all" << QString() << QString();
        QTest::newRow("csv over a file") << 1 << "all"
                                         << "all.csv"
                                         << "%1/all.csv already exists. Do you want to replace it?";
        QTest::newRow("pdf beside a file of the typed name") << 2 << "all.pdf"
                                                             << "all.pdf" << QString();
        QTest::newRow("pdf into its folder") << 2 << "all.pdf"
                                             << "all-pdf/"
                                             << "The folder %1/all-pdf already exists. The pages are added "
                                                "to it; nothing in it is replaced. Do you want to go on?";
    }
    void exportWritesTheChosenFile()
    {
        QFETCH(int, format);
        QFETCH(QString, typed);
        QFETCH(QString, standing);
        QFETCH(QString, asked);
        SMSMainForm page(QDir(source), nullptr, nullptr);
        QVERIFY(GuiTestEnv::pageRead(&page));
        const QString out = TestEnv::tempDir();
        QVERIFY(standing.isEmpty()
            || (standing.endsWith('/') ? QDir().mkpath(out + "/" + standing)
                                       : TestEnv::plant(out + "/" + standing, "kept", ::getuid())));
        page.askExportPath = [&](const QString&, const QString& filters, QString* selected) {
            *selected = filters.split(";;").at(format);
            return out + "/" + typed;
        };
        ModalAnswerer answerer;
        if (!asked.isEmpty())
            answerer.answer(QMessageBox::Yes);
        page.miToolbarExport();
        QStringList seen = answerer.seen();
        QCOMPARE(seen.size(), asked.isEmpty() ? 1 : 2);
        if (!asked.isEmpty())
            QCOMPARE(seen.takeFirst(), asked.arg(out));
        QVERIFY2(seen.first().startsWith("Successfully extracted"), qPrintable(seen.first()));
        QVERIFY(
            format != 2 || seen.first().endsWith("<br/>The pages are in the folder " + out + "/all-pdf."));
        QVERIFY(!standing.endsWith(".pdf") || bytesOf(out + "/" + standing) == "kept");
        QFile written(format == 1 ? out + "/all.csv" : out + "/all-pdf");
        QVERIFY(format == 1 ? written.size() > 100 : QDir(written.fileName()).count() > 2);
    }

    void exportPaths_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<int>("format");
        QTest::addColumn<QString>("path");
        QTest::newRow("text without suffix") << "/h/mms" << 0 << "/h/mms.txt";
        QTest::newRow("text keeps a csv suffix") << "/h/a.csv" << 0 << "/h/a.csv";
        QTest::newRow("csv without suffix") << "/h/mms" << 1 << "/h/mms.csv";
        QTest::newRow("pdf with two dots") << "/h/a.b.pdf" << 2 << "/h/a-pdf";
        QTest::newRow("html without suffix") << "/h/mms" << 3 << "/h/mms-html";
        QTest::newRow("unknown format") << "/h/mms" << 4 << "";
    }

    void exportPaths()
    {
        QFETCH(QString, name);
        QFETCH(int, format);
        QFETCH(QString, path);
        QCOMPARE(SMSMainForm::exportPath(name, format), path);
    }

    void realDatabasesShowTheirMessages_data()
    {
        QTest::addColumn<QString>("fixture");
        QTest::addColumn<int>("messages");
        QTest::newRow("iOS 13 (magnet)") << "magnet-ctf-2020-sms/sms.db" << 105;
        QTest::newRow("iOS 7 (otapki)") << "otapki-iphone/HomeDomain/Library/SMS/sms.db" << -1;
    }

    void realDatabasesShowTheirMessages()
    {
        QM_REQUIRE_SHARED();
        QFETCH(QString, fixture);
        QFETCH(int, messages);
        const QString folder = cacheFolderWith(TestEnv::realFixture(fixture));
        SMSMainForm page(QDir(folder), nullptr, nullptr);
        QVERIFY(GuiTestEnv::pageRead(&page));
        if (messages >= 0)
            QCOMPARE(page.smsModel()->rowCount(), messages);
        QVERIFY(page.smsModel()->rowCount() > 0);
        QVERIFY(page.handleModel()->rowCount() > 0);
        for (int row = 0; row < page.smsModel()->rowCount(); ++row)
            QVERIFY(!page.smsModel()->data(page.smsModel()->index(row, 0)).toString().isEmpty());
    }

    void importingTheComputersMessages()
    {
        QM_REQUIRE_SHARED();
        const QString chatDb = QDir::home().absoluteFilePath("Library/Messages/chat.db");
        QDir().mkpath(QFileInfo(chatDb).absolutePath());
        QVERIFY(QFile::copy(TestEnv::realFixture("imessagedb/chat.db"), chatDb));
        QFile::setPermissions(chatDb, QFile::ReadOwner | QFile::WriteOwner);
        ModalAnswerer answerer;
        QString preset;
        answerer.answerWith([&](QWidget* modal) {
            auto* dlg = qobject_cast<LocalDbSelForm*>(modal);
            if (!dlg)
                return false;
            preset = dlg->cbLocalDbNames->currentText();
            dlg->cbLocalDbNames->setEditText("From the Mac");
            dlg->btnOK->click();
            return true;
        });
        QVERIFY(DataPageFactory::importMacMessagesThrow(nullptr));
        QCOMPARE(preset, QString("MAC_Messages_Backup"));
        QCOMPARE(DataPageFactory::lastImportedDbName(), QString("From the Mac"));
        const QDir store(g_localDbDir().absoluteFilePath("From the Mac"));
        SMSMainForm page(store, nullptr, nullptr);
        QVERIFY(GuiTestEnv::pageRead(&page));
        QCOMPARE(page.smsModel()->rowCount(), 2);
        QCOMPARE(DataSources::countLocalDbMessages(store), qint64(2));
    }

    void pageScreenshot()
    {
        QM_REQUIRE_SHARED();
        const QString folder = cacheFolderWith(TestEnv::realFixture("magnet-ctf-2020-sms/sms.db"));
        SMSMainForm page(QDir(folder), nullptr, nullptr);
        QVERIFY(GuiTestEnv::pageRead(&page));
        page.resize(1100, 700);
        page.show();
        QVERIFY(QTest::qWaitForWindowExposed(&page));
        const int loads = page.bubbles()->loadCount();
        page.listHandle->setCurrentIndex(conversationIndex(page, 0));
        QTRY_VERIFY_WITH_TIMEOUT(page.bubbles()->loadCount() > loads, 20000);
        QTest::qWait(500);
        GuiTestEnv::screenshot(&page, "messages-page");
    }
};

QTEST_MAIN(TestSMSMainForm)
#include "TestSMSMainForm.moc"
