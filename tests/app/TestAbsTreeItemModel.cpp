#include "app/AbsTreeItemModel.h"

#include <QAbstractItemModelTester>
#include <QSignalSpy>
#include <QtTest>

namespace
{

using Node = AbsTreeItemModel::_ItemNode;

// A node that counts its destructions, so tests can see what was deleted.
struct CountedNode : Node {
    CountedNode(const QString& text, Node* parent, int* deaths)
        : Node(0, text, parent)
        , deaths(deaths)
    {
    }
    ~CountedNode() override { ++*deaths; }
    int* deaths;
};

class TextModel : public AbsTreeItemModel
{
public:
    explicit TextModel(int columns = 1)
        : columns(columns)
    {
    }
    int columnCount(const QModelIndex& = QModelIndex()) const override { return columns; }
    QVariant data(const QModelIndex& index, int role) const override
    {
        if (!index.isValid() || role != Qt::DisplayRole)
            return {};
        return nodeOf(index)->text + (index.column() ? QString::number(index.column()) : QString());
    }

    Node* add(const QString& text, Node* parent = nullptr)
    {
        Node* node = new CountedNode(text, parent, counter ? counter : &deaths);
        (parent ? parent->children : roots).append(node);
        return node;
    }

    int columns;
    int deaths = 0;
    int* counter = nullptr; // where deaths are counted when set
};

// Root A with children A1, A2; A1 with child A1a; root B.
struct Forest {
    explicit Forest(TextModel& m)
    {
        a = m.add("A");
        a1 = m.add("A1", a);
        a1a = m.add("A1a", a1);
        a2 = m.add("A2", a);
        b = m.add("B");
    }
    Node *a, *a1, *a1a, *a2, *b;
};

QStringList texts(const QList<const Node*>& nodes)
{
    QStringList out;
    for (const Node* n : nodes)
        out << n->text;
    return out;
}

} // namespace

class TestAbsTreeItemModel : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void passesModelTester()
    {
        TextModel tree;
        Forest f(tree);
        QAbstractItemModelTester treeTester(&tree, QAbstractItemModelTester::FailureReportingMode::QtTest);
        // A flat list with several columns, as the list models of the pages are.
        TextModel list(3);
        for (int i = 0; i < 5; ++i)
            list.add(QString("row%1").arg(i));
        QAbstractItemModelTester listTester(&list, QAbstractItemModelTester::FailureReportingMode::QtTest);
        // Changes announced by the base keep the model consistent for the tester.
        tree.removeNode(f.a1);
        list.clearChilds(nullptr);
    }

    void structureFollowsNodes()
    {
        TextModel m;
        Forest f(m);
        QCOMPARE(m.rowCount(), 2);
        const QModelIndex a = m.index(0, 0);
        QCOMPARE(AbsTreeItemModel::nodeOf(a), f.a);
        QCOMPARE(m.rowCount(a), 2);
        const QModelIndex a1 = m.index(0, 0, a);
        QCOMPARE(AbsTreeItemModel::nodeOf(a1), f.a1);
        QCOMPARE(m.parent(a1), a);
        const QModelIndex a1a = m.index(0, 0, a1);
        QCOMPARE(m.rowCount(a1a), 0);
        QCOMPARE(m.parent(a1a), a1);
        QVERIFY(!m.parent(a).isValid());
        QVERIFY(!m.parent(QModelIndex()).isValid());
        QCOMPARE(f.a1->cachedIndex, a1);
    }

    void outOfRangeIndexIsInvalidAndCachesNothing()
    {
        TextModel m;
        Forest f(m);
        QVERIFY(!m.index(2, 0).isValid());
        QVERIFY(!m.index(0, 1).isValid());
        QVERIFY(!m.index(-1, 0).isValid());
        QVERIFY(!f.a->cachedIndex.isValid());
        QVERIFY(!f.b->cachedIndex.isValid());
    }

    void parentKeepsTheColumnLastHandedOut()
    {
        TextModel m(2);
        Forest f(m);
        const QModelIndex a1col1 = m.index(0, 1);
        const QModelIndex child = m.index(0, 0, a1col1);
        QCOMPARE(AbsTreeItemModel::nodeOf(child), f.a1);
        QCOMPARE(m.parent(child).column(), 1);
        QCOMPARE(m.parent(child), a1col1);
    }

    void parentNeverHandedOutIsFoundAnyway()
    {
        // A child's index obtained without going through its parent still has the right parent.
        TextModel m;
        Forest f(m);
        const QModelIndex a1a = m.indexOfItemNode(f.a1a);
        QCOMPARE(a1a.row(), 0);
        QCOMPARE(a1a.column(), 0);
        const QModelIndex p = m.parent(a1a);
        QVERIFY(p.isValid());
        QCOMPARE(AbsTreeItemModel::nodeOf(p), f.a1);
        QCOMPARE(m.parent(p), m.index(0, 0));
    }

    void indexOfItemNodeUsesCurrentRow()
    {
        TextModel m;
        Forest f(m);
        QCOMPARE(m.indexOfItemNode(f.a2).row(), 1);
        QCOMPARE(m.indexOfItemNode(f.a2).column(), 0);
        QVERIFY(!f.a2->cachedIndex.isValid()); // computed, not cached
        QCOMPARE(m.index(1, 0).row(), 1);
        QCOMPARE(m.indexOfItemNode(f.b), f.b->cachedIndex);
        QVERIFY(!m.indexOfItemNode(nullptr).isValid());
        // A removal shifts B to row 0: the stale cached row is not trusted.
        m.removeNode(f.a);
        QCOMPARE(m.indexOfItemNode(f.b).row(), 0);
        QCOMPARE(m.index(0, 0).internalPointer(), f.b);
    }

    void nodesListsPreOrder()
    {
        TextModel m;
        Forest f(m);
        QCOMPARE(texts(m.nodes()), QStringList({ "A", "A1", "A1a", "A2", "B" }));
        QList<const Node*> sub;
        m.appendNode(sub, nullptr);
        QVERIFY(sub.isEmpty());
        m.appendNode(sub, f.a1);
        QCOMPARE(texts(sub), QStringList({ "A1", "A1a" }));
    }

    void removeNodeAnnouncesAndDeletesSubtree()
    {
        TextModel m;
        Forest f(m);
        const QModelIndex a = m.index(0, 0);
        QSignalSpy removing(&m, &QAbstractItemModel::rowsAboutToBeRemoved);
        QSignalSpy removed(&m, &QAbstractItemModel::rowsRemoved);
        m.removeNode(f.a1);
        QCOMPARE(m.deaths, 2); // A1 and A1a
        QCOMPARE(removed.size(), 2); // A1's children first, then A1
        QCOMPARE(removing.at(1).at(0).toModelIndex(), a);
        QCOMPARE(removing.at(1).at(1).toInt(), 0);
        QCOMPARE(m.rowCount(a), 1);
        QCOMPARE(texts(m.nodes()), QStringList({ "A", "A2", "B" }));
        m.removeNode(f.b);
        QCOMPARE(m.rowCount(), 1);
        QCOMPARE(m.deaths, 3);
    }

    void removeNodeOutsideTheModelOnlyClearsChildren()
    {
        TextModel m;
        Forest f(m);
        int deaths = 0;
        auto* stray = new CountedNode("stray", f.a, &deaths); // not in A's children
        stray->children.append(new CountedNode("strayChild", stray, &deaths));
        m.removeNode(stray);
        QCOMPARE(stray->children.size(), 0);
        QCOMPARE(deaths, 1); // only its child
        QCOMPARE(m.rowCount(m.index(0, 0)), 2);
        delete stray;
        QCOMPARE(deaths, 2);
    }

    void clearChildsOfLeafSendsNothing()
    {
        TextModel m;
        Forest f(m);
        QSignalSpy removing(&m, &QAbstractItemModel::rowsAboutToBeRemoved);
        m.clearChilds(f.a1a);
        QCOMPARE(removing.size(), 0);
        m.clearChilds(f.a);
        QCOMPARE(removing.size(), 1);
        QCOMPARE(removing.at(0).at(2).toInt(), 1); // rows 0..1
        QCOMPARE(m.deaths, 3);
        m.clearChilds(nullptr);
        QCOMPARE(m.rowCount(), 0);
        QCOMPARE(m.deaths, 5);
    }

    void contentsUpdateAndDataChanged()
    {
        TextModel m;
        Forest f(m);
        QSignalSpy layout(&m, &QAbstractItemModel::layoutChanged);
        QSignalSpy changed(&m, &QAbstractItemModel::dataChanged);
        m.contentsUpdate();
        QCOMPARE(layout.size(), 1);
        m.invokeDataChanged(f.a);
        QCOMPARE(changed.size(), 1);
        QCOMPARE(AbsTreeItemModel::nodeOf(changed.at(0).at(0).toModelIndex()), f.a);
        QCOMPARE(AbsTreeItemModel::nodeOf(changed.at(0).at(1).toModelIndex()), f.a2);
        m.invokeDataChanged(f.b); // no children: the node alone
        QCOMPARE(AbsTreeItemModel::nodeOf(changed.at(1).at(1).toModelIndex()), f.b);
    }

    void destructorDeletesEverything()
    {
        int deaths = 0;
        {
            TextModel m;
            m.counter = &deaths;
            Forest f(m);
            Q_UNUSED(f);
        }
        QCOMPARE(deaths, 5);
    }
};

QTEST_GUILESS_MAIN(TestAbsTreeItemModel)
#include "TestAbsTreeItemModel.moc"
