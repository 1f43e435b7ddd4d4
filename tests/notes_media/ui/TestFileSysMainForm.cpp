#include "app/IdsTranslator.h"
#include "app/ShownText.h"
#include "app/ui/shared/MyTreeView.h"
#include "app/ui/support/DialogAnswers.h"
#include "app/ui/support/EnglishTexts.h"
#include "app/ui/support/ModalAnswerer.h"
#include "backup/BackupManifest.h"
#include "backup/support/GenBackup.h"
#include "notes_media/ui/FileSysMainForm.h"
#include "notes_media/ui/ItemModelFileSys.h"
#include "notes_media/ui/ItemModelPhotoIcon.h"
#include "notes_media/ui/Ui_FileSysMainForm.h"
#include "support/TestEnv.h"
#include "support/ui/GuiTestEnv.h"
#include "support/ui/PaintedTexts.h"

#include <QAction>
#include <QFile>
#include <QHeaderView>
#include <QtTest>

namespace
{

QModelIndex find(const QAbstractItemModel* model, const QModelIndex& parent, const QString& name)
{
    for (int r = 0; r < model->rowCount(parent); ++r)
        if (model->index(r, 0, parent).data().toString() == name)
            return model->index(r, 0, parent);
    return {};
}

QStringList rowTexts(const QAbstractItemModel* model, const QModelIndex& index)
{
    QStringList out;
    for (int c = 0; c < 4; ++c)
        out.append(model->index(index.row(), c, index.parent()).data().toString());
    return out;
}

} // namespace

class TestFileSysMainForm : public QObject
{
    Q_OBJECT
    IdsTranslator m_translator;
    QString m_dir;
    std::unique_ptr<BackupManifest> m_manifest;
private Q_SLOTS:
    void initTestCase()
    {
        installEnglishTexts(m_translator);
        m_dir = GenBackup::make({ "--photos", "2", "--videos", "0" });
        m_manifest = std::make_unique<BackupManifest>(m_dir);
        m_manifest->readManifestInfo();
        m_manifest->parseInfo();
    }

    // A file whose name takes megabytes (the records of a backup hold any path): the file tree and
    // the picture grid show a bounded head of it, as cell, tool tip and drawn text.
    void longNamesAreBounded_data()
    {
        QTest::addColumn<bool>("grid");
        QTest::addColumn<int>("role");
        QTest::newRow("tree: name of 1 MB") << false << int(Qt::DisplayRole);
        QTest::newRow("tree: tool tip") << false << int(Qt::ToolTipRole);
        QTest::newRow("grid: name of 1 MB") << true << int(Qt::DisplayRole);
        QTest::newRow("grid: tool tip") << true << int(Qt::ToolTipRole);
    }
    void longNamesAreBounded()
    {
        QFETCH(bool, grid);
        QFETCH(int, role);
        BackupManifest manifest("/nonexistent/backup");
        BackupManifest::_FileNode file;
        file.item.domain = "CameraRollDomain";
        file.item.pathUtf8 = "Media/DCIM/" + QByteArray(1 << 20, 'n') + ".mov";
        file.parent = manifest.rootNode();
        manifest.rootNode()->children.append(&file);
        const auto unlink = qScopeGuard([&] { manifest.rootNode()->children.clear(); });
        std::unique_ptr<QAbstractItemModel> model;
        if (grid)
            model = std::make_unique<ItemModelPhotoIcon>(QList<const BackupManifest::_FileNode*> { &file });
        else
            model = std::make_unique<ItemModelFileSys>(&manifest);
        const QString shown = model->index(0, 0).data(role).toString();
        QVERIFY2(shown.size() <= ShownText::kMaxLine + 100, qPrintable(QString::number(shown.size())));
        QVERIFY(shown.contains("nnnn") && shown.contains(QChar(0x2026)));
        QVERIFY(PaintedTexts::longest(model.get()) <= ShownText::kMaxLine + 100);
    }

    void showsLazyTreeWithColumns()
    {
        FileSysMainForm page(m_manifest.get());
        page.resize(800, 500);
        page.show();
        const QAbstractItemModel* model = page.ui->treeFiles->model();
        QStringList roots;
        for (int r = 0; r < model->rowCount(); ++r)
            roots.append(model->index(r, 0).data().toString());
        QCOMPARE(roots, QStringList({ "CameraRollDomain", "HomeDomain", "MediaDomain", "WirelessDomain" }));
        QCOMPARE(model->headerData(1, Qt::Horizontal).toString(), QString("Date modified"));
        const QModelIndex home = find(model, {}, "HomeDomain");
        const QModelIndex library = find(model, home, "Library");
        QVERIFY(library.isValid());
        QCOMPARE(model->rowCount(library), 0); // grandchildren come with the first expansion
        page.ui->treeFiles->expand(home);
        QVERIFY(model->rowCount(library) > 0);
        const int loaded = model->rowCount(library);
        page.ui->treeFiles->collapse(home);
        page.ui->treeFiles->expand(home);
        QCOMPARE(model->rowCount(library), loaded);
        page.ui->treeFiles->expand(library);
        const QModelIndex prefs = find(model, library, "Preferences");
        page.ui->treeFiles->expand(prefs);
        const QModelIndex plist = find(model, prefs, "com.example.demo.plist");
        const QStringList cells = rowTexts(model, plist);
        QCOMPARE(cells.at(2), QString("File"));
        QCOMPARE(cells.at(3), QString("0 KB"));
        QVERIFY(!cells.at(1).isEmpty());
        QCOMPARE(rowTexts(model, prefs).at(2), QString("File Folder"));
        QCOMPARE(rowTexts(model, prefs).at(3), QString());
        page.resize(523, 500);
        QTest::qWait(20);
        QHeaderView* h = page.ui->treeFiles->header();
        // The last section (75 asked) stretches over the rest of the header, as tree headers do.
        QCOMPARE(QList<int>({ h->sectionSize(0), h->sectionSize(1), h->sectionSize(2) }),
            QList<int>({ 225, 100, 100 }));
        QVERIFY(h->sectionSize(3) >= 75);
        page.resize(800, 500);
        page.ui->treeFiles->setCurrentIndex(plist);
        QTest::qWait(20);
        GuiTestEnv::screenshot(&page, "files-page");
    }

    // A folder and a file inside it selected together: extracted once, inside the folder.
    void extractsPrunedSelection()
    {
        FileSysMainForm page(m_manifest.get());
        const QAbstractItemModel* model = page.ui->treeFiles->model();
        const QModelIndex home = find(model, {}, "HomeDomain");
        page.ui->treeFiles->expand(home);
        const QModelIndex library = find(model, home, "Library");
        page.ui->treeFiles->expand(library);
        const QModelIndex prefs = find(model, library, "Preferences");
        page.ui->treeFiles->expand(prefs);
        auto* sel = page.ui->treeFiles->selectionModel();
        sel->select(find(model, prefs, "com.example.demo.plist"),
            QItemSelectionModel::Select | QItemSelectionModel::Rows);
        sel->select(prefs, QItemSelectionModel::Select | QItemSelectionModel::Rows);
        const QList<const BackupManifest::_FileNode*> nodes = page.selectedNodes();
        QCOMPARE(nodes.size(), 1);
        QCOMPARE(nodes.first()->name(), QString("Preferences"));
        const QString dest = TestEnv::tempDir();
        QCOMPARE(page.extract(nodes, QDir(dest)), 1);
        QVERIFY(QFile::exists(dest + "/Preferences/com.example.demo.plist"));
        QCOMPARE(
            QDir(dest).entryList(QDir::AllEntries | QDir::NoDotAndDotDot), QStringList({ "Preferences" }));
        QCOMPARE(page.toolbarActions().first()->text(), QString("Extract File"));
    }

    // The success message of the tool bar's extraction says how many chosen files the backup lists
    // without storing them.
    void toldWhatIsNotStored_data()
    {
        QTest::addColumn<QStringList>("gone");
        QTest::addColumn<QString>("told");
        QTest::newRow("all stored") << QStringList() << "Successfully extracted 2 files.";
        QTest::newRow("one gone")
            << QStringList({ "IMG_0001.PNG" })
            << "Successfully extracted 1 files. 1 of the chosen files are not stored in "
               "this backup.";
        QTest::newRow("both gone")
            << QStringList({ "IMG_0001.PNG", "IMG_0002.JPG" })
            << "Successfully extracted 0 files. 2 of the chosen files are not stored in "
               "this backup.";
    }
    void toldWhatIsNotStored()
    {
        QFETCH(QStringList, gone);
        QFETCH(QString, told);
        BackupManifest m(GenBackup::make({ "--photos", "2", "--videos", "0" }));
        m.readManifestInfo();
        m.parseInfo();
        for (const QString& name : gone)
            QVERIFY(QFile::remove(
                m.storedFilePath(m.findNode("CameraRollDomain", "Media/DCIM/100APPLE/" + name)->item)));
        FileSysMainForm page(&m);
        const QModelIndex camera = find(page.ui->treeFiles->model(), {}, "CameraRollDomain");
        page.ui->treeFiles->selectionModel()->select(
            camera, QItemSelectionModel::Select | QItemSelectionModel::Rows);
        const QString dest = TestEnv::tempDir();
        ModalAnswerer answerer;
        DialogAnswers::chooseFolder(answerer, dest);
        page.toolbarActions().first()->trigger();
        QCOMPARE(answerer.seen(), QStringList({ told }));
        QCOMPARE(QDir(dest + "/CameraRollDomain/Media/DCIM/100APPLE").entryList(QDir::Files).size(),
            2 - gone.size());
    }
};

QTEST_MAIN(TestFileSysMainForm)
#include "TestFileSysMainForm.moc"
