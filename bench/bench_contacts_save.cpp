// Reading and saving a generated address book (real schema and indexes, 3 phones and 2 e-mails per
// person) as the user waits for it, whole processes against the sqlite3 command line:
//   read  `qm-probe contacts` (private copy, read, count, exit) against sqlite3 running the two
//         selects of the same rows (goal: at most 2.5 x, peak memory no higher than 253 MB at 50,000);
//   save  `qm-probe save-contacts` into a fresh local store through the import thread, against
//         sqlite3 making the store and copying the same rows with INSERT ... SELECT (goal: at most 5 x).
// Runs at two sizes to show that the save grows linearly. Both sides are pinned to the cores of
// QM_BENCH_CORES ("0,1" when unset, "all" for none).
//
//   bench_contacts_save [--people N] [--small M] [--rounds R]    (defaults 50000, 10000 and 5)
#include "BenchProcess.h"
#include "contacts/store/IOSContactsDb.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

namespace
{
bool generate(const QString& dir, int people)
{
    return Bench::generate({ QStringLiteral(QM_SOURCE_DIR "/tools/gen/make_addressbook.py"), "--hashed",
        "--people", QString::number(people), dir });
}

const char* const kCliPeople
    = "select rowid, first,last,middle,prefix,suffix,organization,department,jobtitle,note,"
      "birthday,nickname from ABPerson order by rowid";
const char* const kCliValues
    = "select v.record_id,v.UID,v.property,v.value,l.value from ABMultiValue as v "
      "left join ABMultiValueLabel as l on v.label=l.rowid order by v.record_id, v.UID";

QString cliSaveScript(const QString& book)
{
    QFile schema(":/res/local_contacts_db.sql");
    schema.open(QIODevice::ReadOnly);
    return QStringLiteral("ATTACH '%1' AS ab;\nBEGIN;\n").arg(book) + QString::fromUtf8(schema.readAll())
        + "INSERT INTO contact(_id,src_id,full_name) SELECT rowid,'',trim(ifnull(First,'')||' "
          "'||ifnull(Last,'')) FROM ab.ABPerson;\n"
          "INSERT INTO data(type,contact_id,src_id,data1,data2,data3) SELECT 1,rowid,'',"
          "trim(ifnull(First,'')||' '||ifnull(Last,'')),First,Last FROM ab.ABPerson;\n"
          "INSERT INTO data(type,contact_id,src_id,data1,data2,data3) SELECT 10,rowid,'',Organization,'',''"
          " FROM ab.ABPerson;\n"
          "INSERT INTO data(type,contact_id,src_id,data1,data2,data3) SELECT 6,rowid,'',Birthday,'3',''"
          " FROM ab.ABPerson;\n"
          "INSERT INTO data(type,contact_id,src_id,data1,data2,data3) SELECT CASE v.property WHEN 3 THEN 3 "
          "ELSE 4 END,v.record_id,'',v.value,l.value,'' FROM ab.ABMultiValue AS v LEFT JOIN "
          "ab.ABMultiValueLabel AS l ON v.label=l.rowid;\nCOMMIT;\n";
}

// Removes a store folder or file left by the previous run.
struct Result {
    Bench::Comparison read, save;
};

Result measure(int people, int rounds)
{
    Result r;
    QTemporaryDir work;
    const QDir dir(work.path());
    const QDir book(dir.absoluteFilePath("book"));
    std::printf("\n%d people (generating...)\n", people);
    std::fflush(stdout);
    if (!generate(book.path(), people)) {
        std::fprintf(stderr, "generator failed\n");
        return r;
    }
    const QString bookFile = book.absoluteFilePath(IOSContactsDb::kAddressBookName);
    r.read = Bench::compare({ Bench::onCores({ QM_PROBE, "contacts", book.path() }) },
        { Bench::onCores({ "sqlite3", "-readonly", bookFile, kCliPeople, kCliValues }) }, rounds);
    Bench::report("  read", r.read, "sqlite3", 2.5);

    QFile script(dir.absoluteFilePath("save.sql"));
    script.open(QIODevice::WriteOnly);
    script.write(cliSaveScript(bookFile).toUtf8());
    script.close();
    const QString store = dir.absoluteFilePath("store"), cliStore = dir.absoluteFilePath("cli.db");
    r.save = Bench::compare(
        { Bench::onCores({ QM_PROBE, "save-contacts", book.path(), store }), {}, Bench::removing(store) },
        { Bench::onCores({ "sqlite3", cliStore, ".read " + script.fileName() }), {},
            Bench::removing(cliStore) },
        rounds);
    Bench::report("  save", r.save, "sqlite3", 5.0);
    return r;
}
} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    int people = 50000, small = 10000, rounds = 5;
    const QStringList args = app.arguments();
    for (int i = 1; i + 1 < args.size(); ++i) {
        if (args[i] == "--people")
            people = args[i + 1].toInt();
        else if (args[i] == "--small")
            small = args[i + 1].toInt();
        else if (args[i] == "--rounds")
            rounds = args[i + 1].toInt();
    }
    std::printf("whole processes, a warm-up each, median of %d alternating runs\n", rounds);
    const Result s = measure(small, rounds);
    const Result b = measure(people, rounds);
    std::printf("\nread %d people: peak %.1f KiB per contact (goal: no higher than 5.1)\n", people,
        b.read.ours.peakKb / double(people));
    std::printf("save %d people / %d people: %.2f (linear: %.1f; goal <= %.1f)\n", people, small,
        b.save.ours.seconds / s.save.ours.seconds, double(people) / small, 1.2 * people / small);
    return b.read.ours.status || b.save.ours.status ? 1 : 0;
}
