#include "app/PictureDecoder.h"
#include "messages/store/MsgData.h"
#include "messages/store/MsgText.h"
#include "support/FailingDisk.h"
#include "support/TestEnv.h"
#include "support/TestPictures.h"

#include <QDir>
#include <QDirIterator>
#include <QImage>
#include <QRegularExpression>
#include <QtTest>
#include <cstdio>

namespace
{
enum Arrangement { Shuffled, Sorted, Reversed, Dealt, DealtTurned, Perturbed };

// The list in the given arrangement: shuffled as made, or first in key order (Sorted), then
// turned round, dealt into runs (every other run turned round) or with neighbours swapped.
QList<_MsgMessage*> arranged(QList<_MsgMessage*> list, Arrangement arrangement, int runs)
{
    if (arrangement == Shuffled)
        return list;
    std::stable_sort(list.begin(), list.end(), compareMsgMessageAsc);
    if (arrangement == Reversed)
        std::reverse(list.begin(), list.end());
    if (arrangement == Perturbed)
        for (qsizetype i = 0; i + 1 < list.size(); i += runs)
            std::swap(list[i], list[i + 1]);
    if (arrangement != Dealt && arrangement != DealtTurned)
        return list;
    QList<_MsgMessage*> dealt;
    for (int r = 0; r < runs; ++r) {
        QList<_MsgMessage*> run;
        for (qsizetype i = r; i < list.size(); i += runs)
            run << list[i];
        if (arrangement == DealtTurned && r % 2)
            std::reverse(run.begin(), run.end());
        dealt << run;
    }
    return dealt;
}
} // namespace

class TestMsgMessage : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void defaults()
    {
        _MsgMessage m;
        QCOMPARE(m.version, 10);
        QCOMPARE(m.other_handle, -1);
        QCOMPARE(m.item_type, 0);
        QCOMPARE(m.date, 0);
        QCOMPARE(m.handle_id, qint64(0));
        QVERIFY(!m._recovered);
        QCOMPARE(m._sort_rowid, qint64(0));
        QVERIFY(!m._sender && !m._chat && !m._other_handle);
        QVERIFY(m._attachments.isEmpty());
        _MsgChat c;
        QCOMPARE(c.style, 45);
        QCOMPARE(c.state, 3);
        QCOMPARE(c.service_name, QString("SMS"));
        QCOMPARE(c.account_login, QString("E:"));
        QCOMPARE(_MsgHandle().service, QString("SMS"));
        _MsgAttachment a;
        QCOMPARE(a.transfer_state, 5);
        QCOMPARE(a.total_bytes, qint64(0));
    }

    void copiesShareLinksButNotTables()
    {
        _MsgAttachment att;
        att.rowid = 4;
        _MsgHandle h;
        _MsgMessage m;
        m._sender = &h;
        m._attachments.insert("4", &att);
        {
            _MsgMessage copy(m);
            QCOMPARE(copy._sender, &h);
            _MsgAttachment other;
            copy._attachments.insert("5", &other);
            QCOMPARE(m._attachments.size(), 1);
        }
        QCOMPARE(m._attachments.value("4")->rowid, qint64(4));
        m = m;
        QCOMPARE(m._sender, &h);
    }

    void textAndSummary()
    {
        _MsgMessage m;
        m.text = QString(QChar(0xFFFC)) + QChar(0xFFFC);
        QCOMPARE(m.text(), QString());
        QCOMPARE(m.text.size(), 2);
        _MsgAttachment img;
        img.mime_type = "image/jpeg";
        m._attachments.insert("1", &img);
        QCOMPARE(m.summaryRawEmoji(), QString("[IMAGE]"));

        _MsgMessage t;
        t.text = "hi";
        _MsgAttachment card;
        card.mime_type = "TEXT/VCARD";
        t._attachments.insert("1", &card);
        QCOMPARE(t.summaryRawEmoji(), QString("hi [VCARD]"));
        card.mime_type = "application/pdf";
        QCOMPARE(t.summaryRawEmoji(), QString("hi [ATTA]"));
    }

    void summaryReplacesEmoji()
    {
        _MsgMessage m;
        m.text = QString::fromUtf8("hi \xF0\x9F\x98\x80 there");
        QCOMPARE(m.summary(), QString("hi [EMOJI] there"));
        QVERIFY(m.summaryRawEmoji().contains(QString::fromUtf8("\xF0\x9F\x98\x80")));
    }

    // A list cell's text: the summary of a short text; of a long one its first 500 characters,
    // emoji replaced within them, and a line saying so, at the cost of those only.
    void summaryHead_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("head"); // empty: the summary
        const QString line = "\n[Cut here: only the first 500 characters of the text are shown.]";
        const QString emoji = QString::fromUtf8("\xF0\x9F\x98\x80");
        QTest::newRow("short") << "hi " + emoji << "";
        QTest::newRow("500 and blanks") << "  " + QString(500, 'a') + " \n\t" + QChar(0xFFFC) << "";
        QTest::newRow("501") << QString(501, 'a') << QString(500, 'a') + line;
        QTest::newRow("placeholders are no characters")
            << QString(QChar(0xFFFC)).repeated(600) + QString(499, 'a') + QChar(0xFFFC) + "bc"
            << QString(499, 'a') + "b" + line;
        QTest::newRow("20 MB of words, leading blanks")
            << "\n " + QString("some words ").repeated(2000000)
            << QString("some words ").repeated(45) + "some " + line;
        QTest::newRow("20 MB of emoji") << emoji.repeated(5000000) << QString("[EMOJI]").repeated(250) + line;
        QTest::newRow("cut inside a pair")
            << "x" + emoji.repeated(300) << "x" + QString("[EMOJI]").repeated(249) + line;
    }
    void summaryHead()
    {
        QFETCH(QString, text);
        QFETCH(QString, head);
        _MsgMessage m;
        m.text = text;
        _MsgAttachment img;
        img.mime_type = "image/jpeg";
        m._attachments.insert("1", &img);
        QElapsedTimer clock;
        clock.start();
        QCOMPARE(m.summaryHead(), head.isEmpty() ? m.summary() : head);
        QVERIFY(clock.elapsed() < 100);
    }

    void thumbnails()
    {
        const QString dir = TestEnv::tempDir();
        QImage tall(300, 600, QImage::Format_RGB32);
        tall.fill(Qt::red);
        QVERIFY(tall.save(dir + "/tall.png", "PNG"));
        QImage square(500, 500, QImage::Format_RGB32);
        square.fill(Qt::blue);
        QVERIFY(square.save(dir + "/square.jpg", "JPEG"));
        _MsgAttachment a;
        a._path = dir + "/tall.png";
        const QString t = a.thumbnail();
        QVERIFY(!t.startsWith(QDir::tempPath() + "/") || t.contains("quillmarrow"));
        QCOMPARE(QFileInfo(QFileInfo(t).absolutePath()).permissions() & (QFile::ReadOther | QFile::ReadGroup),
            QFile::Permissions());
        QCOMPARE(QImage(t).size(), QSize(60, 120));
        // Served from the cache afterwards, until another file is put at the path after it was drawn
        // (a copy made again, or one that an earlier version's cache shared with another record):
        // then drawn from that one.
        const QDateTime drawn = QFileInfo(t).lastModified();
        QCOMPARE(a.thumbnail(), t);
        QCOMPARE(QFileInfo(t).lastModified(), drawn);
        QImage other(20, 10, QImage::Format_RGB32);
        other.fill(Qt::green);
        QVERIFY(other.save(dir + "/other.png", "PNG"));
        QVERIFY(QFile::remove(dir + "/tall.png") && QFile::rename(dir + "/other.png", dir + "/tall.png"));
        QFile kept(t);
        QVERIFY(kept.open(QIODevice::ReadWrite)
            && kept.setFileTime(drawn.addSecs(-60), QFileDevice::FileModificationTime));
        kept.close();
        QCOMPARE(a.thumbnail(), t);
        QCOMPARE(QImage(t).size(), QSize(120, 60));
        a._path = dir + "/square.jpg";
        {
            FailingDisk::SizeLimit full(100); // a preview the disk cuts short is not kept to be shown
            QVERIFY(!QFile::exists(a.thumbnail()));
        }
        QCOMPARE(QImage(a.thumbnail()).size(), QSize(120, 120));
        a._path = dir + "/missing.jpg";
        QVERIFY(!QFile::exists(a.thumbnail()));
        // None from a copy that is not what the phone wrote, and none kept from before either: it
        // would show the picture as it was drawn then.
        a._path = dir + "/tall.png";
        a._notAsWritten = "cut short";
        QVERIFY(a.thumbnail().isEmpty());
        QVERIFY(!QFile::exists(t));
        a._notAsWritten.clear();
        QCOMPARE(QImage(a.thumbnail()).size(), QSize(120, 60)); // drawn again, from the file as it is
    }

    // A preview stands for the very copy it was drawn from, and so does a picture found to give
    // none: looked at again, neither is decoded again, whatever the time stamps say; another copy
    // at the path, one of other bytes, or a preview not written for it is drawn anew.
    void previewsStandForTheirCopy_data()
    {
        using namespace TestPictures;
        QTest::addColumn<QByteArray>("first");
        QTest::addColumn<QString>("then");
        QTest::addColumn<bool>("drawnAgain");
        QTest::addColumn<QSize>("shown"); // invalid: no preview
        const QByteArray wide = encoded(scene(200, 100), "PNG");
        const QByteArray slow = withScans(progressiveJpeg(noise(64, 48)), PictureDecoder::kMaxJpegScans + 1);
        QTest::newRow("looked at again") << wide << "" << false << QSize(120, 60);
        QTest::newRow("its times changed") << wide << "touch" << false << QSize(120, 60);
        QTest::newRow("a new copy of the same bytes") << wide << "same" << false << QSize(120, 60);
        QTest::newRow("another picture, its preview dated later")
            << wide << "other" << true << QSize(60, 120);
        QTest::newRow("a preview an earlier version drew") << wide << "unrecorded" << true << QSize(120, 60);
        QTest::newRow("a preview not written for it") << wide << "replaced" << true << QSize(120, 60);
        QTest::newRow("refused, looked at again") << slow << "" << false << QSize();
        QTest::newRow("refused, its times changed") << slow << "touch" << false << QSize();
        QTest::newRow("refused, a new copy of the same bytes") << slow << "same" << true << QSize();
        QTest::newRow("refused, another picture") << slow << "other" << true << QSize(60, 120);
    }
    void previewsStandForTheirCopy()
    {
        QFETCH(QByteArray, first);
        QFETCH(QString, then);
        QFETCH(bool, drawnAgain);
        QFETCH(QSize, shown);
        const QString dir = TestEnv::tempDir();
        const auto put = [&](const QByteArray& bytes, const QString& path) {
            QFile f(path + ".new");
            return f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size() && f.flush()
                && ::rename(QFile::encodeName(path + ".new"), QFile::encodeName(path)) == 0;
        };
        _MsgAttachment a;
        a._path = dir + "/IMG_0001.JPG";
        QVERIFY(put(first, a._path));
        const QString thumb = a.thumbnail();
        const QString origin = thumb.chopped(QString(".thumb").size()) + ".of";
        QVERIFY(QFile::exists(origin));
        const QDateTime later = QDateTime::currentDateTime().addDays(1);
        if (then == "touch") {
            QFile f(a._path);
            QVERIFY(f.open(QIODevice::ReadWrite) && f.setFileTime(later, QFileDevice::FileModificationTime));
        } else if (then == "same" || then == "other") {
            QVERIFY(put(then == "same" ? first : TestPictures::encoded(TestPictures::scene(100, 200), "PNG"),
                a._path));
            QFile kept(thumb); // as exFAT tells it: the new copy changed before the preview was drawn
            QVERIFY(!kept.exists()
                || (kept.open(QIODevice::ReadWrite)
                    && kept.setFileTime(later, QFileDevice::FileModificationTime)));
        } else if (then == "unrecorded") {
            QVERIFY(QFile::remove(origin));
        } else if (then == "replaced") {
            QVERIFY(put(TestPictures::encoded(TestPictures::scene(120, 60), "JPEG"), thumb));
        }
        const qint64 before = PictureDecoder::decodeCount();
        QCOMPARE(a.thumbnail(), thumb);
        QCOMPARE(PictureDecoder::decodeCount() - before, drawnAgain ? 1 : 0);
        QCOMPARE(QFileInfo(thumb).isFile() ? QImage(thumb).size() : QSize(), shown);
        QCOMPARE(PictureDecoder::decodeCount() - before, drawnAgain ? 1 : 0);
        QCOMPARE(a.thumbnail(), thumb); // and kept from then on
        QCOMPARE(PictureDecoder::decodeCount() - before, drawnAgain ? 1 : 0);
    }

    void eventSummaries()
    {
        _MsgMessage m;
        m.item_type = 3;
        const QString when = dtFromDate21(0).toString("dd MMM yyyy h:m AP");
        QCOMPARE(m.summaryRawEmoji(), QString("You left the conversation.\n%1").arg(when));
        m.item_type = 4;
        m.share_status = 1;
        QVERIFY(m.summaryRawEmoji().contains("stopped"));
        m.share_status = 0;
        QVERIFY(m.summaryRawEmoji().contains("started"));
        m.item_type = 7;
        QCOMPARE(m.summaryRawEmoji(), QString("System Information.\n%1").arg(when));
        m.item_type = -1;
        QVERIFY(m.summaryRawEmoji().startsWith("System Information."));
        // Templates are filled one placeholder at a time.
        _MsgHandle h;
        h._ct_name = "A %2 B";
        m.item_type = 1;
        m._sender = &h;
        QVERIFY(m.summaryRawEmoji().startsWith("A You B Added"));
    }

    void displayNamesAndContactInfo()
    {
        _MsgChat c;
        QCOMPARE(c.displayName(true), QString("Unknown"));
        _MsgHandle a, b;
        a.id = "+1555";
        a._ct_name = "Ada";
        b.id = "bob@example.com";
        c._handles.insert("1", &a);
        QCOMPARE(c.displayName(true), QString("Ada (+1555)"));
        QCOMPARE(c.displayName(false), QString("Ada"));
        _MsgMessage m;
        QCOMPARE(m.contactInfo(), QString("unknown"));
        m._chat = &c;
        m._sender = &a;
        QCOMPARE(m.contactInfo(), QString("Ada (+1555)"));
        c._handles.insert("2", &b);
        m._sender = &b;
        const QString info = m.contactInfo();
        QVERIFY(info.endsWith(" (bob@example.com)"));
        QVERIFY(info.contains("Ada (+1555)") && info.contains("bob@example.com, ") != info.contains(", bob"));
        c.display_name = "Team";
        QCOMPARE(c.displayName(true), QString("Team"));
        QVERIFY(c.isGroup());
    }

    void attachmentsInRowidOrder()
    {
        _MsgAttachment a, b, c;
        a.rowid = 12;
        b.rowid = 3;
        c.rowid = 7;
        _MsgMessage m;
        m._attachments.insert("x", &a);
        m._attachments.insert("y", &b);
        m._attachments.insert("z", &c);
        const auto list = m.attachments();
        QCOMPARE(list.size(), 3);
        QCOMPARE(list[0]->rowid, qint64(3));
        QCOMPARE(list[2]->rowid, qint64(12));
    }

    void logicalHash()
    {
        _MsgMessage m;
        m.text = "abc";
        QCOMPARE(m.logicalHash(), QString("4b1029095d367394eb9826df11cd8bc6"));
        _MsgMessage n = m;
        n.rowid = 99;
        n.guid = "X";
        QCOMPARE(n.logicalHash(), m.logicalHash());
        n.text = QString("abc") + QChar(0xFFFC);
        QCOMPARE(n.logicalHash(), m.logicalHash());
        n.date = 1;
        QVERIFY(n.logicalHash() != m.logicalHash());

        _MsgHandle h1, h2;
        h1.id = "A@x.com";
        h2.id = "a@X.com";
        _MsgAttachment f1, f2;
        f1.filename = "/x/IMG.JPG";
        f2.filename = "~/y/other.png";
        _MsgMessage p, q;
        p._sender = &h1;
        q._sender = &h2;
        p._attachments.insert("1", &f1);
        p._attachments.insert("2", &f2);
        _MsgAttachment g1, g2;
        g1.filename = "other.PNG";
        g2.filename = "/z/img.jpg";
        q._attachments.insert("1", &g1);
        q._attachments.insert("2", &g2);
        QCOMPARE(p.logicalHash(), q.logicalHash());
        g1.filename = "other2.png";
        QVERIFY(p.logicalHash() != q.logicalHash());

        _MsgMessage e1, e2;
        e1.item_type = e2.item_type = 2;
        e1.guid = e2.guid = "G";
        e1.text = "x";
        QCOMPARE(e1.logicalHash(), e2.logicalHash());
    }

    void orderingIsStrictWeak()
    {
        _MsgMessage a, b;
        a.date = b.date = 500;
        a._sort_rowid = 1;
        b._sort_rowid = 900;
        a.rowid = 1;
        b.rowid = 900;
        QVERIFY(compareMsgMessageAsc(&a, &b));
        QVERIFY(!compareMsgMessageAsc(&b, &a));
        QVERIFY(!compareMsgMessageAsc(&a, &a));
        QVERIFY(!compareMsgMessageDesc(&a, &a));
        QVERIFY(compareMsgMessageDesc(&b, &a));
        _MsgChat c1, c2;
        c1._last = c2._last = 10;
        QVERIFY(!compareMsgChatLastDesc(&c1, &c2) && !compareMsgChatLastDesc(&c2, &c1));
        _MsgChatMerge g1, g2;
        QVERIFY(!compareMsgChatMergeLastDesc(g1, g2));
    }

    void nearMessagesKeepRowOrder()
    {
        _MsgMessage a, b;
        a._sort_rowid = a.rowid = 100;
        a.date = 1000;
        b._sort_rowid = b.rowid = 120;
        b.date = 880;
        QList<_MsgMessage*> list { &b, &a };
        sortMsgMessages(list);
        QCOMPARE(list.first(), &a);
        b._sort_rowid = b.rowid = 121;
        list = { &a, &b };
        sortMsgMessages(list);
        QCOMPARE(list.first(), &b);
        b._sort_rowid = 120;
        b.date = 879;
        list = { &a, &b };
        sortMsgMessages(list);
        QCOMPARE(list.first(), &b);
        b.date = 880;
        b._recovered = true;
        list = { &a, &b };
        sortMsgMessages(list);
        QCOMPARE(list.first(), &b);
        b._recovered = false;
        list = { &a, &b };
        sortMsgMessages(list, false);
        QCOMPARE(list.first(), &b);
    }

    void sortingLargeListsStaysInBounds()
    {
        // Clock skews everywhere: every neighbour is near, dates jump back and forth.
        QList<_MsgMessage> store(2000);
        QList<_MsgMessage*> list;
        for (int i = 0; i < store.size(); ++i) {
            store[i].rowid = store[i]._sort_rowid = i + 1;
            store[i].date = (i * 37) % 150;
            list << &store[i];
        }
        sortMsgMessages(list);
        QCOMPARE(list.size(), store.size());
        QSet<_MsgMessage*> seen(list.begin(), list.end());
        QCOMPARE(seen.size(), store.size());
    }

    // Long lists are sorted in two halves at once, and lists made of few runs (stretches already in
    // order, as lists in reading order are) are merged: the order must be the one a single
    // stable sort gives, equal keys in list order included. The reference sorts by the predicate,
    // then applies the row-order rule the same bounded way.
    void longListsSortAsOne_data()
    {
        QTest::addColumn<int>("size");
        QTest::addColumn<int>("dates"); // distinct dates (few: many ties; 0: by row, clocks off)
        QTest::addColumn<int>("rowids"); // distinct rowids and sort rowids (0: all equal, no rule)
        QTest::addColumn<bool>("ascending");
        QTest::addColumn<int>("arrangement");
        QTest::addColumn<int>("runs"); // dealt into this many runs; perturbed every this many
        QTest::newRow("short, ties") << 1000 << 7 << 0 << true << int(Shuffled) << 0;
        QTest::newRow("just under two halves") << 19999 << 50 << 0 << true << int(Shuffled) << 0;
        QTest::newRow("two halves, all one key") << 20000 << 1 << 0 << true << int(Shuffled) << 0;
        QTest::newRow("odd size, ties") << 20001 << 13 << 0 << false << int(Shuffled) << 0;
        QTest::newRow("many, ties and rowid ties") << 60001 << 300 << 500 << true << int(Shuffled) << 0;
        QTest::newRow("many, near neighbours") << 50000 << 40000 << 50000 << true << int(Shuffled) << 0;
        QTest::newRow("many, newest first") << 50000 << 40000 << 50000 << false << int(Shuffled) << 0;
        QTest::newRow("one") << 1 << 5 << 5 << true << int(Reversed) << 0;
        QTest::newRow("two, reversed") << 2 << 5 << 5 << true << int(Reversed) << 0;
        QTest::newRow("presorted, ties") << 50000 << 300 << 500 << true << int(Sorted) << 0;
        QTest::newRow("presorted, all one key") << 30000 << 1 << 0 << true << int(Sorted) << 0;
        QTest::newRow("presorted, clocks off") << 50000 << 0 << 0 << true << int(Sorted) << 0;
        QTest::newRow("presorted, newest first") << 50000 << 0 << 0 << false << int(Sorted) << 0;
        QTest::newRow("reversed, distinct") << 40000 << 0 << 0 << true << int(Reversed) << 0;
        QTest::newRow("reversed, ties") << 40000 << 300 << 500 << true << int(Reversed) << 0;
        QTest::newRow("reversed, all one key") << 30000 << 1 << 0 << true << int(Reversed) << 0;
        QTest::newRow("two runs, clocks off") << 50001 << 0 << 0 << true << int(Dealt) << 2;
        QTest::newRow("three runs, ties") << 30000 << 200 << 300 << false << int(Dealt) << 3;
        QTest::newRow("seven runs, short") << 100 << 0 << 0 << true << int(Dealt) << 7;
        QTest::newRow("runs turned every other") << 40000 << 0 << 0 << true << int(DealtTurned) << 5;
        QTest::newRow("runs turned, ties") << 40000 << 50 << 100 << true << int(DealtTurned) << 6;
        QTest::newRow("512 runs") << 60000 << 0 << 0 << true << int(Dealt) << 512;
        QTest::newRow("513 runs") << 60000 << 0 << 0 << true << int(Dealt) << 513;
        QTest::newRow("neighbours swapped here and there") << 50000 << 0 << 0 << true << int(Perturbed) << 97;
        QTest::newRow("swapped here and there, ties") << 50000 << 400 << 800 << true << int(Perturbed) << 31;
        QTest::newRow("swapped too often to merge") << 50000 << 0 << 0 << false << int(Perturbed) << 40;
    }
    void longListsSortAsOne()
    {
        QFETCH(int, size);
        QFETCH(int, dates);
        QFETCH(int, rowids);
        QFETCH(bool, ascending);
        QFETCH(int, arrangement);
        QFETCH(int, runs);
        QList<_MsgMessage> store(size);
        QList<_MsgMessage*> made;
        quint32 seed = 12345;
        const auto next = [&seed] { return (seed = seed * 1103515245u + 12345u) >> 8; };
        for (_MsgMessage& m : store) {
            const qint64 row = made.size() + 1;
            // By row: a message every 40 s, its clock up to 150 s off, so neighbours are near.
            m.date = dates ? int(next() % quint32(dates)) : int(row * 40 + next() % 150);
            m.rowid = m._sort_rowid = !dates ? row : rowids ? qint64(next() % quint32(rowids)) + 1 : 0;
            m._recovered = next() % 50 == 0;
            made << &m;
        }
        QList<_MsgMessage*> list = arranged(made, Arrangement(arrangement), runs);
        QList<_MsgMessage*> expected = list;
        std::stable_sort(expected.begin(), expected.end(), compareMsgMessageAsc);
        for (bool swapped = true; swapped;) {
            swapped = false;
            for (qsizetype i = 0; i + 1 < expected.size(); ++i)
                if (expected[i]->_sort_rowid > expected[i + 1]->_sort_rowid
                    && isMsgMessageNear(expected[i], expected[i + 1])) {
                    std::swap(expected[i], expected[i + 1]);
                    swapped = true;
                }
        }
        if (!ascending)
            std::reverse(expected.begin(), expected.end());
        sortMsgMessages(list, ascending);
        QVERIFY(list == expected);
    }

    void everySortGoesThroughSortMsgMessages()
    {
        // The message predicates are no sort order of their own: a sort call that names one
        // anywhere in the program bypasses the row-order rule of sortMsgMessages.
        const QDir src(QStringLiteral(QM_SOURCE_DIR "/src"));
        if (!src.exists())
            QSKIP("source tree not found");
        static const QRegularExpression sortCall(QStringLiteral(
            "\\b(std::(stable_)?sort|qSort|qStableSort|sort)\\s*\\([^;]*compareMsgMessage(Asc|Desc)"));
        QStringList offenders;
        QDirIterator it(src.absolutePath(), { "*.cpp", "*.h" }, QDir::Files, QDirIterator::Subdirectories);
        while (it.hasNext()) {
            QFile f(it.next());
            QVERIFY(f.open(QIODevice::ReadOnly));
            const QString text = QString::fromUtf8(f.readAll());
            if (sortCall.match(text).hasMatch() && !f.fileName().endsWith("store/MsgMessage.cpp"))
                offenders << src.relativeFilePath(f.fileName());
        }
        QVERIFY2(offenders.isEmpty(), qPrintable(offenders.join(", ")));
    }
};

QTEST_GUILESS_MAIN(TestMsgMessage)
#include "TestMsgMessage.moc"
