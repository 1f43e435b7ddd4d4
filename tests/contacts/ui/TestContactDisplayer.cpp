#include "app/ShownText.h"
#include "app/ui/shared/LongTextBox.h"
#include "contacts/export/ContactEntityFormat.h"
#include "contacts/support/ExportFixtures.h"
#include "contacts/ui/ContactDisplayer.h"
#include "support/TestEnv.h"
#include "support/ui/TickGaps.h"

#include <QClipboard>
#include <QLabel>
#include <QtTest>

using ExportFixtures::contact;

namespace
{
QStringList labelTexts(const QWidget* card)
{
    QStringList texts;
    for (const QLabel* l : card->findChildren<QLabel*>())
        if (!l->text().isEmpty())
            texts.append(l->text());
    return texts;
}

// The texts of the card's boxes as the user copies them, all of each selected.
QStringList copiedTexts(const QWidget* card)
{
    QStringList texts;
    for (LongTextBox* box : card->findChildren<LongTextBox*>()) {
        box->selectAll();
        box->copy();
        texts.append(QGuiApplication::clipboard()->text());
    }
    return texts;
}
} // namespace

class TestContactDisplayer : public QObject
{
    Q_OBJECT

private slots:
    void formatters_data()
    {
        QTest::addColumn<QString>("got");
        QTest::addColumn<QString>("expected");
        const pim::Entity mobile
            = ExportFixtures::contact("", { { 3, { { "data1", "1" }, { "data2", 2 } } } }).entities[3][0];
        QTest::newRow("phone") << ContactDisplayer::g_phoneDisplay(mobile) << "Mobile:1";
        QTest::newRow("custom label") << ContactDisplayer::g_phoneDisplay(
            contact("", { { 3, { { "data1", "1" }, { "data2", 2 }, { "data3", "Office" } } } })
                .entities[3][0]) << "Office:1";
        QTest::newRow("unknown code") << ContactDisplayer::g_phoneDisplay(
            contact("", { { 3, { { "data1", "1" }, { "data2", 7 } } } }).entities[3][0])
                                      << ":1";
        QTest::newRow("im") << ContactDisplayer::g_imDisplay(
            contact("", { { 8, { { "data1", "jdoe" }, { "data2", 1 }, { "data5", 4 } } } }).entities[8][0])
                            << "Home:jdoe(Skype)";
        QTest::newRow("im custom") << ContactDisplayer::g_imDisplay(contact(
            "", { { 8, { { "data1", "jdoe" }, { "data2", 1 }, { "data5", 4 }, { "data6", "Matrix" } } } })
                                                                        .entities[8][0])
                                   << "Home:jdoe(Matrix)";
        QTest::newRow("org") << ContactDisplayer::g_orgDisplay(
            contact("", { { 10, { { "data1", "Acme" }, { "data2", 1 } } } }).entities[10][0])
                             << "Work:Acme";
        QTest::newRow("address escaped") << ContactDisplayer::g_addrDisplay(
            contact("", { { 12, { { "data4", "<b>1</b> & 2" }, { "data7", "C" }, { "data2", 1 } } } })
                .entities[12][0]) << "<b>Home</b><br/>&lt;b&gt;1&lt;/b&gt; &amp; 2<br/>C";
        QTest::newRow("bad date") << ContactDisplayer::g_eventDisplay(
            contact("", { { 6, { { "data1", "soon" }, { "data2", 3 } } } }).entities[6][0])
                                  << "Birthday:";
    }

    void formatters()
    {
        QFETCH(QString, got);
        QFETCH(QString, expected);
        QCOMPARE(got, expected);
    }

    void nameBlock()
    {
        const pim::_Contact c = contact("Ann Lee",
            { { 5, { { "data1", "Annie" } } },
                { 10, { { "data4", "Engineer" }, { "data5", "Research" }, { "data1", "Acme" } } } });
        QCOMPARE(ContactDisplayer::nameBlock(c), QString("Ann Lee\n\"Annie\"\nEngineer - Research\nAcme"));
        QCOMPARE(ContactDisplayer::nameBlock(contact("B", { { 10, { { "data5", "Sales" } } } })),
            QString("B - Sales"));
    }

    // A contact whose fields take megabytes: the card's header shows a bounded head of its name
    // block, and each field the user opens shows as a message's text does, its first megabyte and
    // the line saying it is cut there, to be read and copied whole. The card shows at once: the
    // window answers all along (a timer fires every 20 ms).
    void longFieldsAreBounded_data()
    {
        QTest::addColumn<pim::_Contact>("input");
        QTest::addColumn<int>("longest"); // the most characters of one label
        QTest::addColumn<bool>("cut"); // a label ends with the cut line
        QTest::addColumn<QString>("copied"); // what a box of the long field gives, when one shows
        const QString mb(1 << 20, 'x');
        const int header = int(ShownText::kMaxLine);
        const int opened = (1 << 20) + int(ShownText::cutLine().size());
        QString lines;
        while (lines.size() < 850000)
            lines += QStringLiteral("a line of words \u00e9\U0001F600\r\n");
        QString words;
        while (words.size() < (1 << 20))
            words += QStringLiteral("word\u0301 ");
        QTest::newRow("name of 1 MB") << contact(mb, {}) << header << false << QString();
        QTest::newRow("nickname of 1 MB")
            << contact("Ann", { { 5, { { "data1", mb } } } }) << header << false << QString();
        QTest::newRow("company of 1 MB")
            << contact("Ann", { { 10, { { "data1", mb } } } }) << header << false << QString();
        QTest::newRow("note of 2 MB") << contact("Ann", { { 9, { { "data1", mb + mb } } } }) << opened << true
                                      << mb + ShownText::cutLine();
        QTest::newRow("address of 2 MB") << contact("Ann", { { 12, { { "data4", mb + mb } } } })
                                         << opened + 100 << true << mb + ShownText::cutLine();
        QTest::newRow("note of 1 MB in short lines")
            << contact("Ann", { { 9, { { "data1", lines } } } }) << int(lines.size()) << false << lines;
        QTest::newRow("website of 1 MB of marked words")
            << contact("Ann", { { 13, { { "data1", words }, { "data2", 1 } } } }) << opened << true
            << ShownText::opened(ContactEntityFormat::url(
                   contact("", { { 13, { { "data1", words }, { "data2", 1 } } } }).entities[13][0]));
    }
    void longFieldsAreBounded()
    {
        QFETCH(pim::_Contact, input);
        QFETCH(int, longest);
        QFETCH(bool, cut);
        QFETCH(QString, copied);
        ContactDisplayer card;
        card.resize(400, 600);
        TickGaps gaps;
        card.showContact(&input);
        card.show();
        QVERIFY(QTest::qWaitForWindowExposed(&card));
        QTest::qWait(50);
        const qint64 gap = gaps.stop();
        QVERIFY2(gap < 200, qPrintable(QString("the window did not answer for %1 ms").arg(gap)));
        const QStringList boxes = copiedTexts(&card);
        qsizetype most = 0;
        bool cutShown = false;
        for (const QString& t : labelTexts(&card) + boxes) {
            most = qMax(most, t.size());
            cutShown = cutShown || t.endsWith("[Cut here: only the first 1 MB of the text is shown.]");
        }
        QVERIFY2(most <= longest, qPrintable(QString::number(most)));
        QCOMPARE(cutShown, cut);
        QCOMPARE(boxes.isEmpty(), copied.isEmpty());
        if (!copied.isEmpty())
            QVERIFY(boxes.first() == copied);
    }

    void markupShowsAsText()
    {
        ContactDisplayer card;
        card.resize(400, 600);
        const pim::_Contact c = contact("<h1>Big</h1>", { { 9, { { "data1", "<i>note</i>" } } } });
        card.showContact(&c);
        for (const QLabel* l : card.findChildren<QLabel*>())
            if (l->text().contains("<h1>") || l->text().contains("<i>"))
                QCOMPARE(l->textFormat(), Qt::PlainText);
        QVERIFY(labelTexts(&card).contains("<h1>Big</h1>"));
    }

    void keepsItsOwnCopy()
    {
        ContactDisplayer card;
        {
            auto c = std::make_unique<pim::_Contact>(
                contact("Kept", { { 2, { { "data15", ExportFixtures::png() } } } }));
            card.showContact(c.get());
        }
        QCOMPARE(card.shownContact().fullName, QString("Kept"));
        QCOMPARE(ContactDisplayer::photoFileName(card.shownContact()), QString("Kept.png"));
        card.clear();
        QVERIFY(!card.hasContact());
    }

    void photoFileName_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("file");
        QTest::newRow("jpeg") << "Ann" << ExportFixtures::jpeg() << "Ann.jpg";
        QTest::newRow("slashes and dots") << "../../etc/passwd" << ExportFixtures::png() << "etcpasswd.png";
        QTest::newRow("empty") << "" << QByteArray("x") << "photo.jpg";
    }

    void photoFileName()
    {
        QFETCH(QString, name);
        QFETCH(QByteArray, bytes);
        QFETCH(QString, file);
        QCOMPARE(ContactDisplayer::photoFileName(contact(name, { { 2, { { "data15", bytes } } } })), file);
    }

    void savePhotoReportsFailure()
    {
        QString error;
        QVERIFY(!ContactDisplayer::savePhoto("x", "/no/such/dir/p.jpg", &error));
        QVERIFY(!error.isEmpty());
        const QString ok = TestEnv::tempDir() + "/p.jpg";
        QVERIFY(ContactDisplayer::savePhoto("abc", ok, &error));
        QCOMPARE(QFileInfo(ok).size(), 3);
    }
};

QTEST_MAIN(TestContactDisplayer)
#include "TestContactDisplayer.moc"
