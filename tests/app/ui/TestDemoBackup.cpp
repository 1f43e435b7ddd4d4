#include "app/DataPaths.h"
#include "app/IdsTranslator.h"
#include "app/support/SyntheticBackup.h"
#include "app/ui/ItemModelBK.h"
#include "app/ui/MainWindow.h"
#include "app/ui/shared/MyTreeView.h"
#include "app/ui/support/DialogAnswers.h"
#include "app/ui/support/EnglishTexts.h"
#include "app/ui/support/MainWindowTree.h"
#include "app/ui/support/ModalAnswerer.h"
#include "messages/ui/BubbleViewMgr.h"
#include "messages/ui/ItemModelSMSHandle.h"
#include "messages/ui/SMSMainForm.h"
#include "support/TestEnv.h"
#include "support/ui/GuiTestEnv.h"

#include <QtTest>

// The demo backup that the README offers a new user: loaded through the menu as the user loads it,
// every kind of data has something to show, and every page opens without an error box.
class TestDemoBackup : public QObject
{
    Q_OBJECT
    IdsTranslator m_english;
    QString m_demo;

    static void select(MainWindow& w, const AbsTreeItemModel::_ItemNode* node)
    {
        MainWindowTree::select(w, node);
    }

    // Loads the demo through the menu; the backup's node, or nullptr. No box may appear.
    ItemModelBK::_BKItemNode* load(MainWindow& w)
    {
        ModalAnswerer answerer;
        DialogAnswers::chooseBackup(answerer, m_demo);
        w.miLoadiTunesBackup();
        if (!answerer.seen().isEmpty() || w.model().bkRoot->children.size() != 1)
            return nullptr;
        return static_cast<ItemModelBK::_BKItemNode*>(w.model().bkRoot->children.first());
    }

    // The messages page shows the group conversation, drawn.
    static void showGroupConversation(SMSMainForm* page)
    {
        const auto& roots = page->handleModel()->roots;
        int row = 0;
        for (int i = 0; i < roots.size(); ++i)
            if (roots.at(i)->text.contains("Saturday hike"))
                row = i;
        const int loads = page->bubbles()->loadCount();
        page->listHandle->setCurrentIndex(page->handleModel()->indexOfItemNode(roots.at(row)));
        QTRY_VERIFY_WITH_TIMEOUT(page->bubbles()->loadCount() > loads, 20000);
    }

private Q_SLOTS:
    void initTestCase()
    {
        installEnglishTexts(m_english);
        m_demo = TestEnv::tempDir() + "/0123456789abcdef0123456789abcdef01234567";
        QVERIFY(SyntheticBackup::make(m_demo, { "--demo" }));
    }

    void everyKindHasData()
    {
        MainWindow w;
        auto* node = load(w);
        QVERIFY(node);
        QStringList counts;
        for (const auto* child : node->children)
            counts << child->text;
        QCOMPARE(counts,
            QStringList({ "Photos(3)", "Videos(2)", "SMS(16)", "Contacts(5)", "Voicemail(3)", "Calendar(9)",
                "Notes(4)", "Call History(8)", "Recordings(2)", "Bookmarks(7)", "File System" }));
    }

    // Each page of the demo, in the tree's order, opens without a box and is kept as a picture.
    void everyPageOpensWithoutAnError()
    {
        g_delDirCascade(g_dataSaveDir().absolutePath());
        MainWindow w;
        w.resize(1100, 720);
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        auto* node = load(w);
        QVERIFY(node);
        const QHash<int, QString> names { { ItemModelBK::KindPhotos, "photos" },
            { ItemModelBK::KindVideos, "videos" }, { ItemModelBK::KindSms, "messages" },
            { ItemModelBK::KindContacts, "contacts" }, { ItemModelBK::KindVoicemail, "voicemail" },
            { ItemModelBK::KindCalendar, "calendar" }, { ItemModelBK::KindNotes, "notes" },
            { ItemModelBK::KindCallHistory, "calls" }, { ItemModelBK::KindRecordings, "recordings" },
            { ItemModelBK::KindBookmarks, "bookmarks" }, { ItemModelBK::KindFileSystem, "files" } };
        QCOMPARE(node->children.size(), names.size());
        for (const auto* child : node->children) {
            QVERIFY2(names.contains(child->kind), qPrintable(child->text));
            ModalAnswerer answerer;
            select(w, child);
            QVERIFY2(w.currentPage(), qPrintable(child->text));
            QTRY_VERIFY(w.currentPage()->isVisible());
            if (auto* sms = qobject_cast<SMSMainForm*>(w.currentPage()))
                showGroupConversation(sms);
            QTest::qWait(300); // thumbnails and pictures arrive from their threads
            QVERIFY2(answerer.seen().isEmpty(), qPrintable(child->text + ": " + answerer.seen().join(" | ")));
            GuiTestEnv::screenshot(&w, "demo-" + names.value(child->kind));
        }
    }
};

QTEST_MAIN(TestDemoBackup)
#include "TestDemoBackup.moc"
