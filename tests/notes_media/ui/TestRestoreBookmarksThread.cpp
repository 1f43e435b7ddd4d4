#include "app/IdsTranslator.h"
#include "app/ui/shared/DataSourceSelForm.h"
#include "app/ui/shared/ProgressForm.h"
#include "app/ui/support/EnglishTexts.h"
#include "app/ui/support/ModalAnswerer.h"
#include "app/ui/support/PressOk.h"
#include "backup/BackupManifest.h"
#include "device/IOSDeviceMonitor.h"
#include "device/_IOSDevice.h"
#include "device/support/FakeDeviceBackend.h"
#include "notes_media/IOSBookmarkDb.h"
#include "notes_media/support/NotesFixtures.h"
#include "notes_media/ui/BookmarksMainForm.h"
#include "notes_media/ui/RestoreBookmarksThread.h"
#include "support/TestEnv.h"
#include "support/ui/GuiTestEnv.h"

#include <QtTest>
#include <memory>

namespace
{
const QString kUdid = QStringLiteral("00008101aaaabbbbccccddddeeeeffff22223333");
const QString kClass = QStringLiteral("com.apple.Bookmarks");
const QString kEntity = QStringLiteral("com.apple.syncservices.RecordEntityName");

PlistCFType record(bool folder, const QString& name, const QString& url, const QString& parent)
{
    PlistCFType r = PlistCFType::createCFDictionary();
    r.put(kEntity,
        PlistCFType::createCFString(folder ? "com.apple.bookmarks.Folder" : "com.apple.bookmarks.Bookmark"));
    r.put("name", PlistCFType::createCFString(name));
    if (!folder)
        r.put("url", PlistCFType::createCFString(url));
    if (!parent.isEmpty())
        r.put("parent", PlistCFType::createCFArray({ PlistCFType::createCFString(parent) }));
    return r;
}

// The device's records as paths: "Work/Sub/" for a folder, "Work/A=a" for a bookmark, so names,
// addresses and parents are all compared; sorted.
QStringList paths(const PlistCFType& records)
{
    QStringList out;
    for (const PlistCFType& key : records.dict_keys()) {
        const PlistCFType r = records.get(key);
        const bool folder = r.get(kEntity).CFStringQString() == "com.apple.bookmarks.Folder";
        QString path
            = r.get("name").CFStringQString() + (folder ? "/" : "=" + r.get("url").CFStringQString());
        for (PlistCFType p = r.get("parent"); p.ref();
             p = records.get(p.at(0).CFStringQString()).get("parent"))
            path.prepend(records.get(p.at(0).CFStringQString()).get("name").CFStringQString() + "/");
        out << path;
    }
    out.sort();
    return out;
}

// The source tree: Work { A, Sub { B } }, C at the top, and Many { 45 bookmarks }.
struct Source {
    QList<_Bookmark*> roots;
    ~Source() { qDeleteAll(roots); }
    _Bookmark* add(_Bookmark* parent, bool folder, const QString& title, const QString& url = QString())
    {
        auto* b = new _Bookmark(parent, folder, title, url, 0, "src-" + title, 0);
        (parent ? parent->children : roots).append(b);
        return b;
    }
    _Bookmark* find(const QString& title) const
    {
        QList<_Bookmark*> pending = roots;
        while (!pending.isEmpty()) {
            _Bookmark* b = pending.takeFirst();
            if (b->title == title)
                return b;
            pending += b->children;
        }
        return nullptr;
    }
    Source()
    {
        _Bookmark* work = add(nullptr, true, "Work");
        add(work, false, "A", "a");
        add(add(work, true, "Sub"), false, "B", "b");
        add(nullptr, false, "C", "c");
        _Bookmark* many = add(nullptr, true, "Many");
        for (int i = 0; i < 45; ++i)
            add(many, false, QString("M%1").arg(i), QString("m%1").arg(i));
    }
};

int starts(const FakeDevice& phone)
{
    return int(phone.syncLog.filter(QRegularExpression("^start ")).size());
}

} // namespace

class TestRestoreBookmarksThread : public QObject
{
    Q_OBJECT
    IdsTranslator m_translator;
    std::shared_ptr<FakeDeviceBackend> backend;

    FakeDevice& phone() { return *backend->device(kUdid); }
    PlistCFType held() { return phone().syncRecords.value(kClass); }

    int restore(const QList<_Bookmark*>& chosen, QString& text, ProgressForm* given = nullptr)
    {
        ProgressForm own;
        ProgressForm& form = given ? *given : own;
        form.setQuiet(true);
        RestoreBookmarksThread thread(kUdid, chosen, &form);
        thread.start();
        const int result = form.exec();
        thread.wait();
        text = form.resultText();
        return result;
    }

private Q_SLOTS:
    void initTestCase() { installEnglishTexts(m_translator); }
    void init()
    {
        backend = FakeDeviceBackend::install();
        backend->addDevice(kUdid).syncRecords[kClass] = PlistCFType::createCFDictionary();
    }
    void cleanup() { FakeDeviceBackend::uninstall(); }

    void mergesIntoTheDevice_data()
    {
        QTest::addColumn<QStringList>("chosen");
        QTest::addColumn<bool>("deviceHoldsSome");
        QTest::addColumn<QStringList>("after");
        QTest::addColumn<int>("sentRecords");
        QTest::addColumn<int>("count");
        QTest::newRow("empty device")
            << QStringList { "Work", "C" } << false
            << QStringList { "C=c", "Work/", "Work/A=a", "Work/Sub/", "Work/Sub/B=b" } << 5 << 3;
        QTest::newRow("device holds some")
            << QStringList { "Work", "C" } << true
            << QStringList { "C=c", "Work/", "Work/A2=a", "Work/Sub/", "Work/Sub/B=b", "Work/Sub2/",
                   "Work/Sub2/S=s", "Z=z", "/elsewhere=x", "list=l" }
            << 3 << 3;
        // A bookmark chosen inside folders goes under the chain of its folders, made where missing.
        QTest::newRow("chain of folders")
            << QStringList { "B" } << true
            << QStringList { "Work/", "Work/A2=a", "Work/Sub/", "Work/Sub/B=b", "Work/Sub2/", "Work/Sub2/S=s",
                   "Z=z", "/elsewhere=x", "list=l" }
            << 2 << 1;
    }
    void mergesIntoTheDevice()
    {
        QFETCH(QStringList, chosen);
        QFETCH(bool, deviceHoldsSome);
        QFETCH(QStringList, after);
        QFETCH(int, sentRecords);
        QFETCH(int, count);
        if (deviceHoldsSome) {
            // Work with A (under another title, same address) and a folder Sub2; a bookmark Z at the
            // top, one in a folder the device does not list, and a record of another entity under
            // the first identifier a restore would give: all of them stay as they are.
            PlistCFType& h = phone().syncRecords[kClass];
            h.put("7", record(true, "Work", QString(), QString()));
            h.put("8", record(false, "A2", "a", "7"));
            h.put("9", record(true, "Sub2", QString(), "7"));
            h.put("10", record(false, "S", "s", "9"));
            h.put("11", record(false, "Z", "z", QString()));
            h.put("12", record(false, "elsewhere", "x", "404"));
            PlistCFType other = record(false, "list", "l", QString());
            other.put(kEntity, PlistCFType::createCFString("com.apple.bookmarks.ReadingListItem"));
            h.put("-1", other);
        }
        Source source;
        QList<_Bookmark*> list;
        for (const QString& title : chosen)
            list << source.find(title);
        QString text;
        QCOMPARE(restore(list, text), 1);
        QCOMPARE(text, QString("Successfully restored %1 Boobmarks to Device.").arg(count));
        after.sort();
        QCOMPARE(paths(held()), after);
        if (deviceHoldsSome)
            QCOMPARE(held().get("-1").get(kEntity).CFStringQString(),
                QString("com.apple.bookmarks.ReadingListItem"));
        int sent = 0;
        for (const FakeSyncSent& s : phone().sent)
            sent += s.entities.dict_size();
        QCOMPARE(sent, sentRecords);
        for (const FakeSyncSent& s : phone().sent)
            QVERIFY(!s.isLast);
        QVERIFY(phone().syncLog.contains("finish"));
        // The same restore again finds everything on the device: nothing more is sent.
        const int messages = int(phone().sent.size());
        QCOMPARE(restore(list, text), 1);
        QCOMPARE(text, QString("Successfully restored %1 Boobmarks to Device.").arg(count));
        QCOMPARE(phone().sent.size(), messages);
        QCOMPARE(paths(held()), after);
    }

    void batchesAndCancel()
    {
        // Many and its 45 bookmarks are 46 new records: batches of 20, 20 and 6. The device names no
        // identifiers, so the records keep those they were sent with; the user cancels once the
        // first batch is in.
        ProgressForm form;
        int answers = 0;
        phone().remap = [&](const PlistCFType&) {
            if (++answers == 2) {
                form.cancelled = true;
                QMetaObject::invokeMethod(
                    &form, [&form] { form.done(0); }, Qt::QueuedConnection);
            }
            return PlistCFType::createCFDictionary();
        };
        Source source;
        QString text;
        QCOMPARE(restore({ source.find("Many") }, text, &form), 0);
        QCOMPARE(text, QString()); // quiet
        QCOMPARE(starts(phone()), 2); // the load and the first batch
        QCOMPARE(phone().sent.size(), 2); // its folder, then its 19 bookmarks
        QCOMPARE(phone().sent.at(0).entities.dict_size(), 1);
        QCOMPARE(phone().sent.at(1).entities.dict_size(), 19);
        QCOMPARE(phone().syncLog.last(), QString("finish"));
        QCOMPARE(held().dict_size(), 20);

        // A restore that runs to the end adds the rest under identifiers of its own.
        phone().remap = nullptr;
        QCOMPARE(restore({ source.find("Many") }, text), 1);
        QCOMPARE(text, QString("Successfully restored 45 Boobmarks to Device."));
        QCOMPARE(starts(phone()), 2 + 1 + 2);
        QCOMPARE(held().dict_size(), 46);
        QCOMPARE(paths(held()).filter(QRegularExpression("^Many/M\\d+=m\\d+$")).size(), 45);
    }

    void failures_data()
    {
        QTest::addColumn<QString>("fault");
        QTest::addColumn<QString>("message");
        QTest::addColumn<int>("kept");
        QTest::newRow("refused data class")
            << "refuse"
            << "mobiledevice_sync_start_throw: start failed. return -7. no bookmarks here" << 0;
        QTest::newRow("lost mid-send") << "lose"
                                       << "mobilesync_send_changes failed. return -3." << 1;
        QTest::newRow("reading fails") << "receive"
                                       << "mobilesync_receive_changes failed. return -4." << 0;
        QTest::newRow("finish fails") << "finish"
                                      << "mobilesync_finish failed. return -5." << 5;
        QTest::newRow("unknown device")
            << "gone"
            << "mobiledevice_sync_start_throw: open device failed. return -3." << 0;
    }
    void failures()
    {
        QFETCH(QString, fault);
        QFETCH(QString, message);
        QFETCH(int, kept);
        FakeDevice& d = phone();
        if (fault == "refuse") {
            d.syncStartError = -7;
            d.syncStartDescription = "no bookmarks here";
        } else if (fault == "lose") {
            // The connection goes once the device has taken the first message (the folder).
            d.remap = [&d](const PlistCFType& sent) {
                d.sendChangesError = -3;
                PlistCFType mapping = PlistCFType::createCFDictionary();
                for (const PlistCFType& k : sent.dict_keys())
                    mapping.put(
                        k.CFStringQString(), PlistCFType::createCFString("dev" + k.CFStringQString()));
                return mapping;
            };
        } else if (fault == "receive") {
            d.receiveError = -4;
        } else if (fault == "finish") {
            d.finishError = -5;
        }
        Source source;
        QString text;
        ProgressForm form;
        form.setQuiet(true);
        RestoreBookmarksThread thread(fault == "gone" ? QString("no-such-device") : kUdid,
            { source.find("Work"), source.find("C") }, &form);
        thread.start();
        QCOMPARE(form.exec(), 0);
        thread.wait();
        QCOMPARE(form.resultText(), message);
        QCOMPARE(d.syncRecords.value(kClass).dict_size(), kept);
    }

    void restoresFromThePage()
    {
        auto device = QSharedPointer<_IOSDevice>::create();
        device->udid = kUdid;
        device->deviceName = "Test iPhone";
        IOSDeviceMonitor::getInstance()->devices.clear();
        IOSDeviceMonitor::getInstance()->devices.insert(kUdid, device);
        const QString file = NotesFixtures::generate("make_bookmarks_db.py", {}, "Bookmarks.db");
        BackupManifest manifest(TestEnv::tempDir());
        BookmarksMainForm page(
            QSharedPointer<IBookmarkDb>(new IOSBookmarkDb(nullptr, NotesFixtures::bookmarksCache(file))),
            &manifest);
        QVERIFY(GuiTestEnv::pageRead(&page));
        page.show();
        ModalAnswerer answerer;
        answerer.answerWith(pressOk<DataSourceSelForm>());
        answerer.answer(QMessageBox::Ok); // the hint
        answerer.answer(QMessageBox::Ok); // the success
        page.miToolbarRestore();
        IOSDeviceMonitor::getInstance()->devices.clear();
        QCOMPARE(answerer.seen().size(), 2);
        QVERIFY(answerer.seen().at(0).contains("Turn off safari Sync"));
        QCOMPARE(answerer.seen().at(1), QString("Successfully restored 9 Boobmarks to Device."));
        const QStringList got = paths(held());
        QCOMPARE(got.filter(QRegularExpression("=")).size(), 9);
        QCOMPARE(starts(phone()), 2); // the load, then one batch
    }
};

QTEST_MAIN(TestRestoreBookmarksThread)
#include "TestRestoreBookmarksThread.moc"
