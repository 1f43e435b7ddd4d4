#include "messages/store/MsgText.h"
#include "support/TestEnv.h"

#include <QDir>
#include <QFile>
#include <QtTest>

class TestMsgText : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void dates()
    {
        QCOMPARE(dtFromDate21(0).toUTC(), QDateTime(QDate(2001, 1, 1), QTime(0, 0), Qt::UTC));
        QCOMPARE(dtFromDate21(-978307200).toUTC().date().year(), 1970);
        QCOMPARE(dtFromDate21(-1).toUTC().date().year(), 2000);
    }

    void attachmentBody()
    {
        const QString guid = "01234567-89AB-CDEF-0123-456789ABCDEF";
        const QByteArray b = msgAttaAttributeBody(guid);
        QCOMPARE(b.size(), 308);
        QVERIFY(b.startsWith(QByteArray("\x04\x0bstreamtyped")));
        QCOMPARE(quint8(b.at(199)), quint8(0x24));
        QCOMPARE(b.mid(200, 36), guid.toUtf8());
        QCOMPARE(b.mid(122, 3), QByteArray("\xEF\xBF\xBC"));
        // Its text is the single placeholder.
        QCOMPARE(msgTextFromAttributedBody(b), QString(QChar(0xFFFC)));
    }

    void textFromAttributedBody()
    {
        QCOMPARE(msgTextFromAttributedBody(QByteArray()), QString());
        QVERIFY(msgTextFromAttributedBody("\x04\x0bstreamtyped garbage").isNull());
        QVERIFY(msgTextFromAttributedBody("not a typedstream").isNull());
        // Cut in the middle of the text run: the whole characters before the cut.
        QByteArray cut = msgAttaAttributeBody("01234567-89AB-CDEF-0123-456789ABCDEF").left(122);
        QCOMPARE(msgTextFromAttributedBody(cut), QString(""));
    }

    void declaredLengthPastTheEnd_data()
    {
        QTest::addColumn<QByteArray>("run");
        QTest::addColumn<QString>("text");
        QTest::newRow("ends at the archive's marker") << QByteArray("Hello\x86\x84\x02iI") << "Hello";
        QTest::newRow("whole multi-byte characters")
            << QByteArray("Gr\xC3\xBC\xC3\x9F\xF0\x9F\x98\x80") << "Grüß😀";
        QTest::newRow("cut inside a character") << QByteArray("ab\xF0\x9F\x98") << "ab";
        QTest::newRow("overlong form refused") << QByteArray("ab\xC0\xAF"
                                                             "cd")
                                               << "ab";
        QTest::newRow("surrogate refused") << QByteArray("ab\xED\xA0\x80") << "ab";
        QTest::newRow("nothing there") << QByteArray() << "";
    }

    // A run whose declared length (here 200) runs past the blob gives its well-formed text.
    void declaredLengthPastTheEnd()
    {
        QFETCH(QByteArray, run);
        QFETCH(QString, text);
        QByteArray body
            = QByteArray("\x04\x0bstreamtyped\x81\xe8\x03\x84\x01@\x84\x84\x84\x08NSString\x01\x84\x01+");
        body += QByteArray("\x81\xc8\x00", 3) + run;
        QCOMPARE(msgTextFromAttributedBody(body), text);
    }

    // What is shown of a text: whole up to 1 MB of UTF-8, else cut between two characters and
    // the line saying so. cut: the count of UTF-16 units kept; -1: the text whole.
    void shownText_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("cut");
        const int mb = int(kMaxShownText);
        const QString pair = QString::fromUtf8("\xF0\x9F\x98\x80"); // 4 bytes, 2 units
        QTest::newRow("short") << "hi" << -1;
        QTest::newRow("exactly 1 MB") << QString(mb, 'x') << -1;
        QTest::newRow("one byte over") << QString(mb + 1, 'x') << mb;
        QTest::newRow("two-byte characters") << QString(mb / 2 + 1, QChar(0xE9)) << mb / 2;
        QTest::newRow("three-byte, cut inside one") << QString(mb / 3 + 1, QChar(0x20AC)) << mb / 3;
        QTest::newRow("pairs, exactly") << pair.repeated(mb / 4) << -1;
        QTest::newRow("pairs, cut between halves") << "x" + pair.repeated(mb / 4) << 1 + 2 * (mb / 4 - 1);
        QTest::newRow("20 MB") << QString(20 * mb, 'w') << mb;
        QTest::newRow("accent across the cut") << QString(mb - 1, 'x') + "e\u0301" << mb - 1;
    }
    void shownText()
    {
        QFETCH(QString, text);
        QFETCH(int, cut);
        const QString shown = msgShownText(text);
        if (cut < 0) {
            QVERIFY(shown.isSharedWith(text)); // no copy of a text shown whole
            return;
        }
        QCOMPARE(shown.size(), cut + msgCutLine().size());
        QVERIFY(QStringView(shown).left(cut) == QStringView(text).left(cut));
        QVERIFY(shown.endsWith("\n[Cut here: only the first 1 MB of the text is shown.]"));
        QVERIFY(shown.left(cut).toUtf8().size() <= kMaxShownText);
    }

    void realAttributedBodies()
    {
        QM_REQUIRE_SHARED();
        const QString dir = TestEnv::realFixture("imessage-exporter/streamtyped");
        auto read = [&](const QString& name) {
            QFile f(QDir(dir).filePath(name));
            if (!f.open(QIODevice::ReadOnly))
                return QByteArray();
            return f.readAll();
        };
        QVERIFY(msgTextFromAttributedBody(read("AttributedBodyTextOnly2")).startsWith("Test 3"));
        QCOMPARE(msgTextFromAttributedBody(read("Blank")), QString(""));
        QVERIFY(msgTextFromAttributedBody(read("URL")).startsWith("https:"));
        // Its text run claims more bytes than the archive holds: the text that is there.
        QCOMPARE(msgTextFromAttributedBody(read("ExtraData")), QString("This is parsing  "));
        QVERIFY(msgTextFromAttributedBody(read("MultiPart")).startsWith(QChar(0xFFFC)));
    }
};

QTEST_GUILESS_MAIN(TestMsgText)
#include "TestMsgText.moc"
