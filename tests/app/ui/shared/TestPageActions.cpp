#include "app/ui/shared/PageActions.h"
#include "notes_media/LocalNotesDb.h"

#include <QTemporaryDir>
#include <QtTest>
#include <stdexcept>

class TestPageActions : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void editOrRollBack_data()
    {
        QTest::addColumn<bool>("fail");
        QTest::addColumn<int>("kept");
        QTest::newRow("committed") << false << 2;
        QTest::newRow("failure rolls back all") << true << 0;
    }

    void editOrRollBack()
    {
        QFETCH(bool, fail);
        QFETCH(int, kept);
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        LocalNotesDb store(dir.filePath("notes.db"));
        const std::optional<QString> error = PageActions::editOrRollBack(store, [&] {
            for (const char* title : { "first", "second" }) {
                _Notes note;
                note.title = QString::fromLatin1(title);
                store.saveNote(note);
            }
            if (fail)
                throw std::runtime_error("Disk full");
        });
        QCOMPARE(error.has_value(), fail);
        if (fail)
            QCOMPARE(*error, QStringLiteral("Disk full"));
        QCOMPARE(int(store.notes().size()), kept);
        // The store is left outside any edit: a new one commits on its own.
        QVERIFY(!PageActions::editOrRollBack(store, [] {}).has_value());
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
