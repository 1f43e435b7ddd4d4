// The message export of a generated 100,000-message modern sms.db as whole processes:
// `qm-probe export-messages` (private copy, load, export through the export thread, exit) against
// the sqlite3 command line writing the same joined rows:
//   CSV  against sqlite3 -csv  (goal: at most 2 x)
//   HTML against sqlite3 -html (goal: at most 2.5 x; no attachments in the generated data)
//   PDF  of a 10,000-message database, reported as pages per second.
// Both sides are pinned to the cores of QM_BENCH_CORES ("0,1" when unset, "all" for none).
//
//   bench_message_export [--messages N] [--pdf-messages N] [--rounds R]
#include "BenchProcess.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>

namespace
{
const char kSmsRel[] = "file-relay/var/mobile/Library/SMS/sms.db";
const char kJoinedRows[]
    = "select datetime(m.date + 978307200, 'unixepoch'), m.is_from_me, c.chat_identifier, h.id, m.text "
      "from message as m join chat_message_join as j on j.message_id = m.rowid "
      "join chat as c on c.rowid = j.chat_id left join handle as h on h.rowid = m.handle_id order by m.date";

bool generate(const QString& db, int n)
{
    QDir().mkpath(QFileInfo(db).absolutePath());
    return Bench::generate({ QStringLiteral(QM_SOURCE_DIR "/tools/gen/make_sms_db.py"), "bulk", db,
        "--messages", QString::number(n) });
}

Bench::Command exportCommand(const QString& format, const QString& src, const QString& out)
{
    return { Bench::onCores({ QM_PROBE, "export-messages", "--format", format, src, out }), {},
        Bench::removing(out) };
}

int pdfPages(const QString& folder)
{
    int pages = 0;
    for (const QFileInfo& f : QDir(folder).entryInfoList({ "*.pdf" }, QDir::Files)) {
        QProcess p;
        p.start("pdfinfo", { f.absoluteFilePath() });
        p.waitForFinished(-1);
        for (const QString& line : QString::fromUtf8(p.readAllStandardOutput()).split('\n'))
            if (line.startsWith("Pages:"))
                pages += line.mid(6).trimmed().toInt();
    }
    return pages;
}
} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    int n = 100000, pdfN = 10000, rounds = 5;
    const QStringList args = app.arguments();
    for (int i = 1; i + 1 < args.size(); ++i) {
        if (args[i] == "--messages")
            n = args[i + 1].toInt();
        else if (args[i] == "--pdf-messages")
            pdfN = args[i + 1].toInt();
        else if (args[i] == "--rounds")
            rounds = args[i + 1].toInt();
    }
    QTemporaryDir work;
    const QDir dir(work.path());
    const QString src = dir.absoluteFilePath("source"), db = QDir(src).absoluteFilePath(kSmsRel);
    const QString pdfSrc = dir.absoluteFilePath("pdf-source");
    std::printf("generating %d and %d messages...\n", n, pdfN);
    std::fflush(stdout);
    if (!generate(db, n) || !generate(QDir(pdfSrc).absoluteFilePath(kSmsRel), pdfN)) {
        std::fprintf(stderr, "generator failed\n");
        return 1;
    }
    std::printf("%d messages, whole processes, a warm-up each, median of %d alternating runs\n", n, rounds);
    const QString cliOut = dir.absoluteFilePath("cli.out");
    const Bench::Comparison csv = Bench::compare(exportCommand("csv", src, dir.absoluteFilePath("out.csv")),
        { Bench::onCores({ "sqlite3", "-csv", db, kJoinedRows }), cliOut }, rounds);
    Bench::report("CSV  export", csv, "sqlite3 -csv", 2.0);
    const Bench::Comparison html = Bench::compare(exportCommand("html", src, dir.absoluteFilePath("html")),
        { Bench::onCores({ "sqlite3", "-html", db, kJoinedRows }), cliOut }, rounds);
    Bench::report("HTML export", html, "sqlite3 -html", 2.5);

    const QString pdfOut = dir.absoluteFilePath("pdf");
    const Bench::Run pdf = Bench::runCommand(exportCommand("pdf", pdfSrc, pdfOut));
    const int pages = pdfPages(pdfOut);
    std::printf("PDF  export of %d messages: %.3f s, %d pages, %.1f pages/s, peak %ld KB; load %s\n", pdfN,
        pdf.seconds, pages, pages / pdf.seconds, pdf.peakKb, qPrintable(Bench::load()));
    const bool met = csv.ratio() <= 2.0 && html.ratio() <= 2.5;
    return csv.ours.status || html.ours.status || pdf.status ? 1 : met ? 0 : 3;
}
