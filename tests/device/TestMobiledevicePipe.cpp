#include "device/mobiledevice_pipe.h"

#include <QElapsedTimer>
#include <QtTest>
#include <unistd.h>

class TestMobiledevicePipe : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void writesFramedXmlRequests()
    {
        mobiledevice_pipe pipe(1000);
        QVERIFY(pipe.create());
        QVERIFY(pipe.connect());
        QCOMPARE(pipe.childReadText, QString::number(pipe.childRead));
        PlistCFType request = PlistCFType::createCFDictionary();
        request.put("Command", PlistCFType::createCFString("List"));
        QVERIFY(pipe.writeRequest(request));
        qint32 length = 0;
        QCOMPARE(::read(pipe.childRead, &length, 4), 4);
        const QByteArray expected = request.CFPropertyListToBytes(CFPropertyListXMLFormat);
        QCOMPARE(length, qint32(expected.size()));
        QByteArray body(length, '\0');
        QCOMPARE(int(::read(pipe.childRead, body.data(), size_t(length))), length);
        QCOMPARE(body, expected);
    }

    void readsBinaryAndXmlResponses()
    {
        mobiledevice_pipe pipe(1000);
        QVERIFY(pipe.create());
        PlistCFType answer = PlistCFType::createCFDictionary();
        answer.put("Status", PlistCFType::createCFString("OK"));
        for (int format : { 200, 100 }) {
            const QByteArray body = answer.CFPropertyListToBytes(CFPropertyListFormat(format));
            const qint32 length = body.size();
            QCOMPARE(::write(pipe.childWrite, &length, 4), 4);
            QCOMPARE(int(::write(pipe.childWrite, body.constData(), size_t(length))), length);
            QCOMPARE(pipe.readReponse().get("Status").CFStringQString(), QStringLiteral("OK"));
        }
    }

    void refusesEmptyOversizedAndLateResponses()
    {
        mobiledevice_pipe pipe(500);
        QVERIFY(pipe.create());
        qint32 zero = 0;
        QCOMPARE(::write(pipe.childWrite, &zero, 4), 4);
        QCOMPARE(pipe.readReponse().typeId(), 16ul);

        qint32 huge = 0x7ffffff0; // never allocated
        QCOMPARE(::write(pipe.childWrite, &huge, 4), 4);
        QCOMPARE(pipe.readReponse().typeId(), 16ul);

        QElapsedTimer timer;
        timer.start();
        QCOMPARE(pipe.readReponse().typeId(), 16ul); // a silent child
        QVERIFY(timer.elapsed() >= 400);

        char buffer[4];
        QCOMPARE(pipe.read(buffer, 0), 0);
        QCOMPARE(pipe.write(buffer, 0, false), 0);
        pipe.close();
        QCOMPARE(pipe.parentRead, 0);
        QCOMPARE(pipe.read(buffer, 4), 0);
    }
};

QTEST_GUILESS_MAIN(TestMobiledevicePipe)
#include "TestMobiledevicePipe.moc"
