#include "app/IdsTranslator.h"
#include "app/ui/shared/ProgressForm.h"
#include "app/ui/support/EnglishTexts.h"
#include "calls_calendars/LocalCallHistoryDb.h"
#include "calls_calendars/ui/BackupCallsThread.h"
#include "support/TestEnv.h"

#include <QtTest>

class TestBackupCallsThread : public QObject
{
    Q_OBJECT
    IdsTranslator m_english;

    static QList<_CallHistory> calls(int n)
    {
        QList<_CallHistory> list;
        for (int i = 0; i < n; ++i) {
            _CallHistory c;
            c.date = QDateTime::fromSecsSinceEpoch(1500000000 + i);
            c.address = QString::number(i);
            c.flags = CallFlagIncoming;
            list.append(c);
        }
        return list;
    }

private slots:
    void initTestCase() { installEnglishTexts(m_english); }

    void savesOnceAndCountsAll()
    {
        LocalCallHistoryDb store(TestEnv::tempDir() + "/calls.db");
        QList<_CallHistory> list = calls(250);
        list << list.first();
        ProgressForm form;
        form.setQuiet(true);
        BackupCallsThread thread(store, list, form);
        thread.start();
        QCOMPARE(form.exec(), 1);
        thread.wait();
        QCOMPARE(form.resultText(), QString("Successfully backup 251 Call History"));
        QCOMPARE(form.detailText(), QString("Calls:251 / 251"));
        QCOMPARE(store.total(), 250);
    }

    void emptyListCreatesTheStore()
    {
        LocalCallHistoryDb store(TestEnv::tempDir() + "/calls.db");
        ProgressForm form;
        form.setQuiet(true);
        BackupCallsThread thread(store, {}, form);
        thread.start();
        QCOMPARE(form.exec(), 1);
        thread.wait();
        QCOMPARE(form.resultText(), QString("Successfully backup 0 Call History"));
        QVERIFY(QFile::exists(store.path));
    }

    void cancelRollsBack()
    {
        LocalCallHistoryDb store(TestEnv::tempDir() + "/calls.db");
        store.insertCallHistory(calls(1).first());
        ProgressForm form;
        form.cancelled = true;
        BackupCallsThread thread(store, calls(5), form);
        thread.start();
        thread.wait();
        QCOMPARE(store.total(), 1);
    }
};

QTEST_MAIN(TestBackupCallsThread)
#include "TestBackupCallsThread.moc"
