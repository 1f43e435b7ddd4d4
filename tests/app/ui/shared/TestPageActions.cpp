#include "app/ui/shared/PageActions.h"
#include "app/ui/support/ModalAnswerer.h"
#include "notes_media/LocalNotesDb.h"

#include <QMessageBox>
#include <QTemporaryDir>
#include <QtTest>
#include <stdexcept>

class TestPageActions : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void inOneEdit_data()
    {
        QTest::addColumn<bool>("fail");
        QTest::addColumn<int>("kept");
        QTest::newRow("committed") << false << 2;
        QTest::newRow("failure rolls back all") << true << 0;
    }

    void inOneEdit()
    {
        QFETCH(bool, fail);
        QFETCH(int, kept);
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        LocalNotesDb store(dir.filePath("notes.db"));
        const auto work = [&] {
            for (const char* title : { "first", "second" }) {
                _Notes note;
                note.title = QString::fromLatin1(title);
                store.saveNote(note);
            }
            if (fail)
                throw std::runtime_error("Disk full");
        };
        if (fail)
            QVERIFY_THROWS_EXCEPTION(std::runtime_error, PageActions::inOneEdit(store, work));
        else
            PageActions::inOneEdit(store, work);
        QCOMPARE(int(store.notes().size()), kept);
        // The store is left outside any edit: a later one commits on its own.
        PageActions::inOneEdit(store, [&] { store.saveNote(_Notes()); });
        store.close();
        QCOMPARE(int(LocalNotesDb(store.path).notes().size()), kept + 1);
    }

    void confirmedDelete_data()
    {
        QTest::addColumn<bool>("confirm");
        QTest::addColumn<int>("outcome"); // 0 removed, 1 nothing to remove, 2 throws
        QTest::addColumn<bool>("result");
        QTest::addColumn<QStringList>("told");
        QTest::newRow("declined") << false << 0 << false << QStringList { "Delete?" };
        QTest::newRow("removed") << true << 0 << true << QStringList { "Delete?", "Deleted" };
        QTest::newRow("nothing to remove") << true << 1 << false << QStringList { "Delete?" };
        QTest::newRow("failure told, escaped")
            << true << 2 << false << QStringList { "Delete?", "a &lt;b&gt; failed" };
    }

    void confirmedDelete()
    {
        QFETCH(bool, confirm);
        QFETCH(int, outcome);
        QFETCH(bool, result);
        QFETCH(QStringList, told);
        ModalAnswerer answerer;
        answerer.answer(confirm ? QMessageBox::Yes : QMessageBox::No);
        int calls = 0;
        const auto remove = [&] {
            ++calls;
            if (outcome == 2)
                throw std::runtime_error("a <b> failed");
            return outcome == 0;
        };
        QCOMPARE(PageActions::confirmedDelete("Delete?", remove, "Deleted"), result);
        QCOMPARE(calls, confirm ? 1 : 0);
        QCOMPARE(answerer.seen().size(), told.size());
        for (int i = 0; i < told.size(); ++i)
            QVERIFY2(answerer.seen().at(i).contains(told.at(i)), qPrintable(answerer.seen().at(i)));
    }

    void proposedExportPathIsStampedInHome()
    {
        const QString path = PageActions::proposedExportPath("bookmarks-", ".html");
        QCOMPARE(QFileInfo(path).absolutePath(), QDir::homePath());
        QVERIFY(
            QRegularExpression("^bookmarks-\\d{14}\\.html$").match(QFileInfo(path).fileName()).hasMatch());
    }
};

QTEST_MAIN(TestPageActions)
#include "TestPageActions.moc"
