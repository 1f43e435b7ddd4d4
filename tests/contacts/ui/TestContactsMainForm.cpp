#include "app/DataPaths.h"
#include "app/IdsTranslator.h"
#include "app/ui/shared/LocalDbSelForm.h"
#include "app/ui/shared/MyTreeView.h"
#include "app/ui/support/DialogAnswers.h"
#include "app/ui/support/EnglishTexts.h"
#include "app/ui/support/ModalAnswerer.h"
#include "backup/BackupManifest.h"
#include "contacts/store/IOSContactCombineRule.h"
#include "contacts/store/LocalContactsDb.h"
#include "contacts/support/ExportFixtures.h"
#include "contacts/ui/ContactDisplayer.h"
#include "contacts/ui/ContactsMainForm.h"
#include "support/ForeignDisk.h"
#include "support/TestEnv.h"
#include "support/ui/GuiTestEnv.h"
#include "support/ui/TickGaps.h"

#include <QAction>
#include <QComboBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QSplitter>
#include <QTreeView>
#include <QtTest>
#include <atomic>
#include <thread>

using ExportFixtures::contact;

namespace
{
class ListSource : public IContactsDb
{
public:
    explicit ListSource(QList<pim::_Contact> list, bool fail = false)
        : m_list(std::move(list))
        , m_fail(fail)
    {
    }
    QList<pim::_Contact> contacts() override
    {
        if (m_fail)
            throw std::runtime_error("Cannot find AddressBook.sqlitedb");
        return m_list;
    }

private:
    QList<pim::_Contact> m_list;
    bool m_fail;
};

QList<pim::_Contact> people()
{
    return { contact("Zoe Quinn", { { 3, { { "data1", "+1 (555) 010-0001" }, { "data2", 2 } } } }),
        contact("Ann Lee",
            { { 1, { { "data2", "Ann" }, { "data3", "Lee" } } },
                { 2, { { "data15", ExportFixtures::png(96, 128) } } },
                { 3, { { "data1", "+44 20 7946 0018" }, { "data2", 2 } } },
                { 3, { { "data1", "020 7946 0000" }, { "data2", 3 } } },
                { 4, { { "data1", "ann.lee@example.com" }, { "data2", 2 } } },
                { 5, { { "data1", "Annie" } } },
                { 6, { { "data1", "1985-03-12T00:00:00" }, { "data2", 3 } } },
                { 10, { { "data1", "Acme & Sons" }, { "data4", "Engineer" }, { "data5", "Research" } } },
                { 12,
                    { { "data4", "1 Main Street" }, { "data7", "Springfield" }, { "data9", "12345" },
                        { "data2", 1 }, { "data1", "1 Main Street\nSpringfield 12345" } } },
                { 13, { { "data1", "https://example.com/ann" }, { "data2", 1 } } },
                { 9, { { "data1", "Met at the <b>conference</b>.\nLikes tea." } } } }),
        contact("bob", { { 4, { { "data1", "bob@example.org" } } } }),
        contact("Carl Jung", { { 9, { { "data1", "Zurich" } } } }) };
}

QStringList texts(const QList<QAction*>& actions)
{
    QStringList t;
    for (QAction* a : actions)
        t.append(a->text());
    return t;
}

void selectRow(ContactsMainForm& page, int row,
    QItemSelectionModel::SelectionFlags flags = QItemSelectionModel::ClearAndSelect)
{
    page.ui->treeContacts->selectionModel()->select(
        page.model.index(row, 0), flags | QItemSelectionModel::Rows);
}
} // namespace

class TestContactsMainForm : public QObject
{
    Q_OBJECT
    IdsTranslator m_translator;

private slots:
    void initTestCase() { installEnglishTexts(m_translator); }

    void listCountAndCard()
    {
        ContactsMainForm page(QSharedPointer<IContactsDb>(new ListSource(people())), nullptr);
        QVERIFY(GuiTestEnv::pageRead(&page));
        page.resize(1000, 600);
        page.show();
        QVERIFY(QTest::qWaitForWindowExposed(&page));
        QCOMPARE(page.ui->lbCount->text(), QString("Total:4"));
        QCOMPARE(page.model.data(page.model.index(0, 0)).toString(), QString("Ann Lee"));
        QVERIFY(qAbs(page.ui->splitter->sizes().first() - 600) <= 2);
        QCOMPARE(page.ui->treeContacts->header()->sectionSize(0), 230);
        selectRow(page, 0);
        QVERIFY(page.ui->wdContactInfo->hasContact());
        QCOMPARE(page.ui->wdContactInfo->shownContact().fullName, QString("Ann Lee"));
        QTest::qWait(50);
        GuiTestEnv::screenshot(&page, "contacts-page");
        // Deselecting clears the card, and so does a reload, which empties the selection.
        selectRow(page, 0, QItemSelectionModel::Deselect);
        QVERIFY(!page.ui->wdContactInfo->hasContact());
        selectRow(page, 1);
        QCOMPARE(page.ui->wdContactInfo->shownContact().fullName, QString("Carl Jung"));
        page.loadContacts();
        QVERIFY(GuiTestEnv::pageRead(&page));
        QVERIFY(!page.ui->wdContactInfo->hasContact());
    }

    void failingSourceShowsTheError()
    {
        ModalAnswerer answerer;
        ContactsMainForm page(QSharedPointer<IContactsDb>(new ListSource({}, true)), nullptr);
        QVERIFY(GuiTestEnv::pageRead(&page));
        QCOMPARE(answerer.seen().size(), 1);
        QVERIFY(answerer.seen().first().contains("Cannot find AddressBook.sqlitedb"));
        QCOMPARE(page.ui->lbCount->text(), QString("Total:?")); // not counted, so not none
    }

    void actionsDependOnTheSource()
    {
        ContactsMainForm local(QSharedPointer<IContactsDb>(new ListSource({})), nullptr);
        QVERIFY(GuiTestEnv::pageRead(&local));
        QCOMPARE(texts(local.toolbarActions()),
            QStringList({ "Restore Contacts", "Extract Contacts", "Print Contacts", "Delete Contacts" }));
        BackupManifest manifest(TestEnv::tempDir());
        ContactsMainForm backup(QSharedPointer<IContactsDb>(new ListSource({})), &manifest);
        QVERIFY(GuiTestEnv::pageRead(&backup));
        QCOMPARE(texts(backup.toolbarActions()),
            QStringList({ "Backup Contacts", "Restore Contacts", "Extract Contacts", "Print Contacts" }));
    }

    void search()
    {
        ContactsMainForm page(QSharedPointer<IContactsDb>(new ListSource(people())), nullptr);
        QVERIFY(GuiTestEnv::pageRead(&page));
        auto find = [&](const QString& keyword) {
            page.ui->txtKeyword->setText(keyword);
            page.ui->txtKeyword->returnPressed();
            return page.ui->treeContacts->currentIndex().row();
        };
        QCOMPARE(find("  RESEARCH "), 0); // a department
        QCOMPARE(find("example"), 3); // after the current row: bob's mail (Carl and Zoe have none)
        QCOMPARE(find("example"), 0); // wraps around
        QCOMPARE(find("(555) 010"), 2);
        QCOMPARE(find("   "), 2); // blanks only: nothing happens
        ModalAnswerer answerer;
        QCOMPARE(find("5550100"), 2); // digits without the separators do not match
        QCOMPARE(answerer.seen(), QStringList { "Find no contact with keyword 5550100." });
    }

    void deleteSelectedFromTheStore()
    {
        const QString path = TestEnv::tempDir() + "/contacts.db";
        auto store = QSharedPointer<LocalContactsDb>::create(
            path, QSharedPointer<AbsContactCombineRule>(new IOSContactCombineRule));
        for (const pim::_Contact& c : people()) {
            pim::_Contact stored;
            bool merged = false;
            store->combineContact(c, stored, merged);
        }
        ContactsMainForm page(store, nullptr);
        QVERIFY(GuiTestEnv::pageRead(&page));
        QCOMPARE(page.model.rowCount(), 4);
        selectRow(page, 1);
        ModalAnswerer answerer;
        answerer.answer(QMessageBox::Yes);
        answerer.answer(QMessageBox::Ok);
        page.toolbarActions().last()->trigger();
        QCOMPARE(answerer.seen(),
            QStringList({ "Confirm to delete selected contacts?", "Successfully deleted contacts." }));
        QVERIFY(GuiTestEnv::pageRead(&page));
        QCOMPARE(page.model.rowCount(), 3);
        QCOMPARE(page.ui->lbCount->text(), QString("Total:3"));
    }

    void exportUsesTheFilterForm()
    {
        ContactsMainForm page(QSharedPointer<IContactsDb>(new ListSource(people())), nullptr);
        QVERIFY(GuiTestEnv::pageRead(&page));
        const QString base = TestEnv::tempDir();
        ModalAnswerer answerer;
        page.exportContactsTo(page.model.contacts, 1, base + "/list");
        page.exportContactsTo(page.model.contacts, 0, base + "/cards.txt");
        page.exportContactsTo(page.model.contacts, 5, base + "/print");
        QCOMPARE(answerer.seen(),
            QStringList({ "Successfully extracted 4 Contacts.", "Successfully extracted 4 Contacts.",
                "Successfully extracted 4 Contacts." }));
        QVERIFY(QFileInfo(base + "/list.csv").isFile());
        QFile cards(base + "/cards.txt");
        QVERIFY(cards.open(QIODevice::ReadOnly));
        QVERIFY(cards.readAll().startsWith("BEGIN:VCARD"));
        QVERIFY(QFileInfo(base + "/print.pdf").size() > 0);
    }

    // The page waits for its workers as every page does: Cancel and Yes while an export waits on a
    // disk that does not answer, and the window answers all along (a timer fires every 20 ms); the
    // user is told which disk does not answer, and the worker ends on its own once it answers.
    void cancelledExportOntoADiskThatStopped()
    {
        ForeignDisk disk(ForeignDisk::Kind::Fat);
        if (!disk.isMounted())
            QSKIP(qPrintable(disk.whyNot()));
        ContactsMainForm page(QSharedPointer<IContactsDb>(new ListSource(people())), nullptr);
        QVERIFY(GuiTestEnv::pageRead(&page));
        QVERIFY(disk.stop());
        // Should the window not answer, the disk answers again all the same, and the gap shows it.
        std::atomic<bool> resumed = false;
        std::thread rescue([&] {
            for (int i = 0; i < 200 && !resumed; ++i)
                QThread::msleep(50);
            disk.resume();
        });
        ModalAnswerer answerer;
        QString status;
        DialogAnswers::answerProgress(answerer, &status, true);
        answerer.answerWith([&](QWidget* modal) {
            auto* box = qobject_cast<QMessageBox*>(modal);
            if (!box || !box->text().startsWith("Cancelled, but the disk of "))
                return false;
            QTimer::singleShot(500, this, [&] { resumed = true; });
            return ModalAnswerer::click(box, QMessageBox::Ok);
        });
        TickGaps gaps;
        page.exportContactsTo(page.model.contacts, 1, disk.path() + "/list");
        const qint64 longest = gaps.stop();
        resumed = true;
        rescue.join();
        QVERIFY2(longest < 200, qPrintable(QString::number(longest)));
        QCOMPARE(answerer.seen().size(), 2); // the question, then which disk does not answer
    }

    // Deleted all after a first No. The removal runs on a worker: on a disk that stops answering
    // for a while meanwhile, the window answers all along (a timer fires every 20 ms).
    void deleteTheWholeStore_data()
    {
        QTest::addColumn<bool>("stopping");
        QTest::newRow("in the data folder") << false;
        QTest::newRow("on a disk that stops answering for a while") << true;
    }
    void deleteTheWholeStore()
    {
        QFETCH(bool, stopping);
        std::unique_ptr<ForeignDisk> disk;
        if (stopping && !(disk = std::make_unique<ForeignDisk>(ForeignDisk::Kind::Fat))->isMounted())
            QSKIP(qPrintable(disk->whyNot()));
        const QString path = (disk ? disk->path() : TestEnv::tempDir()) + "/contacts.db";
        auto store = QSharedPointer<LocalContactsDb>::create(
            path, QSharedPointer<AbsContactCombineRule>(new IOSContactCombineRule));
        pim::_Contact stored;
        bool merged = false;
        store->combineContact(people().first(), stored, merged);
        ContactsMainForm page(store, nullptr);
        QVERIFY(GuiTestEnv::pageRead(&page));
        ModalAnswerer answerer;
        answerer.answer(QMessageBox::No);
        page.toolbarActions().last()->trigger();
        QCOMPARE(page.model.rowCount(), 1);
        answerer.answer(QMessageBox::Yes);
        answerer.answer(QMessageBox::Ok);
        QVERIFY(!disk || disk->stop());
        std::thread rescue([&] {
            QThread::msleep(disk ? 800 : 0);
            if (disk)
                disk->resume();
        });
        TickGaps gaps;
        page.toolbarActions().last()->trigger();
        const qint64 longest = gaps.stop();
        rescue.join();
        QVERIFY2(longest < 200, qPrintable(QString::number(longest)));
        QCOMPARE(answerer.seen(),
            QStringList({ "Confirm to delete all contacts?", "Confirm to delete all contacts?",
                "Successfully deleted all contacts." }));
        QVERIFY(GuiTestEnv::pageRead(&page));
        QCOMPARE(page.model.rowCount(), 0);
        QCOMPARE(page.ui->lbCount->text(), QString("Total:0"));
    }

    void saveToALocalDatabase()
    {
        BackupManifest manifest(TestEnv::tempDir());
        ContactsMainForm page(QSharedPointer<IContactsDb>(new ListSource(people())), &manifest);
        QVERIFY(GuiTestEnv::pageRead(&page));
        QSignalSpy finished(&page, &ContactsMainForm::backupFinished);
        ModalAnswerer answerer;
        answerer.answerWith([](QWidget* modal) {
            auto* form = qobject_cast<LocalDbSelForm*>(modal);
            if (!form)
                return false;
            form->cbLocalDbNames->setEditText("Saved Phone");
            QMetaObject::invokeMethod(form->btnOK, &QPushButton::pressed, Qt::QueuedConnection);
            return true;
        });
        answerer.answer(QMessageBox::Ok);
        page.toolbarActions().first()->trigger();
        QCOMPARE(finished.size(), 1);
        QCOMPARE(finished.first().first().toString(), QString("Saved Phone"));
        QCOMPARE(answerer.seen().last(), QString("Successfully backup 4 contacts."));
        LocalContactsDb saved(g_localDbDir().absoluteFilePath("Saved Phone/contacts.db"),
            QSharedPointer<AbsContactCombineRule>(new IOSContactCombineRule));
        QCOMPARE(saved.contacts().size(), 4);
    }

    void cleanedDbName_data()
    {
        QTest::addColumn<QString>("device");
        QTest::addColumn<QString>("name");
        QTest::newRow("colon") << "Work: Phone"
                               << "Work Phone";
        QTest::newRow("only removed") << "\\/:*?\"<>|"
                                      << "";
    }

    void cleanedDbName()
    {
        QFETCH(QString, device);
        QFETCH(QString, name);
        QCOMPARE(ContactsMainForm::cleanedDbName(device), name);
    }
};

QTEST_MAIN(TestContactsMainForm)
#include "TestContactsMainForm.moc"
