#include "device/PlistCFType.h"
#include "support/TestEnv.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRandomGenerator>
#include <QStandardPaths>
#include <QTest>
#include <QtEndian>
#include <plist/plist.h>

namespace
{

// Runs python3 with a script and arguments; returns its standard output, or a null array on failure.
QByteArray runPython(const QString& script, const QStringList& args = {})
{
    QProcess p;
    p.start("python3", QStringList { "-c", script } + args);
    if (!p.waitForFinished(60000) || p.exitStatus() != QProcess::NormalExit || p.exitCode() != 0) {
        qWarning() << "python3 failed:" << p.readAllStandardError();
        return QByteArray();
    }
    return p.readAllStandardOutput();
}

bool writeFile(const QString& path, const QByteArray& bytes)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size();
}

// A sample tree with every kind of value.
PlistCFType sampleTree()
{
    PlistCFType dict = PlistCFType::createCFDictionary();
    dict.put("name", PlistCFType::createCFString(QString::fromUtf8("Zoë \xF0\x9F\x98\x80")));
    dict.put("neg", PlistCFType::createCFNumberInt32(-1));
    dict.put("big", PlistCFType::createCFNumberInt64(1LL << 40));
    dict.put("real", PlistCFType::createCFNumberDouble(2.5));
    dict.put("yes", PlistCFType::createCFBoolean(true));
    dict.put("blob", PlistCFType::createCFData(QByteArray("\x00\x01\xff", 3)));
    dict.put("when", PlistCFType::createCFDate(QDateTime(QDate(2050, 6, 1), QTime(12, 30, 15), Qt::UTC)));
    dict.put("far", PlistCFType::createCFDate(QDateTime(QDate(2100, 1, 1), QTime(0, 0), Qt::UTC)));
    PlistCFType list = PlistCFType::createCFArray();
    list.append(PlistCFType::createCFNumberInt32(1)).append(PlistCFType::createCFString("two"));
    dict.put("list", list);
    return dict;
}

} // namespace

class TestPlistCFType : public QObject
{
    Q_OBJECT

private slots:
    void typesAndTests();
    void nullValueBehavesAlike();
    void numbers();
    void stringsAndData();
    void textForm();
    void dictionaryAccess();
    void arrayAccess();
    void ownershipTransfer();
    void reinsertionCopiesInsteadOfSharing();
    void copiesAndMutableCopy();
    void datesWrittenAndRead();
    void datesBeyond32Bits();
    void datesInOtherZone();
    void parseAndSerialiseRoundTrip();
    void parseRejectsBadInput();
    void fromFile();
    void outsideReaderReadsOurOutput();
    void weReadOutsideOutput();
    void plistutilAgrees();
    void realFilesParseAndTruncationsAreSafe();
    void randomGarbageIsSafe();
    void deepNestingIsSafe();
    void refusesWhatWouldTakeTooMuch_data();
    void refusesWhatWouldTakeTooMuch();

    void keyedArchiveBuildAndParse();
    void keyedArchiveEmptyAndMalformed();
    void keyedArchiveDecodesRealManifestRecords();
    void keyedArchiveDecodesRealMessagePayloads();
};

void TestPlistCFType::typesAndTests()
{
    struct Row {
        PlistCFType v;
        unsigned long id;
    };
    PlistCFType keyed = PlistCFType::createCFDictionary();
    keyed.put("k", PlistCFType::createCFString("v"));
    const PlistCFType keyNode(plist_dict_item_get_key(keyed.get("k").ref()), false);
    QCOMPARE(keyNode.CFStringQString(), QString("k"));
    const QList<Row> rows = {
        { PlistCFType::createCFBoolean(false), 21 },
        { PlistCFType::createCFNumberInt32(3), 22 },
        { PlistCFType::createCFNumberDouble(1.5), 22 },
        { PlistCFType::createCFString("x"), 7 },
        { PlistCFType::createCFArray(), 19 },
        { PlistCFType::createCFDictionary(), 18 },
        { PlistCFType::createCFDate(QDateTime::currentDateTime()), 37 },
        { PlistCFType::createCFData("ab"), 20 },
        { keyNode, 7 },
        { PlistCFType::createCFKeyedArchiverUID(4), 35 },
        { PlistCFType(), 16 },
        { PlistCFType(nullptr, true), 16 },
    };
    for (const Row& r : rows) {
        QCOMPARE(r.v.typeId(), r.id);
        const int trueTests = int(r.v.isCFBoolean()) + int(r.v.isCFNumber()) + int(r.v.isCFString())
            + int(r.v.isCFData()) + int(r.v.isCFDate()) + int(r.v.isCFDictionary()) + int(r.v.isCFArray())
            + int(r.v.isCFKeyedArchiverUID());
        QCOMPARE(trueTests, r.id == 16 ? 0 : 1);
    }
    QVERIFY(PlistCFType::createCFString("x").isCFString());
    QVERIFY(PlistCFType::createCFNumberDouble(1).isCFNumber());
    QVERIFY(PlistCFType::createCFKeyedArchiverUID(4).isCFKeyedArchiverUID());
}

void TestPlistCFType::nullValueBehavesAlike()
{
    const QList<PlistCFType> nulls
        = { PlistCFType(), PlistCFType(nullptr, true), PlistCFType(nullptr, false) };
    for (PlistCFType n : nulls) {
        QCOMPARE(n.typeId(), 16ul);
        QCOMPARE(n.toString(), QString("NULL"));
        QVERIFY(n.ref() == nullptr);
        QCOMPARE(n.CFNumberInt(7), 7);
        QCOMPARE(n.CFStringQString(), QString(""));
        QVERIFY(n.CFDataBytes().isEmpty());
        QVERIFY(!n.CFDateToDateTime(0).isValid());
        QCOMPARE(n.dict_size(), 0);
        QVERIFY(n.dict_keys().isEmpty());
        QCOMPARE(n.CFKeyedArchiverUIDGetValue(), 0u);
        n.put("a", PlistCFType::createCFString("b"));
        n.append(PlistCFType::createCFString("b"));
        QCOMPARE(n.typeId(), 16ul);
        QVERIFY(n.CFPropertyListToBytes(CFPropertyListXMLFormat).isEmpty());
        QVERIFY(n.CFPropertyListToBytes(CFPropertyListBinaryFormat).isEmpty());
        QVERIFY(n.CFPropertyListToData(CFPropertyListBinaryFormat).isCFData());
        QCOMPARE(n.CFPropertyListToData(CFPropertyListBinaryFormat).CFDataLength(), 0);
        QVERIFY(PlistCFType::clone(n).ref() == nullptr);
        QVERIFY(PlistCFType::createCFDictionaryCreateMutableCopy(n).isCFDictionary());
    }
}

void TestPlistCFType::numbers()
{
    const PlistCFType minusOne = PlistCFType::createCFNumberInt32(-1);
    QCOMPARE(minusOne.CFNumberInt(0), -1);
    QCOMPARE(minusOne.CFNumberInt64(0), -1LL);
    QCOMPARE(minusOne.CFNumberDouble(4.5), 4.5);
    QCOMPARE(minusOne.toString(), QString("-1"));

    const PlistCFType real = PlistCFType::createCFNumberDouble(2.5);
    QCOMPARE(real.CFNumberInt(9), 9);
    QCOMPARE(real.CFNumberInt64(9), 9LL);
    QCOMPARE(real.CFNumberDouble(0), 2.5);
    QCOMPARE(real.CFNumberFloat(0), 2.5f);
    QCOMPARE(PlistCFType::createCFNumberFloat(0.25f).CFNumberDouble(0), 0.25);

    // Narrow reads keep the low bits, as a cast would.
    const PlistCFType wide = PlistCFType::createCFNumberInt64(0x1234567890LL);
    QCOMPARE(wide.CFNumberInt(0), 0x34567890);
    QCOMPARE(wide.CFNumberInt16(0), short(0x7890));
    QCOMPARE(wide.CFNumberInt8(0), char(0x90));
    QCOMPARE(PlistCFType::createCFNumberInt8(char(-5)).CFNumberInt64(0), -5LL);
    QCOMPARE(PlistCFType::createCFNumberInt16(-300).CFNumberInt(0), -300);
    QCOMPARE(PlistCFType::createCFNumberCFIndex(-7L).CFNumberInt64(0), -7LL);

    QCOMPARE(PlistCFType::createCFBoolean(true).CFNumberBool(false), true);
    QCOMPARE(PlistCFType::createCFBoolean(false).CFNumberBool(true), false);
    QCOMPARE(PlistCFType::createCFNumberInt32(1).CFNumberBool(false), false);
    QCOMPARE(PlistCFType::createCFBoolean(true).CFNumberInt(5), 5);
    QCOMPARE(PlistCFType::createCFString("3").CFNumberInt(5), 5);

    QCOMPARE(PlistCFType::createCFKeyedArchiverUID(0x100000007L).CFKeyedArchiverUIDGetValue(), 7u);
    QCOMPARE(PlistCFType::createCFKeyedArchiverUID(0xFFFFFFFFL).toString(), QString("-1"));
}

void TestPlistCFType::stringsAndData()
{
    const QString text = QString::fromUtf8("h\xC3\xA9llo \xF0\x9F\x98\x80");
    const PlistCFType s = PlistCFType::createCFString(text);
    QCOMPARE(s.CFStringQString(), text);
    QCOMPARE(s.CFStringLength(), int(text.size()));
    QVERIFY(PlistCFType::createCFString(QString()).isCFString());
    QCOMPARE(PlistCFType::createCFString(QString()).CFStringQString(), QString(""));
    // The text ends at an embedded NUL.
    QCOMPARE(PlistCFType::createCFString(QString("ab") + QChar(0) + "cd").CFStringQString(), QString("ab"));
    QCOMPARE(PlistCFType::createCFNumberInt32(3).CFStringQString(), QString(""));

    const QByteArray bytes("\x00\x01\x02zz\xff", 6);
    const PlistCFType d = PlistCFType::createCFData(bytes);
    QCOMPARE(d.CFDataBytes(), bytes);
    QCOMPARE(d.CFDataLength(), 6);
    QVERIFY(PlistCFType::createCFData(QByteArray()).isCFData());
    QVERIFY(PlistCFType::createCFData(QByteArray()).CFDataBytes().isEmpty());
    QVERIFY(s.CFDataBytes().isEmpty());
}

void TestPlistCFType::textForm()
{
    PlistCFType dict = PlistCFType::createCFDictionary();
    QCOMPARE(dict.toString(), QString("{}"));
    QCOMPARE(PlistCFType::createCFArray().toString(), QString("[]"));
    dict.put("name", PlistCFType::createCFString("Bob"));
    PlistCFType list = PlistCFType::createCFArray();
    list.append(PlistCFType::createCFNumberInt32(1));
    list.append(PlistCFType::createCFNumberDouble(2.5));
    list.append(PlistCFType::createCFBoolean(true));
    dict.put("list", list);
    QCOMPARE(dict.toString(), QString("{name : Bob, list : [1, 2.5, 1]}"));

    QCOMPARE(PlistCFType::createCFNumberDouble(1234567.0).toString(), QString("1.23457e+06"));
    QCOMPARE(PlistCFType::createCFData("hi!").toString(), QString("aGkh"));
    QCOMPARE(PlistCFType::createCFBoolean(false).toString(), QString("0"));
    // "%1" inside a key or a value must not be taken for a placeholder.
    PlistCFType odd = PlistCFType::createCFDictionary();
    odd.put("%2", PlistCFType::createCFString("%1"));
    QCOMPARE(odd.toString(), QString("{%2 : %1}"));
}

void TestPlistCFType::dictionaryAccess()
{
    PlistCFType dict = PlistCFType::createCFDictionary();
    dict.put("a", PlistCFType::createCFNumberInt32(1))
        .put(PlistCFType::createCFString("b"), PlistCFType::createCFNumberInt32(2))
        .put("c", PlistCFType::createCFNumberInt32(3));
    QCOMPARE(dict.dict_size(), 3);
    QStringList keys;
    for (const PlistCFType& k : dict.dict_keys()) {
        QVERIFY(k.isCFString());
        keys << k.toString();
    }
    QCOMPARE(keys, QStringList({ "a", "b", "c" }));
    QCOMPARE(dict.get("b").CFNumberInt(0), 2);
    QCOMPARE(dict.get(PlistCFType::createCFString("c")).CFNumberInt(0), 3);

    const PlistCFType missing = dict.get("zz");
    QCOMPARE(missing.typeId(), 16ul);
    QCOMPARE(missing.toString(), QString("NULL"));
    QCOMPARE(PlistCFType::createCFArray().get("a").typeId(), 16ul);

    // The null value as a key: lookups use "NULL", puts do nothing.
    dict.put("NULL", PlistCFType::createCFString("n"));
    QCOMPARE(dict.get(PlistCFType()).toString(), QString("n"));
    dict.put(PlistCFType(), PlistCFType::createCFString("x"));
    QCOMPARE(dict.dict_size(), 4);
    dict.put("d", PlistCFType());
    QCOMPARE(dict.dict_size(), 4);

    // Replacing keeps the entry count and the key's place.
    dict.dict_replace(PlistCFType::createCFString("a"), PlistCFType::createCFString("new"));
    QCOMPARE(dict.dict_size(), 4);
    QCOMPARE(dict.get("a").toString(), QString("new"));
    dict.dict_replace(PlistCFType::createCFString("e"), PlistCFType::createCFString("added"));
    QCOMPARE(dict.dict_size(), 5);

    // Keys and values from lists: the shorter list decides.
    const PlistCFType made = PlistCFType::createCFDictionary(
        { PlistCFType::createCFString("k1"), PlistCFType::createCFNumberInt32(7),
            PlistCFType::createCFString("k3") },
        { PlistCFType::createCFString("v1"), PlistCFType::createCFString("v2") });
    QCOMPARE(made.dict_size(), 2);
    QCOMPARE(made.get("7").toString(), QString("v2"));
    QCOMPARE(PlistCFType::createCFDictionary({}, {}).dict_size(), 0);
    QVERIFY(PlistCFType::createCFDictionary({}, {}).isCFDictionary());

    // Puts into non-dictionaries are ignored.
    PlistCFType arr = PlistCFType::createCFArray();
    arr.put("a", PlistCFType::createCFString("x"));
    QCOMPARE(arr.array_size(), 0);
}

void TestPlistCFType::arrayAccess()
{
    PlistCFType arr = PlistCFType::createCFArray(
        { PlistCFType::createCFString("a"), PlistCFType::createCFString("b"), PlistCFType() });
    QCOMPARE(arr.array_size(), 2);
    QCOMPARE(arr.at(1).toString(), QString("b"));
    QCOMPARE(arr.at(2).typeId(), 16ul);
    QCOMPARE(arr.at(-1).typeId(), 16ul);
    QCOMPARE(PlistCFType::createCFDictionary().at(0).typeId(), 16ul);

    PlistCFType c = PlistCFType::createCFString("c");
    arr.array_replace(2, c); // index == size: unchanged, the value keeps its node
    QCOMPARE(arr.array_size(), 2);
    {
        PlistCFType keep = c;
        Q_UNUSED(keep);
    }
    QCOMPARE(c.toString(), QString("c"));
    arr.array_replace(0, c);
    QCOMPARE(arr.array_size(), 2);
    QCOMPARE(arr.toString(), QString("[c, b]"));

    PlistCFType dict = PlistCFType::createCFDictionary();
    dict.append(PlistCFType::createCFString("x"));
    QCOMPARE(dict.dict_size(), 0);
}

void TestPlistCFType::ownershipTransfer()
{
    PlistCFType dict = PlistCFType::createCFDictionary();
    {
        PlistCFType s = PlistCFType::createCFString("kept");
        dict.put("s", s);
        // The caller's handle now looks into the dictionary.
        QCOMPARE(s.ref(), dict.get("s").ref());
    }
    QCOMPARE(dict.get("s").toString(), QString("kept"));

    // A child handle that outlives its container is not freed a second time.
    PlistCFType child = PlistCFType::createCFString("child");
    {
        PlistCFType arr = PlistCFType::createCFArray();
        arr.append(child);
        QCOMPARE(arr.at(0).toString(), QString("child"));
    }
    child = PlistCFType(); // would crash under a double free

    // Nested containers built bottom-up and top-down give the same tree.
    PlistCFType outer = PlistCFType::createCFDictionary();
    PlistCFType inner = PlistCFType::createCFArray();
    outer.put("inner", inner);
    inner.append(PlistCFType::createCFNumberInt32(5));
    QCOMPARE(outer.toString(), QString("{inner : [5]}"));

    // Wrapping a node from elsewhere with owned = false never frees it.
    plist_t foreign = plist_new_string("foreign");
    {
        PlistCFType view(foreign, false);
        QCOMPARE(view.toString(), QString("foreign"));
    }
    char* s = nullptr;
    plist_get_string_val(foreign, &s);
    QCOMPARE(QString(s), QString("foreign"));
    free(s);
    plist_free(foreign);
}

void TestPlistCFType::reinsertionCopiesInsteadOfSharing()
{
    // The same value put into two containers, or under two keys, must not end up in two trees.
    PlistCFType v = PlistCFType::createCFString("v");
    PlistCFType a = PlistCFType::createCFDictionary();
    PlistCFType b = PlistCFType::createCFArray();
    a.put("x", v);
    a.put("y", v);
    b.append(v);
    b.append(a.get("x"));
    QCOMPARE(a.toString(), QString("{x : v, y : v}"));
    QCOMPARE(b.toString(), QString("[v, v]"));
    QVERIFY(a.get("x").ref() != a.get("y").ref());

    // A container put into itself or into its own child gets a copy, not a cycle.
    PlistCFType self = PlistCFType::createCFDictionary();
    PlistCFType kid = PlistCFType::createCFArray();
    self.put("kid", kid);
    kid.append(self);
    self.put("me", self);
    QCOMPARE(self.toString(), QString("{kid : [{kid : []}], me : {kid : [{kid : []}]}}"));

    // A foreign node wrapped without ownership is copied in, so its owner can still free it.
    plist_t foreign = plist_new_uint(9);
    PlistCFType holder = PlistCFType::createCFArray();
    holder.append(PlistCFType(foreign, false));
    holder = PlistCFType();
    plist_free(foreign);

    // Replacing an entry by its own view keeps the value.
    PlistCFType d = PlistCFType::createCFDictionary();
    d.put("k", PlistCFType::createCFString("same"));
    d.put("k", d.get("k"));
    QCOMPARE(d.get("k").toString(), QString("same"));
    PlistCFType arr = PlistCFType::createCFArray({ PlistCFType::createCFString("z") });
    arr.array_replace(0, arr.at(0));
    QCOMPARE(arr.toString(), QString("[z]"));
}

void TestPlistCFType::copiesAndMutableCopy()
{
    PlistCFType first = PlistCFType::createCFDictionary();
    PlistCFType second = first;
    first.put("a", PlistCFType::createCFString("1"));
    QCOMPARE(second.get("a").toString(), QString("1"));
    QCOMPARE(second.ref(), first.ref());

    PlistCFType assigned;
    assigned = first;
    first = PlistCFType();
    QCOMPARE(assigned.get("a").toString(), QString("1"));
    assigned = assigned; // self-assignment keeps the node
    QCOMPARE(assigned.dict_size(), 1);

    PlistCFType deep = PlistCFType::createCFDictionaryCreateMutableCopy(assigned);
    deep.put("b", PlistCFType::createCFString("2"));
    QCOMPARE(assigned.dict_size(), 1);
    QCOMPARE(deep.dict_size(), 2);
    QCOMPARE(PlistCFType::createCFDictionaryCreateMutableCopy(PlistCFType::createCFArray()).dict_size(), 0);

    // A clone of a view outlives the tree it was taken from.
    PlistCFType cloned;
    {
        PlistCFType tree = sampleTree();
        cloned = PlistCFType::clone(tree.get("list"));
    }
    QCOMPARE(cloned.toString(), QString("[1, two]"));
}

void TestPlistCFType::datesWrittenAndRead()
{
    // 2001-01-01 00:00:00.250 stores 0 seconds and 250 ms, whatever the spec of the argument.
    for (Qt::TimeSpec spec : { Qt::UTC, Qt::LocalTime }) {
        const PlistCFType d
            = PlistCFType::createCFDate(QDateTime(QDate(2001, 1, 1), QTime(0, 0, 0, 250), spec));
        int32_t sec = -1, usec = -1;
        plist_get_date_val(d.ref(), &sec, &usec);
        QCOMPARE(sec, 0);
        QCOMPARE(usec, 250000);
    }
    const PlistCFType zero(plist_new_date(0, 0), true);
    QCOMPARE(zero.CFDateToDateTime(0), QDateTime(QDate(2001, 1, 1), QTime(0, 0), Qt::LocalTime));
    QCOMPARE(zero.CFDateToDateTime(0).timeSpec(), Qt::LocalTime);
    QCOMPARE(zero.CFDateToDateTime(3600), QDateTime(QDate(2001, 1, 1), QTime(1, 0), Qt::LocalTime));
    QCOMPARE(zero.CFDateToDateTime(-86400), QDateTime(QDate(2000, 12, 31), QTime(0, 0), Qt::LocalTime));
    QCOMPARE(zero.toString(), QDateTime(QDate(2001, 1, 1), QTime(0, 0)).toString(Qt::TextDate));

    // A clock reading written and read back shows the same clock reading.
    const QDateTime clock(QDate(2019, 3, 14), QTime(15, 9, 26, 535));
    QCOMPARE(PlistCFType::createCFDate(clock).CFDateToDateTime(0), clock);

    // Before 2001, with a fraction of a second.
    const QDateTime before(QDate(2000, 12, 31), QTime(23, 59, 59, 500), Qt::LocalTime);
    QCOMPARE(PlistCFType::createCFDate(before).CFDateToDateTime(0), before);
    const QDateTime older(QDate(1980, 5, 6), QTime(7, 8, 9, 100), Qt::LocalTime);
    QCOMPARE(PlistCFType::createCFDate(older).CFDateToDateTime(0), older);

    QVERIFY(!PlistCFType::createCFString("2001").CFDateToDateTime(0).isValid());
}

void TestPlistCFType::datesBeyond32Bits()
{
    // Past January 2038 (32-bit Unix time), past 2069 and before 1932 (32-bit seconds since 2001).
    const QList<QDateTime> moments = {
        QDateTime(QDate(2038, 1, 19), QTime(3, 14, 8)),
        QDateTime(QDate(2050, 6, 1), QTime(12, 30, 15, 125)),
        QDateTime(QDate(2069, 1, 19), QTime(3, 14, 8)),
        QDateTime(QDate(2100, 1, 1), QTime(0, 0, 0, 500)),
        QDateTime(QDate(1900, 1, 1), QTime(0, 0, 0)),
        QDateTime(QDate(1901, 12, 13), QTime(20, 45, 51)),
    };
    for (const QDateTime& m : moments) {
        const PlistCFType d = PlistCFType::createCFDate(m);
        QVERIFY(d.isCFDate());
        QCOMPARE(d.CFDateToDateTime(0), m);
        // ... and through both serialised forms.
        for (CFPropertyListFormat f : { CFPropertyListXMLFormat, CFPropertyListBinaryFormat }) {
            PlistCFType arr = PlistCFType::createCFArray();
            arr.append(PlistCFType::createCFDate(m));
            const PlistCFType back = PlistCFType::createCFPropertyList(arr.CFPropertyListToBytes(f));
            // XML keeps whole seconds only.
            const QDateTime expect = f == CFPropertyListXMLFormat ? m.addMSecs(-m.time().msec()) : m;
            QCOMPARE(back.at(0).CFDateToDateTime(0), expect);
        }
    }
}

void TestPlistCFType::datesInOtherZone()
{
    // The read base is local 2001-01-01 00:00, so a stored reading comes back as the same clock
    // reading in any zone whose offset did not change between 2001 and the date.
    const QByteArray oldTz = qgetenv("TZ");
    qputenv("TZ", "Asia/Tokyo");
    tzset();
    const PlistCFType zero(plist_new_date(0, 0), true);
    const QDateTime r = zero.CFDateToDateTime(0);
    const QDateTime later
        = PlistCFType::createCFDate(QDateTime(QDate(2045, 2, 3), QTime(4, 5, 6))).CFDateToDateTime(0);
    qputenv("TZ", oldTz);
    tzset();
    QCOMPARE(r.date(), QDate(2001, 1, 1));
    QCOMPARE(r.time(), QTime(0, 0));
    QCOMPARE(later.date(), QDate(2045, 2, 3));
    QCOMPARE(later.time(), QTime(4, 5, 6));
}

void TestPlistCFType::parseAndSerialiseRoundTrip()
{
    const PlistCFType tree = sampleTree();
    for (CFPropertyListFormat f :
        { CFPropertyListXMLFormat, CFPropertyListBinaryFormat, CFPropertyListFormat(0) }) {
        const QByteArray bytes = tree.CFPropertyListToBytes(f);
        QVERIFY(!bytes.isEmpty());
        QCOMPARE(bytes.startsWith("bplist00"), f != CFPropertyListXMLFormat);
        const PlistCFType back = PlistCFType::createCFPropertyList(bytes);
        QVERIFY(back.isCFDictionary());
        QCOMPARE(back.toString(), tree.toString());
        QCOMPARE(back.get("neg").CFNumberInt64(0), -1LL);
        QCOMPARE(back.get("blob").CFDataBytes(), QByteArray("\x00\x01\xff", 3));
        const PlistCFType data = tree.CFPropertyListToData(f);
        QCOMPARE(data.CFDataBytes(), bytes);
    }
    // A keyed-archive UID survives both forms (XML writes it as a dictionary holding "CF$UID").
    PlistCFType arr = PlistCFType::createCFArray({ PlistCFType::createCFKeyedArchiverUID(12) });
    for (CFPropertyListFormat f : { CFPropertyListXMLFormat, CFPropertyListBinaryFormat }) {
        const PlistCFType back = PlistCFType::createCFPropertyList(arr.CFPropertyListToBytes(f));
        QVERIFY(back.at(0).isCFKeyedArchiverUID());
        QCOMPARE(back.at(0).CFKeyedArchiverUIDGetValue(), 12u);
    }
    QVERIFY(
        PlistCFType::createCFPropertyList("<plist><dict><key>CF$UID</key><integer>3</integer></dict></plist>")
            .isCFKeyedArchiverUID());
    // Only a dictionary holding nothing but an integer "CF$UID" stands for a UID.
    QVERIFY(
        PlistCFType::createCFPropertyList("<plist><dict><key>CF$UID</key><string>3</string></dict></plist>")
            .isCFDictionary());
}

void TestPlistCFType::parseRejectsBadInput()
{
    QCOMPARE(PlistCFType::createCFPropertyList(QByteArray()).typeId(), 16ul);
    QCOMPARE(PlistCFType::createCFPropertyList("bplist").typeId(), 16ul);
    QCOMPARE(PlistCFType::createCFPropertyList("bplist00").typeId(), 16ul);
    QCOMPARE(PlistCFType::createCFPropertyList("<plist><dict><key>a</key>").typeId(), 16ul);
    QCOMPARE(PlistCFType::createCFPropertyList("hello world").typeId(), 16ul);
    QCOMPARE(PlistCFType::createCFPropertyList(QByteArray(100, '\0')).typeId(), 16ul);
    // Dictionary keys holding a NUL character (ASCII and UTF-16) are refused rather than read.
    for (const char* hex : { "62706c6973743030d10102536100625178080b0f000000000000010100000000000000030000000"
                             "0000000000000000000000011",
             "62706c6973743030d101026200e900005178080b1000000000000001010000000000000003000000000000000000000"
             "00000000012" })
        QCOMPARE(PlistCFType::createCFPropertyList(QByteArray::fromHex(hex)).typeId(), 16ul);
    // A string value holding a NUL reads up to it.
    const PlistCFType nul = PlistCFType::createCFPropertyList(
        QByteArray::fromHex("62706c6973743030d10102516b53780079080b0d0000000000000101000000000000000300000000"
                            "000000000000000000000011"));
    QCOMPARE(nul.get("k").CFStringQString(), QString("x"));
    QCOMPARE(nul.toString(), QString("{k : x}"));
    // An XML plist is recognised without its header.
    const PlistCFType x
        = PlistCFType::createCFPropertyList("<plist version=\"1.0\"><string>ok</string></plist>");
    QCOMPARE(x.toString(), QString("ok"));
}

void TestPlistCFType::fromFile()
{
    const QString dir = TestEnv::tempDir();
    QVERIFY(writeFile(dir + "/a.plist", sampleTree().CFPropertyListToBytes(CFPropertyListBinaryFormat)));
    QCOMPARE(PlistCFType::createCFPropertyListFromFile(dir + "/a.plist").get("real").CFNumberDouble(0), 2.5);
    QCOMPARE(PlistCFType::createCFPropertyListFromFile(dir + "/missing.plist").typeId(), 16ul);
    QCOMPARE(PlistCFType::createCFPropertyListFromFile(dir).typeId(), 16ul);
}

void TestPlistCFType::outsideReaderReadsOurOutput()
{
    if (QStandardPaths::findExecutable("python3").isEmpty())
        QSKIP("python3 is not installed");
    const QString dir = TestEnv::tempDir();
    const PlistCFType tree = sampleTree();
    QVERIFY(writeFile(dir + "/o.xml", tree.CFPropertyListToBytes(CFPropertyListXMLFormat)));
    QVERIFY(writeFile(dir + "/o.bin", tree.CFPropertyListToBytes(CFPropertyListBinaryFormat)));
    const QString script = R"(
import plistlib, sys
for path in sys.argv[1:]:
    with open(path, 'rb') as f:
        d = plistlib.load(f)
    print(repr(sorted((k, str(v)) for k, v in d.items())))
)";
    const QByteArray out = runPython(script, { dir + "/o.xml", dir + "/o.bin" });
    const QList<QByteArray> lines = out.trimmed().split('\n');
    QCOMPARE(lines.size(), 2);
    QCOMPARE(lines[0], lines[1]);
    const QString line = QString::fromUtf8(lines[0]);
    QVERIFY2(line.contains("('neg', '-1')"), qPrintable(line));
    QVERIFY2(line.contains("('big', '1099511627776')"), qPrintable(line));
    QVERIFY2(line.contains("('real', '2.5')"), qPrintable(line));
    QVERIFY2(line.contains("('yes', 'True')"), qPrintable(line));
    QVERIFY2(line.contains("('when', '2050-06-01 12:30:15"), qPrintable(line));
    QVERIFY2(line.contains("('far', '2100-01-01 00:00:00')"), qPrintable(line));
    QVERIFY2(line.contains("('blob', \"b'\\\\x00\\\\x01\\\\xff'\")"), qPrintable(line));
    QVERIFY2(line.contains("('list', \"[1, 'two']\")"), qPrintable(line));
    QVERIFY2(line.contains(QString::fromUtf8("Zoë \xF0\x9F\x98\x80")), qPrintable(line));
}

void TestPlistCFType::weReadOutsideOutput()
{
    if (QStandardPaths::findExecutable("python3").isEmpty())
        QSKIP("python3 is not installed");
    const QString dir = TestEnv::tempDir();
    const QString script = R"(
import plistlib, datetime, sys
d = {'s': 'caf\u00e9 \U0001F600', 'i': -42, 'big': 2**62, 'r': -0.125, 'b': False,
     'data': bytes(range(256)), 'date': datetime.datetime(2099, 12, 31, 23, 59, 58),
     'old': datetime.datetime(1950, 7, 1, 6, 0, 0), 'nested': {'a': [1, {'x': 'y'}, []]}, 'empty': {}}
with open(sys.argv[1] + '/p.xml', 'wb') as f:
    plistlib.dump(d, f, fmt=plistlib.FMT_XML)
d['uid'] = plistlib.UID(300)
with open(sys.argv[1] + '/p.bin', 'wb') as f:
    plistlib.dump(d, f, fmt=plistlib.FMT_BINARY)
)";
    runPython(script, { dir });
    QByteArray all;
    for (int i = 0; i < 256; ++i)
        all.append(char(i));
    for (const QString name : { "p.xml", "p.bin" }) {
        const PlistCFType p = PlistCFType::createCFPropertyListFromFile(dir + "/" + name);
        QVERIFY2(p.isCFDictionary(), qPrintable(name));
        QCOMPARE(p.get("s").CFStringQString(), QString::fromUtf8("caf\xC3\xA9 \xF0\x9F\x98\x80"));
        QCOMPARE(p.get("i").CFNumberInt(0), -42);
        QCOMPARE(p.get("i").CFNumberInt64(0), -42LL);
        QCOMPARE(p.get("big").CFNumberInt64(0), 1LL << 62);
        QCOMPARE(p.get("r").CFNumberDouble(0), -0.125);
        QVERIFY(p.get("b").isCFBoolean());
        QCOMPARE(p.get("b").CFNumberBool(true), false);
        QCOMPARE(p.get("data").CFDataBytes(), all);
        QCOMPARE(p.get("date").CFDateToDateTime(0), QDateTime(QDate(2099, 12, 31), QTime(23, 59, 58)));
        QCOMPARE(p.get("old").CFDateToDateTime(0), QDateTime(QDate(1950, 7, 1), QTime(6, 0)));
        QCOMPARE(p.get("nested").toString(), QString("{a : [1, {x : y}, []]}"));
        QCOMPARE(p.get("empty").toString(), QString("{}"));
    }
    const PlistCFType bin = PlistCFType::createCFPropertyListFromFile(dir + "/p.bin");
    QCOMPARE(bin.get("uid").CFKeyedArchiverUIDGetValue(), 300u);
}

void TestPlistCFType::plistutilAgrees()
{
    const QString plistutil = QStandardPaths::findExecutable("plistutil");
    if (plistutil.isEmpty())
        QSKIP("plistutil (libplist-utils) is not installed");
    const QString dir = TestEnv::tempDir();
    QVERIFY(writeFile(dir + "/t.bin", sampleTree().CFPropertyListToBytes(CFPropertyListBinaryFormat)));
    QProcess p;
    p.start(plistutil, { "-i", dir + "/t.bin", "-o", dir + "/t.xml" });
    QVERIFY(p.waitForFinished(30000));
    QCOMPARE(p.exitCode(), 0);
    const PlistCFType back = PlistCFType::createCFPropertyListFromFile(dir + "/t.xml");
    QCOMPARE(back.toString(), sampleTree().toString());
}

void TestPlistCFType::realFilesParseAndTruncationsAreSafe()
{
    QM_REQUIRE_SHARED();
    QStringList files;
    const QDir ie(TestEnv::realFixture("imessage-exporter"));
    for (const QString& sub : ie.entryList(QDir::Dirs | QDir::NoDotAndDotDot))
        for (const QString& f : QDir(ie.filePath(sub)).entryList({ "*.plist" }, QDir::Files))
            files << ie.filePath(sub + "/" + f);
    files << TestEnv::realFixture("mvt/ios_backup/Info.plist")
          << TestEnv::realFixture("mvt/ios_backup/0d/0dc926a1810f7aee4e8f38793ed788701f93bf9d");
    QVERIFY(files.size() > 20);
    int checked = 0;
    for (const QString& path : files) {
        QFile f(TestEnv::copyToTemp(path));
        QVERIFY2(f.open(QIODevice::ReadOnly), qPrintable(path));
        const QByteArray bytes = f.readAll();
        const PlistCFType whole = PlistCFType::createCFPropertyList(bytes);
        QVERIFY2(whole.isCFDictionary(), qPrintable(path));
        // Our own output of each file reads back the same, in both forms.
        const QString text = whole.toString();
        QCOMPARE(PlistCFType::createCFPropertyList(whole.CFPropertyListToBytes(CFPropertyListXMLFormat))
                     .toString(),
            text);
        QCOMPARE(PlistCFType::createCFPropertyList(whole.CFPropertyListToBytes(CFPropertyListBinaryFormat))
                     .toString(),
            text);
        // Truncated at every offset (every few offsets for large files) and with flipped bytes:
        // never a crash, and a cut-short file gives the null value.
        const int step = qMax(1, int(bytes.size() / 400));
        for (int n = 0; n < bytes.size(); n += step) {
            const PlistCFType cut = PlistCFType::createCFPropertyList(bytes.left(n));
            QVERIFY2(cut.typeId() == 16, qPrintable(QString("%1 cut at %2").arg(path).arg(n)));
            ++checked;
        }
        QRandomGenerator rng(uint(bytes.size()));
        for (int i = 0; i < 300; ++i) {
            QByteArray bad = bytes;
            for (int k = 0; k < 1 + i % 4; ++k)
                bad[8 + rng.bounded(int(bad.size()) - 8)] = char(rng.bounded(256));
            const PlistCFType v = PlistCFType::createCFPropertyList(bad);
            v.toString();
            v.CFPropertyListToBytes(CFPropertyListXMLFormat);
            v.CFPropertyListToBytes(CFPropertyListBinaryFormat);
            ++checked;
        }
    }
    qInfo() << "damaged inputs checked:" << checked;
}

void TestPlistCFType::randomGarbageIsSafe()
{
    QRandomGenerator rng(42);
    for (int i = 0; i < 3000; ++i) {
        QByteArray junk(rng.bounded(200), '\0');
        for (char& c : junk)
            c = char(rng.bounded(256));
        if (i % 2 == 0)
            junk.prepend("bplist00");
        else if (i % 3 == 0)
            junk.prepend("<?xml version=\"1.0\"?><plist><dict><key>");
        const PlistCFType v = PlistCFType::createCFPropertyList(junk);
        v.toString();
    }
}

namespace
{

// A binary property list of arrays, each holding the objects its list names (object 0 the top).
QByteArray arraysBinary(const QList<QList<quint32>>& arrays)
{
    QByteArray objects;
    QList<quint32> offsets;
    for (const QList<quint32>& refs : arrays) {
        offsets << quint32(8 + objects.size());
        objects.append(char(0xA0 + refs.size()));
        for (quint32 r : refs) {
            char ref[4];
            qToBigEndian(r, ref);
            objects.append(ref, 4);
        }
    }
    QByteArray bin = "bplist00" + objects;
    const quint64 table = quint64(bin.size());
    for (quint32 off : offsets) {
        char be[4];
        qToBigEndian(off, be);
        bin.append(be, 4);
    }
    QByteArray trailer(32, '\0');
    trailer[6] = 4;
    trailer[7] = 4;
    qToBigEndian(quint64(arrays.size()), trailer.data() + 8);
    qToBigEndian(table, trailer.data() + 24);
    return bin + trailer;
}

// Arrays nested depth levels deep, each object one array holding the next.
QByteArray nestedBinary(int depth)
{
    QList<QList<quint32>> arrays;
    for (int i = 0; i < depth; ++i)
        arrays << (i == depth - 1 ? QList<quint32>() : QList<quint32> { quint32(i + 1) });
    return arraysBinary(arrays);
}

// The top holds two chains of length arrays: the first met first, at no great depth, and held again
// by the second's deepest array, so that it nests twice as deep.
QByteArray sharedChainBinary(int length)
{
    QList<QList<quint32>> arrays { { 1, quint32(length + 1) } };
    for (int i = 1; i <= 2 * length; ++i) {
        if (i == length)
            arrays << QList<quint32>();
        else if (i == 2 * length)
            arrays << QList<quint32> { 1 };
        else
            arrays << QList<quint32> { quint32(i + 1) };
    }
    return arraysBinary(arrays);
}

QByteArray nestedXml(int depth)
{
    QByteArray xml = "<plist>";
    for (int i = 0; i < depth; ++i)
        xml += "<array>";
    for (int i = 0; i < depth; ++i)
        xml += "</array>";
    return xml + "</plist>";
}

} // namespace

void TestPlistCFType::deepNestingIsSafe()
{
    // Ordinary nesting parses in both forms.
    QCOMPARE(PlistCFType::createCFPropertyList(nestedBinary(100)).typeId(), 19ul);
    const PlistCFType x = PlistCFType::createCFPropertyList(nestedXml(100));
    QCOMPARE(x.typeId(), 19ul);
    QCOMPARE(
        PlistCFType::createCFPropertyList(x.CFPropertyListToBytes(CFPropertyListBinaryFormat)).toString(),
        x.toString());
    // Hostile nesting is refused instead of exhausting the stack in parsing, freeing or writing.
    for (int depth : { 600, 200000, 1000000 }) {
        QCOMPARE(PlistCFType::createCFPropertyList(nestedBinary(depth)).typeId(), 16ul);
        QCOMPARE(PlistCFType::createCFPropertyList(nestedXml(depth)).typeId(), 16ul);
    }
    // So is nesting through an object met first near the top and held again from deep below.
    QCOMPARE(PlistCFType::createCFPropertyList(sharedChainBinary(200)).typeId(), 19ul);
    for (int length : { 400, 20000 })
        QCOMPARE(PlistCFType::createCFPropertyList(sharedChainBinary(length)).typeId(), 16ul);
    // Unclosed or broken nesting, which libplist would free recursively.
    QCOMPARE(
        PlistCFType::createCFPropertyList("<plist>" + nestedXml(2000000).mid(7, 7 * 2000000)).typeId(), 16ul);
    QCOMPARE(PlistCFType::createCFPropertyList(nestedXml(2000000).chopped(8) + "<bogus/>").typeId(), 16ul);
    // Empty containers and comments do not count as nesting.
    QByteArray flat = "<plist><array>";
    for (int i = 0; i < 2000; ++i)
        flat += "<array/><dict/><dict></dict><!-- <array> -->";
    QCOMPARE(PlistCFType::createCFPropertyList(flat + "</array></plist>").array_size(), 6000);
    QCOMPARE(PlistCFType::createCFPropertyList(
                 "<plist>" + QByteArray(100000 * 7, 'x').replace("xxxxxxx", "<array>"))
                 .typeId(),
        16ul);
    // Forty arrays each holding the next one twice would expand to 2^40 nodes.
    QByteArray dag = "bplist00";
    QByteArray table;
    for (int i = 0; i < 40; ++i) {
        char be[4];
        qToBigEndian(quint32(dag.size()), be);
        table.append(be, 4);
        if (i == 39) {
            dag.append(char(0xA0));
            continue;
        }
        dag.append(char(0xA2));
        qToBigEndian(quint32(i + 1), be);
        dag.append(be, 4).append(be, 4);
    }
    QByteArray trailer(32, '\0');
    trailer[6] = 4;
    trailer[7] = 4;
    qToBigEndian(quint64(40), trailer.data() + 8);
    qToBigEndian(quint64(dag.size()), trailer.data() + 24);
    QCOMPARE(PlistCFType::createCFPropertyList(dag + table + trailer).typeId(), 16ul);
    // Shared leaves, as Apple's writer stores repeated values, are fine.
    PlistCFType shared = PlistCFType::createCFArray();
    for (int i = 0; i < 1000; ++i)
        shared.append(PlistCFType::createCFString("same"));
    QCOMPARE(PlistCFType::createCFPropertyList(shared.CFPropertyListToBytes(CFPropertyListBinaryFormat))
                 .array_size(),
        1000);
    // An array that holds itself.
    QByteArray loop = nestedBinary(2);
    loop[12] = 0;
    QCOMPARE(PlistCFType::createCFPropertyList(loop).typeId(), 16ul);
}

namespace
{

QByteArray be(quint64 v, int bytes)
{
    QByteArray out(bytes, '\0');
    for (int i = bytes - 1; i >= 0; --i, v >>= 8)
        out[i] = char(v & 0xFF);
    return out;
}

// An object of the kind (the marker's high nibble) whose length follows as a 4-byte integer.
QByteArray sized(int kind, quint64 length, const QByteArray& contents)
{
    return char(kind << 4 | 0x0F) + ("\x12" + be(length, 4)) + contents;
}

// A container of n references, each to the objects given in turn, of refSize bytes.
QByteArray references(int kind, quint64 n, const QList<quint64>& to, int refSize)
{
    QByteArray refs;
    for (quint64 target : to)
        refs += be(target, refSize).repeated(qsizetype(n));
    return sized(kind, n, refs);
}

// A binary property list of the objects with 4-byte offsets; extra more offset entries lead to the
// last object.
QByteArray binaryOf(const QList<QByteArray>& objects, int refSize, quint64 extra = 0)
{
    QByteArray bin = "bplist00";
    QByteArray table;
    for (const QByteArray& o : objects) {
        table += be(quint64(bin.size()), 4);
        bin += o;
    }
    table += table.right(4).repeated(qsizetype(extra));
    const quint64 tableAt = quint64(bin.size());
    return bin + table + QByteArray(6, '\0') + char(4) + char(refSize) + be(objects.size() + extra, 8)
        + be(0, 8) + be(tableAt, 8);
}

} // namespace

void TestPlistCFType::refusesWhatWouldTakeTooMuch_data()
{
    // libplist copies a shared object at every reference to it.
    QTest::addColumn<QByteArray>("bytes");
    const QByteArray data4MB = sized(0x4, 4 << 20, QByteArray(4 << 20, 'd'));
    QTest::newRow("a thousand references to 4 MB of data")
        << binaryOf({ references(0xA, 1000, { 1 }, 1), data4MB }, 1);
    QTest::newRow("a million references to 4 MB of data")
        << binaryOf({ references(0xA, 1000000, { 1 }, 1), data4MB }, 1);
    QTest::newRow("fifty keys that are one 4 MB text") << binaryOf(
        { references(0xD, 50, { 1, 2 }, 1), sized(0x5, 4 << 20, QByteArray(4 << 20, 'k')), "\x10\x01" }, 1);
    QTest::newRow("sixty references to a text of a million euro signs, three bytes each in UTF-8")
        << binaryOf({ references(0xA, 60, { 1 }, 1),
                        sized(0x6, 1000000, QByteArray("\x20\xAC").repeated(1000000)) },
               1);
    QTest::newRow("three references to an array of a million numbers")
        << binaryOf({ references(0xA, 3, { 1 }, 1), references(0xA, 1000000, { 2 }, 1), "\x10\x05" }, 1);
    QTest::newRow("two million objects listed") << binaryOf({ "\x10\x05" }, 1, 2000000);
}

void TestPlistCFType::refusesWhatWouldTakeTooMuch()
{
    QFETCH(QByteArray, bytes);
    bool tooLarge = false;
    QCOMPARE(PlistCFType::createCFPropertyList(bytes, &tooLarge).typeId(), 16ul);
    QVERIFY(tooLarge);
}

// ---- keyed archives

void TestPlistCFType::keyedArchiveBuildAndParse()
{
    for (bool mutableClass : { true, false }) {
        QHash<QString, PlistCFType> in;
        in.insert("name", PlistCFType::createCFString("Ann"));
        in.insert("age", PlistCFType::createCFNumberInt32(41));
        PlistCFType inner = PlistCFType::createCFDictionary();
        inner.put("k", PlistCFType::createCFString("v"));
        in.insert("inner", inner);
        const PlistCFType archive = PlistCFType::createNSDictionaryStringCFType(in, mutableClass);

        QCOMPARE(archive.get("$archiver").toString(), QString("NSKeyedArchiver"));
        QCOMPARE(archive.get("$version").CFNumberInt(0), 100000);
        QCOMPARE(archive.get("$top").get("root").CFKeyedArchiverUIDGetValue(), 1u);
        const PlistCFType objects = archive.get("$objects");
        QCOMPARE(objects.array_size(), 9);
        QCOMPARE(objects.at(0).toString(), QString("$null"));
        const PlistCFType root = objects.at(1);
        QCOMPARE(root.get("$class").CFKeyedArchiverUIDGetValue(), 8u);
        const PlistCFType cls = objects.at(8);
        QCOMPARE(
            cls.get("$classname").toString(), QString(mutableClass ? "NSMutableDictionary" : "NSDictionary"));
        QCOMPARE(cls.get("$classes").toString(),
            QString(
                mutableClass ? "[NSMutableDictionary, NSDictionary, NSObject]" : "[NSDictionary, NSObject]"));
        // Key i refers to index 2 + i, value i to index 5 + i.
        const QList<QString> keys = in.keys();
        for (int i = 0; i < 3; ++i) {
            QCOMPARE(root.get("NS.keys").at(i).CFKeyedArchiverUIDGetValue(), quint32(2 + i));
            QCOMPARE(objects.at(2 + i).toString(), keys[i]);
            QCOMPARE(root.get("NS.objects").at(i).CFKeyedArchiverUIDGetValue(), quint32(5 + i));
        }
        // The caller's handles now look into the archive.
        QCOMPARE(in.value("inner").ref(), objects.at(5 + int(keys.indexOf("inner"))).ref());

        // Through the binary form and back; the result is made of deep copies.
        QHash<QString, PlistCFType> out;
        {
            const PlistCFType reread = PlistCFType::createCFPropertyList(
                archive.CFPropertyListToBytes(CFPropertyListBinaryFormat));
            out = PlistCFType::parseNSDictionaryStringCFType(reread);
        }
        QCOMPARE(out.size(), 3);
        QCOMPARE(out.value("name").toString(), QString("Ann"));
        QCOMPARE(out.value("age").CFNumberInt(0), 41);
        QCOMPARE(out.value("inner").toString(), QString("{k : v}"));

        const QHash<QString, PlistCFType> decoded = archive.NSKeyedArchiver();
        QCOMPARE(decoded.value("$class").get("$classname").toString(), cls.get("$classname").toString());
        QCOMPARE(decoded.value("NS.keys").array_size(), 3);
    }

    // A missing value is archived as a reference to "$null", does not shift the rest, and reads
    // back as that string from both readers.
    QHash<QString, PlistCFType> withNull;
    withNull.insert("a", PlistCFType());
    withNull.insert("b", PlistCFType::createCFString("B"));
    const PlistCFType archive = PlistCFType::createNSDictionaryStringCFType(withNull, false);
    const QHash<QString, PlistCFType> out = PlistCFType::parseNSDictionaryStringCFType(archive);
    QCOMPARE(out.size(), 2);
    QCOMPARE(out.value("a").CFStringQString(), QString("$null"));
    PlistCFType nullRef = PlistCFType::clone(archive);
    nullRef.get("$objects").at(1).put("zero", PlistCFType::createCFKeyedArchiverUID(0));
    QCOMPARE(nullRef.NSKeyedArchiver().value("zero").CFStringQString(), QString("$null"));
    QCOMPARE(out.value("b").toString(), QString("B"));
    const PlistCFType objects = archive.get("$objects");
    const quint32 cls = objects.at(1).get("$class").CFKeyedArchiverUIDGetValue();
    QCOMPARE(objects.at(int(cls)).get("$classname").toString(), QString("NSDictionary"));
}

void TestPlistCFType::keyedArchiveEmptyAndMalformed()
{
    const PlistCFType empty = PlistCFType::createNSDictionaryStringCFType({}, false);
    const PlistCFType objects = empty.get("$objects");
    QCOMPARE(objects.array_size(), 3);
    QCOMPARE(objects.at(1).toString(), QString("{NS.keys : [], NS.objects : [], $class : 2}"));
    QCOMPARE(objects.at(2).get("$classname").toString(), QString("NSDictionary"));
    QVERIFY(PlistCFType::parseNSDictionaryStringCFType(empty).isEmpty());

    // No "root" under "$top": the root is index 0, "$null".
    PlistCFType noRoot = PlistCFType::clone(empty);
    noRoot.put("$top", PlistCFType::createCFDictionary());
    QVERIFY(noRoot.NSKeyedArchiver().isEmpty());
    QVERIFY(PlistCFType::parseNSDictionaryStringCFType(noRoot).isEmpty());

    // A root entry referring beyond the table decodes to a null value.
    PlistCFType beyond = PlistCFType::clone(empty);
    beyond.get("$objects").at(1).put("far", PlistCFType::createCFKeyedArchiverUID(99));
    beyond.get("$objects").at(1).put("inline", PlistCFType::createCFNumberInt32(5));
    const QHash<QString, PlistCFType> decoded = beyond.NSKeyedArchiver();
    QVERIFY(decoded.contains("far"));
    QCOMPARE(decoded.value("far").typeId(), 16ul);
    QCOMPARE(decoded.value("inline").CFNumberInt(0), 5);

    // Foreign values give empty results.
    QVERIFY(PlistCFType().NSKeyedArchiver().isEmpty());
    QVERIFY(PlistCFType::createCFArray().NSKeyedArchiver().isEmpty());
    QVERIFY(PlistCFType::parseNSDictionaryStringCFType(PlistCFType::createCFString("x")).isEmpty());
    PlistCFType badRoot = PlistCFType::clone(empty);
    badRoot.get("$top").put("root", PlistCFType::createCFKeyedArchiverUID(0xFFFFFFFFL));
    QVERIFY(badRoot.NSKeyedArchiver().isEmpty());
    QVERIFY(PlistCFType::parseNSDictionaryStringCFType(badRoot).isEmpty());
}

void TestPlistCFType::keyedArchiveDecodesRealManifestRecords()
{
    QM_REQUIRE_SHARED();
    if (QStandardPaths::findExecutable("python3").isEmpty())
        QSKIP("python3 is not installed");
    const QString db = TestEnv::copyToTemp(TestEnv::realFixture("mvt/ios_backup/Manifest.db"));
    QVERIFY(!db.isEmpty());
    const QString out = TestEnv::tempDir();
    // The outside reader writes each record blob to a file and a line of what it sees in it.
    const QString script = R"(
import sqlite3, plistlib, sys, os
con = sqlite3.connect(sys.argv[1])
rows = con.execute('select fileID, relativePath, flags, file from Files').fetchall()
with open(os.path.join(sys.argv[2], 'expect.tsv'), 'w') as ex:
    for fid, path, flags, blob in rows:
        open(os.path.join(sys.argv[2], fid), 'wb').write(blob)
        a = plistlib.loads(blob)
        root = a['$objects'][a['$top']['root'].data]
        cls = a['$objects'][root['$class'].data]['$classname']
        ex.write('\t'.join([fid, path, str(root.get('Size', '')), str(root.get('Mode', '')), cls,
                            str(root.get('LastModified', ''))]) + '\n')
)";
    runPython(script, { db, out });
    QFile expect(out + "/expect.tsv");
    QVERIFY(expect.open(QIODevice::ReadOnly));
    int records = 0;
    while (!expect.atEnd()) {
        const QStringList f = QString::fromUtf8(expect.readLine()).chopped(1).split('\t');
        QCOMPARE(f.size(), 6);
        const PlistCFType archive = PlistCFType::createCFPropertyListFromFile(out + "/" + f[0]);
        const QHash<QString, PlistCFType> rec = archive.NSKeyedArchiver();
        QVERIFY2(!rec.isEmpty(), qPrintable(f[0]));
        QCOMPARE(rec.value("RelativePath").CFStringQString(), f[1]);
        QCOMPARE(rec.value("Size").toString(), f[2]);
        QCOMPARE(rec.value("Mode").toString(), f[3]);
        QVERIFY(rec.value("Size").isCFNumber());
        QCOMPARE(rec.value("$class").get("$classname").toString(), f[4]);
        QCOMPARE(rec.value("LastModified").toString(), f[5]);
        ++records;
    }
    QCOMPARE(records, 3721);
}

void TestPlistCFType::keyedArchiveDecodesRealMessagePayloads()
{
    QM_REQUIRE_SHARED();
    if (QStandardPaths::findExecutable("python3").isEmpty())
        QSKIP("python3 is not installed");
    const QString dir = TestEnv::copyToTemp(TestEnv::realFixture("imessage-exporter"));
    QVERIFY(!dir.isEmpty());
    // The outside reader lists, per archive, each root entry with its resolved string value (or the
    // kind of value otherwise); files that are no archive list nothing.
    const QString script = R"(
import plistlib, sys, glob, os
for path in sorted(glob.glob(os.path.join(sys.argv[1], '*', '*.plist'))):
    a = plistlib.load(open(path, 'rb'))
    parts = []
    if isinstance(a, dict) and isinstance(a.get('$objects'), list) and '$top' in a:
        objs = a['$objects']
        root = objs[a['$top']['root'].data]
        for k, v in root.items():
            if isinstance(v, plistlib.UID):
                v = objs[v.data] if v.data < len(objs) else None
            parts.append(k + '=' + (v if isinstance(v, str) else type(v).__name__))
    print(path + '\t' + '\x1f'.join(sorted(parts)))
)";
    const QByteArray out = runPython(script, { dir });
    const QList<QByteArray> lines = out.trimmed().split('\n');
    QVERIFY(lines.size() >= 23);
    int archives = 0;
    for (const QByteArray& line : lines) {
        const QList<QByteArray> cols = line.split('\t');
        QCOMPARE(cols.size(), 2);
        const QString path = QString::fromUtf8(cols[0]);
        const PlistCFType archive = PlistCFType::createCFPropertyListFromFile(path);
        QVERIFY2(archive.isCFDictionary(), qPrintable(path));
        const QHash<QString, PlistCFType> root = archive.NSKeyedArchiver();
        QStringList mine;
        for (auto it = root.cbegin(); it != root.cend(); ++it) {
            const PlistCFType& v = it.value();
            QString kind;
            switch (v.typeId()) {
            case 7:
                kind = v.CFStringQString();
                break;
            case 18:
                kind = "dict";
                break;
            case 19:
                kind = "list";
                break;
            case 20:
                kind = "bytes";
                break;
            case 21:
                kind = "bool";
                break;
            case 22:
                kind = v.CFNumberDouble(1.5) == 1.5 ? "int" : "float";
                break;
            case 35:
                kind = "UID";
                break;
            case 37:
                kind = "datetime";
                break;
            default:
                kind = "NoneType";
            }
            mine << it.key() + "=" + kind;
        }
        mine.sort();
        QCOMPARE(mine.join(QChar(0x1f)), QString::fromUtf8(cols[1]));
        if (!root.isEmpty())
            ++archives;
    }
    QCOMPARE(archives, 19);
}

QTEST_GUILESS_MAIN(TestPlistCFType)
#include "TestPlistCFType.moc"
