#include "app/PictureDecoder.h"
#include "app/ShownText.h"
#include "contacts/support/ExportFixtures.h"
#include "contacts/ui/ItemModelContacts.h"

#include <QBrush>
#include <QPixmap>
#include <QPointer>
#include <QtTest>
#include <atomic>
#include <memory>

using ExportFixtures::contact;

class TestItemModelContacts : public QObject
{
    Q_OBJECT

private slots:
    void sortsByNameCaseSensitive()
    {
        ItemModelContacts m;
        m.loadContacts({ contact("bob", {}), contact("Alice", {}), contact("alice", {}), contact("Zed", {}),
            contact("", {}) });
        QStringList names;
        for (int r = 0; r < m.rowCount(); ++r)
            names.append(m.data(m.index(r, 0)).toString());
        QCOMPARE(names, QStringList({ "", "Alice", "Zed", "alice", "bob" }));
        QCOMPARE(m.contacts.size(), 5);
        QCOMPARE(m.contacts.at(1).fullName, QString("Alice"));
        m.loadContacts({ contact("b", {}), contact("a", {}) });
        QCOMPARE(m.rowCount(), 2);
        QCOMPARE(m.contacts.first().fullName, QString("a"));
        // A contact without a name is listed under its organisation, the stored contact unchanged.
        m.loadContacts({ contact("Bea", {}), contact("", { { 10, { { "data1", "Apple Inc." } } } }),
            contact("Zoe", {}) });
        QCOMPARE(m.data(m.index(0, 0)).toString(), QString("Apple Inc."));
        QCOMPARE(m.contacts.first().fullName, QString());
    }

    void cells_data()
    {
        QTest::addColumn<pim::_Contact>("input");
        QTest::addColumn<int>("column");
        QTest::addColumn<QVariant>("text");
        QTest::newRow("mobile first") << contact("x",
            { { 3, { { "data1", "111" }, { "data2", 1 } } }, { 3, { { "data1", "222" }, { "data2", 2 } } },
                { 3, { { "data1", "333" }, { "data2", 2 } } } })
                                      << 1 << QVariant("222");
        QTest::newRow("else first phone")
            << contact("x", { { 3, { { "data1", "111" }, { "data2", 3 } } }, { 3, { { "data1", "222" } } } })
            << 1 << QVariant("111");
        QTest::newRow("first mail") << contact(
            "x", { { 4, { { "data1", "a@x" } } }, { 4, { { "data1", "b@x" } } } })
                                    << 2 << QVariant("a@x");
        QTest::newRow("no address") << contact("x", {}) << 3 << QVariant();
        QTest::newRow("address") << contact("x", { { 12, { { "data1", "1 Main" } } } }) << 3
                                 << QVariant("1 Main");
        auto apple = [](const QString& name) {
            return contact(name, { { 10, { { "data1", "Apple Inc." }, { "data4", "CEO" } } } });
        };
        QTest::newRow("name") << apple("Tim") << 0 << QVariant("Tim");
        QTest::newRow("organisation only") << apple("") << 0 << QVariant("Apple Inc.");
        QTest::newRow("blank name") << apple(" ") << 0 << QVariant("Apple Inc.");
        QTest::newRow("first organisation with a company")
            << contact("", { { 10, { { "data4", "CEO" } } }, { 10, { { "data1", "Apple Inc." } } } }) << 0
            << QVariant("Apple Inc.");
        QTest::newRow("no name, no company")
            << contact("", { { 10, { { "data4", "CEO" } } } }) << 0 << QVariant("");
        // Values of megabytes: the list gets their head and a mark, never the whole value.
        const QString mb(1 << 20, 'N');
        const QVariant head(QString(ShownText::kMaxLine - 1, 'N') + QChar(0x2026));
        QTest::newRow("name of 1 MB") << contact(mb, {}) << 0 << head;
        QTest::newRow("company of 1 MB, no name")
            << contact("", { { 10, { { "data1", mb } } } }) << 0 << head;
        QTest::newRow("phone of 1 MB") << contact("x", { { 3, { { "data1", mb } } } }) << 1 << head;
        QTest::newRow("mail of 1 MB") << contact("x", { { 4, { { "data1", mb } } } }) << 2 << head;
        QTest::newRow("address of 10 MB")
            << contact("x", { { 12, { { "data1", QString(10 << 20, 'N') } } } }) << 3 << head;
    }

    void cells()
    {
        QFETCH(pim::_Contact, input);
        QFETCH(int, column);
        QFETCH(QVariant, text);
        ItemModelContacts m;
        m.loadContacts({ input });
        const QModelIndex i = m.index(0, column);
        QCOMPARE(m.data(i).toString(), text.toString());
        QCOMPARE(m.data(i).isValid(), text.isValid());
        QCOMPARE(m.data(i, Qt::ToolTipRole), m.data(i));
    }

    void rolesAndHeader()
    {
        ItemModelContacts m;
        m.loadContacts({ contact("a", { { 2, { { "data15", ExportFixtures::png(40, 20) } } } }),
            contact("b", {}), contact("c", { { 2, { { "data15", QByteArray("junk") } } } }) });
        QCOMPARE(m.columnCount(), 4);
        QCOMPARE(m.headerData(3, Qt::Horizontal).toString(), QString("Address"));
        QVERIFY(!m.headerData(0, Qt::Vertical).isValid());
        QVERIFY(!m.headerData(4, Qt::Horizontal).isValid());
        QCOMPARE(m.data(m.index(0, 2), Qt::BackgroundRole).value<QBrush>().color(), QColor(250, 250, 250));
        QCOMPARE(m.data(m.index(1, 2), Qt::BackgroundRole).value<QBrush>().color(), QColor(Qt::white));
        QCOMPARE(m.data(m.index(1, 1), Qt::SizeHintRole).toSize(), QSize(0, 25));
        // The placeholder until the photo is made.
        const auto photo
            = [&](int row) { return m.data(m.index(row, 0), Qt::DecorationRole).value<QPixmap>(); };
        QCOMPARE(photo(0).size(), QSize(18, 18));
        QTRY_COMPARE(photo(0).size(), QSize(18, 9));
        QCOMPARE(photo(1).size(), QSize(18, 18));
        QTRY_COMPARE(photo(2).size(), QSize(18, 18));
        QVERIFY(!m.data(m.index(0, 1), Qt::DecorationRole).isValid());
        QVERIFY(!m.data(QModelIndex()).isValid());
    }

    // The photos are decoded off the window's thread, and the window never waits for that: the list
    // shows the placeholder meanwhile, and the model goes at once while a photo is being decoded,
    // whose decoding then stops; the rows loaded after it get their own photos.
    void photosAreMadeOffTheWindowsThread()
    {
        static std::atomic<bool> hold;
        static std::atomic<QThread*> decodedOn;
        hold = true;
        decodedOn = nullptr;
        PictureDecoder::setBeforeDecode([] {
            decodedOn = QThread::currentThread();
            while (hold && !QThread::currentThread()->isInterruptionRequested())
                QThread::msleep(1);
        });
        const auto noHook = qScopeGuard([] { PictureDecoder::setBeforeDecode(nullptr); });
        auto m = std::make_unique<ItemModelContacts>();
        m->loadContacts({ contact("a", { { 2, { { "data15", ExportFixtures::png(40, 20) } } } }) });
        const auto photo
            = [&] { return m->data(m->index(0, 0), Qt::DecorationRole).value<QPixmap>().size(); };
        QCOMPARE(photo(), QSize(18, 18));
        QTRY_VERIFY(decodedOn != nullptr);
        QVERIFY(decodedOn != QThread::currentThread());
        QCOMPARE(photo(), QSize(18, 18));
        // Loaded again while a photo is being decoded: the new rows get their own.
        m->loadContacts({ contact("b", { { 2, { { "data15", ExportFixtures::png(20, 40) } } } }) });
        hold = false;
        QTRY_COMPARE(photo(), QSize(18, 36));
        hold = true;
        decodedOn = nullptr;
        m->loadContacts({ contact("c", { { 2, { { "data15", ExportFixtures::png(40, 20) } } } }) });
        QCOMPARE(photo(), QSize(18, 18));
        QTRY_VERIFY(decodedOn != nullptr);
        QPointer<const QThread> thread = m->photoThread();
        QElapsedTimer going;
        going.start();
        m.reset();
        QVERIFY2(going.elapsed() < 100, qPrintable(QString::number(going.elapsed())));
        QTRY_VERIFY(!thread);
    }
};

QTEST_MAIN(TestItemModelContacts)
#include "TestItemModelContacts.moc"
