#include "app/IdsTranslator.h"
#include "app/ShownText.h"
#include "app/sqlite/Sqlite3DB.h"
#include "app/ui/DataSources.h"
#include "app/ui/support/EnglishTexts.h"
#include "app/ui/support/ModalAnswerer.h"
#include "backup/BackupManifest.h"
#include "backup/support/GenBackup.h"
#include "calls_calendars/CalendarSyncRecords.h"
#include "calls_calendars/IOSCalendarDb.h"
#include "calls_calendars/LocalCalendarsDb.h"
#include "calls_calendars/support/CallsFixtures.h"
#include "calls_calendars/ui/CalendarMainForm.h"
#include "calls_calendars/ui/Ui_CalendarMainForm.h"
#include "device/_IOSDevice.h"
#include "device/support/FakeDeviceBackend.h"
#include "support/TestEnv.h"
#include "support/ui/GuiTestEnv.h"
#include "support/ui/PaintedTexts.h"

#include <QAction>
#include <QHeaderView>
#include <QSignalSpy>
#include <QtTest>

using namespace CallsFixtures;

namespace
{

const QString kUdid = QStringLiteral("0000aaaa1111bbbb2222cccc3333dddd4444eeee");

PlistCFType str(const QString& s)
{
    return PlistCFType::createCFString(s);
}

PlistCFType strArray(const QString& s)
{
    PlistCFType a = PlistCFType::createCFArray();
    a.append(str(s));
    return a;
}

// The device already holds one calendar, "Home" (1/3), with one event of the given start and title.
PlistCFType deviceRecords(const _CalEvent& known)
{
    PlistCFType batch = PlistCFType::createCFDictionary();
    PlistCFType cal = PlistCFType::createCFDictionary();
    cal.put("title", str("Home"));
    batch.put("1/3", cal);
    PlistCFType ev = PlistCFType::createCFDictionary();
    ev.put("summary", str(known.title()));
    ev.put("start date", PlistCFType::createCFDate(known.start_date));
    ev.put("end date", PlistCFType::createCFDate(known.end_date));
    ev.put("calendar", strArray("1/3"));
    batch.put("2/17", ev);
    return batch;
}

} // namespace

class TestCalendarMainForm : public QObject
{
    Q_OBJECT
    IdsTranslator m_english;
    std::unique_ptr<BackupManifest> m_manifest;
    QString m_cache;

private slots:
    void initTestCase()
    {
        installEnglishTexts(m_english);
        const QString db = makeCalendarDb();
        const QString backup = GenBackup::make({ "--content", "Library/Calendar/Calendar.sqlitedb=" + db });
        QVERIFY(!backup.isEmpty());
        m_manifest = std::make_unique<BackupManifest>(backup);
        m_manifest->readManifestInfo();
        m_manifest->parseInfo();
        QVERIFY(m_manifest->calendarNode);
        m_cache = TestEnv::tempDir();
        m_manifest->copyFile(m_manifest->calendarNode,
            m_cache + "/" + m_manifest->calendarNode->item.backupFileName(), nullptr, nullptr);
    }

    void backupPage()
    {
        CalendarMainForm page(QSharedPointer<ICalendarDb>(new IOSCalendarDb(m_manifest.get(), QDir(m_cache))),
            m_manifest.get());
        QVERIFY(GuiTestEnv::pageRead(&page));
        page.resize(867, 420);
        page.show();
        const ItemModelCalendar& model = page.model();
        QCOMPARE(model.rowCount(), 2);
        QCOMPARE(model.index(0, 0).data().toString(), QString("home")); // case ignored: home before Work
        QCOMPARE(model.index(0, 1).data().toString(), QString("--"));
        QCOMPARE(page.ui()->lbCount->text(), QString("Total: 2"));
        const QModelIndex first = model.index(0, 0, model.index(0, 0));
        QCOMPARE(first.data().toString(), QString("Far future Hall B")); // latest start first
        QCOMPARE(model.index(0, 4, model.index(0, 0)).data().toString(), QString("FREQ=YEARLY;INTERVAL=1"));
        GuiTestEnv::screenshot(&page, "calendar-page");
        page.resize(523, 420);
        QCOMPARE(page.ui()->listCalendars->header()->sectionSize(3), 75);
        QCOMPARE(page.toolbarActions().size(), 3);
        QCOMPARE(DataSources::countBackupCalendarEvents(QDir(m_cache)), 8);

        // A calendar row and one of its events: every event of it once, the event row's first.
        auto* sel = page.ui()->listCalendars->selectionModel();
        const QModelIndex work = model.index(1, 0);
        const QModelIndex workEvent = model.index(2, 0, work);
        sel->select(workEvent, QItemSelectionModel::Select | QItemSelectionModel::Rows);
        sel->select(work, QItemSelectionModel::Select | QItemSelectionModel::Rows);
        const QList<_CalEvent> events = page.getSelections();
        QCOMPARE(events.size(), 4);
        const auto* node
            = static_cast<ItemModelCalendar::_CalEventItemNode*>(AbsTreeItemModel::nodeOf(workEvent));
        QCOMPARE(events[0].id, node->event.id);
    }

    void otherGenerationShowsTheError()
    {
        const QString cache
            = cacheWith({ { IOSCalendarDb::kCalendarFile, makeCalendarDb({ "--no-calendar-table" }) } });
        ModalAnswerer answerer;
        CalendarMainForm page(
            QSharedPointer<ICalendarDb>(new IOSCalendarDb(nullptr, QDir(cache))), m_manifest.get());
        QVERIFY(GuiTestEnv::pageRead(&page));
        QCOMPARE(answerer.seen().size(), 1);
        QVERIFY(answerer.seen()[0].contains("no calendar table"));
        QCOMPARE(page.ui()->lbCount->text(), QString("Total: ?"));
        // Readable, of another kind: what it holds of the kind is not known, not none.
        QCOMPARE(DataSources::countBackupCalendarEvents(QDir(cache)), DataSources::kUnknownCount);

        // Calendars without the row numbers the page lists them by: counted as the page reads them.
        const QString numberless = cacheWith({ { IOSCalendarDb::kCalendarFile, makeCalendarDb() } });
        {
            Sqlite3DB db;
            db.openThrow(numberless + "/" + IOSCalendarDb::kCalendarFile, SQLITE_OPEN_READWRITE);
            db.executeThrow("create table c2 (id integer primary key, title text, store_id integer) without "
                            "rowid; insert into c2 select rowid, title, store_id from Calendar; drop table "
                            "Calendar; alter table c2 rename to Calendar");
        }
        ModalAnswerer failed;
        CalendarMainForm numberlessPage(
            QSharedPointer<ICalendarDb>(new IOSCalendarDb(nullptr, QDir(numberless))), m_manifest.get());
        QVERIFY(GuiTestEnv::pageRead(&numberlessPage));
        QCOMPARE(failed.seen().size(), 1);
        QCOMPARE(numberlessPage.ui()->lbCount->text(), QString("Total: ?"));
        QCOMPARE(DataSources::countBackupCalendarEvents(QDir(numberless)), DataSources::kUnknownCount);
    }

    void saveExportAndDeleteInALocalDatabase()
    {
        CalendarMainForm page(QSharedPointer<ICalendarDb>(new IOSCalendarDb(m_manifest.get(), QDir(m_cache))),
            m_manifest.get());
        QVERIFY(GuiTestEnv::pageRead(&page));
        const QDir folder(TestEnv::tempDir());
        QSignalSpy finished(&page, &CalendarMainForm::backupFinished);
        {
            ModalAnswerer answerer;
            QVERIFY(page.backupCalendarsTo(page.allCalendarEvetns(), folder));
            QVERIFY(page.backupCalendarsTo(page.allCalendarEvetns(), folder));
            // The store keeps no date before 1970: the event saved without its start is named.
            QCOMPARE(answerer.seen().value(1),
                QString("Successfully backup 8 Calendar events.<br/>Saved 1 Calendar event without its start "
                        "or end, as the local database keeps no date before 1970:<br/>Moon landing (home)"));
        }
        QCOMPARE(finished.size(), 2);
        QCOMPARE(DataSources::countLocalDbCalendarEvents(folder), 8);

        auto store = QSharedPointer<LocalCalendarsDb>::create(folder.absoluteFilePath("calendars.db"));
        CalendarMainForm local(store, nullptr);
        QVERIFY(GuiTestEnv::pageRead(&local));
        QCOMPARE(local.toolbarActions().size(), 3);
        QCOMPARE(local.toolbarActions().last()->text(), QString("Delete Calendar events"));
        const QString ics = TestEnv::tempDir() + "/events.ics";
        {
            ModalAnswerer answerer;
            local.exportCalendarsTo(local.allCalendarEvetns(), ics);
            // The 1969 event comes back from the store without a start, so it is left out, named.
            QCOMPARE(answerer.seen().value(0),
                QString(
                    "Successfully extracted 6 Calendar events.<br/>Left out 2 Calendar events without a "
                    "start, which an iCalendar event needs:<br/>No start (home)<br/>Moon landing (home)"));
            // A CSV row carries an event without a start.
            local.exportCalendarsTo(local.allCalendarEvetns(), TestEnv::tempDir() + "/events.csv");
            QCOMPARE(answerer.seen().value(1), QString("Successfully extracted 8 Calendar events."));
            // A repeat rule that is no iCalendar rule is left out of its event, named.
            _CalEvent ruled = local.allCalendarEvetns().first();
            ruled.rrule = "FREQ=DAILY;INTERVAL=0";
            local.exportCalendarsTo({ ruled }, ics);
            QCOMPARE(answerer.seen().value(2),
                QString(
                    "Successfully extracted 1 Calendar events.<br/>Left out the repeat rule of 1 Calendar "
                    "event, which is no iCalendar rule:<br/>%1 (%2)")
                    .arg(ruled.title(), ruled.calendar_name));
        }
        QVERIFY(QFile::exists(ics));
        // Deleting every event of one calendar takes the calendar away.
        QSignalSpy changed(&local, &CalendarMainForm::localDbChanged);
        local.ui()->listCalendars->selectionModel()->select(
            local.model().index(0, 0), QItemSelectionModel::Select | QItemSelectionModel::Rows);
        {
            ModalAnswerer answerer;
            answerer.answer(QMessageBox::Yes);
            QMetaObject::invokeMethod(&local, "miToolbarDelete");
            QCOMPARE(answerer.seen().value(0), QString("Confirm to delete selected Calendar events?"));
        }
        QVERIFY(GuiTestEnv::pageRead(&local));
        QCOMPARE(local.model().rowCount(), 1);
        QCOMPARE(store->total(), 4);
        QCOMPARE(changed.count(), 1);
    }

    void restoreToADevice()
    {
        auto backend = FakeDeviceBackend::install();
        FakeDevice& phone = backend->addDevice(kUdid);
        auto device = QSharedPointer<_IOSDevice>::create();
        device->udid = kUdid;
        CalendarMainForm page(QSharedPointer<ICalendarDb>(new IOSCalendarDb(m_manifest.get(), QDir(m_cache))),
            m_manifest.get());
        QVERIFY(GuiTestEnv::pageRead(&page));
        QList<_CalEvent> events = page.allCalendarEvetns();
        events.removeIf([](const _CalEvent& e) { return !e.start_date.isValid(); });
        QCOMPARE(events.size(), 7);
        phone.syncBatches["com.apple.Calendars"]
            = { FakeSyncBatch { deviceRecords(events[0]), PlistCFType() } };
        {
            ModalAnswerer answerer;
            page.restoreCalendarsTo(device, events);
            QCOMPARE(
                answerer.seen().value(0), QString("Successfully restored 6 Calendar events with 1 merged."));
        }
        QCOMPARE(phone.sent.size(), 2); // the events, then their recurrences
        const PlistCFType sentEvents = phone.sent[0].entities;
        QCOMPARE(sentEvents.dict_size(), 6);
        int rules = 0;
        for (const PlistCFType& key : sentEvents.dict_keys()) {
            QVERIFY(key.CFStringQString().startsWith("2/-"));
            QCOMPARE(sentEvents.get(key.CFStringQString()).get("calendar").at(0).CFStringQString(),
                QString("1/3"));
        }
        for (const PlistCFType& key : phone.sent[1].entities.dict_keys()) {
            ++rules;
            const QString owner
                = phone.sent[1].entities.get(key.CFStringQString()).get("owner").at(0).CFStringQString();
            QVERIFY2(owner.startsWith("dev-2/-"), qPrintable(owner));
        }
        QCOMPARE(rules, 2); // the merged event's rule is not sent again
        FakeDeviceBackend::uninstall();
    }

    // The device holds every other all-day event of the backup already, as the sync service gives
    // them back: those merge and the rest go over with their own dates, in every zone.
    void restoreAllDayEventsMatchesTheDevice()
    {
        auto backend = FakeDeviceBackend::install();
        FakeDevice& phone = backend->addDevice(kUdid);
        auto device = QSharedPointer<_IOSDevice>::create();
        device->udid = kUdid;
        const QString cache
            = cacheWith({ { IOSCalendarDb::kCalendarFile, makeCalendarDb({ "--all-day" }) } });
        CalendarMainForm page(
            QSharedPointer<ICalendarDb>(new IOSCalendarDb(nullptr, QDir(cache))), m_manifest.get());
        QVERIFY(GuiTestEnv::pageRead(&page));
        QList<_CalEvent> events = page.allCalendarEvetns();
        events.removeIf([](const _CalEvent& e) { return e.all_day == 0; });
        QCOMPARE(events.size(), 23);
        // The page shows each on its own day at midnight.
        for (const _CalEvent& e : events) {
            if (!e.summary.startsWith("All day "))
                continue;
            const QDateTime day(QDate::fromString(e.summary.mid(8), Qt::ISODate), QTime(0, 0));
            QCOMPARE(ItemModelCalendar::eventText(e, 1, false),
                QLocale::system().toString(day, QLocale::ShortFormat));
        }
        PlistCFType batch = PlistCFType::createCFDictionary();
        PlistCFType home = PlistCFType::createCFDictionary();
        home.put("title", str("Home"));
        batch.put("1/3", home);
        for (int i = 0; i < events.size(); i += 2)
            batch.put(QString("2/%1").arg(100 + i), CalendarSyncRecords::eventRecord(events[i], "1/3"));
        phone.syncBatches["com.apple.Calendars"] = { FakeSyncBatch { batch, PlistCFType() } };
        {
            ModalAnswerer answerer;
            page.restoreCalendarsTo(device, events);
            QCOMPARE(answerer.seen().value(0),
                QString("Successfully restored 11 Calendar events with 12 merged."));
        }
        QCOMPARE(phone.sent.size(), 4); // events and recurrences of two batches of twenty
        int sentEvents = 0;
        for (int batch : { 0, 2 }) {
            const PlistCFType sent = phone.sent[batch].entities;
            for (const PlistCFType& key : sent.dict_keys()) {
                const PlistCFType r = sent.get(key.CFStringQString());
                const QString title = r.get("summary").CFStringQString();
                const QDateTime start = CalendarSyncRecords::wallClockDate(r.get("start date"), 0);
                QVERIFY2(start.time() == QTime(0, 0), qPrintable(title + start.toString()));
                if (title.startsWith("All day "))
                    QCOMPARE(start.date(), QDate::fromString(title.mid(8), Qt::ISODate));
                ++sentEvents;
            }
        }
        QCOMPARE(sentEvents, 11);
        FakeDeviceBackend::uninstall();
    }

    // A calendar or an event whose texts take megabytes: each cell, tool tip and what the view
    // draws get a bounded head of them, and the events themselves stay whole.
    void longTextsAreBounded_data()
    {
        QTest::addColumn<QString>("field");
        QTest::addColumn<int>("row"); // 0: the calendar, 1: its event
        QTest::addColumn<int>("column");
        QTest::newRow("calendar name of 1 MB") << "name" << 0 << 0;
        QTest::newRow("title of 10 MB") << "summary" << 1 << 0;
        QTest::newRow("notes of 10 MB") << "description" << 1 << 0;
        QTest::newRow("address of 1 MB") << "url" << 1 << 0;
        QTest::newRow("rule of 1 MB") << "rrule" << 1 << 4;
    }
    void longTextsAreBounded()
    {
        QFETCH(QString, field);
        QFETCH(int, row);
        QFETCH(int, column);
        const QString big(field == "summary" || field == "description" ? 10 << 20 : 1 << 20, 'x');
        _Calendar cal(1, field == "name" ? big : "Home");
        _CalEvent e;
        e.summary = field == "summary" ? big : "Lunch";
        e.description = field == "description" ? big : "";
        e.url = field == "url" ? big : "";
        e.rrule = field == "rrule" ? big : "";
        e.start_date = QDateTime(QDate(2020, 1, 2), QTime(12, 0), Qt::UTC);
        cal.events = { e };
        ItemModelCalendar model;
        model.loadCalendars({ cal });
        const QModelIndex calendar = model.index(0, 0);
        const QModelIndex index = row == 0 ? calendar : model.index(0, column, calendar);
        QVERIFY(index.isValid());
        for (const int role : { int(Qt::DisplayRole), int(Qt::ToolTipRole) }) {
            const QString shown = index.data(role).toString();
            QVERIFY(shown.contains("xxxx"));
            QVERIFY2(shown.size() <= ShownText::kMaxLine + 100, qPrintable(QString::number(shown.size())));
        }
        QVERIFY(PaintedTexts::longest(&model) <= ShownText::kMaxLine);
    }

    void restoreWhenTheDeviceRefuses()
    {
        auto backend = FakeDeviceBackend::install();
        FakeDevice& phone = backend->addDevice(kUdid);
        phone.syncStartError = -5;
        phone.syncStartDescription = "busy";
        auto device = QSharedPointer<_IOSDevice>::create();
        device->udid = kUdid;
        CalendarMainForm page(QSharedPointer<ICalendarDb>(new IOSCalendarDb(m_manifest.get(), QDir(m_cache))),
            m_manifest.get());
        QVERIFY(GuiTestEnv::pageRead(&page));
        {
            ModalAnswerer answerer;
            page.restoreCalendarsTo(device, page.allCalendarEvetns());
            QCOMPARE(answerer.seen().size(), 1); // the loading form's error, and nothing is sent
        }
        QCOMPARE(phone.sent.size(), 0);
        FakeDeviceBackend::uninstall();
    }
};

QTEST_MAIN(TestCalendarMainForm)
#include "TestCalendarMainForm.moc"
