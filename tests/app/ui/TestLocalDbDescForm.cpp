#include "app/IdsTranslator.h"
#include "app/ui/LocalDbDescForm.h"
#include "support/TestEnv.h"
#include "support/ui/GuiTestEnv.h"

#include <QFile>
#include <QLabel>
#include <QtTest>

class TestLocalDbDescForm : public QObject
{
    Q_OBJECT

    static QStringList counts(const LocalDbDescForm& page)
    {
        QStringList texts;
        for (const QLabel* l : page.countLabels)
            texts << l->text();
        return texts;
    }

private Q_SLOTS:
    void newFolderShowsZeroAndGetsItsMessageStore()
    {
        IdsTranslator english;
        QVERIFY(english.load(":/en.qm"));
        QCoreApplication::installTranslator(&english);
        const QDir dir(TestEnv::tempDir() + "/Family Archive");
        QVERIFY(QDir().mkpath(dir.absolutePath()));
        LocalDbDescForm page(dir);
        QCOMPARE(page.lbDbName->text(), QString("Family Archive"));
        QCOMPARE(counts(page), QStringList({ "0", "0", "0", "0", "0" }));
        QVERIFY(QFile::exists(dir.absoluteFilePath("file-relay/var/mobile/Library/SMS/sms.db")));
        QCOMPARE(page.lbPath->toolTip(), dir.absolutePath());
        page.resize(800, 560);
        page.show();
        QVERIFY(QTest::qWaitForWindowExposed(&page));
        GuiTestEnv::screenshot(&page, "local-database-description");
        QCoreApplication::removeTranslator(&english);
    }

    // Messages that could not be counted are not shown as none.
    void damagedMessageStoreIsNotCounted()
    {
        const QDir dir(TestEnv::tempDir() + "/Broken");
        QVERIFY(dir.mkpath("file-relay/var/mobile/Library/SMS"));
        QFile db(dir.absoluteFilePath("file-relay/var/mobile/Library/SMS/sms.db"));
        QVERIFY(db.open(QIODevice::WriteOnly));
        db.write(QByteArray(4096, '\x5a'));
        db.close();
        LocalDbDescForm page(dir);
        QCOMPARE(counts(page), QStringList({ "?", "0", "0", "0", "0" }));
        QVERIFY(page.lbPath);
    }
};

QTEST_MAIN(TestLocalDbDescForm)
#include "TestLocalDbDescForm.moc"
