#include "app/IdsTranslator.h"
#include "app/ui/shared/ProgressForm.h"
#include "app/ui/support/EnglishTexts.h"
#include "messages/store/MsgAttachment.h"
#include "messages/store/MsgMessage.h"
#include "messages/ui/AttachmentExtractThread.h"
#include "messages/ui/support/MsgUiFixtures.h"
#include "support/ForeignDisk.h"
#include "support/NameMark.h"
#include "support/TestEnv.h"

#include <QDateTime>
#include <QtTest>
#include <memory>

using namespace MsgUiFixtures;

namespace
{
struct Messages {
    std::vector<std::unique_ptr<_MsgMessage>> messages;
    std::vector<std::unique_ptr<_MsgAttachment>> attachments;

    // One message per entry, each with one attachment of the given device name and local file.
    void add(int date, const QString& filename, const QString& local)
    {
        auto m = std::make_unique<_MsgMessage>();
        m->rowid = qint64(messages.size() + 1);
        m->date = date;
        auto a = std::make_unique<_MsgAttachment>();
        a->rowid = m->rowid;
        a->filename = filename;
        a->_path = local;
        m->_attachments.insert(QString::number(a->rowid), a.get());
        messages.push_back(std::move(m));
        attachments.push_back(std::move(a));
    }
    QList<_MsgMessage*> list() const
    {
        QList<_MsgMessage*> l;
        for (const auto& m : messages)
            l << m.get();
        return l;
    }
};

void putFile(const QString& path, const QByteArray& bytes)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile f(path);
    f.open(QIODevice::WriteOnly);
    f.write(bytes);
}

int extract(const Messages& msgs, const QString& target, bool cancel, QString* text = nullptr)
{
    ProgressForm form;
    AttachmentExtractThread thread(&form, msgs.list(), target, nullptr);
    if (cancel) {
        runCancelled(form, thread);
        return 0;
    }
    const int result = runQuiet(form, thread);
    if (text)
        *text = form.resultText();
    return result;
}
} // namespace

class TestAttachmentExtractThread : public QObject
{
    Q_OBJECT
    IdsTranslator texts;
private Q_SLOTS:
    void initTestCase() { installEnglishTexts(texts); }

    void namesTimesAndCount()
    {
        const QString base = TestEnv::tempDir();
        putFile(base + "/in/1", "one");
        putFile(base + "/in/2", "two");
        putFile(base + "/in/3", "three");
        putFile(base + "/in/4", "four");
        Messages msgs;
        msgs.add(500000000, "~/Library/SMS/Attachments/a/IMG_0001.JPG", base + "/in/1");
        msgs.add(500000100, "~/Library/SMS/Attachments/b/IMG_0001.JPG", base + "/in/2");
        msgs.add(500000200, "/var/x/IMG_0001.JPG", base + "/in/3");
        msgs.add(500000300, "~/c/a.b.jpg", base + "/in/4");
        msgs.add(500000400, "~/c/a.b.jpg", base + "/in/4");
        msgs.add(500000500, "~/missing.jpg", base + "/in/none");
        msgs.add(500000600, "~/d/<bad>:name?.txt", base + "/in/1");
        // A NUL would end the name where the system reads it, leaving one name for two files.
        msgs.add(500000700, QString("~/e/x") + QChar(0) + "1.jpg", base + "/in/2");
        msgs.add(500000800, QString("~/e/x") + QChar(0) + "2.jpg", base + "/in/3");
        // A number skips the name another attachment owns; a name made from another never takes
        // an attachment's own.
        msgs.add(500000900, "~/g/IMG_0001(1).JPG", base + "/in/4");
        msgs.add(500001000, "~/f/a:b.jpg", base + "/in/3");
        msgs.add(500001100, "~/f/ab.jpg", base + "/in/4");
        const QString target = base + "/out/attachments(x)";
        QString text;
        QCOMPARE(extract(msgs, target, false, &text), 1);
        QStringList names = QDir(target).entryList(QDir::Files);
        names.sort();
        const QString x1 = "x1" + nameMark(QString("x") + QChar(0) + "1.jpg") + ".jpg";
        const QString x2 = "x2" + nameMark(QString("x") + QChar(0) + "2.jpg") + ".jpg";
        const QString colon = "ab" + nameMark("a:b.jpg") + ".jpg";
        QStringList expectedNames { "IMG_0001(1).JPG", "IMG_0001(2).JPG", "IMG_0001(3).JPG", "IMG_0001.JPG",
            "a(1).jpg", "a.b.jpg", "ab.jpg", colon, "badname" + nameMark("<bad>:name?.txt") + ".txt", x1,
            x2 };
        expectedNames.sort();
        QCOMPARE(names, expectedNames);
        QCOMPARE(bytesOf(target + "/IMG_0001(1).JPG"), QByteArray("four"));
        QCOMPARE(bytesOf(target + "/IMG_0001(3).JPG"), QByteArray("three"));
        QCOMPARE(bytesOf(target + "/ab.jpg"), QByteArray("four"));
        QCOMPARE(bytesOf(target + "/" + colon), QByteArray("three"));
        const QDateTime expected = QDateTime::fromSecsSinceEpoch(500000100 + 978307200LL, Qt::UTC);
        QCOMPARE(QFileInfo(target + "/IMG_0001(2).JPG").lastModified().toUTC(), expected);
        QVERIFY2(text.contains(" 11 "), qPrintable(text)); // the missing file is not counted, but named
        QCOMPARE(bytesOf(target + "/" + x2), QByteArray("three"));
        QVERIFY2(text.endsWith("\n1 attachment was left out:\nmissing.jpg (left out): Cannot read " + base
                     + "/in/none: No such file or directory"),
            qPrintable(text));
    }

    void failedCopiesAreNotCountedAndNothingIsOverwritten()
    {
        const QString base = TestEnv::tempDir();
        putFile(base + "/in/1", "one");
        Messages msgs;
        msgs.add(500000000, "~/x.jpg", base + "/in/1");
        // A name longer than a file system allows is cut before its extension.
        msgs.add(500000000, "~/" + QString(300, 'y') + ".jpg", base + "/in/1");
        const QString target = base + "/out";
        // The user's file with the very bytes is taken as it stands.
        msgs.add(500000000, "~/same.jpg", base + "/in/1");
        putFile(target + "/x.jpg", "the user's own file");
        putFile(target + "/same.jpg", "one");
        QString text;
        QCOMPARE(extract(msgs, target, false, &text), 1);
        QCOMPARE(bytesOf(target + "/x.jpg"), QByteArray("the user's own file"));
        QCOMPARE(bytesOf(target + "/x(2).jpg"), QByteArray("one"));
        QCOMPARE(bytesOf(target + "/" + QString(251, 'y') + ".jpg"), QByteArray("one"));
        QCOMPARE(QDir(target).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot).size(), 4);
        QVERIFY2(text.contains(" 3 "), qPrintable(text));
        QVERIFY2(text.endsWith("\n1 file was written under another name, as another file stands at its own:\n"
                     + target + "/x.jpg as x(2).jpg"),
            qPrintable(text));
    }

    // Attachments whose copies the load found not to be what the phone wrote: their bytes are
    // written all the same where there are any, but they are counted apart and named (the first
    // ten), and the run ends with an error; the others are extracted as ever.
    void notAsWrittenIsCountedApart_data()
    {
        QTest::addColumn<bool>("copied"); // whether the cache holds what the stored copy gave
        QTest::addColumn<int>("damaged");
        QTest::newRow("cut copy") << true << 1;
        QTest::newRow("no copy") << false << 1;
        QTest::newRow("more than are named") << true << 12;
    }
    void notAsWrittenIsCountedApart()
    {
        QFETCH(bool, copied);
        QFETCH(int, damaged);
        const QString base = TestEnv::tempDir();
        putFile(base + "/in/whole", "whole");
        Messages msgs;
        msgs.add(500000000, "~/Library/SMS/Attachments/a/IMG_0001.JPG", base + "/in/whole");
        for (int i = 0; i < damaged; ++i) {
            const QString local = base + QString("/in/cut%1").arg(i);
            if (copied)
                putFile(local, "first half");
            msgs.add(500000100 + i, QString("~/Library/SMS/Attachments/b/IMG_%1.JPG").arg(100 + i), local);
            msgs.attachments.back()->_notAsWritten = QString("The stored copy /bk/%1 is not the file the "
                                                             "phone wrote: it ends without its padding.")
                                                         .arg(i);
        }
        const QString target = base + "/out";
        QString text;
        QCOMPARE(extract(msgs, target, false, &text), 0);
        QStringList expected { damaged == 1
                ? QString("1 of the attachments is not what the phone wrote:")
                : QString("%1 of the attachments are not what the phone wrote:").arg(damaged) };
        for (int i = 0; i < qMin(damaged, 10); ++i) {
            const QString where = copied ? target + QString("/IMG_%1.JPG").arg(100 + i)
                                         : QString("IMG_%1.JPG (not written)").arg(100 + i);
            expected << where
                    + QString(": The stored copy /bk/%1 is not the file the phone wrote: it ends without "
                              "its padding.")
                          .arg(i);
        }
        if (damaged > 10)
            expected << QString("... and %1 more.").arg(damaged - 10);
        expected << "1 other MMS attachments were extracted to " + target + ".";
        QCOMPARE(text.split('\n'), expected);
        QCOMPARE(bytesOf(target + "/IMG_0001.JPG"), QByteArray("whole"));
        QCOMPARE(QDir(target).entryList(QDir::Files).size(), 1 + (copied ? damaged : 0));
        if (copied)
            QCOMPARE(bytesOf(target + "/IMG_100.JPG"), QByteArray("first half"));
    }

    void cancelKeepsWhatWasThereBefore_data()
    {
        QTest::addColumn<bool>("existing");
        QTest::newRow("new folder goes") << false;
        QTest::newRow("existing folder and its files stay") << true;
    }

    void cancelKeepsWhatWasThereBefore()
    {
        QFETCH(bool, existing);
        const QString base = TestEnv::tempDir();
        putFile(base + "/in/1", "one");
        Messages msgs;
        msgs.add(500000000, "~/x.jpg", base + "/in/1");
        const QString target = base + "/out";
        if (existing)
            putFile(target + "/mine.txt", "keep");
        QCOMPARE(extract(msgs, target, true), 0);
        QCOMPARE(QFileInfo::exists(target), existing);
        if (existing)
            QCOMPARE(QDir(target).entryList(QDir::Files), QStringList { "mine.txt" });
    }

    // Onto the disks desktop systems mount, names the disk refuses are written under names fitted
    // to it, each marked with the whole name, and said so; the others are written as they stand.
    void ontoDesktopDisks_data()
    {
        QTest::addColumn<QString>("disk");
        QTest::addColumn<QStringList>("given");
        QTest::addColumn<QStringList>("written");
        const QString ctl = "x\x01y.jpg";
        QTest::newRow("NTFS: a device's name, a dot at the end, a control character")
            << "ntfs" << QStringList { "IMG_0001.JPG", "AUX.jpg", "end.", ctl, "é.jpg" }
            << QStringList { "IMG_0001.JPG", "AUX" + nameMark("AUX.jpg") + ".jpg", "end" + nameMark("end."),
                   "xy" + nameMark(ctl) + ".jpg", "é.jpg" };
        QTest::newRow("FAT: letters beyond ASCII, a control character")
            << "fat" << QStringList { "IMG_0001.JPG", "é.jpg", ctl, "AUX.jpg" }
            << QStringList { "IMG_0001.JPG", "_" + nameMark("é.jpg") + ".jpg", "xy" + nameMark(ctl) + ".jpg",
                   "AUX.jpg" };
        QTest::newRow("exFAT: control characters")
            << "exfat" << QStringList { "IMG_0001.JPG", ctl, "é.jpg", "end.", "p\x02.jpg" }
            << QStringList { "IMG_0001.JPG", "xy" + nameMark(ctl) + ".jpg", "é.jpg", "end.",
                   "p" + nameMark("p\x02.jpg") + ".jpg" };
    }
    void ontoDesktopDisks()
    {
        QFETCH(QString, disk);
        QFETCH(QStringList, given);
        QFETCH(QStringList, written);
        QM_MOUNT_OR_SKIP(mounted, disk);
        const QString base = TestEnv::tempDir();
        Messages msgs;
        for (int i = 0; i < given.size(); ++i) {
            putFile(base + QString("/in/%1").arg(i), given[i].toUtf8());
            msgs.add(
                500000000 + i, "~/Library/SMS/Attachments/a/" + given[i], base + QString("/in/%1").arg(i));
        }
        const QString target = mounted.path() + "/out";
        QString text;
        QCOMPARE(extract(msgs, target, false, &text), 1);
        QStringList names = QDir(target).entryList(QDir::Files);
        names.sort();
        QStringList expected = written;
        expected.sort();
        QCOMPARE(names, expected);
        int fitted = 0;
        for (int i = 0; i < given.size(); ++i) {
            QCOMPARE(bytesOf(target + "/" + written[i]), given[i].toUtf8());
            if (written[i] != given[i] && ++fitted)
                QVERIFY2(
                    text.contains("\n" + target + "/" + given[i] + " as " + written[i]), qPrintable(text));
        }
        QVERIFY2(text.contains(QString(
                     "\n%1 files were written under other names, as the disk does not take their own:\n")
                                   .arg(fitted)),
            qPrintable(text));
    }

    void emptyListMakesTheFolder()
    {
        const QString target = TestEnv::tempDir() + "/empty";
        QString text;
        QCOMPARE(extract(Messages(), target, false, &text), 1);
        QVERIFY(QFileInfo(target).isDir());
    }
};

QTEST_MAIN(TestAttachmentExtractThread)
#include "TestAttachmentExtractThread.moc"
