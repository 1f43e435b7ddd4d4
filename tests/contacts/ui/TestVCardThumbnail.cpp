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

    void cardImage()
    {
        const pim::_Contact c = contact("Ann Lee",
            { { 2, { { "data15", ExportFixtures::png(60, 80) } } },
                { 3, { { "data1", "+44 20 7946 0018" }, { "data2", 2 } } },
                { 3, { { "data1", "020 7946 0000" }, { "data2", 3 } } },
                { 4, { { "data1", "ann.lee@example.com" } } },
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
};

QTEST_MAIN(TestVCardThumbnail)
#include "TestVCardThumbnail.moc"
