#include "app/ui/shared/ProgressForm.h"
#include "app/ui/shared/StoreSaveThread.h"
#include "notes_media/LocalNotesDb.h"

#include <QTemporaryDir>
#include <QtTest>
#include <stdexcept>

namespace
{

// Saves two notes, then ends as told: committed, failed or cancelled by the user.
class TwoNotesThread : public StoreSaveThread
{
public:
    TwoNotesThread(LocalNotesDb* store, QString end, ProgressForm* form)
        : StoreSaveThread(store, form, nullptr)
        , m_store(store)
        , m_end(std::move(end))
    {
    }

protected:
    void saveAllThrow() override
    {
        for (const char* title : { "first", "second" }) {
            _Notes note;
            note.title = QString::fromLatin1(title);
            m_store->saveNote(note);
        }
        if (m_end.startsWith("fail"))
            throw std::runtime_error("Disk <b>full</b>");
        if (m_form->cancelled)
            throw Cancelled();
        m_store->endEdit(true);
        m_form->invokeSucceed("Saved");
    }

private:
    LocalNotesDb* m_store;
    QString m_end;
};

} // namespace

class TestStoreSaveThread : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void endsAsOneEdit_data()
    {
        QTest::addColumn<QString>("end");
        QTest::addColumn<int>("result"); // of the dialog, when not cancelled
        QTest::addColumn<QString>("told");
        QTest::addColumn<int>("kept");
        QTest::newRow("committed") << "commit" << 1 << "Saved" << 2;
        QTest::newRow("failure rolled back and told") << "fail" << 0 << "Disk <b>full</b>" << 0;
        QTest::newRow("cancel rolled back, nothing told") << "cancel" << 0 << "" << 0;
    }

    void endsAsOneEdit()
    {
        QFETCH(QString, end);
        QFETCH(int, result);
        QFETCH(QString, told);
        QFETCH(int, kept);
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        LocalNotesDb store(dir.filePath("notes.db"));
        ProgressForm form;
        form.setQuiet(true);
        TwoNotesThread thread(&store, end, &form);
        // A confirmed cancel ends the dialog at once; the worker sees it on its next poll.
        form.cancelled = end == "cancel";
        thread.start();
        if (!form.cancelled)
            QCOMPARE(form.exec(), result);
        thread.wait();
        QCoreApplication::processEvents();
        QCOMPARE(form.resultText(), told);
        store.close();
        QCOMPARE(int(LocalNotesDb(store.path).notes().size()), kept);
    }
};

QTEST_MAIN(TestStoreSaveThread)
#include "TestStoreSaveThread.moc"
