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
        // Truncated in the middle of the text run.
        QByteArray cut = msgAttaAttributeBody("01234567-89AB-CDEF-0123-456789ABCDEF").left(122);
        QVERIFY(msgTextFromAttributedBody(cut).isNull());
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
        // Its text run claims more bytes than the archive holds: not parsable.
        QVERIFY(msgTextFromAttributedBody(read("ExtraData")).isNull());
        QVERIFY(msgTextFromAttributedBody(read("MultiPart")).startsWith(QChar(0xFFFC)));
    }
};

QTEST_GUILESS_MAIN(TestMsgText)
#include "TestMsgText.moc"
