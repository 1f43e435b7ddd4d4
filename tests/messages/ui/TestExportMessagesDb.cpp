#include "app/KeptFileName.h"
#include "messages/store/MsgAttachment.h"
#include "messages/store/MsgPath.h"
#include "messages/support/MsgFixtures.h"
#include "messages/ui/ExportMessagesDb.h"
#include "messages/ui/support/MsgUiFixtures.h"
#include "support/ForeignDisk.h"
#include "support/NameMark.h"
#include "support/TestEnv.h"

#include <QFile>
#include <QtTest>

using namespace MsgFixtures;
using namespace MsgUiFixtures;

namespace
{
void saveAll(const QString& store, const QList<_MsgMessage*>& messages, QStringList* failed = nullptr)
{
    ExportMessagesDb exporter { QDir(store), _CountryInfo() };
    exporter.init();
    for (_MsgMessage* m : messages)
        exporter.write(*m);
    exporter.uninit();
    if (failed)
        *failed = exporter.failedCopies();
}

void putFile(const QString& path, const QByteArray& bytes)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write(bytes);
}

// Every value of the message table in rowid order, column by column: its name, storage class and
// all its bytes.
QStringList messageValues(const QString& db)
{
    QStringList values;
    for (const QString& c :
        querySql(db, "select group_concat(name) from pragma_table_info('message')").split(','))
        values << QStringLiteral("'%1=' || typeof(\"%1\") || ':' || hex(\"%1\")").arg(c);
    return querySql(db,
        "select group_concat(" + values.join(" || ',' || ") + ") from (select * from message order by rowid)")
        .split(',');
}

// A text of a message spec: <null> is a null text; <nul>, <lone> and <fffc> stand for a NUL, a lone
// surrogate and the attachment mark.
QString specText(QString s)
{
    if (s == "<null>")
        return QString();
    s.replace("<nul>", QString(QChar(0)));
    s.replace("<lone>", QString(QChar(0xD800)));
    s.replace("<fffc>", QString(QChar(0xFFFC)));
    return s;
}

// One chat with one handle and one message carrying one attachment whose local file holds "data".
struct OneMessage {
    _MsgChat chat;
    _MsgHandle handle;
    _MsgMessage message;
    _MsgAttachment attachment;

    OneMessage(const QString& filename, const QString& local)
    {
        chat.rowid = 7;
        chat.guid = "SMS;-;+15550001";
        chat.chat_identifier = "+15550001";
        handle.id = "+15550001";
        chat._handles.insert(handle.id, &handle);
        message.rowid = 1;
        message.guid = "G-1";
        message.text = QStringLiteral("hello");
        message.date = 500000000;
        message._chat = &chat;
        message._sender = &handle;
        attachment.rowid = 3;
        attachment.guid = "A-1";
        attachment.filename = filename;
        attachment._path = local;
        message._attachments.insert("3", &attachment);
    }
};
} // namespace

class TestExportMessagesDb : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void savingTwiceAddsNoRowAndCopiesFilesIntoTheDeviceLayout()
    {
        QString err;
        const QString source = generate("ios6", {}, &err);
        QVERIFY2(!source.isEmpty(), qPrintable(err));
        MsgData data = loadFolder(source);
        const QString store = TestEnv::tempDir();
        saveAll(store, data.messages());
        const QString db = smsPath(store);
        const QString rows = querySql(db, "select count(*) from message");
        const QString joins = querySql(db, "select count(*) from chat_message_join");
        const QString atts = querySql(db, "select count(*) from attachment");
        saveAll(store, data.messages());
        QCOMPARE(querySql(db, "select count(*) from message"), rows);
        QCOMPARE(querySql(db, "select count(*) from chat_message_join"), joins);
        QCOMPARE(querySql(db, "select count(*) from attachment"), atts);

        const QDir relay(store + "/file-relay");
        int copied = 0;
        for (const _MsgAttachment* a : std::as_const(data.p()->attachments)) {
            if (!QFileInfo(a->_path).isFile())
                continue;
            const QString dest = msgRelayPath(relay, a->filename);
            QVERIFY2(QFileInfo(dest).isFile(), qPrintable(dest));
            QCOMPARE(bytesOf(dest), bytesOf(a->_path));
            ++copied;
        }
        QCOMPARE(copied, expected(source).value("attachment_files").toInt());
        // Read back, the store shows what the source showed.
        MsgData back = loadFolder(store);
        QCOMPARE(back.p()->messages.size(), data.p()->messages.size());
    }

    void skippedMessages_data()
    {
        QTest::addColumn<int>("chatRowid");
        QTest::addColumn<bool>("withChat");
        QTest::addColumn<int>("itemType");
        QTest::addColumn<QString>("rows");
        QTest::newRow("ordinary") << 7 << true << 0 << "1";
        QTest::newRow("no chat") << 7 << false << 0 << "0";
        QTest::newRow("placeholder chat") << -2047483647 << true << 0 << "0";
        QTest::newRow("item type 4 into a store that has the column") << 7 << true << 4 << "1";
    }

    void skippedMessages()
    {
        QFETCH(int, chatRowid);
        QFETCH(bool, withChat);
        QFETCH(int, itemType);
        QFETCH(QString, rows);
        OneMessage one("", "");
        one.message._attachments.clear();
        one.chat.rowid = chatRowid;
        one.message.item_type = itemType;
        if (!withChat)
            one.message._chat = nullptr;
        const QString store = TestEnv::tempDir();
        saveAll(store, { &one.message });
        QCOMPARE(querySql(smsPath(store), "select count(*) from message"), rows);
    }

    // Each copy under the phone's own name where the disk takes it, else the name fitted to the
    // disk and marked; as the readers look for it.
    void attachmentPaths_data()
    {
        QTest::addColumn<QString>("filename");
        QTest::addColumn<QString>("expectedRel"); // empty: no copy anywhere
        QTest::addColumn<bool>("failed");
        QTest::addColumn<QString>("disk"); // empty: the test's own
        QTest::addColumn<QString>("before"); // a record saved before, its copy holding "other"; empty: none
        QTest::newRow("home prefix") << "~/Library/SMS/Attachments/ab/12/G/IMG 1.JPG"
                                     << "var/mobile/Library/SMS/Attachments/ab/12/G/IMG 1.JPG" << false << ""
                                     << "";
        QTest::newRow("absolute") << "/var/mobile/Library/SMS/Attachments/cd/34/x.jpg"
                                  << "var/mobile/Library/SMS/Attachments/cd/34/x.jpg" << false << ""
                                  << "";
        QTest::newRow("colon and question mark kept") << "~/a:b?.jpg"
                                                      << "var/mobile/a:b?.jpg" << false << ""
                                                      << "";
        QTest::newRow("a device's name and a dot at the end kept") << "~/con/AUX.jpg."
                                                                   << "var/mobile/con/AUX.jpg." << false << ""
                                                                   << "";
        QTest::newRow("a control character dropped, marked")
            << "~/a\tb.jpg"
            << "var/mobile/ab" + nameMark("a\tb.jpg") + ".jpg" << false << ""
            << "";
        QTest::newRow("NTFS: colon and question mark dropped, marked")
            << "~/a:b?.jpg"
            << "var/mobile/ab" + nameMark("a:b?.jpg") + ".jpg" << false << "ntfs"
            << "";
        QTest::newRow("NTFS: a device's name and a dot at the end, marked")
            << "~/con/AUX.jpg."
            << "var/mobile/con" + nameMark("con") + "/AUX" + nameMark("AUX.jpg.") + ".jpg" << false << "ntfs"
            << "";
        // On a disk that ignores case, another case of a name saved before is another record's.
        QTest::newRow("exFAT: a folder named as another case of one saved before")
            << "~/aux/pic.jpg"
            << "var/mobile/aux" + nameMark("aux") + "/pic.jpg" << false << "exfat"
            << "~/AUX/pic.jpg";
        QTest::newRow("FAT: a name another case of one saved before")
            << "~/s/aux.jpg"
            << "var/mobile/s/aux" + nameMark("aux.jpg") + ".jpg" << false << "fat"
            << "~/s/AUX.jpg";
        QTest::newRow("dot-dot inside the store") << "~/../../x.jpg"
                                                  << "x.jpg" << false << ""
                                                  << "";
        QTest::newRow("dot-dot out of the store") << "~/../../../../escape.jpg" << QString() << true << ""
                                                  << "";
        QTest::newRow("empty name: row only") << "" << QString() << false << ""
                                              << "";
    }

    void attachmentPaths()
    {
        QFETCH(QString, filename);
        QFETCH(QString, expectedRel);
        QFETCH(bool, failed);
        QFETCH(QString, disk);
        QFETCH(QString, before);
        std::unique_ptr<ForeignDisk> mounted;
        if (!disk.isEmpty()
            && !(mounted = std::make_unique<ForeignDisk>(ForeignDisk::kindOf(disk)))->isMounted())
            QSKIP(qPrintable(mounted->whyNot()));
        const QString base = TestEnv::tempDir();
        const QString local = base + "/src/file.bin";
        putFile(local, "data");
        putFile(base + "/src/other.bin", "other");
        const QString store = (mounted ? mounted->path() : base) + "/a/b/store";
        OneMessage earlier(before, base + "/src/other.bin");
        earlier.message.guid = "G-before";
        earlier.attachment.guid = "A-before";
        if (!before.isEmpty())
            saveAll(store, { &earlier.message });
        OneMessage one(filename, local);
        QStringList failures;
        saveAll(store, { &one.message }, &failures);
        QCOMPARE(failures.size(), failed ? 1 : 0);
        QCOMPARE(querySql(smsPath(store), "select filename from attachment where guid='A-1'"), filename);
        if (!expectedRel.isEmpty()) {
            QCOMPARE(bytesOf(store + "/file-relay/" + expectedRel), QByteArray("data"));
            // The readers find each copy with its own bytes.
            MsgData back = loadFolder(store);
            for (const _MsgAttachment* a : std::as_const(back.p()->attachments))
                QCOMPARE(bytesOf(a->_path), QByteArray(a->filename == filename ? "data" : "other"));
            QCOMPARE(back.p()->attachments.size(), before.isEmpty() ? 1 : 2);
        }
        QVERIFY(!QFile::exists(base + "/escape.jpg"));
        QVERIFY(!QFile::exists(base + "/a/escape.jpg"));
    }

    // A message already written is found by its logical hash first, then by its guid, whether it
    // was written in this run into an empty store or is in the store from before.
    void messagesMetTwice_data()
    {
        QTest::addColumn<QStringList>("messages"); // guid|text|date offset; guid "-" is a null guid
        QTest::addColumn<QString>("rows"); // guid:text in rowid order
        QTest::addColumn<QString>("attachedTo"); // guid of the message the last one's attachment joins
        QTest::newRow("distinct") << QStringList { "G-1|a|0", "G-2|b|0" } << "G-1:a,G-2:b"
                                  << "G-2";
        QTest::newRow("same guid, other text") << QStringList { "G-1|a|0", "G-1|b|5" } << "G-1:a"
                                               << "G-1";
        QTest::newRow("same content, other guid") << QStringList { "G-1|a|0", "G-2|a|0" } << "G-1:a"
                                                  << "G-1";
        QTest::newRow("hash before guid") << QStringList { "G-1|a|0", "G-2|b|0", "G-2|a|0" } << "G-1:a,G-2:b"
                                          << "G-1";
        QTest::newRow("guid when the hash is new")
            << QStringList { "G-1|a|0", "G-2|b|0", "G-2|c|9" } << "G-1:a,G-2:b"
            << "G-2";
        QTest::newRow("null guid binds as empty") << QStringList { "|a|0", "-|b|1" } << ":a"
                                                  << "";
        QTest::newRow("same date and text, other sender")
            << QStringList { "G-1|a|0", "G-2|a|0|other" } << "G-1:a,G-2:a"
            << "G-2";
    }

    void messagesMetTwice()
    {
        QFETCH(QStringList, messages);
        QFETCH(QString, rows);
        QFETCH(QString, attachedTo);
        for (const bool seeded : { false, true }) {
            OneMessage one("", "");
            _MsgHandle other;
            other.id = "+15550002";
            std::vector<std::unique_ptr<_MsgMessage>> list;
            QList<_MsgMessage*> run;
            for (const QString& spec : messages) {
                const QStringList f = spec.split('|');
                auto m = std::make_unique<_MsgMessage>();
                m->guid = f[0] == "-" ? QString() : f[0];
                m->text = f[1];
                m->date = one.message.date + f[2].toInt();
                m->_chat = &one.chat;
                m->_sender = f.size() > 3 ? &other : &one.handle;
                run << m.get();
                list.push_back(std::move(m));
            }
            run.last()->_attachments.insert("3", &one.attachment);
            const QString store = TestEnv::tempDir();
            if (seeded) {
                one.message._attachments.clear();
                one.message.guid = "S-0";
                one.message.text = "seed";
                saveAll(store, { &one.message });
            }
            saveAll(store, run);
            const QString db = smsPath(store);
            QCOMPARE(querySql(db,
                         "select group_concat(guid || ':' || text, ',') from (select * from message "
                         "where guid <> 'S-0' order by rowid)"),
                rows);
            QCOMPARE(querySql(db,
                         "select m.guid from message_attachment_join as j join message as m on "
                         "m.rowid = j.message_id"),
                attachedTo);
            QCOMPARE(querySql(db, "select count(*) from chat_message_join"),
                QString::number(rows.split(',').size() + (seeded ? 1 : 0)));
        }
    }

    // Rows written through the save's typed binds, which bind again only what changed from one
    // message to the next, hold exactly what the row writer of the store writes.
    void rowsMatchTheRowWriter_data()
    {
        QTest::addColumn<QStringList>("messages"); // text|service|service_center|error|attributed body
        QTest::newRow("texts of every kind") << QStringList { "<null>|SMS|||", "|SMS|||", "a<nul>b|SMS|||",
            "héllo 😀|SMS|||", "x<lone>y|SMS|||", "pic <fffc>|SMS|||" };
        QTest::newRow("same values, then others")
            << QStringList { "a|SMS||0|", "a|SMS||0|", "b|iMessage||3|", "b|iMessage||3|", "a|SMS||0|" };
        QTest::newRow("column lists alternate")
            << QStringList { "a|SMS|+1555|0|", "b|SMS||0|", "c|SMS|+1555|1|", "d|SMS||1|", "e|SMS|+1666|1|" };
        QTest::newRow("texts turn empty and null")
            << QStringList { "a|SMS|||", "|SMS|||", "<null>|<null>|||", "a|SMS|||" };
        QTest::newRow("attributed bodies")
            << QStringList { "a|SMS|||body", "b|SMS|||body", "c|SMS|||", "d|SMS|||other" };
    }

    void rowsMatchTheRowWriter()
    {
        QFETCH(QStringList, messages);
        OneMessage one("", "");
        std::vector<std::unique_ptr<_MsgMessage>> list;
        QList<_MsgMessage*> run;
        for (const QString& spec : messages) {
            const QStringList f = spec.split('|');
            auto m = std::make_unique<_MsgMessage>();
            m->guid = QStringLiteral("G-%1").arg(run.size());
            m->text = specText(f[0]);
            m->service = specText(f[1]);
            m->service_center = f[2];
            m->error = f[3].toInt();
            m->attributedBody = f[4].toUtf8(); // written only with an attachment
            if (!f[4].isEmpty() && f[4] != "other")
                m->_attachments.insert("3", &one.attachment);
            m->date = one.message.date + int(run.size());
            m->_chat = &one.chat;
            m->_sender = &one.handle;
            run << m.get();
            list.push_back(std::move(m));
        }
        const QString saved = TestEnv::tempDir();
        saveAll(saved, run);
        const QString db = smsPath(saved);
        const QStringList handles = querySql(db, "select group_concat(handle_id) from message").split(',');
        QCOMPARE(handles.size(), run.size());

        const QString written = TestEnv::tempDir();
        IOS6MessageDb writer(QDir(written), _CountryInfo(), true);
        writer.beginEdit();
        qint64 attachment = 0;
        for (qsizetype i = 0; i < run.size(); ++i) {
            const qint64 id = writer.insertMessage(*run[i], handles[i].toLongLong(), 0, QString());
            if (run[i]->_attachments.isEmpty())
                continue;
            if (attachment == 0)
                attachment = writer.insertAttachment(one.attachment);
            writer.joinMessageAtta(id, attachment); // sets the message's attachment flag
        }
        writer.endEdit(true);
        writer.close();
        QCOMPARE(messageValues(db), messageValues(smsPath(written)));
    }

    // Each written message is joined to its own chat once, in the order written, however many
    // messages a run writes.
    void joinsFollowTheMessages_data()
    {
        QTest::addColumn<int>("count");
        QTest::newRow("one") << 1;
        QTest::newRow("a few") << 5;
        QTest::newRow("many, not a round number") << 201;
    }
    void joinsFollowTheMessages()
    {
        QFETCH(int, count);
        OneMessage one("", "");
        OneMessage two("", "");
        two.chat.rowid = 8;
        two.chat.guid = "SMS;-;+15550002";
        std::vector<std::unique_ptr<_MsgMessage>> list;
        QList<_MsgMessage*> run;
        for (int i = 0; i < count; ++i) {
            auto m = std::make_unique<_MsgMessage>();
            m->guid = QStringLiteral("G-%1").arg(i);
            m->text = QStringLiteral("text %1").arg(i);
            m->date = 500000000 + i;
            m->_chat = i % 3 ? &one.chat : &two.chat;
            m->_sender = &one.handle;
            run << m.get();
            list.push_back(std::move(m));
        }
        const QString store = TestEnv::tempDir();
        saveAll(store, run);
        const QString db = smsPath(store);
        QCOMPARE(querySql(db, "select count(*) from chat_message_join"), QString::number(count));
        // Join rowids rise with the messages', each message in the chat it was written for.
        QCOMPARE(querySql(db,
                     "select count(*) from chat_message_join as j join message as m on m.rowid = "
                     "j.message_id join chat as c on c.rowid = j.chat_id where j.rowid = m.rowid and "
                     "c.guid = case when cast(substr(m.guid, 3) as integer) % 3 then 'SMS;-;+15550001' "
                     "else 'SMS;-;+15550002' end"),
            QString::number(count));
    }

    // A file standing at a copy's name is kept only when it is that copy; one an earlier version
    // saved there of another record goes to that record's own name first; one the disk keeps at
    // another case of the name is never written over: the copy is set aside where the phone's name
    // is kept as it is.
    void filesStandingAtACopysName_data()
    {
        QTest::addColumn<QStringList>("records"); // in the store before, below one attachment folder
        QTest::addColumn<QStringList>("files"); // standing there before, "name=bytes"
        QTest::addColumn<QString>("saved"); // the record saved, its copy holding "mine"
        QTest::addColumn<QStringList>("after"); // the folder's files afterwards, "name=bytes"
        QTest::addColumn<QString>("failure"); // after "Cannot write <the copy>: "; empty when none
        QTest::addColumn<QString>("disk"); // the store's disk: empty for the tests' own, else its kind
        const QString marked = "ab" + nameMark("a?b.jpg") + ".jpg";
        QTest::newRow("the copy itself")
            << QStringList { "ab.jpg" } << QStringList { "ab.jpg=mine" } << "ab.jpg"
            << QStringList { "ab.jpg=mine" } << QString() << QString();
        QTest::newRow("another file, no record's")
            << QStringList() << QStringList { "ab.jpg=old" } << "ab.jpg" << QStringList { "ab.jpg=mine" }
            << QString() << QString();
        QTest::newRow("an earlier copy of another record, moved to its name")
            << QStringList { "a?b.jpg" } << QStringList { "ab.jpg=other" } << "ab.jpg"
            << QStringList { "a?b.jpg=other", "ab.jpg=mine" } << QString() << QString();
        QTest::newRow("an earlier copy whose record has its own")
            << QStringList { "a?b.jpg" } << QStringList { "ab.jpg=other", marked + "=own" } << "ab.jpg"
            << QStringList { "ab.jpg=mine", marked + "=own" } << QString() << QString();
        QTest::newRow("an earlier copy two records may own")
            << QStringList { "a?b.jpg", "a:b.jpg" } << QStringList { "ab.jpg=other" } << "ab.jpg"
            << QStringList { "ab.jpg=other" }
            << "it holds the copy an earlier version saved of ~/G/a:b.jpg, which cannot be moved to a name "
               "of its "
               "own."
            << QString();
        QTest::newRow("another record's copy by case, the copy set aside")
            << QStringList { "AB.jpg" } << QStringList { "AB.jpg=other" } << "ab.jpg"
            << QStringList { "AB.jpg=other", KeptFileName::aside("ab.jpg") + "=mine" } << QString()
            << QString("exfat");
        QTest::newRow("the copy by case")
            << QStringList { "AB.jpg" } << QStringList { "AB.jpg=mine" } << "ab.jpg"
            << QStringList { "AB.jpg=mine" } << QString() << QString("exfat");
    }
    void filesStandingAtACopysName()
    {
        QFETCH(QStringList, records);
        QFETCH(QStringList, files);
        QFETCH(QString, saved);
        QFETCH(QStringList, after);
        QFETCH(QString, failure);
        QFETCH(QString, disk);
        std::unique_ptr<ForeignDisk> mounted;
        if (!disk.isEmpty()) {
            mounted = std::make_unique<ForeignDisk>(ForeignDisk::kindOf(disk));
            if (!mounted->isMounted())
                QSKIP(qPrintable(mounted->whyNot()));
        }
        const QString base = TestEnv::tempDir();
        const QString store = mounted ? mounted->path() + "/store" : base + "/store";
        for (QString& r : records)
            r.prepend("~/G/");
        for (QString& f : files)
            f.prepend("var/mobile/G/");
        QVERIFY(makeStoreWith(store, records, files));
        putFile(base + "/src/mine.jpg", "mine");
        OneMessage one("~/G/" + saved, base + "/src/mine.jpg");
        one.attachment.guid = "A-saved";
        QStringList failures;
        saveAll(store, { &one.message }, &failures);
        const QString folder = store + "/file-relay/var/mobile/G/";
        QCOMPARE(failures,
            failure.isEmpty()
                ? QStringList()
                : QStringList { base + "/src/mine.jpg: Cannot write " + folder + saved + ": " + failure });
        QStringList left;
        for (const QString& name : QDir(folder).entryList(QDir::Files, QDir::Name))
            left << name + "=" + QString::fromUtf8(bytesOf(folder + name));
        QCOMPARE(left, after);
    }

    // A run that ends without committing takes back the store it began while it holds no message,
    // from the folder it held: a store saved before stays, and so does what stands where the store's
    // folder was once another is put there.
    void abandonedRunTakesBackOnlyItsOwnEmptyStore_data()
    {
        QTest::addColumn<bool>("savedBefore");
        QTest::addColumn<bool>("swapped");
        QTest::newRow("store begun by the run") << false << false;
        QTest::newRow("store saved before") << true << false;
        QTest::newRow("store's folder swapped meanwhile") << false << true;
    }
    void abandonedRunTakesBackOnlyItsOwnEmptyStore()
    {
        QFETCH(bool, savedBefore);
        QFETCH(bool, swapped);
        const QString base = TestEnv::tempDir();
        const QString store = base + "/store";
        OneMessage one("~/one.jpg", base + "/none.jpg");
        if (savedBefore)
            saveAll(store, { &one.message });
        const QString sms = QFileInfo(smsPath(store)).absolutePath();
        {
            ExportMessagesDb exporter { QDir(store), _CountryInfo() };
            exporter.init();
            QVERIFY(QFile::exists(smsPath(store)));
            if (swapped) {
                QVERIFY(QDir().rename(sms, sms + "-moved"));
                putFile(base + "/other/sms.db", QByteArray());
                QVERIFY(QFile::link(base + "/other", sms));
            }
            exporter.abandon();
        }
        QCOMPARE(QFile::exists(smsPath(store)), savedBefore || swapped);
        if (savedBefore)
            QCOMPARE(querySql(smsPath(store), "select count(*) from message"), QString("1"));
        if (swapped)
            QVERIFY(!QFile::exists(sms + "-moved/sms.db"));
    }

    void existingDestinationIsKeptAndFailedCopiesAreReported()
    {
        const QString base = TestEnv::tempDir();
        putFile(base + "/src/one.jpg", "new");
        putFile(base + "/src/two.jpg", "new");
        const QString store = base + "/store";
        putFile(store + "/file-relay/var/mobile/one.jpg", "new"); // the copy of a save before
        putFile(store + "/file-relay/var/mobile/blocked", "a file where a folder must go");
        OneMessage one("~/one.jpg", base + "/src/one.jpg");
        OneMessage two("~/blocked/two.jpg", base + "/src/two.jpg");
        two.message.guid = "G-2";
        two.message.date += 10;
        two.attachment.guid = "A-2";
        // A link where a folder goes is not followed: where it leads gets nothing.
        QVERIFY(QDir().mkpath(base + "/outside"));
        QVERIFY(QFile::link(base + "/outside", store + "/file-relay/var/mobile/linked"));
        OneMessage three("~/linked/three.jpg", base + "/src/two.jpg");
        three.message.guid = "G-3";
        three.message.date += 20;
        three.attachment.guid = "A-3";
        QStringList failures;
        saveAll(store, { &one.message, &two.message, &three.message }, &failures);
        QCOMPARE(bytesOf(store + "/file-relay/var/mobile/one.jpg"), QByteArray("new"));
        QCOMPARE(failures,
            QStringList({ base + "/src/two.jpg: Cannot make the folder " + store
                    + "/file-relay/var/mobile/blocked: Not a directory.",
                base + "/src/two.jpg: Cannot make the folder " + store
                    + "/file-relay/var/mobile/linked: a link stands there, and nothing is written through a "
                      "link." }));
        QCOMPARE(QDir(base + "/outside").entryList(QDir::AllEntries | QDir::NoDotAndDotDot), QStringList());
        QCOMPARE(querySql(smsPath(store), "select count(*) from message_attachment_join"), "3");
    }
};

QTEST_MAIN(TestExportMessagesDb)
#include "TestExportMessagesDb.moc"
