#include "contacts/export/CardText.h"
#include "contacts/export/VCardExport.h"
#include "contacts/export/VCardThumbnail.h"
#include "contacts/support/ExportFixtures.h"
#include "support/TestEnv.h"
#include "support/ui/GuiTestEnv.h"

#include <QFile>
#include <QLabel>
#include <QtTest>

using ExportFixtures::contact;

namespace
{
QString writeFile(const QString& path, const QByteArray& bytes)
{
    QFile f(path);
    f.open(QIODevice::WriteOnly);
    f.write(bytes);
    f.close();
    return path;
}
} // namespace

class TestVCardThumbnail : public QObject
{
    Q_OBJECT

private slots:
    void firstCardFields()
    {
        ct_info info;
        QVERIFY(VCardThumbnail::readFirstCard("BEGIN:VCARD\nfn:Ann\nFN:Ann Lee\ntel:1\nTEL:2\nitem1.TEL:3\n"
                                              "ORG:Acme;R\\;D;\nADR:;;1 Main;Town;;;\nTITLE:Boss\\, "
                                              "Chief\nBDAY:1985-03-12\nEND:VCARD\nBEGIN:VCARD\nFN:B\n",
            info));
        QCOMPARE(info.name, QString("Ann Lee"));
        QCOMPARE(info.phones, QStringList({ "1", "2" }));
        QCOMPARE(info.org, QString("Acme, R;D"));
        QCOMPARE(info.address, QString("1 Main, Town"));
        QCOMPARE(info.title, QString("Boss, Chief"));
        QVERIFY(!VCardThumbnail::readFirstCard("FN:x\n", info));
    }

    void cachedUntilTheFileChanges()
    {
        const QString path = TestEnv::tempDir() + "/a.vcf";
        writeFile(path, VCardExport().ct2Bytes(contact("First", {})));
        const QString image = vcard_thumbnail(path);
        QVERIFY(QFileInfo(image).isFile());
        QVERIFY(image.startsWith(VCardThumbnail::cacheDir()));
        QCOMPARE(QImage(image).size(), QSize(200, 90));
        QCOMPARE(vcard_thumbnail(path), image);
        QTest::qWait(20);
        writeFile(path, VCardExport().ct2Bytes(contact("Second, longer", {})));
        QVERIFY(vcard_thumbnail(path) != image);
        QCOMPARE(
            QFileInfo(VCardThumbnail::cacheDir()).permissions() & (QFile::ReadOther | QFile::WriteOther), 0);
    }

    void noImageWithoutACard_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::newRow("no card") << QByteArray("FN:x\n");
        QTest::newRow("empty") << QByteArray();
    }

    void noImageWithoutACard()
    {
        QFETCH(QByteArray, bytes);
        QCOMPARE(vcard_thumbnail(writeFile(TestEnv::tempDir() + "/x.vcf", bytes)), QString());
        QCOMPARE(vcard_thumbnail(TestEnv::tempDir() + "/missing.vcf"), QString());
    }

    void entriesStayInsideTheColumn_data()
    {
        QTest::addColumn<int>("width");
        QTest::addColumn<QString>("label");
        QTest::addColumn<QString>("value");
        QTest::addColumn<bool>("singleLine");
        QTest::addColumn<QString>("shown"); // the value as drawn; "…" at the end when elided
        QTest::newRow("fits beside") << 137 << "Phone:"
                                     << "555 0101" << true << "555 0101";
        QTest::newRow("long phone under its label")
            << 137 << "Phone:"
            << "+1 555 123 0002 0003" << true << "+1 555 123 0002 0003";
        QTest::newRow("long e-mail under its label")
            << 137 << "E-Mail:"
            << "grace.hopper@example.com" << true << "grace.hopper@example.com";
        QTest::newRow("too long even alone: wrapped")
            << 60 << "E-Mail:"
            << "grace.hopper@example.com" << true << "grace.hopper@example.com";
        QTest::newRow("wrapped address") << 137 << "Address:"
                                         << "1 Long Street Name That Wraps, Springfield" << false
                                         << "1 Long Street Name That Wraps, Springfield";
        QTest::newRow("one long word wraps anywhere")
            << 137 << "Address:"
            << "Llanfairpwllgwyngyllgogerychwyrndrobwllllantysiliogogogoch" << false
            << "Llanfairpwllgwyngyllgogerychwyrndrobwllllantysiliogogogoch";
    }
    void entriesStayInsideTheColumn()
    {
        QFETCH(int, width);
        QFETCH(QString, label);
        QFETCH(QString, value);
        QFETCH(bool, singleLine);
        QFETCH(QString, shown);
        QFont font = QGuiApplication::font();
        font.setPixelSize(11);
        QImage device(200, 90, QImage::Format_ARGB32_Premultiplied);
        const int x = 53;
        const QList<CardText::Line> lines
            = CardText::layout(font, &device, x, 5, width, label, value, singleLine);
        QCOMPARE(lines.size(), 2);
        QCOMPARE(lines.first().text, label);
        const CardText::Line& v = lines.last();
        if (shown.endsWith(QChar(0x2026)))
            QVERIFY2(v.text.endsWith(QChar(0x2026)) && v.text.size() < value.size(), qPrintable(v.text));
        else
            QCOMPARE(v.text, shown);
        QVERIFY(v.rect.left() >= x);
        QVERIFY2(v.rect.right() < x + width, qPrintable(QString::number(v.rect.right())));
        // What is drawn needs no more room than its rectangle gives.
        const QRect need = QFontMetrics(v.font, &device).boundingRect(v.rect, v.flags, v.text);
        QVERIFY2(need.width() <= v.rect.width(),
            qPrintable(QString("%1 > %2").arg(need.width()).arg(v.rect.width())));
        QVERIFY(v.font.pixelSize() * 4 >= font.pixelSize() * 3);
        if (QTest::currentDataTag() == QByteArray("fits beside"))
            QCOMPARE(v.font.pixelSize(), font.pixelSize()); // made smaller only when it must
        QVERIFY(v.rect.top() >= lines.first().rect.top());
    }

    void cardImage()
    {
        const pim::_Contact c = contact("Grace Hopper",
            { { 2, { { "data15", ExportFixtures::png(60, 80) } } },
                { 3, { { "data1", "+1 555 123 0002" }, { "data2", 2 } } },
                { 3, { { "data1", "020 7946 0000" }, { "data2", 3 } } },
                { 4, { { "data1", "grace@example.com" } } },
                { 6, { { "data1", "1985-03-12" }, { "data2", 3 } } },
                { 10, { { "data1", "Acme" }, { "data4", "Engineer" } } } });
        const QString image
            = vcard_thumbnail(writeFile(TestEnv::tempDir() + "/ann.vcf", VCardExport().ct2Bytes(c)));
        QVERIFY(!image.isEmpty());
        QLabel label;
        label.setPixmap(QPixmap(image));
        label.adjustSize();
        GuiTestEnv::screenshot(&label, "contacts-card-image");
    }

    void fullCardSaysThereIsMore()
    {
        // Four phones, an e-mail and an address do not fit: the last line drawn is "…", not half a line.
        ct_info info;
        info.name = "Grace Hopper";
        info.phones
            = QStringList { "+1 555 123 0001", "+1 555 123 0002", "+1 555 123 0003", "+1 555 123 0004" };
        info.email = "grace@example.com";
        info.address = "1 Long Street Name, Springfield";
        const QImage image = VCardThumbnail::printContact(200, 90, info);
        QCOMPARE(image.size(), QSize(200, 90));
        QLabel label;
        label.setPixmap(QPixmap::fromImage(image));
        label.adjustSize();
        GuiTestEnv::screenshot(&label, "contacts-card-image-full");
    }
};

QTEST_MAIN(TestVCardThumbnail)
#include "TestVCardThumbnail.moc"
