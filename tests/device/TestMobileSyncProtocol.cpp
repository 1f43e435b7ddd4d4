#include "device/MobileSyncProtocol.h"

#include <QtTest>

namespace
{
class ScriptedWire : public MobileSyncProtocol::Wire
{
public:
    QList<PlistCFType> incoming;
    QStringList sent;
    int receiveError = 0;
    int send(const PlistCFType& message) override
    {
        sent << message.toString();
        return 0;
    }
    int receive(PlistCFType& message) override
    {
        if (receiveError)
            return receiveError;
        message = incoming.isEmpty() ? PlistCFType() : incoming.takeFirst();
        return 0;
    }
};

PlistCFType msg(const QStringList& parts)
{
    PlistCFType array = PlistCFType::createCFArray();
    for (const QString& part : parts)
        array.append(PlistCFType::createCFString(part));
    return array;
}
} // namespace

class TestMobileSyncProtocol : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void readinessWaitsForTheDeviceAndPings()
    {
        ScriptedWire wire;
        wire.incoming << msg({ "SDMessageDeviceReadyToReceiveChanges" });
        QCOMPARE(MobileSyncProtocol::readyToSendNoCheck(wire), 0);
        QCOMPARE(wire.sent, QStringList { "[DLMessagePing, Preparing to get changes for device]" });

        ScriptedWire cancelled;
        cancelled.incoming << msg({ "SDMessageCancelSession", "com.apple.Contacts", "busy" });
        QCOMPARE(MobileSyncProtocol::readyToSendNoCheck(cancelled), int(MobileSyncProtocol::Cancelled));
        QVERIFY(cancelled.sent.isEmpty());

        ScriptedWire other;
        other.incoming << msg({ "SDMessageProcessChanges" });
        QCOMPARE(MobileSyncProtocol::readyToSendNoCheck(other), int(MobileSyncProtocol::NotReady));

        ScriptedWire garbage;
        garbage.incoming << PlistCFType::createCFString("not an array");
        QCOMPARE(MobileSyncProtocol::readyToSendNoCheck(garbage), int(MobileSyncProtocol::PlistError));

        ScriptedWire broken;
        broken.receiveError = -3;
        QCOMPARE(MobileSyncProtocol::readyToSendNoCheck(broken), -3);
    }

    void sendsChangesAndReadsRemapping()
    {
        ScriptedWire wire;
        PlistCFType entities = PlistCFType::createCFDictionary();
        entities.put("r1", PlistCFType::createCFString("v"));
        QCOMPARE(
            MobileSyncProtocol::sendChanges(wire, "com.apple.Bookmarks", entities, true, PlistCFType()), 0);
        QCOMPARE(wire.sent.last(),
            QStringLiteral(
                "[SDMessageProcessChanges, com.apple.Bookmarks, {r1 : v}, 1, ___EmptyParameterString___]"));
        QCOMPARE(
            MobileSyncProtocol::sendChanges(wire, "c", PlistCFType::createCFArray(), true, PlistCFType()),
            -1);

        PlistCFType remap = msg({ "SDMessageRemapRecordIdentifiers", "com.apple.Bookmarks" });
        PlistCFType mapping = PlistCFType::createCFDictionary();
        mapping.put("r1", PlistCFType::createCFString("42"));
        remap.append(mapping);
        wire.incoming << remap;
        PlistCFType got;
        QCOMPARE(MobileSyncProtocol::remapIdentifiers(wire, got), 0);
        QCOMPARE(got.get("r1").CFStringQString(), QStringLiteral("42"));

        wire.incoming << msg({ "SDMessageRemapRecordIdentifiers", "c", "___EmptyParameterString___" });
        QCOMPARE(MobileSyncProtocol::remapIdentifiers(wire, got), 0);
        QVERIFY(!got.ref());
        wire.incoming << msg({ "SDMessageSomethingElse" });
        QCOMPARE(MobileSyncProtocol::remapIdentifiers(wire, got), int(MobileSyncProtocol::PlistError));
    }
};

QTEST_GUILESS_MAIN(TestMobileSyncProtocol)
#include "TestMobileSyncProtocol.moc"
