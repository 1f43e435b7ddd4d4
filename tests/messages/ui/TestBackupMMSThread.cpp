#include "app/IdsTranslator.h"
#include "app/ui/shared/ProgressForm.h"
#include "app/ui/support/EnglishTexts.h"
#include "messages/support/MsgFixtures.h"
#include "messages/ui/BackupMMSThread.h"
#include "messages/ui/support/MsgUiFixtures.h"
#include "support/TestEnv.h"

#include <QtTest>
#include <algorithm>

using namespace MsgFixtures;
using namespace MsgUiFixtures;

class TestBackupMMSThread : public QObject
{
    Q_OBJECT

    QString source;
    IdsTranslator texts;

    int save(const QString& store, const QList<_MsgMessage*>& messages, bool cancel, QString* text = nullptr)
    {
        ProgressForm form;
        BackupMMSThread thread(QDir(store), _CountryInfo(), messages, form, nullptr);
        if (cancel) {
            runCancelled(form, thread);
            return 0;
        }
        const int result = runQuiet(form, thread);
        if (text)
            *text = form.resultText();
        return result;
    }

private Q_SLOTS:
    void initTestCase()
    {
        installEnglishTexts(texts);
        QString err;
        source = generate("ios6", {}, &err);
        QVERIFY2(!source.isEmpty(), qPrintable(err));
    }

    void emptyListCreatesTheStoreAndReportsZero()
    {
        const QString store = TestEnv::tempDir() + "/new";
        QString text;
        QCOMPARE(save(store, {}, false, &text), 1);
        QVERIFY(QFile::exists(smsPath(store)));
        QCOMPARE(text, QStringLiteral("Successfully backup 0 messages."));
    }

    void savedOldestFirstAndTwiceWithoutDuplicates()
    {
        MsgData data = loadFolder(source);
        QList<_MsgMessage*> list = data.messages();
        // Newest first on purpose: the thread writes oldest first all the same.
        std::sort(list.begin(), list.end(), [](auto* a, auto* b) { return a->date > b->date; });
        const QString store = TestEnv::tempDir();
        QCOMPARE(save(store, list, false), 1);
        const QString rows = querySql(smsPath(store), "select count(*) from message");
        QCOMPARE(
            querySql(smsPath(store),
                "select count(*) from message a join message b on a.ROWID < b.ROWID and a.date > b.date"),
            "0");
        QString text;
        QCOMPARE(save(store, list, false, &text), 1);
        QCOMPARE(querySql(smsPath(store), "select count(*) from message"), rows);
        QVERIFY2(text.contains(QString::number(list.size())), qPrintable(text)); // every message counted
    }

    void cancelLeavesTheStoreAsItWas()
    {
        MsgData data = loadFolder(source);
        const QString store = TestEnv::tempDir();
        QCOMPARE(save(store, data.messages().mid(0, 2), false), 1);
        const QByteArray before = fileHash(smsPath(store));
        QCOMPARE(save(store, data.messages(), true), 0);
        QCOMPARE(querySql(smsPath(store), "select count(*) from message"), "2");
        Q_UNUSED(before);
    }

    void failureIsReportedAndNothingCommitted()
    {
        MsgData data = loadFolder(source);
        const QString store = TestEnv::tempDir();
        QDir().mkpath(smsPath(store)); // a folder where the database must go
        QString text;
        QCOMPARE(save(store, data.messages(), false, &text), 0);
        QVERIFY(!text.isEmpty());
    }
};

QTEST_MAIN(TestBackupMMSThread)
#include "TestBackupMMSThread.moc"
