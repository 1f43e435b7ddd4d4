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
#include <QRandomGenerator>
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
    QString db;
    bool listed = false; // the conversations could be read
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
    r.db = smsPath(folder);
    IOS6MessageDb db(QDir(folder), _CountryInfo(), false);
    db.setIOSDbPath(smsPath(folder));
    MsgData data;
    try {
        db.chats(data);
        r.listed = true;
    } catch (const std::runtime_error&) {
        // A damaged message table cannot be listed: the recovery runs without its conversations.
    }
    // (Loading the conversations empties a device's sync tables; the recovery itself writes nothing.)
    const QByteArray before = fileHash(smsPath(folder));
    const QByteArray walBefore = fileHash(smsPath(folder) + "-wal");
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

    // Exactly the deleted messages still in the file come back, each once, with its text whole
    // where its overflow bytes survive; no live message, nothing else.
    void recoversEveryDeletedMessageInTheFile_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<QString>("device"); // a device's own database to delete from, or none
        QTest::addColumn<int>("atLeast"); // deleted messages the shape must leave in the file
        const QString none;
        QTest::newRow("78 columns, empty texts where devices leave NULL")
            << QStringList { "--empty-defaults", "--delete-every", "4", "--messages", "400" } << none << 90;
        QTest::newRow("78 columns as devices store them")
            << QStringList { "--delete-every", "4", "--messages", "400" } << none << 90;
        QTest::newRow("74 columns, 512-byte pages, alike messages in two conversations")
            << QStringList { "--columns", "74", "--page-size", "512", "--twins" } << none << 60;
        QTest::newRow("the first 50 columns") << QStringList { "--columns", "50" } << none << 90;
        QTest::newRow("columns in an order of their own") << QStringList { "--columns",
            "ROWID,guid,text,replace,service_center,handle_id,country,attributedBody,version,type,service,"
            "account,account_guid,error,date,date_read,date_delivered,is_delivered,is_finished,is_emote,"
            "is_from_me,is_empty,is_delayed,is_auto_reply,is_prepared,is_read,is_system_message,is_sent,"
            "has_dd_results,is_service_message,is_forward,was_downgraded,is_archive,"
            "cache_has_attachments,cache_roomnames,was_data_detected,was_deduplicated,subject" }
                                                          << none << 90;
        QTest::newRow("64 KiB pages, a one-leaf table emptied") << QStringList { "--page-size", "65536",
            "--messages", "60", "--delete-every", "1" } << none << 60;
        QTest::newRow("64 KiB pages, 101 adjacent deletions")
            << QStringList { "--page-size", "65536", "--delete-run", "101" } << none << 101;
        QTest::newRow("4 KiB pages, 80 adjacent deletions")
            << QStringList { "--delete-run", "80" } << none << 50;
        QTest::newRow("deletions still in the log") << QStringList { "--wal" } << none << 90;
        QTest::newRow("long texts on overflow pages") << QStringList { "--text-bytes", "6000", "--long-every",
            "6", "--delete-every", "6", "--messages", "300" }
                                                      << none << 30;
        QTest::newRow("a freelist whose trunk chain comes back to its start")
            << QStringList { "--cyclic-freelist" } << none << 90;
        QTest::newRow("68-column device database, every third deleted")
            << QStringList { "--delete-every", "3" } << "magnet-ctf-2020-sms/sms.db" << 30;
        QTest::newRow("68-column device database on 512-byte pages, headers cut into overflow pages")
            << QStringList { "--delete-every", "3", "--page-size", "512" } << "magnet-ctf-2020-sms/sms.db"
            << 10;
        QTest::newRow("68-column device database on 64 KiB pages")
            << QStringList { "--delete-every", "3", "--page-size", "65536" } << "magnet-ctf-2020-sms/sms.db"
            << 30;
        QTest::newRow("78 columns grown from 50 and 66 by adding columns")
            << QStringList { "--grown-from", "50,66", "--messages", "600" } << none << 150;
        QTest::newRow("78 columns grown from 40 and 74, on 64 KiB pages") << QStringList { "--grown-from",
            "40,74", "--messages", "600", "--page-size", "65536" } << none << 150;
        QTest::newRow("74 columns grown from 38 and 60, deletions still in the log")
            << QStringList { "--columns", "74", "--grown-from", "38,60", "--messages", "600", "--wal" }
            << none << 150;
        QTest::newRow("root page of the message table zeroed")
            << QStringList { "--messages", "400", "--delete-every", "3", "--zero-root" } << none << 100;
        QTest::newRow("root page zeroed, a table grown from 45 columns")
            << QStringList { "--messages", "400", "--grown-from", "45", "--zero-root" } << none << 100;
        QTest::newRow("root page zeroed, no leaf of the table left")
            << QStringList { "--messages", "400", "--delete-run", "396", "--zero-root" } << none << 390;
        QTest::newRow("68-column device database grown by two columns and 2,000 messages") << QStringList {
            "--delete-every", "3", "--add-columns", "is_kept INTEGER DEFAULT 0,note TEXT", "--grow-to", "2000"
        } << "magnet-ctf-2020-sms/sms.db" << 600;
        QTest::newRow("38-column device database")
            << QStringList { "--delete-every", "2" } << "otapki-iphone/HomeDomain/Library/SMS/sms.db" << 1;
    }
    void recoversEveryDeletedMessageInTheFile()
    {
        QFETCH(QStringList, args);
        QFETCH(QString, device);
        QFETCH(int, atLeast);
        if (!device.isEmpty()) {
            QM_REQUIRE_SHARED();
            args << "--from" << TestEnv::realFixture(device);
        }
        const Run r = recover(args);
        const QJsonArray deletedList = r.expected["deleted"].toArray();
        const QHash<QString, QString> chats = guidsTo(deletedList, "chat");
        const QHash<QString, QString> texts = guidsTo(deletedList, "text");
        const QHash<QString, QString> live = guidsTo(r.expected["live"].toArray(), "chat");
        const StillInFile inFile = stillInFile(r.db, deletedList, "guid");
        QVERIFY2(
            inFile.present.size() >= atLeast, qPrintable(QString("only %1 left").arg(inFile.present.size())));
        QSet<QString> found;
        for (const RecycleMsg& m : r.recovered) {
            QVERIFY2(!live.contains(m.guid), qPrintable("live message filed: " + m.text));
            QVERIFY2(chats.contains(m.guid), qPrintable("not a deleted message: " + m.text.left(80)));
            QVERIFY2(!found.contains(m.guid), qPrintable("filed twice: " + m.text.left(80)));
            found.insert(m.guid);
            const QString text = texts.value(m.guid);
            if (inFile.whole.contains(m.guid))
                QCOMPARE(m.text, text);
            else
                QVERIFY2(!m.text.isEmpty() && text.startsWith(m.text), qPrintable(m.text.left(80)));
            // One-to-one conversations keep their identifier; a group message may be filed
            // under its sender's one-to-one conversation.
            if (device.isEmpty() && r.listed && chats.value(m.guid) != "chat900")
                QCOMPARE(m.chat_identifier, chats.value(m.guid));
        }
        QCOMPARE(found, inFile.present);
    }

    // Free space holding no deleted record yields no message, whatever its bytes look like.
    void carvingJunkFilesNothing_data()
    {
        QTest::addColumn<QByteArray>("pattern");
        QTest::addColumn<bool>("random");
        QTest::newRow("random bytes") << QByteArray() << true;
        QTest::newRow("zeros") << QByteArray(1, '\0') << false;
        QTest::newRow("text") << QByteArray("SMS iMessage lorem ipsum +15551230001 ") << false;
        QTest::newRow("small integers") << QByteArray("\x01\x08\x09\x00\x0f\x11", 6) << false;
    }
    void carvingJunkFilesNothing()
    {
        QFETCH(QByteArray, pattern);
        QFETCH(bool, random);
        QString err;
        const QString folder
            = generateWith("make_deleted_sms.py", { "--delete-every", "0", "--messages", "200" }, &err);
        QVERIFY2(!folder.isEmpty(), qPrintable(err));
        // The unallocated space of every table leaf page is filled with the junk.
        QFile f(smsPath(folder));
        QVERIFY(f.open(QIODevice::ReadWrite));
        QByteArray bytes = f.readAll();
        QRandomGenerator rng(11);
        const auto u16 = [&](qint64 at) { return (quint8(bytes[at]) << 8) | quint8(bytes[at + 1]); };
        int filled = 0;
        for (qint64 page = 4096; page < bytes.size(); page += 4096) {
            if (bytes[page] != 13)
                continue;
            const qint64 from = page + 8 + 2 * u16(page + 3);
            const qint64 to = page + (u16(page + 5) ? u16(page + 5) : 65536);
            for (qint64 i = from; i < to && i < page + 4096; ++i, ++filled)
                bytes[i] = random ? char(rng.bounded(256)) : pattern[int(i % pattern.size())];
        }
        QVERIFY(filled > 4096);
        f.seek(0);
        f.write(bytes);
        f.close();
        IOS6MessageDb db(QDir(folder), _CountryInfo(), false);
        db.setIOSDbPath(smsPath(folder));
        db.recycleDeletedMessages({}, nullptr);
        QCOMPARE(db.recycleDb()->messages().size(), 0);
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

    // A recovered message joins a loaded group conversation under the handle it was sent from, and
    // never moves the conversation's latest date back.
    void mergeKeepsSenderAndLatestDate_data()
    {
        QTest::addColumn<QString>("sender");
        QTest::addColumn<int>("date");
        QTest::addColumn<int>("last");
        QTest::newRow("from one member, older") << "+15550001" << 500 << 1000;
        QTest::newRow("from the other member, older") << "+15550002" << 500 << 1000;
        QTest::newRow("from the other member, newer") << "+15550002" << 2000 << 2000;
    }
    void mergeKeepsSenderAndLatestDate()
    {
        QFETCH(QString, sender);
        QFETCH(int, date);
        QFETCH(int, last);
        MsgData data;
        auto* chat = new _MsgChat;
        chat->rowid = 7;
        chat->chat_identifier = "chat900";
        chat->service_name = "iMessage";
        chat->_last = 1000;
        data.p()->chats.insert(chat->rowid, chat);
        for (const char* id : { "+15550001", "+15550002" }) {
            auto* h = new _MsgHandle;
            h->rowid = data.p()->handles.size() + 1;
            h->id = id;
            data.p()->handles.insert(h->rowid, h);
            chat->_handles.insert(id, h);
        }
        QList<RecycleMsg> list;
        for (int i = 0; i < 2; ++i) {
            RecycleMsg r;
            r.rowid = -2047483648LL - (i + 1);
            r.guid = QString("G%1").arg(i);
            r.service = "iMessage";
            r.chat_identifier = "chat900";
            r.handle = sender;
            r.date = date - i; // the older of the two comes last
            r._recovered = true;
            list.append(r);
        }
        MessageRecycleDb store(TestEnv::tempDir() + "/recycle.db");
        store.mergeMessages(data, list);
        QCOMPARE(data.chats().size(), 1);
        QCOMPARE(chat->_last, last);
        for (const _MsgMessage* m : data.messages()) {
            QVERIFY(m->_chat == chat);
            QVERIFY(m->_sender);
            QCOMPARE(m->_sender->id, sender);
        }
    }

    // A damaged database fails the run with an error that names the user's file, not the private
    // copy the run read (which is gone by then).
    void damagedDatabaseErrorNamesTheFile_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QStringList>("genArgs"); // a generated database instead of the bytes
        QTest::addColumn<QString>("text"); // the whole error, %1 the file, where it is the run's own
        QTest::newRow("not a database") << QByteArray(8192, 'x') << QStringList() << QString();
        QByteArray header("SQLite format 3\0", 16);
        QTest::newRow("page size not a power of two")
            << header + QByteArray("\x03\x00", 2) + QByteArray(8174, '\0') << QStringList() << QString();
        QTest::newRow("usable size under 480")
            << header + QByteArray("\x02\x00\x01\x01\x40", 5) + QByteArray(8171, '\0') << QStringList()
            << QString();
        QTest::newRow("root page of the message table zeroed, nothing deleted")
            << QByteArray() << QStringList { "--messages", "4", "--delete-every", "0", "--zero-root" }
            << "The message table of %1 is damaged.";
    }
    void damagedDatabaseErrorNamesTheFile()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(QStringList, genArgs);
        QFETCH(QString, text);
        QString folder = TestEnv::tempDir();
        QString path = folder + "/sms.db";
        if (!genArgs.isEmpty()) {
            QString err;
            folder = generateWith("make_deleted_sms.py", genArgs, &err);
            QVERIFY2(!folder.isEmpty(), qPrintable(err));
            path = smsPath(folder);
        } else {
            QFile f(path);
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write(bytes);
        }
        IOS6MessageDb db(QDir(folder), _CountryInfo(), false);
        db.setIOSDbPath(path);
        QString error;
        try {
            db.recycleDeletedMessages({}, nullptr);
        } catch (const std::runtime_error& e) {
            error = QString::fromUtf8(e.what());
        }
        QVERIFY2(!error.isEmpty(), "a damaged database was reported as recovered");
        QVERIFY2(!error.contains("work.db") && !error.contains("recover-"), qPrintable(error));
        QVERIFY2(error.contains(path), qPrintable(error));
        if (!text.isEmpty())
            QCOMPARE(error, text.arg(path));
    }

    // A store that fails part way through a run (a trigger stands for a full disk here) ends the
    // run with its error while pages are still being carved ahead, and leaves the store as it was.
    void storeFailureEndsTheRunAndKeepsTheStore_data()
    {
        QTest::addColumn<int>("failAt"); // the rowid whose insert fails
        QTest::newRow("first message") << 1;
        QTest::newRow("mid run") << 60;
    }
    void storeFailureEndsTheRunAndKeepsTheStore()
    {
        QFETCH(int, failAt);
        QString err;
        const QString folder
            = generateWith("make_deleted_sms.py", { "--messages", "1200", "--delete-every", "4" }, &err);
        QVERIFY2(!folder.isEmpty(), qPrintable(err));
        IOS6MessageDb db(QDir(folder), _CountryInfo(), false);
        db.setIOSDbPath(smsPath(folder));
        MessageRecycleDb& store = *db.recycleDb();
        store.openCheck();
        const QString trigger = QString("CREATE TRIGGER full AFTER INSERT ON message WHEN new.rowid >= %1"
                                        " BEGIN SELECT RAISE(ABORT, 'disk is full'); END")
                                    .arg(failAt);
        QCOMPARE(store.exec(trigger, err), SQLITE_OK);
        QString error;
        try {
            db.recycleDeletedMessages({}, nullptr);
        } catch (const std::runtime_error& e) {
            error = QString::fromUtf8(e.what());
        }
        QVERIFY2(error.contains("disk is full"), qPrintable(error));
        QCOMPARE(store.messageCount(), qint64(0));
        // The store is whole and usable: without the fault a run files every message.
        QCOMPARE(store.exec("DROP TRIGGER full", err), SQLITE_OK);
        db.recycleDeletedMessages({}, nullptr);
        QCOMPARE(store.messageCount(), qint64(expected(folder)["deleted"].toArray().size()));
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
