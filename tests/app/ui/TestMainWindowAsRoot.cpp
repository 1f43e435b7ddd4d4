#include "app/IdsTranslator.h"
#include "app/support/SyntheticBackup.h"
#include "app/ui/MainWindow.h"
#include "app/ui/shared/MyTreeView.h"
#include "app/ui/support/MainWindowTree.h"
#include "app/ui/support/ModalAnswerer.h"
#include "backup/BackupManifest.h"
#include "backup/BkCacheDb.h"
#include "backup/CacheListDb.h"
#include "messages/ui/BubbleViewMgr.h"
#include "messages/ui/ItemModelSMSHandle.h"
#include "messages/ui/SMSMainForm.h"
#include "support/TestEnv.h"
#include "support/ui/GuiTestEnv.h"

#include <QTreeView>
#include <QtTest>
#include <unistd.h>

namespace
{
const char kNoSandboxVar[] = "QTWEBENGINE_DISABLE_SANDBOX";
}

// The message page opened by a root user who did not switch the web engine's sandbox off (the
// engine refuses to run as root with it, and would end the program).
class TestMainWindowAsRoot : public QObject
{
    Q_OBJECT
    IdsTranslator m_english;

public:
    // The suites' shared set-up switches the sandbox off for every test; this one starts as the
    // user would, without that.
    static void initMain() { qunsetenv(kNoSandboxVar); }

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY(m_english.load(":/en.qm"));
        QCoreApplication::installTranslator(&m_english);
    }

    void messagePageOpensAsRoot()
    {
        if (::geteuid() != 0)
            QSKIP("Only a root user meets the web engine's refusal to run sandboxed.");
        QVERIFY2(!qEnvironmentVariableIsSet(kNoSandboxVar), "the engine's sandbox is already off");
        const QString folder = TestEnv::tempDir() + "/root";
        QVERIFY(SyntheticBackup::make(folder, { "--demo" }));

        // Listed as loaded in an earlier run: selecting it loads it.
        QDir().mkpath(BkCacheDb::cacheDir().absolutePath());
        CacheListDb(BkCacheDb::cacheDir().absoluteFilePath("cache_list.db"))
            .save(BackupManifest(folder).dirPathMd5(), folder);
        MainWindow w;
        w.resize(1000, 680);
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        ModalAnswerer answerer;
        auto* node = w.model().bkRoot->children.value(0);
        QVERIFY(node);
        MainWindowTree::select(w, node);
        AbsTreeItemModel::_ItemNode* sms = nullptr;
        for (auto* child : std::as_const(node->children))
            if (child->kind == ItemModelBK::KindSms)
                sms = child;
        QVERIFY(sms);

        QTest::ignoreMessage(QtWarningMsg, QRegularExpression("sandbox is switched off"));
        MainWindowTree::select(w, sms);
        auto* page = qobject_cast<SMSMainForm*>(w.currentPage());
        QVERIFY(page);
        QCOMPARE(qgetenv(kNoSandboxVar), QByteArray("1"));
        QTRY_VERIFY(page->isVisible());
        QVERIFY(page->handleModel()->rowCount() > 0);
        const int loads = page->bubbles()->loadCount();
        page->listHandle->setCurrentIndex(
            page->handleModel()->indexOfItemNode(page->handleModel()->roots.first()));
        QTRY_VERIFY_WITH_TIMEOUT(page->bubbles()->loadCount() > loads, 20000);
        QTest::qWait(300);
        GuiTestEnv::screenshot(&w, "root-message-page");
        QCOMPARE(answerer.seen(), QStringList());
    }
};

QTEST_MAIN(TestMainWindowAsRoot)
#include "TestMainWindowAsRoot.moc"
