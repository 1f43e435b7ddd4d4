#include "messages/store/MsgIdentity.h"

#include <QRegularExpression>
#include <QtTest>

class TestMsgIdentity : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void chatIdentifier()
    {
        QCOMPARE(genChatIdentifier("abc"), QString("chat126849043410737461"));
        QCOMPARE(genChatIdentifier("abc"), genChatIdentifier("abc"));
        QCOMPARE(genChatIdentifier(QString()).size(), 22);
        QVERIFY(genChatIdentifier("SMS;-;+15551230001").startsWith("chat"));
    }

    void uuids()
    {
        const QRegularExpression shape("^[0-9A-F]{8}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{12}$");
        const QString a = genUUID();
        QVERIFY(shape.match(a).hasMatch());
        QVERIFY(a != genUUID());
        QCOMPARE(hashUUID("abc"), QString("90015098-3CD2-4FB0-D696-3F7D28E17F72"));
        QVERIFY(shape.match(hashUUID(QByteArray())).hasMatch());
    }
};

QTEST_GUILESS_MAIN(TestMsgIdentity)
#include "TestMsgIdentity.moc"
