#include "contacts/export/QVCardParser.h"
#include "contacts/export/VCardExport.h"
#include "contacts/support/ExportFixtures.h"
#include "support/TestEnv.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QtTest>

using ExportFixtures::contact;

namespace
{
// The card's lines between VERSION and END, joined by "|".
QString lines(const pim::_Contact& c)
{
    QList<QByteArray> l = VCardExport().ct2Bytes(c).split('\n');
    QStringList out;
    for (const QByteArray& line : l) {
        const QByteArray s = line.endsWith('\r') ? line.chopped(1) : line;
        if (s.isEmpty() || s == "BEGIN:VCARD" || s == "END:VCARD" || s == "VERSION:3.0" || s.startsWith("FN"))
            continue;
        out.append(QString::fromUtf8(s));
    }
    return out.join('|');
}

// Checks every card of the file with python3-vobject: FN, N, TEL and EMAIL as the contacts hold
// them. Prints one line per card: FN, N parts, TEL values, EMAIL values, photo type.
const char* const kVobjectScript = R"(
import json, sys, vobject
text = open(sys.argv[1], encoding='utf-8').read()
for c in vobject.readComponents(text):
    n = c.contents.get('n')
    parts = [n[0].value.family, n[0].value.given, n[0].value.additional, n[0].value.prefix, n[0].value.suffix] if n else []
    tels = [t.value for t in c.contents.get('tel', [])]
    mails = [e.value for e in c.contents.get('email', [])]
    photo = [p.params.get('TYPE', [''])[0] for p in c.contents.get('photo', [])]
    print(json.dumps([c.fn.value, parts, tels, mails, photo]))
)";

// What vobject reads back: the texts with CR LF as one line feed.
QString readBack(QString s)
{
    return s.replace("\r\n", "\n").replace('\r', '\n');
}

QJsonArray expected(const pim::_Contact& c)
{
    QJsonArray parts;
    const QList<pim::Entity> names = c.entities.value(pim::KindName);
    if (!names.isEmpty())
        for (const char* k : { "data3", "data2", "data4", "data5", "data6" })
            parts.append(readBack(names.first().text(k)));
    auto list = [&](int kind) {
        QJsonArray v;
        for (const pim::Entity& e : c.entities.value(kind))
            v.append(e.text("data1").remove('\r').remove('\n'));
        return v;
    };
    QJsonArray photos;
    for (const pim::Entity& e : c.entities.value(pim::KindPhoto))
        photos.append(VCardExport::photoType(e.values.value("data15").toByteArray()));
    return QJsonArray { readBack(c.shownName()), parts, list(pim::KindPhone), list(pim::KindEmail), photos };
}
} // namespace

class TestVCardExport : public QObject
{
    Q_OBJECT

    // Returns the FN of every card as vobject reads it.
    QStringList checkWithVobject(const QList<pim::_Contact>& contacts)
    {
        QStringList names;
        checkCards(contacts, names);
        return names;
    }

    void checkCards(const QList<pim::_Contact>& contacts, QStringList& names)
    {
        if (ExportFixtures::python("vobject").isEmpty())
            QSKIP("python3-vobject is not installed (tools/bootstrap.sh installs it)");
        const QString path = TestEnv::tempDir() + "/contacts.vcf";
        QFile f(path);
        QVERIFY(f.open(QIODevice::WriteOnly));
        VCardExport exporter;
        f.write(exporter.initialize(contacts));
        for (const pim::_Contact& c : contacts)
            f.write(exporter.ct2Bytes(c));
        f.write(exporter.uninitialize());
        f.close();
        QString out;
        QCOMPARE(ExportFixtures::runPython(kVobjectScript, { path }, &out), 0);
        QStringList got = out.split('\n', Qt::SkipEmptyParts);
        QCOMPARE(got.size(), contacts.size());
        for (int i = 0; i < contacts.size(); ++i) {
            const QJsonArray card = QJsonDocument::fromJson(got.at(i).toUtf8()).array();
            QCOMPARE(card, expected(contacts.at(i)));
            names.append(card.at(0).toString());
        }
    }

private slots:
    void card_data()
    {
        QTest::addColumn<pim::_Contact>("input");
        QTest::addColumn<QString>("expected");
        QTest::newRow("no entities") << contact("", {}) << "";
        QTest::newRow("name") << contact("Ann Lee", { { 1, { { "data2", "Ann" }, { "data3", "Lee" } } } })
                              << "N;CHARSET=UTF-8:Lee;Ann;;;";
        QTest::newRow("semicolon and backslash in name parts")
            << contact("x", { { 1, { { "data2", "A;n\\n" } } } }) << "N;CHARSET=UTF-8:;A\\;n\\\\n;;;";
        QTest::newRow("organisation") << contact("x", { { 10, { { "data1", "Acme" } } } })
                                      << "TITLE;CHARSET=UTF-8:|ORG;CHARSET=UTF-8:Acme;;;";
        QTest::newRow("phone types") << contact("x",
            { { 3, { { "data1", "1" }, { "data2", 2 } } }, { 3, { { "data1", "2" }, { "data2", 12 } } },
                { 3, { { "data1", "3" }, { "data2", 1 } } } })
                                     << "TEL;TYPE=cell:1|TEL:2|TEL;TYPE=home,voice:3";
        QTest::newRow("line breaks leave numbers")
            << contact("x",
                   { { 3, { { "data1", "1\r\nEND:VCARD" } } }, { 4, { { "data1", "a@b\nBEGIN:VCARD" } } },
                       { 13, { { "data1", "http://x\r" }, { "data2", 9 } } },
                       { 6, { { "data1", "2001-05-17\n" }, { "data2", 3 } } },
                       { 6, { { "data1", "2002-01-01" }, { "data2", 2 } } } })
            << "TEL:1END:VCARD|EMAIL;TYPE=internet:a@bBEGIN:VCARD|BDAY:2001-05-17|"
               "X-EVENT;TYPE=other:2002-01-01|URL;TYPE=other:http://x";
        QTest::newRow("line breaks in text values")
            << contact("x",
                   { { 5, { { "data1", "a\r\nb\nc" } } }, { 8, { { "data1", "u" }, { "data5", 9 } } },
                       { 11, { { "data1", "r\\" }, { "data2", 0 } } } })
            << "NICKNAME;CHARSET=UTF-8:a\\nb\\nc|X-IM;CHARSET=UTF-8;TYPE=netmetting:u|"
               "X-REL;CHARSET=UTF-8:r\\\\";
        QTest::newRow("address")
            << contact("x", { { 12, { { "data4", "1 Main St" }, { "data7", "Springfield" } } } })
            << "ADR;CHARSET=UTF-8;ENCODING=QUOTED-PRINTABLE;TYPE=intl:;;1=20Main=20St;Springfield;;;";
        QTest::newRow("note") << contact("x", { { 9, { { "data1", "a=b\nc" } } } })
                              << "NOTE;CHARSET=UTF-8;ENCODING=QUOTED-PRINTABLE:a=3Db=0Ac";
        QTest::newRow("group") << contact("x", { { 7, { { "data2", "Friends" } } } })
                               << "CATEGORIES;CHARSET=UTF-8:Friends";
        QTest::newRow("empty photo") << contact("x", { { 2, { { "data15", QByteArray() } } } })
                                     << "PHOTO;ENCODING=B;TYPE=JPEG:";
    }

    void card()
    {
        QFETCH(pim::_Contact, input);
        QFETCH(QString, expected);
        QCOMPARE(lines(input), expected);
    }

    void fullNameAndCardFrame()
    {
        const QByteArray bytes = VCardExport().ct2Bytes(contact("A\nB", {}));
        QCOMPARE(bytes, QByteArray("BEGIN:VCARD\r\nVERSION:3.0\r\nFN;CHARSET=UTF-8:A\\nB\r\nEND:VCARD\r\n"));
        QVERIFY(VCardExport()
                    .ct2Bytes(contact("Semi;colon x,comma", {}))
                    .contains("FN;CHARSET=UTF-8:Semi\\;colon x\\,comma\r\n"));
    }

    // FN is the name every reader shows: a contact without a full name is named after its company.
    void fnOfContactsWithoutName_data()
    {
        QTest::addColumn<pim::_Contact>("input");
        QTest::addColumn<QString>("fn");
        QTest::newRow("name and company")
            << contact("Ann Lee", { { 10, { { "data1", "Acme" } } } }) << "FN;CHARSET=UTF-8:Ann Lee";
        QTest::newRow("company only")
            << contact("", { { 10, { { "data1", "Apple Inc." }, { "data4", "x" } } } })
            << "FN;CHARSET=UTF-8:Apple Inc.";
        QTest::newRow("escaped") << contact("", { { 10, { { "data1", "A;B, C" } } } })
                                 << "FN;CHARSET=UTF-8:A\\;B\\, C";
        QTest::newRow("second organisation")
            << contact("", { { 10, { { "data5", "Sales" } } }, { 10, { { "data1", "Acme" } } } })
            << "FN;CHARSET=UTF-8:Acme";
        QTest::newRow("nothing to show")
            << contact("", { { 10, { { "data5", "Sales" } } } }) << "FN;CHARSET=UTF-8:";
    }
    void fnOfContactsWithoutName()
    {
        QFETCH(pim::_Contact, input);
        QFETCH(QString, fn);
        const QByteArray card = VCardExport().ct2Bytes(input);
        QVERIFY2(card.contains("\r\n" + fn.toUtf8() + "\r\n"), card.constData());
        // The organisation keeps its own lines.
        QCOMPARE(card.count("ORG;"), input.entities.value(pim::KindOrg).size());
    }

    void photoDeclaresItsType()
    {
        const QByteArray png = ExportFixtures::png();
        const QByteArray out = VCardExport().ct2Bytes(contact("x", { { 2, { { "data15", png } } } }));
        QVERIFY(out.contains("PHOTO;ENCODING=B;TYPE=PNG:"));
        const QList<QVCardParser::Card> cards = QVCardParser::parse(out);
        QCOMPARE(cards.size(), 1);
        QCOMPARE(cards.first().at(2).value, png);
    }

    void generatedBookReadsInVobject()
    {
        const QList<pim::_Contact> contacts = ExportFixtures::generatedBook({ "--edge" });
        QVERIFY(!contacts.isEmpty());
        checkWithVobject(contacts);
    }

    void hostileValuesReadInVobject()
    {
        checkWithVobject({ contact("Eve\r\nEND:VCARD\r\nBEGIN:VCARD\r\nFN:Mallory",
                               { { 1, { { "data2", "E;v\\e" } } }, { 3, { { "data1", "1\r\nTEL:2" } } },
                                   { 4, { { "data1", "e@x\nEMAIL:f@x" } } } }),
            contact("O'Brien & <b>", { { 2, { { "data15", ExportFixtures::png() } } } }),
            contact("Semi;colon x,comma\\", {}) });
    }

    void realBooksReadInVobject_data()
    {
        QTest::addColumn<QString>("folder");
        QTest::newRow("tracy") << "tracy-phone-2012";
        QTest::newRow("ileapp") << "ileapp-ios15-contacts";
    }

    void realBooksReadInVobject()
    {
        QM_REQUIRE_SHARED();
        QFETCH(QString, folder);
        const QList<pim::_Contact> contacts = ExportFixtures::realBook(folder);
        QVERIFY(!contacts.isEmpty());
        // Every card has a name, the company-only ones ("Apple Inc.") too.
        for (const QString& fn : checkWithVobject(contacts))
            QVERIFY(!fn.trimmed().isEmpty());
    }
};

QTEST_GUILESS_MAIN(TestVCardExport)
#include "TestVCardExport.moc"
