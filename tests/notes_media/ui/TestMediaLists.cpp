#include "app/IdsTranslator.h"
#include "app/ShownText.h"
#include "app/sqlite/Sqlite3DB.h"
#include "app/ui/support/EnglishTexts.h"
#include "notes_media/DurationText.h"
#include "notes_media/IOSRecordingDb.h"
#include "notes_media/IOSVoicemailDb.h"
#include "notes_media/support/NotesFixtures.h"
#include "notes_media/ui/ItemModelRecording.h"
#include "notes_media/ui/ItemModelVoicemail.h"
#include "support/TestEnv.h"
#include "support/ui/PaintedTexts.h"

#include <QtTest>
#include <ctime>
#include <limits>
#include <sqlite3.h>

// The rows of voicemail.db and Recordings.db as the readers give them and the list models show
// them: fields, order, dates in several zones, audio paths and lengths.
class TestMediaLists : public QObject
{
    Q_OBJECT
    IdsTranslator m_translator;
    QByteArray m_savedZone;

    static QDir voicemailCache(int count)
    {
        const QString db = NotesFixtures::generate(
            "make_media_db.py", { "voicemail", "--count", QString::number(count) }, "voicemail.db");
        return NotesFixtures::cacheWith(db, "HomeDomain", "Library/Voicemail/voicemail.db");
    }
    static QDir recordingsCache(int count)
    {
        const QString db = NotesFixtures::generate(
            "make_media_db.py", { "recordings", "--count", QString::number(count) }, "Recordings.db");
        return NotesFixtures::cacheWith(db, "MediaDomain", "Media/Recordings/Recordings.db");
    }

private Q_SLOTS:
    void initTestCase()
    {
        installEnglishTexts(m_translator);
        m_savedZone = qgetenv("TZ");
    }
    void cleanupTestCase()
    {
        qputenv("TZ", m_savedZone);
        tzset();
    }

    void readsVoicemailNewestFirst()
    {
        IOSVoicemailDb db(nullptr, voicemailCache(5));
        const QList<IOSVoicemailDb::_Voicemail> list = db.voicemails();
        QCOMPARE(db.total(), 5);
        QCOMPARE(list.size(), 5);
        QList<qint64> ids;
        for (const auto& v : list)
            ids.append(v.rowId);
        QCOMPARE(ids, QList<qint64>({ 5, 4, 3, 2, 1 }));
        const IOSVoicemailDb::_Voicemail& trashed = list.at(1);
        QCOMPARE(trashed.sender, QString("+15555550199"));
        QCOMPARE(trashed.date, QDateTime(QDate(2017, 7, 17), QTime(3, 42, 3), Qt::UTC));
        QCOMPARE(trashed.duration, 26);
        QVERIFY(!trashed.listened);
        QVERIFY(trashed.trashed);
        QCOMPARE(trashed.audioPath(), QString("Library/Voicemail/4.amr"));
        QVERIFY(list.at(2).sender.isEmpty()); // an unknown caller
        QVERIFY(list.at(2).listened);
    }

    void readsRecordingsNewestFirst()
    {
        IOSRecordingDb db(nullptr, recordingsCache(3));
        const QList<IOSRecordingDb::_Recording> list = db.recordings();
        QCOMPARE(db.total(), 3);
        QCOMPARE(list.size(), 3);
        QCOMPARE(list.at(0).label(), QString("Idea: song?"));
        QCOMPARE(list.at(1).label(), QString("20160202 101011.m4a")); // no label of its own
        QCOMPARE(list.at(2).date, QDateTime(QDate(2016, 11, 5), QTime(0, 54, 5, 500), Qt::UTC));
        QCOMPARE(list.at(2).duration, 3.25);
        QCOMPARE(list.at(2).audioPath(), QString("Media/Recordings/20160101 101010.m4a"));
    }

    void recordingValuesOutOfRange_data()
    {
        QTest::addColumn<QString>("zdate");
        QTest::addColumn<QString>("zduration");
        QTest::addColumn<QDateTime>("date");
        QTest::addColumn<QString>("length");
        QTest::newRow("1e300") << "1e300"
                               << "1e300" << QDateTime() << "";
        QTest::newRow("2^63") << "9223372036854775808.0"
                              << "9223372036854775808.0" << QDateTime() << "";
        QTest::newRow("minus one") << "-1.0"
                                   << "-1.0" << QDateTime(QDate(2000, 12, 31), QTime(23, 59, 59), Qt::UTC)
                                   << "";
        QTest::newRow("null") << "NULL"
                              << "NULL" << QDateTime() << "0:00";
        QTest::newRow("last date") << "252423993599.25"
                                   << "7200"
                                   << QDateTime(QDate(9999, 12, 31), QTime(23, 59, 59, 250), Qt::UTC)
                                   << "2:00:00";
    }
    // A date or length beyond what it can be is no value: no date, an empty length.
    void recordingValuesOutOfRange()
    {
        QFETCH(QString, zdate);
        QFETCH(QString, zduration);
        const QString db
            = NotesFixtures::generate("make_media_db.py", { "recordings", "--count", "1" }, "Recordings.db");
        {
            Sqlite3DB sql;
            sql.openThrow(db, SQLITE_OPEN_READWRITE);
            sql.executeThrow(QString("update ZRECORDING set ZDATE=%1, ZDURATION=%2").arg(zdate, zduration));
        }
        IOSRecordingDb reader(
            nullptr, NotesFixtures::cacheWith(db, "MediaDomain", "Media/Recordings/Recordings.db"));
        const QList<IOSRecordingDb::_Recording> list = reader.recordings();
        QCOMPARE(list.size(), 1);
        QTEST(list.at(0).date, "date");
        QTEST(DurationText::format(list.at(0).duration), "length");
    }

    // The device's own (empty) databases read as empty lists.
    void realSchemasReadEmpty()
    {
        QM_REQUIRE_SHARED();
        const QString real = TestEnv::realFixture("otapki-iphone");
        IOSVoicemailDb vm(nullptr,
            NotesFixtures::cacheWith(real + "/HomeDomain/Library/Voicemail/voicemail.db", "HomeDomain",
                "Library/Voicemail/voicemail.db"));
        QCOMPARE(vm.voicemails().size(), 0);
        IOSRecordingDb rec(nullptr,
            NotesFixtures::cacheWith(real + "/MediaDomain/Media/Recordings/Recordings.db", "MediaDomain",
                "Media/Recordings/Recordings.db"));
        QCOMPARE(rec.recordings().size(), 0);
    }

    void missingDatabaseThrows()
    {
        IOSVoicemailDb vm(nullptr, QDir(TestEnv::tempDir()));
        QVERIFY_THROWS_EXCEPTION(std::runtime_error, vm.voicemails());
        IOSRecordingDb rec(nullptr, QDir(TestEnv::tempDir()));
        QVERIFY_THROWS_EXCEPTION(std::runtime_error, rec.recordings());
    }

    // A label, a file name or a sender of megabytes: the list's cells, tool tips and what the view
    // draws get a bounded head of it, never the whole value.
    void longLabelsAreBounded_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QString>("value");
        QTest::newRow("recording label of 10 MB") << "label" << QString(10 << 20, 'L');
        QTest::newRow("recording file of 1 MB") << "path"
                                                << "/Media/Recordings/" + QString(1 << 20, 'L');
        QTest::newRow("voicemail sender of 1 MB") << "sender" << QString(1 << 20, 'L');
    }
    void longLabelsAreBounded()
    {
        QFETCH(QString, kind);
        QFETCH(QString, value);
        ItemModelRecording recordings;
        ItemModelVoicemail voicemails;
        AbsTreeItemModel* model = &recordings;
        if (kind == "sender") {
            IOSVoicemailDb::_Voicemail v;
            v.sender = value;
            voicemails.loadVoicemails({ v });
            model = &voicemails;
        } else {
            IOSRecordingDb::_Recording r;
            (kind == "label" ? r.customLabel : r.devicePath) = value;
            recordings.loadRecordings({ r });
        }
        for (const int role : { int(Qt::DisplayRole), int(Qt::ToolTipRole) }) {
            const QString shown = model->index(0, 0).data(role).toString();
            QCOMPARE(shown.size(), ShownText::kMaxLine);
            QVERIFY(shown.startsWith("LLLL") && shown.endsWith(QChar(0x2026)));
        }
        QVERIFY(PaintedTexts::longest(model) <= ShownText::kMaxLine);
    }

    void recordingAudioPath_data()
    {
        QTest::addColumn<QString>("devicePath");
        QTest::addColumn<QString>("expected");
        QTest::newRow("device path") << "/var/mobile/Media/Recordings/20140101 101010.m4a"
                                     << "Media/Recordings/20140101 101010.m4a";
        QTest::newRow("bare name") << "memo.m4a"
                                   << "Media/Recordings/memo.m4a";
        QTest::newRow("empty") << ""
                               << "";
        QTest::newRow("folder only") << "/var/mobile/Media/Recordings/"
                                     << "";
        QTest::newRow("parent") << "/var/mobile/.."
                                << "";
        QTest::newRow("dot") << "."
                             << "";
    }
    void recordingAudioPath()
    {
        QFETCH(QString, devicePath);
        QFETCH(QString, expected);
        IOSRecordingDb::_Recording r;
        r.devicePath = devicePath;
        QCOMPARE(r.audioPath(), expected);
        r.customLabel = "  ";
        QCOMPARE(r.label(), expected.mid(expected.lastIndexOf('/') + 1));
    }

    void duration_data()
    {
        QTest::addColumn<double>("seconds");
        QTest::addColumn<QString>("text");
        QTest::newRow("zero") << 0.0 << "0:00";
        QTest::newRow("fraction dropped") << 59.9 << "0:59";
        QTest::newRow("minute") << 61.0 << "1:01";
        QTest::newRow("hour") << 3600.0 << "1:00:00";
        QTest::newRow("hours") << 37325.0 << "10:22:05";
        QTest::newRow("longest") << 2147483647.0 << "596523:14:07";
        // Beyond what a length can be: no value, shown empty.
        QTest::newRow("negative") << -3.0 << "";
        QTest::newRow("minus one") << -1.0 << "";
        QTest::newRow("not a number") << std::numeric_limits<double>::quiet_NaN() << "";
        QTest::newRow("infinite") << std::numeric_limits<double>::infinity() << "";
        QTest::newRow("1e300") << 1e300 << "";
        QTest::newRow("2^63") << 9223372036854775808.0 << "";
        QTest::newRow("2^31") << 2147483648.0 << "";
    }
    void duration()
    {
        QFETCH(double, seconds);
        QFETCH(QString, text);
        QCOMPARE(DurationText::format(seconds), text);
    }

    // The stored UTC times show in the computer's zone.
    void datesInZones_data()
    {
        QTest::addColumn<QByteArray>("zone");
        QTest::addColumn<QString>("voicemail");
        QTest::addColumn<QString>("recording");
        QTest::newRow("utc") << QByteArray("UTC") << "14 Jul 2017 03:42:03"
                             << "5 Nov 2016 00:54:05";
        QTest::newRow("new york summer time") << QByteArray("America/New_York") << "13 Jul 2017 23:42:03"
                                              << "4 Nov 2016 20:54:05";
        QTest::newRow("kolkata half hour") << QByteArray("Asia/Kolkata") << "14 Jul 2017 09:12:03"
                                           << "5 Nov 2016 06:24:05";
        QTest::newRow("chatham quarter hour") << QByteArray("Pacific/Chatham") << "14 Jul 2017 16:27:03"
                                              << "5 Nov 2016 14:39:05";
    }
    void datesInZones()
    {
        QFETCH(QByteArray, zone);
        QFETCH(QString, voicemail);
        QFETCH(QString, recording);
        qputenv("TZ", zone);
        tzset();
        ItemModelVoicemail vm;
        vm.loadVoicemails(IOSVoicemailDb(nullptr, voicemailCache(1)).voicemails());
        QCOMPARE(vm.index(0, 1).data().toString(), voicemail);
        ItemModelRecording rec;
        rec.loadRecordings(IOSRecordingDb(nullptr, recordingsCache(1)).recordings());
        QCOMPARE(rec.index(0, 1).data().toString(), recording);
    }

    void modelsShowTheirColumns()
    {
        ItemModelVoicemail vm;
        vm.loadVoicemails(IOSVoicemailDb(nullptr, voicemailCache(3)).voicemails());
        QCOMPARE(vm.rowCount(), 3);
        QCOMPARE(vm.columnCount(), 5);
        QStringList headers;
        for (int c = 0; c < 5; ++c)
            headers.append(vm.headerData(c, Qt::Horizontal).toString());
        QCOMPARE(headers, QStringList({ "Sender", "Date", "Duration", "Listened", "Trash" }));
        QCOMPARE(vm.index(0, 0).data().toString(), QString("Unknown"));
        QCOMPARE(ItemModelVoicemail::voicemailOf(vm.index(2, 0))->rowId, 1);
        QCOMPARE(vm.rowCount(vm.index(0, 0)), 0);
        vm.loadVoicemails({});
        QCOMPARE(vm.rowCount(), 0);
        ItemModelRecording rec;
        rec.loadRecordings(IOSRecordingDb(nullptr, recordingsCache(2)).recordings());
        QCOMPARE(rec.columnCount(), 3);
        QCOMPARE(rec.headerData(0, Qt::Horizontal).toString(), QString("Label"));
        QCOMPARE(rec.index(1, 2).data().toString(), QString("0:03"));
        QCOMPARE(ItemModelRecording::recordingOf(rec.index(0, 0))->pk, 2);
    }
};

QTEST_MAIN(TestMediaLists)
#include "TestMediaLists.moc"
