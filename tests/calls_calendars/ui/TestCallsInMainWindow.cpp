#include "app/DataPaths.h"
#include "app/IdsTranslator.h"
#include "app/ui/MainWindow.h"
#include "app/ui/shared/LoadItunesBackupDlg.h"
#include "app/ui/shared/MyTreeView.h"
#include "app/ui/shared/PasscodeDlg.h"
#include "app/ui/support/DialogAnswers.h"
#include "app/ui/support/EnglishTexts.h"
#include "app/ui/support/MainWindowTree.h"
#include "app/ui/support/ModalAnswerer.h"
#include "backup/BackupManifest.h"
#include "backup/support/GenBackup.h"
#include "calls_calendars/ui/CalendarMainForm.h"
#include "calls_calendars/ui/CallHistoryMainForm.h"
#include "support/TestEnv.h"
#include "support/ui/GuiTestEnv.h"

#include <QLineEdit>
#include <QPushButton>
#include <QToolBar>
#include <QtTest>

// The call-history and calendar nodes of a loaded backup and of a local database in the main
// window: their counts and the pages they open.
class TestCallsInMainWindow : public QObject
{
    Q_OBJECT
    IdsTranslator m_english;

    static const AbsTreeItemModel::_ItemNode* child(
        const AbsTreeItemModel::_ItemNode* node, const QString& prefix)
    {
        for (const AbsTreeItemModel::_ItemNode* c : node->children)
            if (c->text.startsWith(prefix))
                return c;
        return nullptr;
    }
    static void select(MainWindow& w, const AbsTreeItemModel::_ItemNode* node)
    {
        MainWindowTree::select(w, node);
    }

private slots:
    void initTestCase() { installEnglishTexts(m_english); }

    void backupAndLocalNodes_data()
    {
        QTest::addColumn<QString>("password");
        QTest::newRow("plain") << QString();
        QTest::newRow("encrypted") << QString("1234");
    }
    void backupAndLocalNodes()
    {
        QFETCH(QString, password);
        QStringList args;
        if (!password.isEmpty())
            args << "--password" << password << "--iter"
                 << "10"
                 << "--dpic"
                 << "10";
        const QString folder = GenBackup::make(args);
        QVERIFY(!folder.isEmpty());
        MainWindow w;
        w.resize(1000, 680);
        w.show();
        {
            ModalAnswerer answerer;
            DialogAnswers::chooseBackup(answerer, folder);
            answerer.answerWith([password](QWidget* modal) {
                auto* dlg = qobject_cast<PasscodeDlg*>(modal);
                if (!dlg)
                    return false;
                dlg->edPassword->setText(password);
                QMetaObject::invokeMethod(dlg->btnOK, &QPushButton::click, Qt::QueuedConnection);
                return true;
            });
            w.miLoadiTunesBackup();
        }
        const AbsTreeItemModel::_ItemNode* node = nullptr;
        for (AbsTreeItemModel::_ItemNode* c : w.model().bkRoot->children) {
            auto* bk = static_cast<ItemModelBK::_BKItemNode*>(c);
            if (bk->manifest && bk->manifest->dir.absolutePath() == QDir(folder).absolutePath())
                node = bk;
        }
        QVERIFY(node);
        const AbsTreeItemModel::_ItemNode* calls = child(node, "Call History(");
        const AbsTreeItemModel::_ItemNode* calendar = child(node, "Calendar(");
        QVERIFY(calls && calendar);
        QCOMPARE(calls->text, QString("Call History(6)"));
        QCOMPARE(calendar->text, QString("Calendar(8)"));

        select(w, calls);
        auto* callPage = qobject_cast<CallHistoryMainForm*>(w.currentPage());
        QVERIFY(callPage);
        QCOMPARE(callPage->model().rowCount(), 6);
        int withIcon = 0;
        for (QAction* a : w.ui->toolBar->actions())
            withIcon += a->text() == "Backup Call History" || a->text() == "Extract Call History";
        QCOMPARE(withIcon, 2);
        select(w, calendar);
        auto* calPage = qobject_cast<CalendarMainForm*>(w.currentPage());
        QVERIFY(calPage);
        QCOMPARE(calPage->allCalendarEvetns().size(), 8);
        QTRY_VERIFY(w.currentPage()->isVisible());
        GuiTestEnv::screenshot(&w, "main-window-calendar");

        // Saving into a local database shows it in the tree with its counts.
        const QDir local(g_localDbDir().absoluteFilePath("Saved" + password));
        QDir().mkpath(local.absolutePath());
        {
            ModalAnswerer answerer;
            QVERIFY(calPage->backupCalendarsTo(calPage->allCalendarEvetns(), local));
        }
        select(w, calls);
        callPage = qobject_cast<CallHistoryMainForm*>(w.currentPage());
        {
            ModalAnswerer answerer;
            QVERIFY(callPage->backupCallHistoriesTo(callPage->model().calls(), local));
        }
        const AbsTreeItemModel::_ItemNode* db = nullptr;
        for (const AbsTreeItemModel::_ItemNode* c : w.model().localDbRoot->children)
            if (c->text.startsWith("Saved" + password))
                db = c;
        QVERIFY(db);
        select(w, db);
        QTRY_VERIFY(child(db, "Call History(6)") != nullptr);
        QVERIFY(child(db, "Calendar(8)"));
        select(w, child(db, "Call History("));
        QVERIFY(qobject_cast<CallHistoryMainForm*>(w.currentPage()));
    }
};

QTEST_MAIN(TestCallsInMainWindow)
#include "TestCallsInMainWindow.moc"
