#include "app/RunFolder.h"
#include "support/TestEnv.h"

#include <QtTest>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

class TestRunFolder : public QObject
{
    Q_OBJECT
    QString m_tmp; // the system's temporary folder, as the program sees it

    static bool write(const QString& path, const QByteArray& bytes = "private copy")
    {
        QFile f(path);
        return QDir().mkpath(QFileInfo(path).absolutePath()) && f.open(QIODevice::WriteOnly)
            && f.write(bytes) >= 0;
    }

private Q_SLOTS:
    void initTestCase()
    {
        m_tmp = TestEnv::tempDir();
        qputenv("TMPDIR", QFile::encodeName(m_tmp));
        QVERIFY(RunFolder::templateFor("qm-manifest").startsWith(m_tmp + "/qm-run-"));
    }

    // A start removes the private copies ended runs of the program left in the temporary folder,
    // and only those: never a live run's (its lock held), another program's, or through a link.
    void removesWhatEndedRunsLeft_data()
    {
        QTest::addColumn<QString>("left");
        QTest::addColumn<bool>("removed");
        QTest::newRow("an ended run's") << "ended" << true;
        QTest::newRow("an ended run's, with a read-only folder and a link out") << "ended, deep" << true;
        QTest::newRow("a live run's") << "live" << false;
        QTest::newRow("another program's of that name") << "unmarked" << false;
        QTest::newRow("one a run killed before it marked it") << "empty" << true;
        QTest::newRow("a link to an ended run's") << "link" << false;
    }
    void removesWhatEndedRunsLeft()
    {
        QFETCH(QString, left);
        QFETCH(bool, removed);
        const QString outside = TestEnv::tempDir();
        QVERIFY(write(outside + "/kept"));
        QByteArray made = QFile::encodeName((left == "link" ? outside : m_tmp) + "/qm-run-XXXXXX");
        QVERIFY(::mkdtemp(made.data()));
        const QString folder = QFile::decodeName(made);
        QVERIFY(left == "empty" || write(folder + "/qm-manifest-abc/Manifest.db"));
        QVERIFY(left == "empty" || left == "unmarked" || write(folder + "/.qm-run", ""));
        if (left.endsWith("deep")) {
            QVERIFY(write(folder + "/ro/copy.db") && QFile::link(outside, folder + "/out"));
            QCOMPARE(::chmod(QFile::encodeName(folder + "/ro").constData(), 0500), 0);
        }
        const int held = left == "live" ? ::open(made.constData(), O_RDONLY | O_DIRECTORY) : -1;
        QVERIFY(left != "live" || ::flock(held, LOCK_EX) == 0);
        QVERIFY(left != "link" || QFile::link(folder, m_tmp + "/qm-run-link"));
        const QString own = RunFolder::path();
        RunFolder::removeEnded();
        if (held >= 0)
            ::close(held);
        QCOMPARE(!QFileInfo::exists(folder), removed);
        QVERIFY(QFile::exists(outside + "/kept") && QFileInfo(own).isDir());
        QVERIFY(left != "link"
            || (QFileInfo(m_tmp + "/qm-run-link").isSymLink() && QFile::remove(m_tmp + "/qm-run-link")));
    }
};

QTEST_GUILESS_MAIN(TestRunFolder)
#include "TestRunFolder.moc"
