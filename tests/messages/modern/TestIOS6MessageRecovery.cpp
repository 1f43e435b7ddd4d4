#include "app/IProgressSink.h"
#include "messages/modern/IOS6MessageDb.h"
#include "messages/modern/IOS6MessageRecovery.h"
#include "messages/modern/MessageCarveLayouts.h"
#include "messages/store/CountryInfo.h"
#include "messages/store/MessageRecycleDb.h"
#include "messages/store/MsgData.h"
#include "messages/support/MsgFixtures.h"
#include "support/TestEnv.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QtTest>

using namespace MsgFixtures;

namespace
{

class FakeProgress : public IProgressSink
{
public:
    bool isCancelled() const override { return cancelAfter >= 0 && reports >= cancelAfter; }
    void updateProgress(const QString&, int percent, const QString&) override
    {
        ++reports;
        percents.append(percent);
    }
    int cancelAfter = -1;
    int reports = 0;
    QList<int> percents;
};

_SqliteFileRowData row(int count, const QString& service)
{
    _SqliteFileRowData r;
    r.rowid = 42;
    for (int i = 0; i < count; ++i)
        r.values.append(QVariant());
    if (count > 11)
        r.values[11] = service;
    return r;
}

struct Run {
    QList<RecycleMsg> recovered;
    QJsonObject expected;
};

// Generates a database, reads its conversations as a page would, and runs the recovery.
Run recover(const QStringList& genArgs, IProgressSink* progress = nullptr, int runs = 1)
{
    Run r;
    QString err;
    const QString folder = generateWith("make_deleted_sms.py", genArgs, &err);
    if (folder.isEmpty())
        qFatal("generator failed: %s", qPrintable(err));
    r.expected = expected(folder);
    const QByteArray before = fileHash(smsPath(folder));
    const QByteArray walBefore = fileHash(smsPath(folder) + "-wal");
    IOS6MessageDb db(QDir(folder), _CountryInfo(), false);
    db.setIOSDbPath(smsPath(folder));
    MsgData data;
    db.chats(data);
    for (int i = 0; i < runs; ++i)
        db.recycleDeletedMessages(data.chats(), progress);
    r.recovered = db.recycleDb()->messages();
    // The user's database (and its log) are never written.
    if (fileHash(smsPath(folder)) != before || fileHash(smsPath(folder) + "-wal") != walBefore)
        qFatal("the source database was changed");
    return r;
}

QHash<QString, QString> guidsTo(const QJsonArray& list, const char* field)
{
    QHash<QString, QString> out;
    for (const QJsonValue& v : list)
        out.insert(v["guid"].toString(), v[field].toString());
    return out;
}

} // namespace

class TestIOS6MessageRecovery : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void layouts()
    {
        const QList<QList<_SqliteCol>> l = messageCarveLayouts();
        QCOMPARE(l.size(), 2);
        QCOMPARE(l[0].size(), 74);
        QCOMPARE(l[1].size(), 78);
        int notNull = 0, defaults = 0, keys = 0;
        for (int i = 0; i < 78; ++i) {
            const _SqliteCol& c = l[1][i];
            if (i < 74)
                QVERIFY(
                    c.name == l[0][i].name && c.type == l[0][i].type && c.hasDefault == l[0][i].hasDefault);
            notNull += c.notNull;
            defaults += c.hasDefault;
            keys += c.primaryKey;
        }
        QCOMPARE(notNull, 1);
        QCOMPARE(keys, 1);
        QCOMPARE(defaults, 51);
        QCOMPARE(l[1][11].name, QString("service"));
    }

    void rowTest_data()
    {
        QTest::addColumn<int>("count");
        QTest::addColumn<QString>("service");
        QTest::addColumn<bool>("valid");
        QTest::newRow("37 values") << 37 << "SMS" << false;
        QTest::newRow("38 values") << 38 << "SMS" << true;
        QTest::newRow("lower sms") << 74 << "sms" << true;
        QTest::newRow("IMESSAGE") << 78 << "IMESSAGE" << true;
        QTest::newRow("MMS") << 74 << "MMS" << false;
        QTest::newRow("trailing blank") << 74 << "SMS " << false;
        QTest::newRow("empty") << 74 << "" << false;
    }
    void rowTest()
    {
        QFETCH(int, count);
        QFETCH(QString, service);
        QFETCH(bool, valid);
        const _SqliteFileRowData r = row(count, service);
        QCOMPARE(IOS6MessageRecovery::checkMessageRowValid(r), valid);
        IOS6MessageDb db(QDir(TestEnv::tempDir()), _CountryInfo(), false);
        _MsgMessage m;
        QCOMPARE(db.recoverFetchMessage(r, &m), valid);
        QCOMPARE(m.rowid, count >= 38 ? qint64(42) : qint64(0));
    }

    void fetchDates_data()
    {
        QTest::addColumn<qint64>("stored");
        QTest::addColumn<int>("date");
        QTest::newRow("seconds") << qint64(400000000) << 400000000;
        QTest::newRow("exactly 10^17 is not divided") << qint64(100000000000000000LL) << 1569325056;
        QTest::newRow("just above is nanoseconds") << qint64(100000000000000001LL) << 100000000;
        QTest::newRow("nanoseconds") << qint64(600000000000000000LL) << 600000000;
    }
    void fetchDates()
    {
        QFETCH(qint64, stored);
        QFETCH(int, date);
        _SqliteFileRowData r = row(50, "iMessage");
        r.values[15] = stored;
        r.values[41] = 0;
        r.values[42] = qint64(4294967295LL);
        IOS6MessageDb db(QDir(TestEnv::tempDir()), _CountryInfo(), false);
        _MsgMessage m;
        QVERIFY(db.recoverFetchMessage(r, &m));
        QCOMPARE(m.date, date);
        QCOMPARE(m.other_handle, -1);
    }

    void recoversDeletedMessages_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::newRow("78 columns") << QStringList();
        QTest::newRow("74 columns, 512-byte pages")
            << QStringList { "--columns", "74", "--page-size", "512" };
        QTest::newRow("deletions still in the log") << QStringList { "--wal" };
        QTest::newRow("long texts on overflow pages") << QStringList { "--text-bytes", "6000", "--long-every",
            "6", "--delete-every", "6", "--messages", "300" };
    }
    void recoversDeletedMessages()
    {
        QFETCH(QStringList, args);
        const Run r = recover(args);
        const QHash<QString, QString> deleted = guidsTo(r.expected["deleted"].toArray(), "chat");
        const QHash<QString, QString> texts = guidsTo(r.expected["deleted"].toArray(), "text");
        const QHash<QString, QString> live = guidsTo(r.expected["live"].toArray(), "chat");
        int found = 0;
        int whole = 0;
        for (const RecycleMsg& m : r.recovered) {
            QVERIFY2(!live.contains(m.guid), "a live message was filed as deleted");
            if (deleted.contains(m.guid)) {
                ++found;
                whole += m.text == texts.value(m.guid);
                // One-to-one conversations keep their identifier; a group message may be filed
                // under its sender's one-to-one conversation.
                if (deleted.value(m.guid) != "chat900")
                    QCOMPARE(m.chat_identifier, deleted.value(m.guid));
            }
        }
        QVERIFY2(found >= deleted.size() * 6 / 10,
            qPrintable(QString("recovered %1 of %2").arg(found).arg(deleted.size())));
        // Texts come back whole, overflow pages included, for most of them.
        QVERIFY2(whole >= found * 8 / 10, qPrintable(QString("%1 of %2 whole").arg(whole).arg(found)));
    }

    void secondRunAddsNothing()
    {
        const Run once = recover({});
        const Run twice = recover({}, nullptr, 2);
        QCOMPARE(twice.recovered.size(), once.recovered.size());
    }

    void cancelStopsAndKeepsWhatWasFiled()
    {
        FakeProgress cancelled;
        cancelled.cancelAfter = 0;
        QCOMPARE(recover({}, &cancelled).recovered.size(), 0);
        QCOMPARE(cancelled.reports, 0);
        FakeProgress some;
        some.cancelAfter = 2;
        recover({}, &some);
        QCOMPARE(some.reports, 2);
        FakeProgress all;
        const Run r = recover({}, &all);
        QVERIFY(!r.recovered.isEmpty());
        QCOMPARE(all.percents.last(), 100);
    }

    void recoversDeletedHandlesAndMergesMessages()
    {
        const QString folder = generateWith("make_deleted_sms.py", { "--delete-handle" });
        QVERIFY(!folder.isEmpty());
        IOS6MessageDb db(QDir(folder), _CountryInfo(), false);
        db.recycleDeletedHandles(nullptr);
        const QList<_MsgHandle> handles = db.recycleDb()->handles();
        const auto it = std::find_if(handles.begin(), handles.end(),
            [](const _MsgHandle& h) { return h.id.endsWith("7700900123") && h.service == "SMS"; });
        QVERIFY2(it != handles.end(), "the deleted handle was not recovered");
        // Its rowid is known only where the cell's leading bytes survived; never another number.
        const _MsgHandle bySource = db.recycleDb()->handleBySrcRowId(3);
        QVERIFY(bySource.id.isEmpty() || bySource.id == it->id);
        db.recycleDeletedHandles(nullptr);
        QCOMPARE(db.recycleDb()->handles().size(), handles.size());

        MsgData data;
        db.messages(data, 0);
        const int live = data.messages().size();
        db.recycleDeletedMessages(data.chats(), nullptr);
        const int stored = db.recycleDb()->messages().size();
        QVERIFY(stored > 0);
        db.deletedMessages(data);
        QCOMPARE(data.messages().size(), live + stored);
        int recovered = 0;
        for (const _MsgMessage* m : data.messages()) {
            if (!m->_recovered)
                continue;
            ++recovered;
            QVERIFY(m->_chat && m->_chat->_messages.contains(QString::number(m->rowid)));
            QVERIFY(m->_sort_rowid > 0);
        }
        QCOMPARE(recovered, stored);
        db.deletedMessages(data);
        QCOMPARE(data.messages().size(), live + stored);
    }

    void handleRowFilter_data()
    {
        QTest::addColumn<QString>("country");
        QTest::addColumn<QString>("service");
        QTest::addColumn<bool>("taken");
        QTest::newRow("known country") << "us"
                                       << "SMS" << true;
        QTest::newRow("country in upper case") << "US"
                                               << "iMessage" << true;
        QTest::newRow("no country: the default record") << ""
                                                        << "SMS" << true;
        QTest::newRow("unknown country") << "zz"
                                         << "SMS" << false;
        QTest::newRow("service in lower case") << "us"
                                               << "sms" << true;
        QTest::newRow("service in upper case") << "us"
                                               << "IMESSAGE" << true;
        QTest::newRow("other service") << "us"
                                       << "MMS" << false;
    }
    void handleRowFilter()
    {
        QFETCH(QString, country);
        QFETCH(QString, service);
        QFETCH(bool, taken);
        _SqliteFileRowData r;
        r.rowid = 7;
        r.values = { QVariant(), QString("+15550101"), country, service, QString("555-0101"), QVariant() };
        IOS6MessageDb db(QDir(TestEnv::tempDir()), _CountryInfo(), false);
        _MsgHandle h;
        QCOMPARE(db.recoverFetchHandle(r, &h), taken);
        if (!taken)
            return;
        QCOMPARE(h.rowid, qint64(7));
        QCOMPARE(h.service, service); // kept as it was written
        QCOMPARE(h.country, country);
        QVERIFY(!h.id.isEmpty());
    }

    void handleRecoveryCancelledAtOnce()
    {
        const QString folder = generateWith("make_deleted_sms.py", { "--delete-handle" });
        QVERIFY(!folder.isEmpty());
        IOS6MessageDb db(QDir(folder), _CountryInfo(), false);
        FakeProgress cancelled;
        cancelled.cancelAfter = 0;
        db.recycleDeletedHandles(&cancelled);
        QCOMPARE(cancelled.reports, 0);
        QCOMPARE(db.recycleDb()->handles().size(), 0);
        // Without a progress sink the run goes to its end.
        db.recycleDeletedHandles(nullptr);
        QVERIFY(!db.recycleDb()->handles().isEmpty());
    }

    void mergedConversationsNeverDisplaceEachOther()
    {
        MsgData data;
        QList<RecycleMsg> list;
        const char* idents[] = { "+15550001", "+15550002", "", "friend@example.com" };
        for (int i = 0; i < 4; ++i) {
            RecycleMsg r;
            r.rowid = -2047483648LL - (i + 1);
            r.guid = QString("G%1").arg(i);
            r.handle_id = 0; // older databases give every recovered message handle 0
            r.service = i == 3 ? "iMessage" : "SMS";
            r.chat_identifier = idents[i];
            r.date = 100 + i;
            r._recovered = true;
            list.append(r);
        }
        MessageRecycleDb store(TestEnv::tempDir() + "/recycle.db");
        store.mergeMessages(data, list);
        QCOMPARE(data.chats().size(), 4);
        QSet<QString> seen;
        for (const _MsgMessage* m : data.messages()) {
            QVERIFY(data.p()->chats.value(m->_chat->rowid) == m->_chat);
            seen.insert(m->_chat->chat_identifier);
        }
        QCOMPARE(seen, QSet<QString>({ "+15550001", "+15550002", "unknown0", "friend@example.com" }));
        store.mergeMessages(data, list);
        QCOMPARE(data.messages().size(), 4);
    }

    void missingDatabaseIsAnError()
    {
        IOS6MessageDb db(QDir(TestEnv::tempDir()), _CountryInfo(), false);
        QVERIFY_THROWS_EXCEPTION(std::runtime_error, db.recycleDeletedMessages({}, nullptr));
        QVERIFY(!QFile::exists(db.iosDbPath()));
    }
};

QTEST_GUILESS_MAIN(TestIOS6MessageRecovery)
#include "TestIOS6MessageRecovery.moc"
