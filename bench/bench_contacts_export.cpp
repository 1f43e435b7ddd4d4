// Exports a generated address book (3 phones and 2 e-mails per person) to vCard and to CSV through
// the export thread, and reads the vCard file back with the program's reader; each timed against
// Python writing and reading the same records (python3-vobject for vCard, the csv module for CSV)
// in the same run. The Python side times only its writing or reading, not its start-up.
//
//   bench_contacts_export [--people N]      (default 50000)
#include "app/ui/shared/ProgressForm.h"
#include "contacts/export/CSVExport.h"
#include "contacts/export/QVCardParser.h"
#include "contacts/export/VCardExport.h"
#include "contacts/store/IOSContactsDb.h"
#include "contacts/ui/ExportToFileThread.h"

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
import csv, json, sys, time, vobject
mode, records, target = sys.argv[1], json.load(open(sys.argv[2])), sys.argv[3]
t = time.perf_counter()
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
print(time.perf_counter() - t)
)";

QString python()
{
    return QFile::exists("/usr/bin/python3") ? QStringLiteral("/usr/bin/python3") : QStringLiteral("python3");
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

double timePython(const QString& mode, const QString& json, const QString& target)
{
    QProcess p;
    p.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    p.start(python(), { "-c", kPython, mode, json, target });
    p.waitForFinished(-1);
    return QString::fromUtf8(p.readAllStandardOutput()).trimmed().toDouble();
}

double timeExport(const QList<pim::_Contact>& contacts, ExportToFileThread::TYPE type, const QString& path)
{
    QElapsedTimer t;
    t.start();
    ProgressForm form;
    form.setQuiet(true);
    ExportToFileThread thread(contacts, type, path, &form);
    thread.start();
    form.exec();
    thread.wait();
    return t.nsecsElapsed() / 1e9;
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

double timeParse(const QString& path, qsizetype& cards)
{
    QElapsedTimer t;
    t.start();
    QFile f(path);
    f.open(QIODevice::ReadOnly);
    cards = QVCardParser::parse(f.readAll()).size();
    return t.nsecsElapsed() / 1e9;
}

void report(const char* what, double ours, double ref, double goal)
{
    out << QString("%1: %2 s, Python %3 s, ratio %4 (goal <= %5)\n")
               .arg(what)
               .arg(ours, 0, 'f', 3)
               .arg(ref, 0, 'f', 3)
               .arg(ref > 0 ? ours / ref : 0, 0, 'f', 3)
               .arg(goal);
}
} // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    int people = 50000;
    for (int i = 1; i + 1 < argc; ++i)
        if (QByteArray(argv[i]) == "--people")
            people = QByteArray(argv[i + 1]).toInt();
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
    out << contacts.size() << " contacts\n";
    report("vCard export", timeExport(contacts, ExportToFileThread::VCARD, work.filePath("a.vcf")),
        timePython("vcf", json, work.filePath("py.vcf")), 0.2);
    report("CSV export", timeExport(contacts, ExportToFileThread::CSV, work.filePath("a.csv")),
        timePython("csv", json, work.filePath("py.csv")), 0.2);
    VCardExport vcard;
    CSVExport csv;
    out << QString("writers alone, in memory: vCard %1 s, CSV %2 s\n")
               .arg(timeWriter(vcard, contacts), 0, 'f', 3)
               .arg(timeWriter(csv, contacts), 0, 'f', 3);
    qsizetype cards = 0;
    const double parse = timeParse(work.filePath("a.vcf"), cards);
    report("vCard read", parse, timePython("read", json, work.filePath("a.vcf")), 0.1);
    out << cards << " cards read\n";
    return 0;
}
