// Exports a generated address book (3 phones and 2 e-mails per person) to vCard and to CSV with
// `qm-probe export-contacts` (the book read, then the export thread), and reads the vCard file back
// with `qm-probe vcard`; whole processes, a warm-up each, alternating, median of five, against
// Python writing and reading the same records (python3-vobject for vCard, the csv module for CSV;
// the records handed to it as JSON), both pinned to the cores of QM_BENCH_CORES ("0,1" when unset,
// "all" for none). The writers alone, in memory, are timed inside this process.
//
//   bench_contacts_export [--people N] [--rounds R]     (defaults 50000 and 5)
#include "BenchProcess.h"
#include "contacts/export/CSVExport.h"
#include "contacts/export/VCardExport.h"
#include "contacts/store/IOSContactsDb.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>
#include <QTextStream>

namespace
{
QTextStream out(stdout);

const char* const kPython = R"(
import csv, json, sys, vobject
mode, records, target = sys.argv[1], json.load(open(sys.argv[2])), sys.argv[3]
if mode == 'vcf':
    with open(target, 'w', encoding='utf-8') as f:
        for r in records:
            c = vobject.vCard()
            c.add('fn').value = r['fn']
            c.add('n').value = vobject.vcard.Name(family=r['last'], given=r['first'])
            for tel, kind in r['tels']:
                p = c.add('tel'); p.value = tel; p.type_param = kind
            for mail in r['mails']:
                p = c.add('email'); p.value = mail; p.type_param = 'internet'
            f.write(c.serialize())
elif mode == 'csv':
    cols = sorted({k for r in records for k in r['cells']})
    with open(target, 'w', newline='', encoding='utf-8') as f:
        w = csv.writer(f, lineterminator='\n')
        w.writerow(cols)
        for r in records:
            w.writerow([r['cells'].get(k, '') for k in cols])
else:
    n = 0
    for c in vobject.readComponents(open(target, encoding='utf-8').read()):
        n += len(c.fn.value) >= 0
)";

QString python()
{
    return QFile::exists("/usr/bin/python3") ? QStringLiteral("/usr/bin/python3") : QStringLiteral("python3");
}

Bench::Command pythonCommand(const QString& mode, const QString& json, const QString& target)
{
    return { Bench::onCores({ python(), "-c", kPython, mode, json, target }) };
}

Bench::Command exportCommand(const QString& format, const QString& book, const QString& target)
{
    return { Bench::onCores({ QM_PROBE, "export-contacts", "--format", format, book, target }), {},
        [target] { QFile::remove(target); } };
}

bool generate(const QString& dir, int people)
{
    QProcess gen;
    gen.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    gen.setStandardOutputFile(QProcess::nullDevice());
    gen.start(python(),
        { QString::fromUtf8(QM_SOURCE_DIR) + "/tools/gen/make_addressbook.py", "--hashed", "--people",
            QString::number(people), dir });
    return gen.waitForFinished(-1) && gen.exitCode() == 0;
}

// The records as Python gets them: names, phones with their vCard type, mails, and CSV cells.
QByteArray records(const QList<pim::_Contact>& contacts)
{
    QJsonArray list;
    for (const pim::_Contact& c : contacts) {
        QJsonObject r;
        const pim::Entity name = c.entities.value(pim::KindName).value(0);
        r["fn"] = c.fullName;
        r["first"] = name.text("data2");
        r["last"] = name.text("data3");
        QJsonArray tels, mails;
        QJsonObject cells { { "First Name", name.text("data2") }, { "Last Name", name.text("data3") } };
        for (const pim::Entity& e : c.entities.value(pim::KindPhone)) {
            tels.append(QJsonArray { e.text("data1"), e.code("data2") == 2 ? "cell" : "home,voice" });
            cells[QString("Tel:%1").arg(e.code("data2"))] = e.text("data1");
        }
        for (const pim::Entity& e : c.entities.value(pim::KindEmail)) {
            mails.append(e.text("data1"));
            cells[QString("Email:%1").arg(e.code("data2"))] = e.text("data1");
        }
        r["tels"] = tels;
        r["mails"] = mails;
        r["cells"] = cells;
        list.append(r);
    }
    return QJsonDocument(list).toJson(QJsonDocument::Compact);
}

// The writer alone, into memory: what the export costs beyond the thread, dialog and file.
double timeWriter(AbsExport& e, const QList<pim::_Contact>& contacts)
{
    QElapsedTimer t;
    t.start();
    qsizetype bytes = e.initialize(contacts).size();
    for (const pim::_Contact& c : contacts)
        bytes += e.ct2Bytes(c).size();
    bytes += e.uninitialize().size();
    return bytes > 0 ? t.nsecsElapsed() / 1e9 : 0;
}

} // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    int people = 50000, rounds = 5;
    for (int i = 1; i + 1 < argc; ++i) {
        if (QByteArray(argv[i]) == "--people")
            people = QByteArray(argv[i + 1]).toInt();
        else if (QByteArray(argv[i]) == "--rounds")
            rounds = QByteArray(argv[i + 1]).toInt();
    }
    QTemporaryDir work;
    if (!generate(work.path(), people)) {
        out << "generator failed\n";
        return 1;
    }
    const QList<pim::_Contact> contacts = IOSContactsDb(QDir(work.path())).contacts();
    const QString json = work.filePath("records.json");
    QFile j(json);
    j.open(QIODevice::WriteOnly);
    j.write(records(contacts));
    j.close();
    out << contacts.size() << " contacts; whole processes, a warm-up each, median of " << rounds
        << " alternating runs" << Qt::endl;
    const Bench::Comparison vcf = Bench::compare(exportCommand("vcf", work.path(), work.filePath("a.vcf")),
        pythonCommand("vcf", json, work.filePath("py.vcf")), rounds);
    Bench::report("vCard export", vcf, "Python", 0.2);
    const Bench::Comparison csv = Bench::compare(exportCommand("csv", work.path(), work.filePath("a.csv")),
        pythonCommand("csv", json, work.filePath("py.csv")), rounds);
    Bench::report("CSV export", csv, "Python", 0.2);
    VCardExport vcardWriter;
    CSVExport csvWriter;
    out << QString("writers alone, in memory: vCard %1 s, CSV %2 s\n")
               .arg(timeWriter(vcardWriter, contacts), 0, 'f', 3)
               .arg(timeWriter(csvWriter, contacts), 0, 'f', 3)
        << Qt::flush;
    Bench::runCommand(exportCommand("vcf", work.path(), work.filePath("a.vcf")));
    const Bench::Comparison read
        = Bench::compare({ Bench::onCores({ QM_PROBE, "vcard", work.filePath("a.vcf") }) },
            pythonCommand("read", json, work.filePath("a.vcf")), rounds);
    Bench::report("vCard read", read, "Python", 0.1);
    return vcf.ours.status || csv.ours.status || read.ours.status ? 1 : 0;
}
