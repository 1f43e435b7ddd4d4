// Reads a generated address book (real schema and indexes, 3 phones and 2 e-mails per person) and
// saves it into a fresh local contacts store through the import thread, each timed against the
// sqlite3 command line doing the same reads and INSERT ... SELECT copies in the same run. Runs at
// two sizes to show that the save grows linearly.
//
//   bench_contacts_save [--people N] [--small M]      (defaults 50000 and 10000)
#include "app/IdsTranslator.h"
#include "app/ui/shared/ProgressForm.h"
#include "contacts/store/IOSContactCombineRule.h"
#include "contacts/store/IOSContactsDb.h"
#include "contacts/store/LocalContactsDb.h"
#include "contacts/ui/BackupContactsThread.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QTextStream>

namespace
{
QTextStream out(stdout);

bool generate(const QString& dir, int people)
{
    const QString tools = QString::fromUtf8(QM_SOURCE_DIR) + "/tools";
    QProcess gen;
    gen.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    gen.setStandardOutputFile(QProcess::nullDevice());
    gen.start("python3",
        { tools + "/gen/make_addressbook.py", "--hashed", "--people", QString::number(people), dir });
    return gen.waitForFinished(-1) && gen.exitCode() == 0;
}

double timeCli(const QStringList& args, const QString& script)
{
    QProcess p;
    p.setStandardOutputFile(QProcess::nullDevice());
    QElapsedTimer t;
    t.start();
    p.start("sqlite3", args);
    p.write(script.toUtf8());
    p.closeWriteChannel();
    p.waitForFinished(-1);
    return t.nsecsElapsed() / 1e9;
}

const char* const kCliReads
    = "select rowid, first,last,middle,prefix,suffix,organization,department,jobtitle,note,"
      "birthday,nickname from ABPerson order by rowid;\n"
      "select v.record_id,v.UID,v.property,v.value,l.value from ABMultiValue as v "
      "left join ABMultiValueLabel as l on v.label=l.rowid order by v.record_id, v.UID;\n";

QString cliSaveScript(const QString& book)
{
    QFile schema(":/res/local_contacts_db.sql");
    schema.open(QIODevice::ReadOnly);
    return QStringLiteral("ATTACH '%1' AS ab;\nBEGIN;\n").arg(book) + QString::fromUtf8(schema.readAll())
        + "INSERT INTO contact(_id,src_id,full_name) SELECT rowid,'',trim(ifnull(First,'')||' "
          "'||ifnull(Last,'')) "
          "FROM ab.ABPerson;\n"
          "INSERT INTO data(type,contact_id,src_id,data1,data2,data3) SELECT 1,rowid,'',"
          "trim(ifnull(First,'')||' '||ifnull(Last,'')),First,Last FROM ab.ABPerson;\n"
          "INSERT INTO data(type,contact_id,src_id,data1,data2,data3) SELECT 10,rowid,'',Organization,'',''"
          " FROM ab.ABPerson;\n"
          "INSERT INTO data(type,contact_id,src_id,data1,data2,data3) SELECT 6,rowid,'',Birthday,'3',''"
          " FROM ab.ABPerson;\n"
          "INSERT INTO data(type,contact_id,src_id,data1,data2,data3) SELECT CASE v.property WHEN 3 THEN 3 "
          "ELSE 4 "
          "END,v.record_id,'',v.value,l.value,'' FROM ab.ABMultiValue AS v LEFT JOIN ab.ABMultiValueLabel AS "
          "l "
          "ON v.label=l.rowid;\nCOMMIT;\n";
}

struct Times {
    double read = 0, cliRead = 0, save = 0, cliSave = 0;
};

Times measure(int people)
{
    Times t;
    QTemporaryDir work;
    const QDir dir(work.path());
    out << "generating " << people << " people..." << Qt::endl;
    if (!generate(dir.path(), people))
        return t;
    const QString book = dir.absoluteFilePath(IOSContactsDb::kAddressBookName);
    t.cliRead = timeCli({ "-readonly", book }, kCliReads);
    QElapsedTimer timer;
    timer.start();
    const QList<pim::_Contact> contacts = IOSContactsDb(dir).contacts();
    t.read = timer.nsecsElapsed() / 1e9;
    const QString cliStore = dir.absoluteFilePath("cli.db");
    t.cliSave = timeCli({ cliStore }, cliSaveScript(book));
    LocalContactsDb store(dir.absoluteFilePath("contacts.db"),
        QSharedPointer<AbsContactCombineRule>(new IOSContactCombineRule));
    ProgressForm form;
    form.setQuiet(true);
    timer.restart();
    BackupContactsThread thread(&store, contacts, &form);
    thread.start();
    form.exec();
    thread.wait();
    t.save = timer.nsecsElapsed() / 1e9;
    out << "  " << form.resultText() << Qt::endl;
    out << QString("  read %1 s (sqlite3 %2 s, ratio %3)\n")
               .arg(t.read, 0, 'f', 3)
               .arg(t.cliRead, 0, 'f', 3)
               .arg(t.read / t.cliRead, 0, 'f', 2);
    out << QString("  save %1 s (sqlite3 %2 s, ratio %3)\n")
               .arg(t.save, 0, 'f', 3)
               .arg(t.cliSave, 0, 'f', 3)
               .arg(t.save / t.cliSave, 0, 'f', 2);
    return t;
}
} // namespace

int main(int argc, char** argv)
{
    qputenv(
        "QT_QPA_PLATFORM", qgetenv("QT_QPA_PLATFORM").isEmpty() ? "offscreen" : qgetenv("QT_QPA_PLATFORM"));
    QApplication app(argc, argv);
    IdsTranslator translator;
    if (translator.load(":/en.qm"))
        QCoreApplication::installTranslator(&translator);
    int people = 50000, small = 10000;
    const QStringList args = app.arguments();
    for (int i = 1; i + 1 < args.size(); ++i) {
        if (args[i] == "--people")
            people = args[i + 1].toInt();
        else if (args[i] == "--small")
            small = args[i + 1].toInt();
    }
    const Times s = measure(small);
    const Times b = measure(people);
    out << QString("read ratio %1 (goal <= 2), save ratio %2 (goal <= 5), save %3 people / %4 people: %5 "
                   "(linear: %6; goal <= 6)\n")
               .arg(b.read / b.cliRead, 0, 'f', 2)
               .arg(b.save / b.cliSave, 0, 'f', 2)
               .arg(people)
               .arg(small)
               .arg(b.save / s.save, 0, 'f', 2)
               .arg(double(people) / small, 0, 'f', 1);
    return 0;
}
