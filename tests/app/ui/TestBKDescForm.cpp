#include "app/IdsTranslator.h"
#include "app/ShownText.h"
#include "app/ui/BKDescForm.h"
#include "app/ui/support/ModalAnswerer.h"
#include "backup/BackupManifest.h"
#include "support/ui/GuiTestEnv.h"

#include <QDesktopServices>
#include <QLabel>
#include <QtTest>

class TestBKDescForm : public QObject
{
    Q_OBJECT
    QList<QUrl> m_opened;

    static QSharedPointer<BackupManifest> backup(const QString& folder)
    {
        QSharedPointer<BackupManifest> m(new BackupManifest(folder));
        m->dir = QDir(folder);
        m->displayName = "Anna's iPhone";
        m->ProductType = "iPhone10,4";
        m->ProductVersion = "14.3";
        m->SerialNumber = "F2LXK0ABCD12";
        m->UniqueDeviceID = "0123456789abcdef0123456789abcdef01234567";
        m->date = QDateTime(QDate(2021, 3, 4), QTime(5, 6, 7));
        return m;
    }
    static QStringList labelTexts(const QWidget* area)
    {
        QStringList texts;
        for (const QLabel* l : area->findChildren<QLabel*>())
            texts << l->text();
        return texts;
    }

public Q_SLOTS:
    void openUrl(const QUrl& url) { m_opened << url; }

private Q_SLOTS:
    void header_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("shown");
        const QString pair = QString::fromUtf8("\xF0\x9F\x98\x80");
        QTest::newRow("40") << QString(40, 'x') << QString(40, 'x');
        QTest::newRow("41") << QString(41, 'x') << QString(40, 'x') + "...";
        QTest::newRow("short") << "xxx" << QString("xxx");
        QTest::newRow("pair across the cut") << QString(39, 'x') + pair + "y" << QString(39, 'x') + "...";
        QTest::newRow("7 MB") << QString(7 << 20, 'x') << QString(40, 'x') + "...";
    }
    void header()
    {
        QFETCH(QString, name);
        QFETCH(QString, shown);
        auto m = backup("/backups/one");
        m->displayName = name;
        BKDescForm page(m.data());
        QCOMPARE(page.lbBKName->text(), shown);
    }

    // Fields of megabytes (a Manifest.plist may take 8 MB) show a bounded head.
    void longFieldsAreBounded_data()
    {
        QTest::addColumn<QString>("field");
        QTest::newRow("device of 1 MB") << "type";
        QTest::newRow("version of 1 MB") << "version";
        QTest::newRow("serial of 1 MB") << "serial";
        QTest::newRow("device id of 1 MB") << "id";
    }
    void longFieldsAreBounded()
    {
        QFETCH(QString, field);
        auto m = backup("/backups/one");
        const QString big(1 << 20, 'F');
        (field == "type"             ? m->ProductType
                : field == "version" ? m->ProductVersion
                : field == "serial"  ? m->SerialNumber
                                     : m->UniqueDeviceID)
            = big;
        BKDescForm page(m.data());
        bool found = false;
        for (const QString& text : labelTexts(&page)) {
            QVERIFY2(text.size() <= ShownText::kMaxLine, qPrintable(QString::number(text.size())));
            found = found || (text.startsWith("FFFF") && text.endsWith(QChar(0x2026)));
        }
        QVERIFY(found);
    }

    void showsTheManifestFields()
    {
        IdsTranslator english;
        QVERIFY(english.load(":/en.qm"));
        QCoreApplication::installTranslator(&english);
        auto m = backup("/backups/0123456789abcdef0123456789abcdef01234567");
        BKDescForm page(m.data());
        const QStringList texts = labelTexts(page.infoArea);
        for (const QString& expected :
            { "iPhone10,4", "14.3", "F2LXK0ABCD12", "0123456789abcdef0123456789abcdef01234567", "Normal" })
            QVERIFY2(texts.contains(expected), qPrintable(expected));
        QVERIFY(texts.contains(QLocale::system().toString(m->date, QLocale::ShortFormat)));
        QCOMPARE(page.lbPath->toolTip(), QString("/backups/0123456789abcdef0123456789abcdef01234567"));
        QVERIFY(page.lbPath->text().contains(">0123456789abcdef0123456789abcdef01234567</a>"));
        page.resize(800, 560);
        page.show();
        QVERIFY(QTest::qWaitForWindowExposed(&page));
        GuiTestEnv::screenshot(&page, "backup-description");
        QCoreApplication::removeTranslator(&english);

        m->IsEncrypted = true;
        BKDescForm encrypted(m.data());
        QVERIFY(labelTexts(encrypted.infoArea).contains("Encrypted"));
    }

    void pathLinkOpensTheFolder()
    {
        QDesktopServices::setUrlHandler("file", this, "openUrl");
        auto m = backup("/backups/with space & amp");
        BKDescForm page(m.data());
        Q_EMIT page.lbPath->linkActivated("/backups/with space & amp");
        QDesktopServices::unsetUrlHandler("file");
        QCOMPARE(m_opened.size(), 1);
        QCOMPARE(m_opened.first().toLocalFile(), QString("/backups/with space & amp"));
    }

    void pathLinkWithoutDesktopShowsTheFolder()
    {
        auto m = backup("/backups/a<b");
        BKDescForm page(m.data());
        ModalAnswerer answerer;
        Q_EMIT page.lbPath->linkActivated("/backups/a<b");
        QCOMPARE(answerer.seenIcons(), QList<QMessageBox::Icon>({ QMessageBox::Warning }));
        QVERIFY2(answerer.seen().value(0).endsWith("/backups/a&lt;b"), qPrintable(answerer.seen().value(0)));
    }

    // Narrow: one field a row, so the page needs far less width than with two fields a row.
    void narrowPageTakesOneFieldARow()
    {
        auto m = backup("/backups/narrow");
        BKDescForm page(m.data());
        const QWidget* serial = nullptr;
        const QWidget* deviceId = nullptr;
        for (const QLabel* l : page.infoArea->findChildren<QLabel*>()) {
            if (l->text() == m->SerialNumber)
                serial = l;
            else if (l->text() == m->UniqueDeviceID)
                deviceId = l;
        }
        QVERIFY(serial && deviceId);
        QVERIFY(page.minimumWidth() < 600);
        page.resize(page.minimumWidth(), 400);
        page.show();
        QVERIFY(QTest::qWaitForWindowExposed(&page));
        // The device id stands below the serial when narrow, beside it when wide.
        QTRY_VERIFY(deviceId->y() > serial->y());
        page.resize(1200, 400);
        QTRY_COMPARE(deviceId->y(), serial->y());
        QVERIFY(deviceId->x() > serial->x());
    }

    void emptyFieldsGiveEmptyLabels()
    {
        QSharedPointer<BackupManifest> m(new BackupManifest("/backups/bare"));
        BKDescForm page(m.data());
        QVERIFY(page.lbBKName->text().isEmpty());
    }
};

QTEST_MAIN(TestBKDescForm)
#include "TestBKDescForm.moc"
