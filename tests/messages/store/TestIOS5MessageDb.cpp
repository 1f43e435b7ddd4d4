#include "backup/BackupManifest.h"
#include "messages/store/IOS5MessageDb.h"
#include "messages/store/MsgData.h"
#include "messages/store/MsgIdentity.h"
#include "messages/support/MsgFixtures.h"
#include "support/TestEnv.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QtTest>

using namespace MsgFixtures;

class TestIOS5MessageDb : public QObject
{
    Q_OBJECT

    QString folder;

    _MsgChat* chatByIdent(const MsgData& d, const QString& ident)
    {
        for (_MsgChat* c : d.chats())
            if (c->chat_identifier == ident)
                return c;
        return nullptr;
    }

private Q_SLOTS:
    void initTestCase()
    {
        QString err;
        folder = generate("ios5", {}, &err);
        QVERIFY2(!folder.isEmpty(), qPrintable(err));
    }

    void construction()
    {
        IOS5MessageDb db { QDir("/x/y"), _CountryInfo() };
        QCOMPARE(db.dbPath(), QString("/x/y/file-relay/var/mobile/Library/SMS/sms.db"));
        QCOMPARE(db.recycleDb()->path(), QString("/x/y/recycle.db"));
        QCOMPARE(db.type(), 5);
        MsgData d;
        QVERIFY_THROWS_EXCEPTION(std::exception, db.messages(d, 0));
        QVERIFY(!QDir("/x/y").exists());
    }

    void loadsEverything()
    {
        const QJsonObject exp = expected(folder);
        IOS5MessageDb db { QDir(folder), _CountryInfo() };
        QCOMPARE(AbsIOSMessageDb::checkDbType(smsPath(folder)), 5);
        QCOMPARE(db.total(), qint64(exp["message_rows"].toInt()));
        MsgData d;
        db.messages(d, 0);
        QCOMPARE(d.chats().size(), exp["sms_chats"].toInt() + exp["imessage_chats"].toInt());
        QCOMPARE(d.messages().size(), exp["messages"].toInt());
        QCOMPARE(int(d.p()->attachments.size()),
            exp["mms_media_parts"].toInt() + exp["imessage_attachments"].toInt());

        // SMS one-to-one: identifier is the address as cleaned by the (empty) country rules.
        _MsgChat* one = chatByIdent(d, "5551230001");
        QVERIFY(one);
        QCOMPARE(one->guid, QString("SMS;-;5551230001"));
        QCOMPARE(one->style, 45);
        // SMS group: identifier generated from the first member's guid.
        _MsgChat* group = d.p()->chats.value(2);
        QVERIFY(group);
        QCOMPARE(group->style, 43);
        QCOMPARE(group->chat_identifier, genChatIdentifier("SMS;-;5551230002"));
        QCOMPARE(group->guid, "SMS;+;" + group->chat_identifier);
        QCOMPARE(group->room_name, group->chat_identifier);
        QCOMPARE(group->account_id, hashUUID(group->guid.toUtf8()));
        // Two members with one address: one handle joined, the second kept unjoined.
        _MsgChat* dup = d.p()->chats.value(3);
        QCOMPARE(dup->_handles.size(), 1);
        QVERIFY(!dup->isGroup());

        // SMS dates are converted from Unix time; direction from flags.
        bool sawIn = false, sawOut = false;
        for (const _MsgMessage* m : one->_messages) {
            if (QString(m->text) == "SMS in") {
                sawIn = m->is_from_me == 0 && m->date == 300000060
                    && m->_sender == one->_handles.begin().value();
            } else if (QString(m->text) == "SMS out") {
                sawOut = m->is_from_me == 1;
            }
        }
        QVERIFY(sawIn && sawOut);
        // A message of a group that does not exist stays without chat.
        int orphans = 0;
        for (const _MsgMessage* m : d.messages())
            if (!m->_chat)
                ++orphans;
        QCOMPARE(orphans, 1);

        // iMessage chats: negative keys, participants from the property list, last dates from messages.
        _MsgChat* im = d.p()->chats.value(-1);
        QVERIFY(im);
        QCOMPARE(im->guid, QString("iMessage;-;friend@example.com"));
        QCOMPARE(im->_handles.size(), 1);
        _MsgChat* room = d.p()->chats.value(-2);
        QCOMPARE(room->guid, QString("iMessage;+;chat555000111222333444"));
        QCOMPARE(room->_handles.size(), 2);
        QCOMPARE(room->_last, 300000530);
        QVERIFY(d.p()->chats.value(-3)->_handles.isEmpty()); // participants that do not parse
        // Contact names come from the phone numbers of the address book (e-mail values are not phones).
        for (const _MsgHandle* h : d.p()->handles) {
            if (h->id == "+15551230001")
                QCOMPARE(h->_ct_name, QString("Ada Lovelace"));
            if (h->id == "friend@example.com")
                QVERIFY(h->_ct_name.isEmpty());
        }
    }

    void mmsPartsAndCopies()
    {
        IOS5MessageDb db { QDir(folder), _CountryInfo() };
        MsgData d;
        db.messages(d, 0);
        _MsgMessage* mms = d.p()->messages.value(4);
        QVERIFY(mms);
        QCOMPARE(mms->text(), QString("Hello in a part"));
        QCOMPARE(QString(mms->text).count(QChar(0xFFFC)), 1);
        QCOMPARE(mms->_attachments.size(), 1);
        _MsgAttachment* first = mms->_attachments.begin().value();
        QCOMPARE(first->uti, QString("public.png"));
        QVERIFY(first->_path.endsWith("var/mobile/Library/SMS/Parts/02/04/4-1.png"));
        QVERIFY(QFile::exists(first->_path));
        QCOMPARE(mms->attributedBody.size(), 308);
        int copies = 0;
        const QString relay = QDir(folder + "/file-relay").absolutePath() + "/";
        for (const _MsgMessage* m : d.messages()) {
            if (m->rowid >= -1647483648LL)
                continue;
            ++copies;
            QCOMPARE(QString(m->text), QString(QChar(0xFFFC)));
            QCOMPARE(m->_attachments.size(), 1);
            QVERIFY(m->_attachments.begin().value()->_path.startsWith(relay));
            QVERIFY(!m->_chat->_messages.contains(QString::number(m->rowid)));
        }
        QCOMPARE(copies, 3);
        // An empty part writes no file; nothing is written outside the folder.
        QVERIFY(!QFile::exists("/tmp/escape.jpg"));
        // A second load into the same model adds nothing.
        const int before = d.messages().size();
        db.messages(d, 0);
        QCOMPARE(d.messages().size(), before);
    }

    // A part whose name ends in a suffix too long for a disk is written without it; the load goes on.
    void aLongPartSuffixIsLeftOut()
    {
        const QString copy = TestEnv::tempDir();
        const QString db = "/file-relay/var/mobile/Library/SMS/sms.db";
        QVERIFY(QDir().mkpath(QFileInfo(copy + db).absolutePath()) && QFile::copy(folder + db, copy + db));
        QVERIFY(execSql(copy + db, "update msg_pieces set content_loc = 'a.' || printf('%.300c', 'b')"));
        IOS5MessageDb reader { QDir(copy), _CountryInfo() };
        MsgData d;
        reader.messages(d, 0);
        const _MsgAttachment* part = d.p()->messages.value(4)->_attachments.begin().value();
        QVERIFY2(part->_path.endsWith("/4-1.") && QFile::exists(part->_path), qPrintable(part->_path));
    }

    void iMessageAttachments()
    {
        IOS5MessageDb db { QDir(folder), _CountryInfo() };
        MsgData d;
        db.messages(d, -2);
        int withTwo = 0;
        for (const _MsgMessage* m : d.messages()) {
            QCOMPARE(m->service, QString("iMessage"));
            if (m->_attachments.size() == 2) {
                ++withTwo;
                QVERIFY(m->attributedBody.size() != 308); // the stored body for two attachments
            }
            for (const _MsgAttachment* a : m->_attachments) {
                QVERIFY(a->rowid < 0);
                QVERIFY(a->filename.startsWith("~/Library/SMS/Attachments/"));
                QVERIFY(QFile::exists(a->_path));
            }
        }
        QCOMPARE(withTwo, 1);
        QCOMPARE(g_madridAttachmentGUIDS("x 01234567-89ab-CDEF-0123-456789abcdef\x01y").size(), 1);
        QVERIFY(g_madridAttachmentGUIDS(QByteArray()).isEmpty());
    }

    void readFunctionAndNoWrites()
    {
        const QString copy = TestEnv::tempDir();
        QVERIFY(QDir().mkpath(copy + "/file-relay/var/mobile/Library/SMS"));
        QVERIFY(QFile::copy(smsPath(folder), smsPath(copy)));
        const QByteArray before = fileHash(smsPath(copy));
        {
            IOS5MessageDb db { QDir(copy), _CountryInfo() };
            MsgData d;
            db.messages(d, 0);
            Sqlite3Cursor c
                = db.queryThrow("select read(0), read(NULL), read(3), read(-1), read('7'), read('abc')");
            QVERIFY(c.moveNext());
            QCOMPARE(c.getInt(0) + c.getInt(1), 0);
            QCOMPARE(c.getInt(2) + c.getInt(3) + c.getInt(4), 3);
            QCOMPARE(c.getInt(5), 0);
        }
        QCOMPARE(fileHash(smsPath(copy)), before);
    }

    void missingTablesGiveClearErrors()
    {
        QM_REQUIRE_SHARED();
        // A stripped device database with only message and handle: counted, but not readable.
        const QString src
            = TestEnv::realFixture("mvt/ios_backup/3d/3d0d7e5fb2ce288813306e4d4636395e047a3d28");
        const QString f = cacheFolderWith(src);
        QCOMPARE(AbsIOSMessageDb::checkDbType(smsPath(f)), 5);
        IOS5MessageDb db { QDir(f), _CountryInfo() };
        QCOMPARE(db.total(), qint64(1));
        MsgData d;
        try {
            db.messages(d, 0);
            QFAIL("no error");
        } catch (const std::exception& e) {
            QVERIFY(QString(e.what()).contains("msg_group"));
        }
    }
};

QTEST_GUILESS_MAIN(TestIOS5MessageDb)
#include "TestIOS5MessageDb.moc"
