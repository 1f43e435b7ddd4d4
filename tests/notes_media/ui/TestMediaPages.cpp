#include "app/DataPaths.h"
#include "app/IdsTranslator.h"
#include "app/support/SyntheticBackup.h"
#include "app/ui/ItemModelBK.h"
#include "app/ui/MainWindow.h"
#include "app/ui/shared/LoadItunesBackupDlg.h"
#include "app/ui/shared/MyTreeView.h"
#include "app/ui/shared/PasscodeDlg.h"
#include "app/ui/support/DialogAnswers.h"
#include "app/ui/support/EnglishTexts.h"
#include "app/ui/support/MainWindowTree.h"
#include "app/ui/support/ModalAnswerer.h"
#include "backup/BackupManifest.h"
#include "notes_media/ui/RecordingMainForm.h"
#include "notes_media/ui/VoicemailMainForm.h"
#include "support/TestEnv.h"
#include "support/ui/GuiTestEnv.h"

#include <QAction>
#include <QFileDialog>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <QToolBar>
#include <QtTest>

// The voicemail and recordings pages as the main window shows them for a generated backup, plain
// and encrypted: rows, count, tool bar, and extraction compared with the generator's own audio.
class TestMediaPages : public QObject
{
    Q_OBJECT
    IdsTranslator m_translator;
    QString m_plain, m_locked;
    QString m_plainAudio, m_lockedAudio; // the generator's audio files, by relative path

    // The audio files the generator puts into a backup made with the same counts.
    static QString generatorAudio(int voicemails, int recordings)
    {
        const QString dir = TestEnv::tempDir();
        for (const auto& [kind, count] :
            { std::pair { "voicemail", voicemails }, { "recordings", recordings } }) {
            const int rc = QProcess::execute("python3",
                { QM_TOOLS_DIR "/gen/make_media_db.py", kind, dir + "/x.db", "--count",
                    QString::number(count), "--files", dir });
            if (rc != 0)
                return {};
        }
        return dir;
    }

    static void chooseBackup(ModalAnswerer& answerer, const QString& folder, const QString& password = {})
    {
        DialogAnswers::chooseBackup(answerer, folder);
        if (password.isEmpty())
            return;
        answerer.answerWith([password](QWidget* modal) {
            auto* dlg = qobject_cast<PasscodeDlg*>(modal);
            if (!dlg)
                return false;
            dlg->edPassword->setText(password);
            QMetaObject::invokeMethod(dlg->btnOK, &QPushButton::click, Qt::QueuedConnection);
            return true;
        });
    }

    // Loads the backup through the menu and selects its node of kind; the node's label.
    static QString openKind(MainWindow& w, const QString& folder, const QString& password, int kind)
    {
        {
            ModalAnswerer answerer;
            chooseBackup(answerer, folder, password);
            w.miLoadiTunesBackup();
        }
        auto* bk = w.model().bkRoot->children.value(0);
        if (!bk)
            return {};
        for (const AbsTreeItemModel::_ItemNode* n : bk->children)
            if (n->kind == kind) {
                MainWindowTree::select(w, n);
                return n->text;
            }
        return {};
    }

    static QStringList column(const QAbstractItemModel* model, int c)
    {
        QStringList texts;
        for (int r = 0; r < model->rowCount(); ++r)
            texts.append(model->index(r, c).data().toString());
        return texts;
    }

    static QStringList toolBarTexts(MainWindow& w)
    {
        QStringList texts;
        for (const QAction* a : w.ui->toolBar->actions())
            texts.append(a->text());
        return texts;
    }

    static QByteArray bytes(const QString& path)
    {
        QFile f(path);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing " + path.toUtf8() + ">");
    }

    // Every file of dest has the generator's bytes and the backup record's time.
    static void compareExtracted(const QString& dest, const QString& audioDir, const QString& relDir,
        const BackupManifest* m, const QString& domain, const QStringList& expected)
    {
        QCOMPARE(QDir(dest).entryList(QDir::Files, QDir::Name), expected);
        for (const QString& name : expected) {
            QCOMPARE(bytes(dest + "/" + name), bytes(audioDir + "/" + relDir + "/" + name));
            const BackupManifest::_FileNode* node = m->findNode(domain, relDir + "/" + name);
            QVERIFY(node);
            QCOMPARE(
                QFileInfo(dest + "/" + name).lastModified().toSecsSinceEpoch(), qint64(node->item.mtime));
        }
    }

    static void selectRows(QTreeView* view, const QList<int>& rows)
    {
        for (int r : rows)
            view->selectionModel()->select(
                view->model()->index(r, 0), QItemSelectionModel::Select | QItemSelectionModel::Rows);
    }

private Q_SLOTS:
    void initTestCase()
    {
        installEnglishTexts(m_translator);
        const QString root = TestEnv::tempDir();
        m_plain = root + "/plain";
        m_locked = root + "/locked";
        QVERIFY(SyntheticBackup::make(m_plain,
            { "--voicemails", "5", "--recordings", "4", "--missing-audio", "1", "--photos", "0", "--videos",
                "0" }));
        QVERIFY(SyntheticBackup::make(m_locked,
            { "--voicemails", "3", "--recordings", "2", "--password", "1234", "--iter", "1", "--dpic", "1",
                "--udid", QString(40, 'e') }));
        m_plainAudio = generatorAudio(5, 4);
        m_lockedAudio = generatorAudio(3, 2);
        QVERIFY(!m_plainAudio.isEmpty() && !m_lockedAudio.isEmpty());
    }

    void init()
    {
        g_delDirCascade(g_dataSaveDir().absolutePath());
        QDir(g_dataSaveDir().absolutePath()).removeRecursively();
    }

    void voicemailPageOfAPlainBackup()
    {
        MainWindow w;
        w.resize(1000, 640);
        w.show();
        QCOMPARE(openKind(w, m_plain, {}, ItemModelBK::KindVoicemail), QString("Voicemail(5)"));
        auto* page = qobject_cast<VoicemailMainForm*>(w.currentPage());
        QVERIFY(page);
        QCOMPARE(page->lbCount->text(), QString("Total:5"));
        const QAbstractItemModel* model = page->listVoicemail->model();
        QCOMPARE(model->headerData(0, Qt::Horizontal).toString(), QString("Sender"));
        QCOMPARE(
            column(model, 0), QStringList({ "Bob 😀", "+15555550199", "Unknown", "555", "+15555550101" }));
        QCOMPARE(column(model, 2), QStringList({ "0:33", "0:26", "0:19", "0:12", "0:05" }));
        QCOMPARE(column(model, 3), QStringList({ "Yes", "No", "Yes", "No", "Yes" }));
        QCOMPARE(column(model, 4), QStringList({ "No", "Yes", "No", "No", "No" }));
        QVERIFY(toolBarTexts(w).contains("Extract Voicemail"));
        QCOMPARE(w.treeContextActions().last()->text(), QString("Extract Voicemail"));
        QTRY_VERIFY(page->isVisible());
        GuiTestEnv::screenshot(&w, "voicemail-page");

        // The newest message (ROWID 5) has no audio in the backup: two selected, one written.
        const BackupManifest* m
            = static_cast<ItemModelBK::_BKItemNode*>(w.model().bkRoot->children.first())->manifest.data();
        selectRows(page->listVoicemail, { 0, 3 });
        const QString some = TestEnv::tempDir();
        QCOMPARE(page->extract(page->selectedVoicemails(false), QDir(some)), 1);
        compareExtracted(some, m_plainAudio, "Library/Voicemail", m, "HomeDomain", { "2.amr" });
        page->listVoicemail->clearSelection();
        const QString all = TestEnv::tempDir();
        QCOMPARE(page->extract(page->selectedVoicemails(true), QDir(all)), 4);
        compareExtracted(
            all, m_plainAudio, "Library/Voicemail", m, "HomeDomain", { "1.amr", "2.amr", "3.amr", "4.amr" });
    }

    void recordingsPageOfAnEncryptedBackup()
    {
        MainWindow w;
        w.resize(1000, 640);
        w.show();
        QCOMPARE(openKind(w, m_locked, "1234", ItemModelBK::KindRecordings), QString("Recordings(2)"));
        auto* page = qobject_cast<RecordingMainForm*>(w.currentPage());
        QVERIFY(page);
        QCOMPARE(page->lbCount->text(), QString("Total:2"));
        const QAbstractItemModel* model = page->listRecordings->model();
        // The second recording has no label of its own: its file name stands in.
        QCOMPARE(column(model, 0), QStringList({ "20160202 101011.m4a", "Lecture" }));
        QCOMPARE(column(model, 2), QStringList({ "0:14", "0:03" }));
        QVERIFY(toolBarTexts(w).contains("Extract Recordings"));
        QTRY_VERIFY(page->isVisible());
        GuiTestEnv::screenshot(&w, "recordings-page");

        const BackupManifest* m
            = static_cast<ItemModelBK::_BKItemNode*>(w.model().bkRoot->children.first())->manifest.data();
        selectRows(page->listRecordings, { 1 });
        const QString some = TestEnv::tempDir();
        QCOMPARE(page->extract(page->selectedRecordings(true), QDir(some)), 1);
        compareExtracted(
            some, m_lockedAudio, "Media/Recordings", m, "MediaDomain", { "20160101 101010.m4a" });
        page->listRecordings->clearSelection();
        const QString all = TestEnv::tempDir();
        QCOMPARE(page->extract(page->selectedRecordings(true), QDir(all)), 2);
        compareExtracted(all, m_lockedAudio, "Media/Recordings", m, "MediaDomain",
            { "20160101 101010.m4a", "20160202 101011.m4a" });
    }

    void voicemailOfAnEncryptedBackupAndRecordingsOfAPlainOne()
    {
        {
            MainWindow w;
            QCOMPARE(openKind(w, m_locked, "1234", ItemModelBK::KindVoicemail), QString("Voicemail(3)"));
            auto* page = qobject_cast<VoicemailMainForm*>(w.currentPage());
            QVERIFY(page);
            QCOMPARE(page->lbCount->text(), QString("Total:3"));
            const BackupManifest* m
                = static_cast<ItemModelBK::_BKItemNode*>(w.model().bkRoot->children.first())->manifest.data();
            const QString all = TestEnv::tempDir();
            QCOMPARE(page->extract(page->selectedVoicemails(true), QDir(all)), 3);
            compareExtracted(
                all, m_lockedAudio, "Library/Voicemail", m, "HomeDomain", { "1.amr", "2.amr", "3.amr" });
        }
        init();
        MainWindow w;
        QCOMPARE(openKind(w, m_plain, {}, ItemModelBK::KindRecordings), QString("Recordings(4)"));
        auto* page = qobject_cast<RecordingMainForm*>(w.currentPage());
        QVERIFY(page);
        QCOMPARE(page->lbCount->text(), QString("Total:4"));
        QCOMPARE(column(page->listRecordings->model(), 0),
            QStringList({ "Meeting notes", "Idea: song?", "20160202 101011.m4a", "Lecture" }));
        // The newest recording's audio is missing from the backup.
        const QString all = TestEnv::tempDir();
        QCOMPARE(page->extract(page->selectedRecordings(true), QDir(all)), 3);
        QCOMPARE(QDir(all).entryList(QDir::Files).size(), 3);
    }

    // The tool bar action with nothing selected: a folder is asked for, all audio extracted, and
    // the count told with the message whose audio the backup lacks; a cancelled folder choice does
    // nothing.
    void toolbarExtractsAllAndTells()
    {
        MainWindow w;
        QCOMPARE(openKind(w, m_plain, {}, ItemModelBK::KindVoicemail), QString("Voicemail(5)"));
        auto* page = qobject_cast<VoicemailMainForm*>(w.currentPage());
        QVERIFY(page);
        const QString dest = TestEnv::tempDir();
        for (const QString& folder : { QString(), dest }) {
            ModalAnswerer answerer;
            answerer.answerWith([folder](QWidget* modal) {
                auto* dlg = qobject_cast<QFileDialog*>(modal);
                if (!dlg)
                    return false;
                if (folder.isEmpty()) {
                    QMetaObject::invokeMethod(dlg, &QDialog::reject, Qt::QueuedConnection);
                    return true;
                }
                // The folder typed in full, as a user would; the dialog's listing may still be loading.
                dlg->selectFile(folder);
                if (auto* edit = dlg->findChild<QLineEdit*>("fileNameEdit"))
                    edit->setText(folder);
                QMetaObject::invokeMethod(dlg, &QDialog::accept, Qt::QueuedConnection);
                return true;
            });
            page->toolbarActions().first()->trigger();
            QCOMPARE(answerer.seen(),
                folder.isEmpty() ? QStringList()
                                 : QStringList({ "Successfully extracted 4 Voicemail files. 1 of the chosen "
                                                 "files are not stored in this backup." }));
        }
        QCOMPARE(QDir(dest).entryList(QDir::Files).size(), 4);
    }

    // A cache folder without the database: the page says why and lists nothing.
    void missingDatabaseIsReported()
    {
        ModalAnswerer answerer;
        QSharedPointer<IOSVoicemailDb> source(new IOSVoicemailDb(nullptr, QDir(TestEnv::tempDir())));
        VoicemailMainForm page(nullptr, source);
        QVERIFY(GuiTestEnv::pageRead(&page));
        QCOMPARE(answerer.seen().size(), 1);
        QVERIFY(answerer.seen().first().contains("Cannot find voicemail.db."));
        QCOMPARE(page.lbCount->text(), QString("Total:?")); // not counted, so not none
        QCOMPARE(page.listVoicemail->model()->rowCount(), 0);
        QCOMPARE(page.extract({}, QDir(TestEnv::tempDir())), 0);
    }
};

QTEST_MAIN(TestMediaPages)
#include "TestMediaPages.moc"
