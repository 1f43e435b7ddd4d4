#include "messages/store/CountryInfo.h"
#include "messages/store/IOS5MessageDb.h"
#include "messages/store/IOS5MessageRecovery.h"
#include "messages/store/MessageRecycleDb.h"
#include "messages/store/MsgData.h"
#include "messages/support/MsgFixtures.h"
#include "support/TestEnv.h"

#include <QDir>
#include <QJsonArray>
#include <QtTest>

using namespace MsgFixtures;

namespace
{

// A full-width SMS row: address, a date in Unix seconds, text, flags, UIFlags 0, read 1, is_madrid 0.
_SqliteFileRowData smsRow()
{
    _SqliteFileRowData r;
    r.rowid = 7;
    for (int i = 0; i < 33; ++i)
        r.values.append(QVariant());
    r.values[1] = "5551230001";
    r.values[2] = 1300000000;
    r.values[3] = "hello";
    r.values[4] = 3;
    r.values[10] = 0;
    r.values[16] = 1;
    r.values[29] = 0;
    return r;
}

_SqliteFileRowData iMessageRow()
{
    _SqliteFileRowData r = smsRow();
    r.values[1] = QVariant();
    r.values[2] = 330000000;
    r.values[18] = "friend@example.com";
    r.values[20] = "0000000A-0000-0000-0000-000000000001";
    r.values[22] = "";
    r.values[23] = "Madrid";
    r.values[29] = 1;
    r.values[31] = 0;
    return r;
}

} // namespace

class TestIOS5MessageRecovery : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void rowRules_data()
    {
        QTest::addColumn<int>("kind"); // 0 SMS, 1 iMessage
        QTest::addColumn<int>("index");
        QTest::addColumn<QVariant>("value");
        QTest::addColumn<bool>("kept");
        QTest::newRow("sms as is") << 0 << 0 << QVariant() << true;
        QTest::newRow("UIFlags 4") << 0 << 10 << QVariant(4) << true;
        QTest::newRow("UIFlags 7") << 0 << 10 << QVariant(7) << false;
        QTest::newRow("read negative") << 0 << 16 << QVariant(-1) << false;
        QTest::newRow("is_madrid 2") << 0 << 29 << QVariant(2) << false;
        QTest::newRow("sms with a madrid value") << 0 << 24 << QVariant("x") << false;
        QTest::newRow("sms with madrid_account_guid") << 0 << 32 << QVariant("x") << true;
        QTest::newRow("sms empty address") << 0 << 1 << QVariant("") << false;
        QTest::newRow("sms date of 2001 exactly") << 0 << 2 << QVariant(978307200) << false;
        QTest::newRow("sms in the future") << 0 << 2 << QVariant(2000000000) << false;
        QTest::newRow("unknown country") << 0 << 13 << QVariant("zz") << false;
        QTest::newRow("imessage as is") << 1 << 0 << QVariant() << true;
        QTest::newRow("service case matters") << 1 << 23 << QVariant("madrid") << false;
    }
    void rowRules()
    {
        QFETCH(int, kind);
        QFETCH(int, index);
        QFETCH(QVariant, value);
        QFETCH(bool, kept);
        _SqliteFileRowData r = kind ? iMessageRow() : smsRow();
        if (index > 0)
            r.values[index] = value;
        IOS5MessageDb db { QDir(TestEnv::tempDir()), _CountryInfo() };
        RecycleMsg item;
        QCOMPARE(db.recoverFetchMessage(r, item), kept);
        if (kept && kind == 0) {
            QCOMPARE(item.date, 1300000000 - 978307200);
            QCOMPARE(item.is_from_me, 1);
            QCOMPARE(item.service, QString("SMS"));
            QVERIFY(!item.chat_identifier.isEmpty());
        } else if (kept) {
            QCOMPARE(item.date, 330000000);
            QCOMPARE(item.chat_identifier, QString("friend@example.com"));
            QCOMPARE(item.is_from_me, 0);
        }
    }

    void recoversAndMergesDeletedMessages_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::newRow("the 33-column table") << QStringList { "--ios5" };
        QTest::newRow("two columns added later") << QStringList { "--ios5", "--ios5-extra", "2" };
    }
    void recoversAndMergesDeletedMessages()
    {
        QFETCH(QStringList, args);
        QString err;
        const QString folder = generateWith("make_deleted_sms.py", args, &err);
        QVERIFY2(!folder.isEmpty(), qPrintable(err));
        const QByteArray before = fileHash(smsPath(folder));
        IOS5MessageDb db { QDir(folder), _CountryInfo() };
        db.recycleDeletedMessages(nullptr);
        QCOMPARE(fileHash(smsPath(folder)), before);
        // Exactly the deleted messages still in the file come back, each once, and nothing else.
        const QJsonArray deletedList = expected(folder)["deleted"].toArray();
        const StillInFile inFile = stillInFile(smsPath(folder), deletedList, "text");
        QVERIFY(inFile.present.size() >= deletedList.size() * 9 / 10);
        QSet<QString> found;
        const QList<RecycleMsg> stored = db.recycleDb()->messages();
        for (const RecycleMsg& m : stored) {
            QVERIFY2(!found.contains(m.text), qPrintable("filed twice: " + m.text));
            found.insert(m.text);
        }
        QCOMPARE(found, inFile.present);
        db.recycleDeletedMessages(nullptr);
        QCOMPARE(db.recycleDb()->messages().size(), stored.size());

        MsgData data;
        db.deletedMessages(data);
        QCOMPARE(data.messages().size(), stored.size());
        // Every recovered message has handle 0: the SMS and iMessage conversations stay apart.
        QCOMPARE(data.chats().size(), 2);
    }
};

QTEST_GUILESS_MAIN(TestIOS5MessageRecovery)
#include "TestIOS5MessageRecovery.moc"
