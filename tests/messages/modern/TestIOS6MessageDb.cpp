#include "app/KeptFileName.h"
#include "app/sqlite/Sqlite3DB.h"
#include "messages/modern/IOS6MessageDb.h"
#include "messages/store/MsgData.h"
#include "messages/store/MsgText.h"
#include "messages/support/MsgFixtures.h"
#include "support/ForeignDisk.h"
#include "support/NameMark.h"
#include "support/TestEnv.h"

#include <QDir>
#include <QFile>
#include <QtTest>
#include <malloc.h>
#include <memory>

using namespace MsgFixtures;

namespace
{
_MsgMessage* findText(const MsgData& d, const QString& text)
{
    for (_MsgMessage* m : d.messages())
        if (QString(m->text) == text)
            return m;
    return nullptr;
}

struct Loaded {
    MsgData data;
    QString error;
};

Loaded load(const QString& folder)
{
    Loaded l;
    IOS6MessageDb db(QDir(folder), _CountryInfo(), false);
    try {
        db.messages(l.data, 0);
    } catch (const std::exception& e) {
        l.error = e.what();
    }
    return l;
}
} // namespace

class TestIOS6MessageDb : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void syntheticDatabaseBothDateUnits_data()
    {
        QTest::addColumn<bool>("ns");
        QTest::addColumn<bool>("foreignCollation"); // indexes ordered by a collation no build has
        QTest::newRow("seconds") << false << false;
        QTest::newRow("nanoseconds") << true << false;
        QTest::newRow("indexes of a collation no build has") << false << true;
    }

    void syntheticDatabaseBothDateUnits()
    {
        QFETCH(bool, ns);
        QFETCH(bool, foreignCollation);
        QString err;
        const QString folder = generate("ios6", ns ? QStringList { "--ns" } : QStringList {}, &err);
        QVERIFY2(!folder.isEmpty(), qPrintable(err));
        const QJsonObject exp = expected(folder);
        if (foreignCollation) {
            Sqlite3DB db;
            db.openThrow(smsPath(folder), SQLITE_OPEN_READWRITE);
            db.executeThrow(
                "create index qm_j on chat_message_join(chat_id collate nocase); create index qm_m "
                "on message(guid collate nocase, rowid); pragma writable_schema = on; update "
                "sqlite_master set sql = replace(sql, 'nocase', 'nosuch') where name like 'qm\\_%' "
                "escape '\\'");
        }
        const QByteArray before = fileHash(smsPath(folder));
        Loaded l = load(folder);
        QVERIFY2(l.error.isEmpty(), qPrintable(l.error));
        QCOMPARE(l.data.chats().size(), exp["chats"].toInt());
        QCOMPARE(int(l.data.p()->handles.size()), exp["handles_distinct_joined"].toInt());
        QCOMPARE(l.data.messages().size(), exp["messages"].toInt());
        {
            // The tree's count is the list's, with the group events left out of both.
            IOS6MessageDb db(QDir(folder), _CountryInfo(), false);
            QCOMPARE(db.total(), qint64(exp["messages"].toInt()));
        }
        QCOMPARE(int(l.data.p()->attachments.size()), exp["attachments"].toInt());
        int first = INT_MAX, last = INT_MIN;
        for (const _MsgMessage* m : l.data.messages()) {
            first = qMin(first, m->date);
            last = qMax(last, m->date);
            QCOMPARE(m->item_type, 0);
        }
        QCOMPARE(first, exp["first_date"].toInt());
        QCOMPARE(last, exp["last_date"].toInt());
        // Reading leaves the rows as they were (only the device's sync tables are emptied).
        QCOMPARE(querySql(smsPath(folder), "select count(*) from message"),
            QString::number(exp["message_rows"].toInt()));
        Q_UNUSED(before);

        // Text kept only in the attributed body comes out; a body that does not parse leaves it empty.
        QVERIFY(findText(l.data, exp["attributed_only_text"].toString()));
        int emptyText = 0;
        for (const _MsgMessage* m : l.data.messages())
            if (m->text.isEmpty())
                ++emptyText;
        QCOMPARE(emptyText, 1); // the one whose attributed body does not parse
        // A message of a deleted handle loads without a sender.
        _MsgMessage* orphan = findText(l.data, exp["deleted_handle_message_text"].toString());
        QVERIFY(orphan);
        QVERIFY(!orphan->_sender);
        QVERIFY(orphan->_chat);

        // Group chat with its display name and three participants; contact names from the address book.
        _MsgChat* group = nullptr;
        for (_MsgChat* c : l.data.chats())
            if (c->guid == exp["group_chat_guid"].toString())
                group = c;
        QVERIFY(group);
        QVERIFY(group->isGroup());
        QCOMPARE(group->_handles.size(), 3);
        QCOMPARE(group->displayName(true), exp["group_display_name"].toString());
        // A device file keeps no last date: it is the newest joined row, events included.
        QCOMPARE(group->_last, exp["first_date"].toInt() + 10 * 60);
        bool named = false;
        for (const _MsgHandle* h : l.data.p()->handles)
            if (h->id == "+15551230001")
                named = h->_ct_name == "Ada Lovelace" && !h->_photo.isEmpty();
        QVERIFY(named);
    }

    void attachmentPathsStayInTheirFolder()
    {
        const QString folder = generate("ios6");
        QVERIFY(!folder.isEmpty());
        Loaded l = load(folder);
        const QString relay = QDir(folder + "/file-relay").absolutePath() + "/";
        int withFile = 0, confined = 0, empty = 0;
        QSet<QString> kinds;
        for (const _MsgAttachment* a : l.data.p()->attachments) {
            if (a->_path.isEmpty()) {
                ++empty;
                QVERIFY(a->filename.contains(".."));
                continue;
            }
            QVERIFY2(a->_path.startsWith(relay), qPrintable(a->_path));
            ++confined;
            if (QFile::exists(a->_path))
                ++withFile;
            kinds << QString(a->mime_type).section('/', 0, 0);
        }
        QCOMPARE(empty, 1);
        QCOMPARE(withFile, expected(folder)["attachment_files"].toInt());
        QVERIFY(confined > withFile); // one row's file is gone: it still loads
        QCOMPARE(kinds, QSet<QString>({ "image", "video", "audio", "text", "application" }));

        IOS6MessageDb db(QDir(folder), _CountryInfo(), false);
        QCOMPARE(db.localPathOf("~/Library/SMS/Attachments/a:b?.jpg"),
            QDir(folder).absoluteFilePath(
                "file-relay/var/mobile/Library/SMS/Attachments/ab" + nameMark("a:b?.jpg") + ".jpg"));
        QCOMPARE(db.localPathOf("/var/mobile/x.jpg"),
            QDir(folder).absoluteFilePath("file-relay/var/mobile/x.jpg"));
        QVERIFY(db.localPathOf("//etc/passwd").isEmpty());
        QVERIFY(db.localPathOf("/var/mobile/../../../etc/passwd").isEmpty());
    }

    // A store an earlier version saved keeps each attachment file under the name of that version's
    // rule: : * ? and the like left out without a mark, a name too long for a disk cut with "~" and
    // 8 hex digits of its MD5. Read as a store of the program's own, an attachment with no file at
    // its name takes the one at its earlier name while no other record names that file; a backup's
    // cache only ever reads the files at their names now.
    void ownStoreReadsEarlierFiles_data()
    {
        QTest::addColumn<QStringList>("records"); // device paths below one attachment folder
        QTest::addColumn<QStringList>("files"); // below that folder's copy: "name=bytes", "name->target"
        QTest::addColumn<QStringList>("read"); // each record's bytes as its store reads them
        QTest::addColumn<QString>("disk"); // the store's disk: empty for the tests' own, else its kind
        const QString cut = QString(300, 'n') + ".jpg";
        QTest::newRow("characters left out") << QStringList { "a:b?.jpg" } << QStringList { "ab.jpg=one" }
                                             << QStringList { "one" } << QString();
        QTest::newRow("a name too long, cut with the earlier mark")
            << QStringList { cut } << QStringList { QString(242, 'n') + earlierNameMark(cut) + ".jpg=long" }
            << QStringList { "long" } << QString();
        QTest::newRow("a name of such characters alone")
            << QStringList { "???" } << QStringList { "_=alone" } << QStringList { "alone" } << QString();
        QTest::newRow("names the earlier rule kept as they were")
            << QStringList { "AUX.jpg", "end." } << QStringList { "AUX.jpg=device", "end.=dot" }
            << QStringList { "device", "dot" } << QString();
        QTest::newRow("in a folder's name") << QStringList { "a|b/c.jpg" } << QStringList { "ab/c.jpg=inner" }
                                            << QStringList { "inner" } << QString();
        QTest::newRow("two whose earlier names are one")
            << QStringList { "a:b.jpg", "a?b.jpg", "c*d.jpg" }
            << QStringList { "ab.jpg=first", "cd.jpg=alone" } << QStringList { "", "", "alone" } << QString();
        QTest::newRow("an earlier name another's now")
            << QStringList { "x:y.jpg", "xy.jpg", "z?.jpg" } << QStringList { "xy.jpg=plain", "z.jpg=alone" }
            << QStringList { "", "plain", "alone" } << QString();
        QTest::newRow("saved again by this version")
            << QStringList { "a:b.jpg", "e?f.jpg" }
            << QStringList { "ab" + nameMark("a:b.jpg") + ".jpg=new", "ab.jpg=old", "ef.jpg=alone" }
            << QStringList { "new", "alone" } << QString();
        QTest::newRow("an earlier file that leads out")
            << QStringList { "l:k.jpg", "m?.jpg" } << QStringList { "lk.jpg->OUTSIDE", "m.jpg=alone" }
            << QStringList { "", "alone" } << QString();
        // One file for two names on a disk that ignores case: both records read it.
        QTest::newRow("a device's name and another case of it, one file")
            << QStringList { "AUX.jpg", "aux.jpg" } << QStringList { "AUX.jpg=one" }
            << QStringList { "one", "one" } << QString("exfat");
        // Two names in two cases as a save keeps them there: the second's copy set aside.
        QTest::newRow("two names in two cases, one copy set aside")
            << QStringList { "Photo.JPG", "photo.JPG" }
            << QStringList { "Photo.JPG=first", KeptFileName::aside("photo.JPG") + "=second" }
            << QStringList { "first", "second" } << QString("exfat");
    }
    void ownStoreReadsEarlierFiles()
    {
        QFETCH(QStringList, records);
        QFETCH(QStringList, files);
        QFETCH(QStringList, read);
        QFETCH(QString, disk);
        std::unique_ptr<ForeignDisk> mounted;
        if (!disk.isEmpty()) {
            mounted = std::make_unique<ForeignDisk>(ForeignDisk::kindOf(disk));
            if (!mounted->isMounted())
                QSKIP(qPrintable(mounted->whyNot()));
        }
        const QString base = TestEnv::tempDir();
        QFile outside(base + "/outside");
        QVERIFY(outside.open(QIODevice::WriteOnly) && outside.write("secret") == 6);
        outside.close();
        const QString folder = (mounted ? mounted->path() : base) + "/store";
        QStringList paths;
        for (const QString& r : records)
            paths << "~/Library/SMS/Attachments/ab/01/G/" + r;
        for (QString& f : files)
            f = "var/mobile/Library/SMS/Attachments/ab/01/G/" + f.replace("OUTSIDE", outside.fileName());
        QVERIFY(makeStoreWith(folder, paths, files));
        for (const bool own : { true, false }) {
            IOS6MessageDb db(QDir(folder), _CountryInfo(), false);
            if (own)
                db.readAsOwnStore(QDir(folder + "/file-relay"));
            MsgData data;
            db.messages(data, 0);
            QStringList got;
            for (qint64 rowid = 1; rowid <= records.size(); ++rowid) {
                const _MsgAttachment* a = data.p()->attachments.value(rowid);
                QVERIFY(a);
                QFile f(a->_path);
                got << (f.open(QIODevice::ReadOnly) ? QString::fromUtf8(f.readAll()) : QString());
                if (!own)
                    QCOMPARE(a->_path, db.localPathOf(a->filename));
            }
            if (own)
                QCOMPARE(got, read);
        }
    }

    void missingDeviceDatabaseIsNotCreated()
    {
        const QString folder = TestEnv::tempDir();
        IOS6MessageDb db(QDir(folder), _CountryInfo(), false);
        MsgData d;
        QVERIFY_THROWS_EXCEPTION(std::exception, db.messages(d, 0));
        QVERIFY(!QFile::exists(smsPath(folder)));
        QVERIFY(!QDir(folder + "/file-relay").exists());
    }

    void localStoreIsCreatedFromSchema()
    {
        const QString folder = TestEnv::tempDir();
        IOS6MessageDb db(QDir(folder), _CountryInfo(), true);
        MsgData d;
        db.messages(d, 0);
        QVERIFY(QFile::exists(smsPath(folder)));
        QCOMPARE(
            querySql(smsPath(folder), "select count(*) from sqlite_master where type='table'"), QString("8"));
        QCOMPARE(querySql(smsPath(folder), "select count(*) from sqlite_master where type='trigger'"),
            QString("6"));
        QVERIFY(db.isItemTypeEnabled());
        QCOMPARE(db.type(), 6);
    }

    // A file may hold many tables, each with a text of nearly the most an entry may have: the reader
    // keeps the texts of its own tables alone, so that what it holds does not grow with them.
    void textsOfOtherTablesAreNotKept()
    {
        const QString folder = TestEnv::tempDir();
        {
            IOS6MessageDb made(QDir(folder), _CountryInfo(), true);
            made.openCheck();
            made.executeThrow("begin");
            for (int i = 0; i < 40; ++i)
                made.executeThrow(
                    QString("create table other%1(v) /* %2 */").arg(i).arg(QString(1000000, 'x')));
            made.executeThrow("commit");
        }
        IOS6MessageDb db(QDir(folder), _CountryInfo(), false);
        const std::size_t before = mallinfo2().uordblks + mallinfo2().hblkhd;
        db.openCheck();
        const std::size_t after = mallinfo2().uordblks + mallinfo2().hblkhd;
        QVERIFY2(after < before + (16 << 20), qPrintable(QString::number(qint64(after - before))));
        Loaded l = load(folder);
        QVERIFY2(l.error.isEmpty(), qPrintable(l.error));
        QVERIFY(db.isItemTypeEnabled());
    }

    void notADatabase()
    {
        const QString folder = TestEnv::tempDir();
        QDir().mkpath(QFileInfo(smsPath(folder)).absolutePath());
        QFile f(smsPath(folder));
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write("this is not a database, just text that is long enough to look like one........");
        f.close();
        const QByteArray before = fileHash(smsPath(folder));
        Loaded l = load(folder);
        QVERIFY(!l.error.isEmpty());
        QCOMPARE(fileHash(smsPath(folder)), before);
    }

    void missingColumnsReadAsEmpty()
    {
        // An early modern file: message table without the later columns, chat without group_id.
        const QString folder = TestEnv::tempDir();
        QDir().mkpath(QFileInfo(smsPath(folder)).absolutePath());
        sqlite3* raw = nullptr;
        QCOMPARE(sqlite3_open(smsPath(folder).toUtf8().constData(), &raw), SQLITE_OK);
        sqlite3_exec(raw,
            "CREATE TABLE message (ROWID INTEGER PRIMARY KEY AUTOINCREMENT, guid TEXT UNIQUE NOT NULL, text "
            "TEXT, handle_id INTEGER DEFAULT 0, date INTEGER, is_from_me INTEGER DEFAULT 0);"
            "CREATE TABLE handle (ROWID INTEGER PRIMARY KEY AUTOINCREMENT UNIQUE, id TEXT NOT NULL, country "
            "TEXT, service TEXT NOT NULL, uncanonicalized_id TEXT, UNIQUE (id, service));"
            "CREATE TABLE chat (ROWID INTEGER PRIMARY KEY AUTOINCREMENT, guid TEXT UNIQUE NOT NULL, style "
            "INTEGER, state INTEGER, chat_identifier TEXT);"
            "CREATE TABLE chat_handle_join (chat_id INTEGER, handle_id INTEGER);"
            "CREATE TABLE chat_message_join (chat_id INTEGER, message_id INTEGER);"
            "CREATE TABLE attachment (ROWID INTEGER PRIMARY KEY AUTOINCREMENT, guid TEXT, filename TEXT);"
            "CREATE TABLE message_attachment_join (message_id INTEGER, attachment_id INTEGER);"
            "INSERT INTO handle VALUES (1, '(555) 123-4567', NULL, 'SMS', NULL);"
            "INSERT INTO chat VALUES (1, 'SMS;-;x', 45, 3, 'x');"
            "INSERT INTO chat_handle_join VALUES (1, 1);"
            "INSERT INTO message VALUES (1, 'g1', 'hi', 1, 378000000, 0);"
            "INSERT INTO message VALUES (2, 'g2', 'ns', 0, 378000000000000000, 1);"
            "INSERT INTO chat_message_join VALUES (1, 1);"
            "INSERT INTO chat_message_join VALUES (1, 2);",
            nullptr, nullptr, nullptr);
        sqlite3_close(raw);
        Loaded l = load(folder);
        QVERIFY2(l.error.isEmpty(), qPrintable(l.error));
        QCOMPARE(l.data.messages().size(), 2);
        _MsgMessage* a = l.data.p()->messages.value(1);
        _MsgMessage* b = l.data.p()->messages.value(2);
        QCOMPARE(a->date, 378000000);
        QCOMPARE(b->date, 378000000);
        QCOMPARE(a->other_handle, 0);
        QVERIFY(!a->_other_handle);
        QVERIFY(a->_sender);
        QCOMPARE(a->_sender->id, QString("5551234567")); // empty country record: digits only
        QCOMPARE(l.data.chats().first()->_last, 378000000);
    }

    // The chats' latest dates, taken in the pass over the messages, match a scan of the chats alone:
    // rows of any item type count (a type 4 row may be the latest), NULL dates do not, a chat
    // without messages keeps none, and seconds and nanoseconds mix.
    void chatDatesMatchTheChatsAlone_data()
    {
        QTest::addColumn<QString>("rows");
        QTest::addColumn<QList<int>>("lasts"); // chats 1 to 3
        QTest::newRow("plain") << "(1,1,0,300000000),(2,1,0,300000100),(3,2,0,300000050)"
                               << QList<int> { 300000100, 300000050, 0 };
        QTest::newRow("type 4 latest")
            << "(1,1,0,300000000),(2,1,4,300000900)" << QList<int> { 300000900, 0, 0 };
        QTest::newRow("NULL and negative")
            << "(1,1,0,NULL),(2,1,0,-5),(3,2,0,NULL)" << QList<int> { -5, 0, 0 };
        QTest::newRow("mixed units") << "(1,1,0,300000000000000000),(2,1,0,299999999),(3,3,0,300000001)"
                                     << QList<int> { 300000000, 0, 300000001 };
    }
    void chatDatesMatchTheChatsAlone()
    {
        QFETCH(QString, rows);
        QFETCH(QList<int>, lasts);
        const QString folder = TestEnv::tempDir();
        QDir().mkpath(QFileInfo(smsPath(folder)).absolutePath());
        sqlite3* raw = nullptr;
        QCOMPARE(sqlite3_open(smsPath(folder).toUtf8().constData(), &raw), SQLITE_OK);
        const QByteArray sql = QStringLiteral(
            "CREATE TABLE message (ROWID INTEGER PRIMARY KEY AUTOINCREMENT, guid TEXT, text TEXT, "
            "handle_id INTEGER DEFAULT 0, item_type INTEGER DEFAULT 0, date INTEGER);"
            "CREATE TABLE handle (ROWID INTEGER PRIMARY KEY AUTOINCREMENT, id TEXT, country TEXT, service "
            "TEXT, uncanonicalized_id TEXT);"
            "CREATE TABLE chat (ROWID INTEGER PRIMARY KEY AUTOINCREMENT, guid TEXT, style INTEGER, state "
            "INTEGER, chat_identifier TEXT);"
            "CREATE TABLE chat_handle_join (chat_id INTEGER, handle_id INTEGER);"
            "CREATE TABLE chat_message_join (chat_id INTEGER, message_id INTEGER);"
            "CREATE TABLE attachment (ROWID INTEGER PRIMARY KEY AUTOINCREMENT, guid TEXT, filename TEXT);"
            "CREATE TABLE message_attachment_join (message_id INTEGER, attachment_id INTEGER);"
            "INSERT INTO chat VALUES (1,'a',45,3,'a'),(2,'b',45,3,'b'),(3,'c',45,3,'c');"
            "CREATE TABLE rows (m INTEGER, c INTEGER, t INTEGER, d INTEGER);"
            "INSERT INTO rows VALUES %1;"
            "INSERT INTO message (ROWID,guid,text,item_type,date) SELECT m,'g'||m,'x',t,d FROM rows;"
            "INSERT INTO chat_message_join SELECT c,m FROM rows;")
                                   .arg(rows)
                                   .toUtf8();
        QCOMPARE(sqlite3_exec(raw, sql.constData(), nullptr, nullptr, nullptr), SQLITE_OK);
        sqlite3_close(raw);
        Loaded l = load(folder);
        QVERIFY2(l.error.isEmpty(), qPrintable(l.error));
        MsgData alone;
        IOS6MessageDb(QDir(folder), _CountryInfo(), false).chats(alone);
        for (qint64 id = 1; id <= 3; ++id) {
            QCOMPARE(l.data.p()->chats.value(id)->_last, lasts.at(id - 1));
            QCOMPARE(alone.p()->chats.value(id)->_last, lasts.at(id - 1));
        }
        // One chat's messages alone: the chats keep the dates of the separate scan.
        MsgData one;
        IOS6MessageDb(QDir(folder), _CountryInfo(), false).messages(one, 1);
        for (qint64 id = 1; id <= 3; ++id)
            QCOMPARE(one.p()->chats.value(id)->_last, lasts.at(id - 1));
    }

    void upgradeAddsColumnsOnlyWhenAllowed()
    {
        const QString folder = generate("ios6");
        QVERIFY(!folder.isEmpty());
        {
            IOS6MessageDb db(QDir(folder), _CountryInfo(), false);
            db.openCheck();
            QVERIFY(db.isItemTypeEnabled()); // the device file has item_type already
        }
        QVERIFY(querySql(smsPath(folder), "select sql from sqlite_master where name='message'")
                    .indexOf("logic_hash")
            < 0);
        {
            IOS6MessageDb db(QDir(folder), _CountryInfo(), true);
            db.openCheck();
        }
        const QString sql = querySql(smsPath(folder), "select sql from sqlite_master where name='message'");
        QVERIFY(sql.contains("logic_hash"));
        QVERIFY(querySql(smsPath(folder), "select sql from sqlite_master where name='chat'")
                    .contains("group_id"));
        QCOMPARE(querySql(smsPath(folder),
                     "select count(*) from sqlite_master where name='message_idx_logic_hash'"),
            QString("1"));
        // The device's sync tables are emptied at every open.
        QVERIFY(execSql(smsPath(folder), "insert into deleted_messages(guid) values('x')"));
        {
            IOS6MessageDb db(QDir(folder), _CountryInfo(), false);
            db.openCheck();
        }
        QCOMPARE(querySql(smsPath(folder), "select count(*) from deleted_messages"), QString("0"));
    }

    void writeAndReadBack()
    {
        const QString src = generate("ios6");
        QVERIFY(!src.isEmpty());
        Loaded l = load(src);
        const QString dst = TestEnv::tempDir();
        IOS6MessageDb out(QDir(dst), _CountryInfo(), true);
        out.beginEdit();
        QList<_MsgMessage*> list = l.data.messages();
        sortMsgMessages(list);
        for (_MsgMessage* m : list) {
            if (!m->_chat)
                continue;
            qint64 chatId = out.findChat(m->_chat->guid);
            if (chatId == 0)
                chatId = out.insertChatAndHandles(*m->_chat);
            qint64 sender = 0;
            if (m->_sender) {
                sender = out.findHandle(*m->_sender);
                if (sender == 0) {
                    sender = out.insertHandle(*m->_sender);
                    out.joinChatHandle(chatId, sender);
                } else if (!out.isHandleBelong2Chat(chatId, sender)) {
                    out.joinChatHandle(chatId, sender);
                }
            }
            qint64 mid = out.findMessageHash(*m);
            if (mid == 0)
                mid = out.findMessage(m->guid);
            if (mid == 0) {
                mid = out.insertMessage(*m, sender, 0, QString());
                out.joinChatMessage(chatId, mid, qint64(m->date) * 1000000000LL);
                out.updateChatLastDate21(chatId, m->date);
            }
            for (_MsgAttachment* a : m->attachments()) {
                qint64 aid = out.findAttachment(*a);
                if (aid == 0)
                    aid = out.insertAttachment(*a);
                out.joinMessageAtta(mid, aid);
            }
        }
        out.endEdit(true);
        // Writing the same messages again finds them all.
        for (_MsgMessage* m : list)
            if (m->_chat)
                QVERIFY(out.findMessageHash(*m) != 0);

        Loaded back = load(dst);
        QVERIFY2(back.error.isEmpty(), qPrintable(back.error));
        QCOMPARE(back.data.messages().size(), l.data.messages().size());
        QCOMPARE(
            back.data.chats().size(), l.data.chats().size() - 1); // the chat without messages is not written
        QCOMPARE(int(back.data.p()->attachments.size()), int(l.data.p()->attachments.size()));
        int maxLast = 0;
        for (const _MsgChat* c : back.data.chats())
            maxLast = qMax(maxLast, c->_last);
        QCOMPARE(maxLast, expected(src)["last_date"].toInt());
        QCOMPARE(querySql(smsPath(dst), "select count(*) from message where cache_has_attachments=1"),
            querySql(smsPath(src), "select count(distinct message_id) from message_attachment_join"));
    }

    void nanosecondTargetScalesDates()
    {
        const QString folder = generate("ios6", { "--ns" });
        IOS6MessageDb db(QDir(folder), _CountryInfo(), false);
        _MsgMessage m;
        m.guid = "NEW-GUID";
        m.date = 500000000;
        m.date_played = 7;
        const qint64 id = db.insertMessage(m, 0, 0, QString());
        QCOMPARE(querySql(smsPath(folder), QString("select date from message where rowid=%1").arg(id)),
            QString("500000000000000000"));
        QCOMPARE(querySql(smsPath(folder), QString("select date_played from message where rowid=%1").arg(id)),
            QString("7"));
        QCOMPARE(
            querySql(smsPath(folder), QString("select other_handle from message where rowid=%1").arg(id)),
            QString("0"));
    }

    // Real files and generated ones (path empty: 300 messages, 100 deleted), and copies damaged as
    // damage lists: an index that hides rows, from the list and from its own count, leaves the list
    // to be read from the tables; a message table that reads short is a damaged file, which the
    // load says. The tree counts what the list holds.
    void realModernDatabases_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<QStringList>("damage");
        QTest::addColumn<int>("chats");
        QTest::addColumn<int>("handles");
        QTest::addColumn<int>("messages"); // -1: the load fails
        QTest::addColumn<int>("attachments");
        const QString magnet = "magnet-ctf-2020-sms/sms.db";
        const QString joinKey = "sqlite_autoindex_chat_message_join_1";
        QTest::newRow("magnet") << magnet << QStringList {} << 7 << 7 << 105 << 7;
        QTest::newRow("otapki") << "otapki-iphone/HomeDomain/Library/SMS/sms.db" << QStringList {} << 1 << 1
                                << 2 << 0;
        QTest::newRow("magnet, join key root emptied")
            << magnet << QStringList { "--empty-root", joinKey } << 7 << 7 << 105 << 7;
        QTest::newRow("magnet, message root emptied")
            << magnet << QStringList { "--empty-root", "message" } << 7 << 7 << -1 << 0;
        QTest::newRow("magnet, join key and chat index leaves emptied")
            << magnet << QStringList { "--empty-leaves", joinKey + ",chat_message_join_idx_chat_id" } << 7
            << 7 << 105 << 7;
        QTest::newRow("magnet, join key and message index leaves swapped")
            << magnet << QStringList { "--swap-leaves", joinKey + ",chat_message_join_idx_message_id_only" }
            << 7 << 7 << 105 << 7;
        QTest::newRow("generated, join key leaves emptied")
            << QString() << QStringList { "--empty-leaves", joinKey } << 3 << 3 << 200 << 0;
        QTest::newRow("generated, join key and message key leaves swapped")
            << QString() << QStringList { "--swap-leaves", joinKey + ",sqlite_autoindex_message_1" } << 3 << 3
            << 200 << 0;
    }
    void realModernDatabases()
    {
        QM_REQUIRE_SHARED();
        QFETCH(QString, path);
        QFETCH(QStringList, damage);
        QFETCH(int, chats);
        QFETCH(int, handles);
        QFETCH(int, messages);
        QFETCH(int, attachments);
        const QString src = path.isEmpty() ? QString() : TestEnv::realFixture(path);
        const QByteArray before = src.isEmpty() ? QByteArray() : fileHash(src);
        QString err;
        const QStringList from = src.isEmpty() ? QStringList { "--messages", "300" }
                                               : QStringList { "--from", src, "--delete-every", "0" };
        const QString folder = damage.isEmpty() ? cacheFolderWith(src)
                                                : generateWith("make_deleted_sms.py", from + damage, &err);
        QVERIFY2(!folder.isEmpty(), qPrintable(err));
        const QString sql = smsPath(folder);
        // The rules: chats as stored, handles named by a chat, messages of item type 0 joined to a chat.
        QCOMPARE(querySql(sql, "select count(*) from chat"), QString::number(chats));
        QCOMPARE(querySql(sql,
                     "select count(distinct handle_id) from chat_handle_join j join handle h on "
                     "h.rowid=j.handle_id"),
            QString::number(handles));
        Loaded l = load(folder);
        if (!src.isEmpty())
            QCOMPARE(fileHash(src), before);
        if (messages < 0) {
            QCOMPARE(l.error, "database disk image is malformed (" + sql + ")");
            return;
        }
        QVERIFY2(l.error.isEmpty(), qPrintable(l.error));
        QCOMPARE(l.data.chats().size(), chats);
        QCOMPARE(int(l.data.p()->handles.size()), handles);
        QCOMPARE(l.data.messages().size(), messages);
        QCOMPARE(int(l.data.p()->attachments.size()), attachments);
        for (const _MsgMessage* m : l.data.messages()) {
            QVERIFY(m->date > 400000000 && m->date < 700000000);
            QVERIFY(m->_chat);
        }
        // Each message in its one chat, none also in a chat a damaged index named.
        int inChats = 0;
        for (const _MsgChat* ch : l.data.chats())
            inChats += int(ch->_messages.size());
        QCOMPARE(inChats, messages);
        // The tree's count of the same file.
        QCOMPARE(IOS6MessageDb(QDir(folder), _CountryInfo(), false).total(), qint64(messages));
    }
};

QTEST_GUILESS_MAIN(TestIOS6MessageDb)
#include "TestIOS6MessageDb.moc"
