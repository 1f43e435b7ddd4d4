#include "app/ui/shared/PageActions.h"
#include "app/ui/support/ModalAnswerer.h"
#include "notes_media/LocalNotesDb.h"

#include <QElapsedTimer>
#include <QMessageBox>
#include <QTemporaryDir>
#include <QThread>
#include <QTimer>
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
        QTest::addColumn<int>("takesMs"); // the removal waits so long on its disk
        QTest::newRow("declined") << false << 0 << false << QStringList { "Delete?" } << 0;
        QTest::newRow("removed") << true << 0 << true << QStringList { "Delete?", "Deleted" } << 0;
        QTest::newRow("nothing to remove") << true << 1 << false << QStringList { "Delete?" } << 0;
        QTest::newRow("failure told, escaped")
            << true << 2 << false << QStringList { "Delete?", "a &lt;b&gt; failed" } << 0;
        QTest::newRow("removal that waits on its disk")
            << true << 0 << true << QStringList { "Delete?", "Deleted" } << 800;
    }

    void confirmedDelete()
    {
        QFETCH(bool, confirm);
        QFETCH(int, outcome);
        QFETCH(bool, result);
        QFETCH(QStringList, told);
        QFETCH(int, takesMs);
        ModalAnswerer answerer;
        answerer.answer(confirm ? QMessageBox::Yes : QMessageBox::No);
        int calls = 0;
        bool onInterfaceThread = false;
        const auto remove = [&] {
            ++calls;
            onInterfaceThread = QThread::currentThread() == qApp->thread();
            QThread::msleep(takesMs);
            if (outcome == 2)
                throw std::runtime_error("a <b> failed");
            return outcome == 0;
        };
        // The window answers meanwhile: a 20 ms timer never goes 200 ms silent.
        QElapsedTimer since;
        qint64 longest = 0;
        QTimer tick;
        connect(&tick, &QTimer::timeout, [&] { longest = std::max(longest, since.restart()); });
        since.start();
        tick.start(20);
        QCOMPARE(PageActions::confirmedDelete(nullptr, "Deleting", "Delete?", remove, "Deleted"), result);
        tick.stop();
        QCOMPARE(calls, confirm ? 1 : 0);
        QVERIFY(!onInterfaceThread);
        if (takesMs > 0)
            QVERIFY2(longest < 200, qPrintable(QString::number(longest)));
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
