#include "app/IdsTranslator.h"
#include "app/ui/shared/ProgressForm.h"
#include "app/ui/support/EnglishTexts.h"
#include "messages/store/MsgAttachment.h"
#include "messages/support/MsgFixtures.h"
#include "messages/ui/BackupMMSThread.h"
#include "messages/ui/support/MsgModelBuilder.h"
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

    // Attachments whose copies the load found not to be what the phone wrote: every message is
    // saved and the store keeps their bytes where there are any, but they are counted apart and
    // named (the first ten), and the save ends with an error; an attachment that could not be
    // copied is still told after them. The page still learns that the store holds the save.
    void notAsWrittenAttachmentsAreSavedButNamed_data()
    {
        QTest::addColumn<bool>("copied"); // whether the cache holds what the stored copy gave
        QTest::addColumn<int>("damaged");
        QTest::addColumn<bool>("uncopiable"); // one more attachment, whose copy cannot be made
        QTest::newRow("cut copy") << true << 1 << false;
        QTest::newRow("no copy") << false << 1 << false;
        QTest::newRow("more than are named") << true << 12 << false;
        QTest::newRow("beside one that cannot be copied") << true << 1 << true;
    }
    void notAsWrittenAttachmentsAreSavedButNamed()
    {
        QFETCH(bool, copied);
        QFETCH(int, damaged);
        QFETCH(bool, uncopiable);
        const QString base = TestEnv::tempDir();
        const auto put = [](const QString& path, const QByteArray& bytes) {
            QDir().mkpath(QFileInfo(path).absolutePath());
            QFile f(path);
            return f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size();
        };
        MsgModelBuilder b;
        _MsgChat* chat = b.chat("+1", { b.handle("+1", "Ada") });
        QVERIFY(put(base + "/in/whole", "whole"));
        b.attach(b.message(chat, nullptr, 1000, "whole"), base + "/in/whole", "image/jpeg")->filename
            = "~/Library/SMS/Attachments/a/IMG_0001.JPG";
        for (int i = 0; i < damaged; ++i) {
            const QString local = base + QString("/in/cut%1").arg(i);
            QVERIFY(!copied || put(local, "first half"));
            _MsgAttachment* a = b.attach(b.message(chat, nullptr, 2000 + i, "cut"), local, "image/jpeg");
            a->filename = QString("~/Library/SMS/Attachments/b/IMG_%1.JPG").arg(100 + i);
            a->_notAsWritten = QString(
                "The stored copy /bk/%1 is not the file the phone wrote: it ends without its padding.")
                                   .arg(i);
        }
        if (uncopiable) // its device path would lead out of the store
            b.attach(b.message(chat, nullptr, 3000, "out"), base + "/in/whole", "image/jpeg")->filename
                = "/../../outside.jpg";
        const QString store = base + "/store";
        ProgressForm form;
        BackupMMSThread thread(QDir(store), _CountryInfo(), b.messages(), form, nullptr);
        QCOMPARE(runQuiet(form, thread), 0);
        QVERIFY(thread.saved());
        const int messages = b.messages().size();
        QStringList expected { damaged == 1
                ? QString("1 of the attachments is not what the phone wrote:")
                : QString("%1 of the attachments are not what the phone wrote:").arg(damaged) };
        for (int i = 0; i < qMin(damaged, 10); ++i)
            expected << QString("IMG_%1.JPG: The stored copy /bk/%2 is not the file the phone wrote: it ends "
                                "without its padding.")
                            .arg(100 + i)
                            .arg(i);
        if (damaged > 10)
            expected << QString("... and %1 more.").arg(damaged - 10);
        expected << QString("%1 Messages were saved, with those attachments as they are.").arg(messages);
        if (uncopiable)
            expected << "1 attachment file could not be copied into the local database:"
                     << base + "/in/whole";
        QCOMPARE(form.resultText().split('\n'), expected);
        QCOMPARE(querySql(smsPath(store), "select count(*) from message").toInt(), messages);
        const QString relay = store + "/file-relay/var/mobile/Library/SMS/Attachments/";
        QCOMPARE(bytesOf(relay + "a/IMG_0001.JPG"), QByteArray("whole"));
        QCOMPARE(QFileInfo::exists(relay + "b/IMG_100.JPG"), copied);
        if (copied)
            QCOMPARE(bytesOf(relay + "b/IMG_100.JPG"), QByteArray("first half"));
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
