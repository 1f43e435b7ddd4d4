#include "app/IdsTranslator.h"
#include "app/ui/shared/ProgressForm.h"
#include "app/ui/support/EnglishTexts.h"
#include "calls_calendars/IOSCallHistoryDb.h"
#include "calls_calendars/support/CallsFixtures.h"
#include "calls_calendars/ui/RestoreCallsThread.h"
#include "support/TestEnv.h"

#include <QtTest>

using namespace CallsFixtures;

namespace
{

QList<_CallHistory> threeCalls()
{
    QList<_CallHistory> list;
    for (int i = 0; i < 3; ++i) {
        _CallHistory c;
        c.date = QDateTime::fromSecsSinceEpoch(1600000000 + i * 60);
        c.address = QString("+49301%1").arg(i);
        c.flags = CallFlagIncoming;
        list.append(c);
    }
    return list;
}

} // namespace

class TestRestoreCallsThread : public QObject
{
    Q_OBJECT
    IdsTranslator m_english;

private slots:
    void initTestCase() { installEnglishTexts(m_english); }

    void writesAndDescribesTheFile_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QString>("domain");
        QTest::newRow("store") << "storedata"
                               << "HomeDomain";
        QTest::newRow("old") << "old"
                             << "WirelessDomain";
    }
    void writesAndDescribesTheFile()
    {
        QFETCH(QString, kind);
        QFETCH(QString, domain);
        const QString file = makeCallDb({ "--kind", kind, "--calls", "2" });
        const QString id = kind == "old" ? IOSCallHistoryDb::kOldDbFile : IOSCallHistoryDb::kStoreFile;
        const QDir cache(cacheWith({ { id, file } }));
        ProgressForm form;
        form.setQuiet(true);
        QList<_CallHistory> calls = threeCalls();
        calls << calls.first(); // the same call twice is written once and counted twice
        RestoreCallsThread thread(calls, cache, form);
        thread.start();
        QCOMPARE(form.exec(), 1);
        thread.wait();
        QCOMPARE(thread.doneCount, 4);
        QCOMPARE(form.detailText(), QString("Calls: 4 / 4"));
        QCOMPARE(thread.items.size(), 1);
        QCOMPARE(thread.items[0].domain, domain);
        QCOMPARE(thread.items[0].sourceFile, cache.absoluteFilePath(id));
        QVERIFY(thread.items[0].overwrite && thread.items[0].useSecondClassKey);
        QCOMPARE(IOSCallHistoryDb(cache).total(), 5);
    }

    void emptyListAndMissingDatabase_data()
    {
        QTest::addColumn<bool>("empty");
        QTest::addColumn<QString>("message");
        QTest::newRow("empty") << true << "Find no Call History to restore.";
        QTest::newRow("missing") << false << "This data is only available when backup encryption is enabled.";
    }
    void emptyListAndMissingDatabase()
    {
        QFETCH(bool, empty);
        QFETCH(QString, message);
        ProgressForm form;
        form.setQuiet(true);
        RestoreCallsThread thread(
            empty ? QList<_CallHistory>() : threeCalls(), QDir(TestEnv::tempDir()), form);
        thread.start();
        QCOMPARE(form.exec(), 0);
        thread.wait();
        QCOMPARE(form.resultText(), message);
        QVERIFY(thread.items.isEmpty());
    }

    void cancelLeavesTheFileAsItWas()
    {
        const QString file = makeCallDb({ "--calls", "2" });
        const QDir cache(cacheWith({ { IOSCallHistoryDb::kStoreFile, file } }));
        ProgressForm form;
        form.cancelled = true;
        RestoreCallsThread thread(threeCalls(), cache, form);
        thread.start();
        thread.wait();
        QVERIFY(thread.items.isEmpty());
        QCOMPARE(IOSCallHistoryDb(cache).total(), 2);
    }
};

QTEST_MAIN(TestRestoreCallsThread)
#include "TestRestoreCallsThread.moc"
