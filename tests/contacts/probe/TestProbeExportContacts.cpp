#include "contacts/support/ContactFixtures.h"
#include "support/TestEnv.h"

#include <QCoreApplication>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QtTest>

// The developer probe's "export-contacts" and "vcard" commands, run as a program.
class TestProbeExportContacts : public QObject
{
    Q_OBJECT
    QString probe;

    QByteArray run(const QStringList& args, int& rc)
    {
        QProcess p;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("QT_QPA_PLATFORM", "offscreen");
        p.setProcessEnvironment(env);
        p.start(probe, args);
        p.waitForFinished(120000);
        rc = p.exitCode();
        return p.readAllStandardOutput();
    }

private slots:
    void initTestCase()
    {
        probe = QCoreApplication::applicationDirPath() + "/../tools/probe/qm-probe";
        if (!QFile::exists(probe))
            QSKIP("qm-probe is not built beside the tests");
    }

    void exportsAndReadsBack()
    {
        const QString cache = ContactFixtures::generate({ "--edge" });
        const QString out = TestEnv::tempDir();
        int rc = -1;
        for (const char* format : { "vcf", "csv", "txt", "html" }) {
            QCOMPARE(
                run({ "export-contacts", "--format", format, cache, out + "/c." + format }, rc).trimmed(),
                QByteArray("Successfully extracted 10 Contacts."));
            QCOMPARE(rc, 0);
        }
        QCOMPARE(run({ "export-contacts", "--format", "pdf", cache, out + "/c.pdf" }, rc).trimmed(),
            QByteArray("10 contacts printed"));
        QVERIFY(QFileInfo(out + "/c.html/photos").isDir());
        const QJsonArray cards = QJsonDocument::fromJson(run({ "vcard", out + "/c.vcf" }, rc)).array();
        QCOMPARE(rc, 0);
        QCOMPARE(cards.size(), 10);
        QCOMPARE(cards.first().toArray().first().toObject()["name"].toString(), QString("VERSION"));
        run({ "export-contacts", "--format", "doc", cache, out + "/x" }, rc);
        QCOMPARE(rc, 2);
    }
};

QTEST_GUILESS_MAIN(TestProbeExportContacts)
#include "TestProbeExportContacts.moc"
