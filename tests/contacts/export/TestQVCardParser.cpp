#include "contacts/export/QVCardParser.h"

#include <QElapsedTimer>
#include <QtTest>

namespace
{
// Cards as text: properties "name;k=v:value" joined by "|", cards by "#"; bytes below 32 as \xNN.
QString dump(const QList<QVCardParser::Card>& cards)
{
    QStringList out;
    for (const QVCardParser::Card& card : cards) {
        QStringList props;
        for (const QVCardParser::_Property& p : card) {
            QString s = p.name;
            for (auto it = p.params.cbegin(); it != p.params.cend(); ++it)
                s += ';' + it.key() + '=' + it.value();
            s += ':';
            for (const char c : p.value)
                s += uchar(c) < 32 ? QString("\\x%1").arg(uchar(c), 2, 16, QChar('0'))
                                   : QString(QChar(uchar(c)));
            props.append(s);
        }
        out.append(props.join('|'));
    }
    return out.join('#');
}

QByteArray card(const QByteArray& lines)
{
    return "BEGIN:VCARD\r\n" + lines + "END:VCARD\r\n";
}
} // namespace

class TestQVCardParser : public QObject
{
    Q_OBJECT

private slots:
    void parse_data()
    {
        QTest::addColumn<QByteArray>("input");
        QTest::addColumn<QString>("cards");
        QTest::newRow("one line") << card("FN:Ann\r\n") << "FN:Ann";
        QTest::newRow("empty input") << QByteArray() << "";
        QTest::newRow("no begin") << QByteArray("FN:Ann\r\nEND:VCARD\r\n") << "";
        QTest::newRow("lower-case begin opens nothing") << QByteArray("begin:vcard\nFN:A\n") << "";
        QTest::newRow("outside lines dropped") << "FN:x\n" + card("FN:A\n") + "FN:y\n"
                                               << "FN:A";
        QTest::newRow("group and type")
            << card("item1.TEL;TYPE=CELL:+1 555 0100\r\n") << "item1.TEL;TYPE=CELL:+1 555 0100";
        QTest::newRow("blanks in parameters")
            << card("TEL; TYPE = WORK, VOICE:1\n") << "TEL;TYPE=WORK,VOICE:1";
        QTest::newRow("bare parameters") << card("TEL;HOME;VOICE:1\n") << "TEL;HOME=;VOICE=:1";
        QTest::newRow("escaped semicolon in parameter")
            << card("X;A=a\\;b;C=c\\\\d:v\n") << "X;A=a;b;C=c\\d:v";
        QTest::newRow("escape covers one character") << card("X;A=a\\xb;C=d:v\n") << "X;A=axb;C=d:v";
        QTest::newRow("leading blanks of a value") << card("FN:   Ann Lee\n") << "FN:Ann Lee";
        QTest::newRow("quoted-printable")
            << card("NOTE;ENCODING=QUOTED-PRINTABLE:a=3Db\n") << "NOTE;ENCODING=QUOTED-PRINTABLE:a=b";
        QTest::newRow("bare quoted-printable, lower-case digits")
            << card("N;QUOTED-PRINTABLE:=c3=a9\n") << "N;QUOTED-PRINTABLE=:\u00c3\u00a9";
        QTest::newRow("soft break before a blank")
            << card("NOTE;QUOTED-PRINTABLE:ab=\r\n cd\r\n") << "NOTE;QUOTED-PRINTABLE=:ab cd";
        QTest::newRow("soft break of vCard 2.1")
            << card("NOTE;ENCODING=QUOTED-PRINTABLE:ab=\r\ncd=0D=0Ae\r\nFN:x\r\n")
            << "NOTE;ENCODING=QUOTED-PRINTABLE:abcd\\x0d\\x0ae|FN:x";
        QTest::newRow("base64") << card("A;ENCODING=b:QUJD\nB;ENCODING=b:QQ==\nC;BASE64:QUI=\n")
                                << "A;ENCODING=b:ABC|B;ENCODING=b:A|C;BASE64=:AB";
        QTest::newRow("folded base64") << card("P;ENCODING=B:QU\r\n JD\r\n QQ==\r\n") << "P;ENCODING=B:ABCA";
        QTest::newRow("unpadded base64 end") << card("P;ENCODING=B:QUJDQQ\n") << "P;ENCODING=B:ABCA";
        QTest::newRow("lone base64 character at the end")
            << card("P;ENCODING=B:QUJDR\nFN:x\n") << "P;ENCODING=B:ABC|FN:x";
        QTest::newRow("invalid base64 stops")
            << card("FN:a\nP;ENCODING=b:*QJD\nFN:b\n") + card("FN:c\n") << "FN:a|P;ENCODING=b:";
        QTest::newRow("empty parameter name stops") << card("FN:a\nX;:v\nFN:b\n") << "FN:a";
        QTest::newRow("empty parameter value stops") << card("FN:a\nX;A=;B:v\n") << "FN:a";
        QTest::newRow("line without colon dropped") << card("JUNK\nFN:a\n") << "FN:a";
        QTest::newRow("line break inside parameters")
            << card("TEL;TYPE=HOME\n,VOICE:1\n") << "TEL;TYPE=HOME,VOICE:1";
        QTest::newRow("no final line break") << QByteArray("BEGIN:VCARD\nFN:Ann") << "FN:Ann";
        QTest::newRow("empty CR LF lines between cards")
            << card("FN:A\r\n") + "\r\n\r\n" + card("FN:B\r\n") << "FN:A#FN:B";
        QTest::newRow("LF only, empty lines")
            << QByteArray("BEGIN:VCARD\n\nFN:A\n\nEND:VCARD\n\nBEGIN:VCARD\nFN:B\n") << "FN:A#FN:B";
        QTest::newRow("nested card") << card("FN:A\nBEGIN:VCARD\nFN:B\nEND:VCARD\nNOTE:lost\n")
                                     << "FN:A#FN:B";
        QTest::newRow("vCard 4 data URI kept as text")
            << card("VERSION:4.0\nPHOTO:data:image/png;base64,iVBOR\n")
            << "VERSION:4.0|PHOTO:data:image/png;base64,iVBOR";
        QTest::newRow("empty value") << card("NOTE:\n") << "NOTE:";
    }

    void parse()
    {
        QFETCH(QByteArray, input);
        QFETCH(QString, cards);
        QCOMPARE(dump(QVCardParser::parse(input)), cards);
    }

    void hostileInputEndsQuickly_data()
    {
        QTest::addColumn<QByteArray>("input");
        QTest::addColumn<int>("maxCards");
        // A value longer than a line may be stops the reading without taking the memory.
        QTest::newRow("huge line") << "BEGIN:VCARD\nNOTE:" + QByteArray(17 * 1024 * 1024, 'a') + "\nFN:x\n"
                                   << 1;
        QTest::newRow("many parameters") << "BEGIN:VCARD\nX" + QByteArray(100000, ';').replace(";", ";A")
                + ":v\n" << 1;
        QTest::newRow("base64 padding only") << card("P;ENCODING=B:" + QByteArray(100000, '=') + "\n") << 1;
        QTest::newRow("many cards") << QByteArray("BEGIN:VCARD\n").repeated(200000) << 200000;
    }

    void hostileInputEndsQuickly()
    {
        QFETCH(QByteArray, input);
        QFETCH(int, maxCards);
        QElapsedTimer timer;
        timer.start();
        const QList<QVCardParser::Card> cards = QVCardParser::parse(input);
        QVERIFY(cards.size() <= maxCards);
        QVERIFY2(timer.elapsed() < 20000, qPrintable(QString::number(timer.elapsed())));
        for (const QVCardParser::Card& c : cards)
            for (const QVCardParser::_Property& p : c)
                QVERIFY(p.value.size() <= 16 * 1024 * 1024);
    }

    void toStringUsesTheCharset_data()
    {
        QTest::addColumn<QString>("charset");
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("text");
        QTest::newRow("UTF-8") << "UTF-8" << QByteArray("\xc3\xa9") << "\u00e9";
        QTest::newRow("Latin-1") << "ISO-8859-1" << QByteArray("\xe9") << "\u00e9";
        QTest::newRow("none: local 8-bit") << "" << QByteArray("\xc3\xa9") << "\u00e9";
        QTest::newRow("unknown charset") << "NO-SUCH" << QByteArray("abc") << "abc";
    }

    void toStringUsesTheCharset()
    {
        QFETCH(QString, charset);
        QFETCH(QByteArray, bytes);
        QFETCH(QString, text);
        QVCardParser::_Property p;
        if (!charset.isEmpty())
            p.params.insert("CHARSET", charset);
        p.value = bytes;
        QCOMPARE(p.toString(), text);
    }

    void values_data()
    {
        QTest::addColumn<QByteArray>("value");
        QTest::addColumn<QStringList>("fields");
        QTest::newRow("fields") << QByteArray("a;;b;") << QStringList { "a", "", "b" };
        QTest::newRow("empty") << QByteArray() << QStringList();
        QTest::newRow("semicolon") << QByteArray(";") << QStringList { "" };
        QTest::newRow("escapes") << QByteArray("a\\;b;c\\\\d\\n") << QStringList { "a;b", "c\\dn" };
    }

    void values()
    {
        QFETCH(QByteArray, value);
        QFETCH(QStringList, fields);
        QVCardParser::_Property p;
        p.value = value;
        QCOMPARE(p.values(), fields);
    }

    void encodeQuoted_data()
    {
        QTest::addColumn<QByteArray>("input");
        QTest::addColumn<int>("width");
        QTest::addColumn<QByteArray>("output");
        QTest::newRow("note") << QByteArray("a=b\nc") << 0 << QByteArray("a=3Db=0Ac");
        QTest::newRow("utf-8 and blanks") << QByteArray("\xc3\xa9 x") << 0 << QByteArray("=C3=A9=20x");
        QTest::newRow("fold ten") << QByteArray("abcdefghij") << 10 << QByteArray("abcdefg=\r\n hij");
        QTest::newRow("fold after last") << QByteArray("abcdefg") << 10 << QByteArray("abcdefg=\r\n ");
    }

    void encodeQuoted()
    {
        QFETCH(QByteArray, input);
        QFETCH(int, width);
        QFETCH(QByteArray, output);
        QCOMPARE(QVCardParser::encodeQuoted(input, width), output);
    }

    void encodeBase64()
    {
        QCOMPARE(QVCardParser::encodeBase64("abc", 2), QByteArray("YW\r\n Jj"));
        QCOMPARE(QVCardParser::encodeBase64(QByteArray(), 75), QByteArray());
        const QByteArray folded = QVCardParser::encodeBase64(QByteArray(57, 'x'), 75);
        QCOMPARE(folded.size(), 76 + 3);
        QCOMPARE(folded.mid(75, 3), QByteArray("\r\n "));
    }

    void writtenCardsReadBack()
    {
        QVCardParser::_Property note;
        note.name = "NOTE";
        note.params = { { "CHARSET", "UTF-8" }, { "ENCODING", "QUOTED-PRINTABLE" } };
        note.value = QVCardParser::encodeQuoted("line 1\r\nline \xc3\xa9", 0);
        QVCardParser::_Property photo;
        photo.name = "PHOTO";
        photo.params = { { "ENCODING", "B" } };
        const QByteArray bytes(300, '\xfe');
        photo.value = QVCardParser::encodeBase64(bytes, 75);
        const QByteArray text = QVCardParser::vcard2Bytes({ note, photo }).repeated(2);
        const QList<QVCardParser::Card> cards = QVCardParser::parse(text);
        QCOMPARE(cards.size(), 2);
        QCOMPARE(cards.at(1).at(0).toString(), QString("line 1\r\nline \u00e9"));
        QCOMPARE(cards.at(1).at(1).value, bytes);
    }
};

QTEST_GUILESS_MAIN(TestQVCardParser)
#include "TestQVCardParser.moc"
