#include "app/IdsTranslator.h"
#include "app/ShownText.h"
#include "app/ui/shared/MyTreeView.h"
#include "app/ui/support/EnglishTexts.h"
#include "backup/BackupManifest.h"
#include "notes_media/IOSNotesDb.h"
#include "notes_media/LocalNotesDb.h"
#include "notes_media/support/NotesFixtures.h"
#include "notes_media/ui/NotesMainForm.h"
#include "support/TestEnv.h"
#include "support/ui/GuiTestEnv.h"
#include "support/ui/PaintedTexts.h"

#include <QAction>
#include <QLabel>
#include <QtTest>

namespace
{

QSharedPointer<INotesDb> generatedSource()
{
    const QString file = NotesFixtures::generate("make_notes_db.py", {}, "notes.sqlite");
    return QSharedPointer<INotesDb>(new IOSNotesDb(nullptr, NotesFixtures::notesCache(file)));
}

QStringList texts(const QList<QAction*>& actions)
{
    QStringList out;
    for (const QAction* a : actions)
        out.append(a->text());
    return out;
}

} // namespace

class TestNotesMainForm : public QObject
{
    Q_OBJECT
    IdsTranslator m_translator;
private Q_SLOTS:
    void initTestCase() { installEnglishTexts(m_translator); }

    void listsBackupNotes()
    {
        BackupManifest manifest(TestEnv::tempDir());
        NotesMainForm page(generatedSource(), &manifest);
        QVERIFY(GuiTestEnv::pageRead(&page));
        page.resize(700, 300);
        page.show();
        QCOMPARE(page.lbCount->text(), QString("Total:5"));
        QCOMPARE(page.listNotes->model()->rowCount(), 5);
        QCOMPARE(page.listNotes->model()->index(3, 0).data().toString(), QString("Fish & <chips>"));
        QCOMPARE(texts(page.toolbarActions()), QStringList({ "Backup Notes", "Extract Notes" }));
        // The toolbar works on everything without a selection, the menu on the selection only.
        QCOMPARE(page.selectedNotes(true).size(), 5);
        QVERIFY(page.selectedNotes(false).isEmpty());
        page.listNotes->selectionModel()->select(
            page.listNotes->model()->index(3, 0), QItemSelectionModel::Select | QItemSelectionModel::Rows);
        page.listNotes->selectionModel()->select(
            page.listNotes->model()->index(1, 0), QItemSelectionModel::Select | QItemSelectionModel::Rows);
        const QList<_Notes> chosen = page.selectedNotes(true);
        QCOMPARE(chosen.size(), 2);
        QCOMPARE(chosen.at(1).title, QString("Fish & <chips>"));
        QTest::qWait(20);
        GuiTestEnv::screenshot(&page, "notes-page");
    }

    // A title of 1 MB or a summary of 10 MB: the list's cells, tool tips and what the view draws
    // get a bounded head of them; the notes themselves, which exports write, stay whole.
    void longNotesAreBounded_data()
    {
        QTest::addColumn<int>("titleSize");
        QTest::addColumn<int>("summarySize");
        QTest::newRow("title of 1 MB") << (1 << 20) << 5;
        QTest::newRow("summary of 10 MB") << 5 << (10 << 20);
        QTest::newRow("both") << (1 << 20) << (10 << 20);
    }
    void longNotesAreBounded()
    {
        QFETCH(int, titleSize);
        QFETCH(int, summarySize);
        _Notes note;
        note.title = QString(titleSize, 'T');
        note.summary = QString(summarySize, 'S');
        ItemModelNotes model;
        model.loadNotes({ note });
        for (const int column : { 0, 2 })
            for (const int role : { int(Qt::DisplayRole), int(Qt::ToolTipRole) }) {
                const QString shown = model.index(0, column).data(role).toString();
                QVERIFY(shown.size() <= ShownText::kMaxLine);
                QCOMPARE(shown.endsWith(QChar(0x2026)), (column == 0 ? titleSize : summarySize) > 5);
            }
        QVERIFY(PaintedTexts::longest(&model) <= ShownText::kMaxLine);
        QCOMPARE(ItemModelNotes::noteOf(model.index(0, 0))->summary.size(), summarySize);
    }

    void localStoreOffersExportOnly()
    {
        LocalNotesDb* store = new LocalNotesDb(TestEnv::tempDir() + "/notes.db");
        NotesMainForm page(QSharedPointer<INotesDb>(store), nullptr);
        QVERIFY(GuiTestEnv::pageRead(&page));
        QCOMPARE(page.lbCount->text(), QString("Total:0"));
        QCOMPARE(texts(page.toolbarActions()), QStringList({ "Extract Notes" }));
    }
};

QTEST_MAIN(TestNotesMainForm)
#include "TestNotesMainForm.moc"
