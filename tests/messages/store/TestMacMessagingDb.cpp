#include "messages/store/MacMessagingDb.h"
#include "messages/store/MsgData.h"
#include "messages/support/MsgFixtures.h"
#include "support/TestEnv.h"

#include <QDir>
#include <QFile>
#include <QtTest>
#include <sqlite3.h>

using namespace MsgFixtures;

class TestMacMessagingDb : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void homeRelativeFolder()
    {
        QCOMPARE(MacMessagingDb::defaultFolder().absolutePath(),
            QDir::home().absoluteFilePath("Library/Messages"));
        const QString folder = TestEnv::tempDir() + "/none";
        MacMessagingDb db { QDir(folder) };
        MsgData d;
        QVERIFY_THROWS_EXCEPTION(std::exception, db.messages(d, 0));
        QVERIFY(!QFile::exists(folder + "/chat.db"));
    }

    void realDatabase()
    {
        QM_REQUIRE_SHARED();
        const QString src = TestEnv::realFixture("imessagedb/chat.db");
        // The reader works on the user's Messages folder under $HOME.
        const QDir messages = MacMessagingDb::defaultFolder();
        QVERIFY(QDir().mkpath(messages.absolutePath()));
        const QString db = messages.absoluteFilePath("chat.db");
        QFile::remove(db);
        QVERIFY(QFile::copy(src, db));
        QFile::setPermissions(db, QFile::ReadOwner | QFile::WriteOwner);
        const QByteArray before = fileHash(db);
        MsgData d;
        {
            MacMessagingDb reader(messages);
            reader.messages(d, 0);
        }
        QCOMPARE(fileHash(db), before);
        QCOMPARE(d.chats().size(), querySql(db, "select count(*) from chat").toInt());
        QCOMPARE(int(d.p()->handles.size()), 2);
        QCOMPARE(d.messages().size(),
            querySql(db,
                "select count(*) from chat_message_join j join message m on m.rowid=j.message_id "
                "where m.item_type=0")
                .toInt());
        QCOMPARE(int(d.p()->attachments.size()), 2);
        bool group = false;
        for (const _MsgChat* c : d.chats())
            group = group || c->isGroup();
        QVERIFY(group);
        const QString home = QDir::home().absolutePath() + "/Library/Messages/";
        for (const _MsgMessage* m : d.messages()) {
            // Nanosecond dates of 2023 become seconds since 2001.
            QVERIFY(m->date > 700000000 && m->date < 720000000);
            // The message whose text column is empty gets its text from the attributed body.
            QVERIFY2(!m->text().trimmed().isEmpty() || !m->_attachments.isEmpty(), qPrintable(m->guid));
            QVERIFY(m->_chat);
        }
        bool fromBody = false;
        for (const _MsgMessage* m : d.messages())
            if (m->guid == "DA016DAD-9188-4D80-87A4-7FD3FF03167B")
                fromBody
                    = m->text().startsWith(QString::fromUtf8("iMessagedb test: Let\u2019s set something up"));
        QVERIFY(fromBody);
        for (const _MsgAttachment* a : d.p()->attachments) {
            QVERIFY(a->filename.startsWith("~/Library/SMS/Attachments/" + a->guid.left(2).toLower() + "/"));
            QVERIFY(a->_path.startsWith(home));
        }
    }

    void pathsAndDates()
    {
        const QString folder = TestEnv::tempDir();
        const QString db = folder + "/chat.db";
        sqlite3* raw = nullptr;
        QCOMPARE(sqlite3_open(db.toUtf8().constData(), &raw), SQLITE_OK);
        sqlite3_exec(raw,
            "CREATE TABLE chat (ROWID INTEGER PRIMARY KEY, guid TEXT, chat_identifier TEXT);"
            "CREATE TABLE handle (ROWID INTEGER PRIMARY KEY, id TEXT, service TEXT);"
            "CREATE TABLE chat_handle_join (chat_id INTEGER, handle_id INTEGER);"
            "CREATE TABLE message (ROWID INTEGER PRIMARY KEY, guid TEXT, text TEXT, handle_id INTEGER, date "
            "INTEGER, attributedBody BLOB, ck_record_id TEXT, item_type INTEGER DEFAULT 0);"
            "CREATE TABLE chat_message_join (chat_id INTEGER, message_id INTEGER);"
            "CREATE TABLE attachment (ROWID INTEGER PRIMARY KEY, guid TEXT, filename TEXT);"
            "CREATE TABLE message_attachment_join (message_id INTEGER, attachment_id INTEGER);"
            "INSERT INTO chat VALUES (1, 'iMessage;-;+1 (555) 1', '+1 (555) 1');"
            "INSERT INTO handle VALUES (1, '+1 (555) 1', 'iMessage');"
            "INSERT INTO chat_handle_join VALUES (1, 1);"
            "INSERT INTO chat_handle_join VALUES (9, 1);"
            "INSERT INTO message VALUES (1, 'G1', 'a', 1, -1500000000, x'00', 'r', 0);"
            "INSERT INTO message VALUES (2, 'G2', 'b', 0, 999999999, NULL, 'r', 0);"
            "INSERT INTO message VALUES (3, 'G3', 'c', 0, 5, NULL, 'r', 2);"
            "INSERT INTO message VALUES (4, 'G4', 'd', 0, 5, NULL, 'r', 4);"
            "INSERT INTO chat_message_join SELECT 1, ROWID FROM message;"
            "INSERT INTO attachment VALUES (1, 'ABCDEF', '~/Library/Messages/Attachments/x/IMG.HEIC');"
            "INSERT INTO attachment VALUES (2, 'X', '~/../../etc/passwd');"
            "INSERT INTO attachment VALUES (3, 'Y', '/etc/hosts');"
            "INSERT INTO attachment VALUES (4, 'Z', '');"
            "INSERT INTO message_attachment_join VALUES (1, 1);"
            "INSERT INTO message_attachment_join VALUES (1, 2);"
            "INSERT INTO message_attachment_join VALUES (2, 3);"
            "INSERT INTO message_attachment_join VALUES (2, 4);",
            nullptr, nullptr, nullptr);
        sqlite3_close(raw);
        // The folder stands in for ~/Library/Messages: attachments are taken only inside it.
        const QString messages = QDir::home().absoluteFilePath("Library/Messages");
        QDir().mkpath(messages);
        QFile::remove(messages + "/chat.db");
        QVERIFY(QFile::copy(db, messages + "/chat.db"));
        MacMessagingDb reader { QDir(messages) };
        MsgData d;
        reader.messages(d, 0);
        QCOMPARE(d.messages().size(), 2);
        QCOMPARE(d.p()->messages.value(1)->date, -1);
        QCOMPARE(d.p()->messages.value(2)->date, 0);
        QCOMPARE(d.p()->handles.value(1)->id, QString("+1 (555) 1")); // unformatted
        _MsgAttachment* good = d.p()->attachments.value(1);
        QCOMPARE(good->_path, messages + "/Attachments/x/IMG.HEIC");
        QCOMPARE(good->filename, QString("~/Library/SMS/Attachments/ab/cd/ABCDEF/IMG.HEIC"));
        QVERIFY(d.p()->attachments.value(2)->_path.isEmpty());
        QVERIFY(d.p()->attachments.value(3)->_path.isEmpty());
        QVERIFY(d.p()->attachments.value(4)->_path.isEmpty());
        QVERIFY(d.p()->attachments.value(4)->filename.isEmpty());
    }

    void absolutePathsInHome_data()
    {
        QTest::addColumn<QString>("stored"); // "@" stands for the home folder
        QTest::addColumn<bool>("kept");
        QTest::newRow("file in home") << "@/Downloads/photo.jpg" << true;
        QTest::newRow("file in home, ~ form") << "~/Downloads/photo.jpg" << true;
        QTest::newRow("missing file in home") << "@/Downloads/gone.jpg" << false;
        QTest::newRow("folder in home") << "@/Downloads" << false;
        QTest::newRow("link out of home") << "@/Downloads/hosts-link" << false;
        QTest::newRow("existing file outside home") << "/etc/hosts" << false;
        QTest::newRow("dot-dot out of home") << "@/Downloads/../../etc/hosts" << false;
        QTest::newRow("relative") << "Downloads/photo.jpg" << false;
    }

    void absolutePathsInHome()
    {
        QFETCH(QString, stored);
        QFETCH(bool, kept);
        const QString home = QDir::home().absolutePath();
        QVERIFY(QDir().mkpath(home + "/Downloads"));
        QFile photo(home + "/Downloads/photo.jpg");
        QVERIFY(photo.open(QIODevice::WriteOnly));
        photo.write("jpg");
        photo.close();
        QFile::remove(home + "/Downloads/hosts-link");
        QVERIFY(QFile::link("/etc/hosts", home + "/Downloads/hosts-link"));
        stored.replace("@", home);

        const QString messages = MacMessagingDb::defaultFolder().absolutePath();
        QVERIFY(QDir().mkpath(messages));
        const QString db = messages + "/chat.db";
        QFile::remove(db);
        QFile empty(db);
        QVERIFY(empty.open(QIODevice::WriteOnly));
        empty.close();
        QVERIFY(execSql(db,
            "CREATE TABLE chat (ROWID INTEGER PRIMARY KEY, guid TEXT, chat_identifier TEXT);"
            "CREATE TABLE handle (ROWID INTEGER PRIMARY KEY, id TEXT, service TEXT);"
            "CREATE TABLE chat_handle_join (chat_id INTEGER, handle_id INTEGER);"
            "CREATE TABLE message (ROWID INTEGER PRIMARY KEY, guid TEXT, text TEXT, date INTEGER);"
            "CREATE TABLE chat_message_join (chat_id INTEGER, message_id INTEGER);"
            "CREATE TABLE attachment (ROWID INTEGER PRIMARY KEY, guid TEXT, filename TEXT);"
            "CREATE TABLE message_attachment_join (message_id INTEGER, attachment_id INTEGER);"
            "INSERT INTO chat VALUES (1, 'iMessage;-;a', 'a');"
            "INSERT INTO message VALUES (1, 'G1', 'a', 5);"
            "INSERT INTO chat_message_join VALUES (1, 1);"
            "INSERT INTO message_attachment_join VALUES (1, 1);"));
        QVERIFY(execSql(db, QStringLiteral("INSERT INTO attachment VALUES (1, 'ABCDEF', '%1')").arg(stored)));
        MacMessagingDb reader { QDir(messages) };
        MsgData d;
        reader.messages(d, 0);
        const _MsgAttachment* a = d.p()->attachments.value(1);
        QVERIFY(a);
        QCOMPARE(a->_path, kept ? home + "/Downloads/photo.jpg" : QString());
        QVERIFY(a->filename.startsWith("~/Library/SMS/Attachments/ab/cd/ABCDEF/"));
    }
};

QTEST_GUILESS_MAIN(TestMacMessagingDb)
#include "TestMacMessagingDb.moc"
