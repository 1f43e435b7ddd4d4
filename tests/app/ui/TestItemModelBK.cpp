#include "app/IdsTranslator.h"
#include "app/ShownText.h"
#include "app/ui/DataSources.h"
#include "app/ui/ItemModelBK.h"
#include "app/ui/shared/ItemModelLoadBk.h"
#include "backup/BackupManifest.h"
#include "support/ui/PaintedTexts.h"

#include <QPixmap>
#include <QSignalSpy>
#include <QtTest>

class TestItemModelBK : public QObject
{
    Q_OBJECT
    IdsTranslator m_translator;

    static QSharedPointer<BackupManifest> backup(const QString& productType)
    {
        QSharedPointer<BackupManifest> m(new BackupManifest("/nonexistent/backup"));
        m->ProductType = productType;
        m->displayName = "Anna's iPhone";
        return m;
    }
    static QStringList childTexts(const AbsTreeItemModel::_ItemNode* node)
    {
        QStringList texts;
        for (const auto* child : node->children)
            texts << child->text;
        return texts;
    }
    static QList<int> childKinds(const AbsTreeItemModel::_ItemNode* node)
    {
        QList<int> kinds;
        for (const auto* child : node->children)
            kinds << child->kind;
        return kinds;
    }
    static QImage image(const QVariant& v) { return v.value<QPixmap>().toImage(); }

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY(m_translator.load(":/en.qm"));
        QCoreApplication::installTranslator(&m_translator);
    }

    void newModelHasTheTwoRoots()
    {
        ItemModelBK model;
        QCOMPARE(model.rowCount(), 2);
        QCOMPARE(model.data(model.index(0, 0)).toString(), QString("iTunes Backup"));
        QCOMPARE(model.data(model.index(1, 0)).toString(), QString("Local Database"));
        QCOMPARE(model.rowCount(model.index(0, 0)), 0);
        QCOMPARE(model.rowCount(model.index(1, 0)), 0);
        QCOMPARE(model.columnCount(), 1);
        QCOMPARE(model.bkRoot->kind, 1);
        QCOMPARE(model.localDbRoot->kind, 2);
    }

    void rolesAndHeader()
    {
        ItemModelBK model;
        const QModelIndex root = model.index(0, 0);
        QCOMPARE(model.data(root, Qt::ToolTipRole).toString(), QString("iTunes Backup"));
        QCOMPARE(model.data(root, Qt::SizeHintRole).toSize(), QSize(0, 25));
        QVERIFY(!model.data(root, Qt::EditRole).isValid());
        QVERIFY(!model.data(root, Qt::FontRole).isValid());
        QVERIFY(!model.data(root, 14).isValid());
        QVERIFY(!model.data(QModelIndex()).isValid());
        QVERIFY(!model.headerData(0, Qt::Horizontal, Qt::DisplayRole).isValid());
        QVERIFY(!model.headerData(0, Qt::Vertical, Qt::DisplayRole).isValid());
        const QImage icon = image(model.data(root, Qt::DecorationRole));
        QCOMPARE(icon.width(), 18);
        QCOMPARE(icon, QPixmap(":/res/bk.png").scaledToWidth(18, Qt::FastTransformation).toImage());
    }

    void backupNodeGetsElevenKindsOnce()
    {
        ItemModelBK model;
        auto m = backup("iPhone5,2");
        m->photoList = { nullptr, nullptr, nullptr };
        m->msgCount = 12;
        m->contactsCount = 0;
        m->voicemailCount = -1; // there, but not readable
        m->calendarEventCount = 3;
        m->notesCount = 4;
        m->callHistoryCount = 5;
        m->recordingsCount = 6;
        m->bookmarksCount = 7;
        ItemModelBK::_BKItemNode* node = model.addBackup(m);
        QCOMPARE(node->kind, 3);
        QCOMPARE(node->text, QString("Anna's iPhone"));
        QCOMPARE(node->children.size(), 0);
        QCOMPARE(model.rowCount(model.index(0, 0)), 1);

        QSignalSpy layout(&model, &QAbstractItemModel::layoutChanged);
        model.showBackupNode(node);
        QCOMPARE(layout.count(), 1);
        QCOMPARE(childTexts(node),
            QStringList({ "Photos(3)", "Videos(0)", "SMS(12)", "Contacts(0)", "Voicemail(?)", "Calendar(3)",
                "Notes(4)", "Call History(5)", "Recordings(6)", "Bookmarks(7)", "File System" }));
        QCOMPARE(childKinds(node), QList<int>({ 14, 15, 5, 6, 7, 8, 9, 10, 11, 12, 13 }));

        m->msgCount = 99;
        model.showBackupNode(node);
        QCOMPARE(layout.count(), 1);
        QCOMPARE(node->children.at(2)->text, QString("SMS(12)"));
        QCOMPARE(model.rowCount(model.indexOfItemNode(node)), 11);
    }

    void deviceIcon_data()
    {
        QTest::addColumn<QString>("productType");
        QTest::addColumn<QString>("icon");
        QTest::newRow("iPad") << "IPad4,1"
                              << ":/res/ipad.png";
        QTest::newRow("ipad lower") << "ipad2,5"
                                    << ":/res/ipad.png";
        QTest::newRow("iPod") << "iPod5,1"
                              << ":/res/iphone.png";
        QTest::newRow("empty") << ""
                               << ":/res/iphone.png";
        QTest::newRow("iPhone") << "iPhone10,3"
                                << ":/res/iphone.png";
    }
    void deviceIcon()
    {
        QFETCH(QString, productType);
        QFETCH(QString, icon);
        ItemModelBK model;
        model.addBackup(backup(productType));
        const QModelIndex index = model.index(0, 0, model.index(0, 0));
        QCOMPARE(image(model.data(index, Qt::DecorationRole)),
            QPixmap(icon).scaledToWidth(18, Qt::FastTransformation).toImage());
    }

    // A backup's name, type or fault of megabytes (its Manifest.plist may take 8 MB): the tree of
    // backups and the list of the computer's backups show a bounded head of it, and what the view
    // draws is bounded too.
    void longNamesAreBounded_data()
    {
        QTest::addColumn<QString>("model");
        QTest::addColumn<QString>("field");
        QTest::addColumn<int>("column");
        QTest::addColumn<int>("role");
        QTest::newRow("tree: name of 7 MB") << "tree"
                                            << "name" << 0 << int(Qt::DisplayRole);
        QTest::newRow("tree: fault of 1 MB") << "tree"
                                             << "why" << 0 << int(Qt::ToolTipRole);
        QTest::newRow("list: name of 7 MB") << "list"
                                            << "name" << 0 << int(Qt::DisplayRole);
        QTest::newRow("list: device of 1 MB") << "list"
                                              << "type" << 1 << int(Qt::DisplayRole);
        QTest::newRow("list: fault of 1 MB") << "list"
                                             << "why" << 0 << int(Qt::ToolTipRole);
    }
    void longNamesAreBounded()
    {
        QFETCH(QString, model);
        QFETCH(QString, field);
        QFETCH(int, column);
        QFETCH(int, role);
        const QString big(field == "name" ? 7 << 20 : 1 << 20, 'N');
        QSharedPointer<BackupManifest> m = backup(field == "type" ? big : "iPhone10,3");
        if (field == "name")
            m->displayName = big;
        ItemModelBK tree;
        ItemModelLoadBk list;
        QModelIndex index;
        if (model == "tree") {
            ItemModelBK::_BKItemNode* node = tree.addBackup(m);
            if (field == "why")
                tree.showUnreadable(node, big);
            index = tree.index(0, column, tree.index(0, 0));
        } else {
            const int row = list.addReading("/backups/one", 0);
            if (field == "why")
                list.showUnreadable(row, big);
            else
                list.showRead(row, m);
            index = list.index(row, column);
        }
        const QString shown = index.data(role).toString();
        QVERIFY2(shown.size() <= ShownText::kMaxLine, qPrintable(QString::number(shown.size())));
        QVERIFY(shown.contains("NNNN") && shown.endsWith(QChar(0x2026)));
        QAbstractItemModel* shownModel = model == "tree" ? static_cast<QAbstractItemModel*>(&tree) : &list;
        QVERIFY(PaintedTexts::longest(shownModel) <= ShownText::kMaxLine);
    }

    void localDbNodeIsRecountedInPlace()
    {
        ItemModelBK model;
        ItemModelBK::_LocalDbStat stat;
        auto* node = model.addLocalDb(QDir("/somewhere/local_databases/Work"), stat);
        QCOMPARE(node->kind, 4);
        QCOMPARE(node->text, QString("Work"));
        QCOMPARE(node->children.size(), 0);
        node->stat = { 1, 2, 3, 4, 5, 6 };
        model.showLocalDbNode(node);
        QCOMPARE(childTexts(node),
            QStringList(
                { "SMS(1)", "Contacts(2)", "Calendar(3)", "Notes(4)", "Bookmarks(5)", "Call History(6)" }));
        QCOMPARE(childKinds(node), QList<int>({ 5, 6, 8, 9, 12, 10 }));
        node->stat.messageCount = 1234567890123;
        // Recounting changes the labels in place: no row goes, the current one stays.
        const AbsTreeItemModel::_ItemNode* first = node->children.first();
        QSignalSpy removed(&model, &QAbstractItemModel::rowsRemoved);
        QSignalSpy changed(&model, &QAbstractItemModel::dataChanged);
        model.showLocalDbNode(node);
        QCOMPARE(removed.count(), 0);
        QCOMPARE(changed.count(), 1);
        QCOMPARE(node->children.size(), 6);
        QCOMPARE(node->children.first(), first);
        QCOMPARE(node->children.first()->text, QString("SMS(1234567890123)"));
        // A count that was not made is not known, never 0.
        node->stat
            = { DataSources::kUnknownCount, 0, DataSources::kUnknownCount, 0, 0, DataSources::kUnknownCount };
        model.showLocalDbNode(node);
        QCOMPARE(childTexts(node),
            QStringList(
                { "SMS(?)", "Contacts(0)", "Calendar(?)", "Notes(0)", "Bookmarks(0)", "Call History(?)" }));
    }

    void removingABackupReleasesIt()
    {
        ItemModelBK model;
        QWeakPointer<BackupManifest> weak;
        {
            auto m = backup("iPhone1,1");
            weak = m;
            model.addBackup(m);
        }
        QVERIFY(weak);
        model.removeNode(model.bkRoot->children.first());
        QVERIFY(!weak);
    }
};

QTEST_MAIN(TestItemModelBK)
#include "TestItemModelBK.moc"
