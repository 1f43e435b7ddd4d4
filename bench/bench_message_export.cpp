// Times the message export of a generated 100,000-message modern sms.db as the user waits for it
// (the export thread under its progress dialog, the model already loaded by the message page),
// each in the same run as the sqlite3 command line writing the same joined rows:
//   CSV  against sqlite3 -csv  (limit 2x)
//   HTML against sqlite3 -html (limit 3x; no attachments in the generated data)
//   PDF  of 10,000 messages, reported as pages per second.
//
//   bench_message_export [--messages N] [--pdf-messages N]
#include "app/ui/shared/ProgressForm.h"
#include "messages/modern/IOS6MessageDb.h"
#include "messages/store/MsgData.h"
#include "messages/ui/ExportMessagesThread.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QTextStream>
#include <algorithm>

namespace
{
const char kSmsRel[] = "file-relay/var/mobile/Library/SMS/sms.db";
const char kJoinedRows[]
    = "select datetime(m.date + 978307200, 'unixepoch'), m.is_from_me, c.chat_identifier, h.id, m.text "
      "from message as m join chat_message_join as j on j.message_id = m.rowid "
      "join chat as c on c.rowid = j.chat_id left join handle as h on h.rowid = m.handle_id order by m.date";

double timeCli(const QString& db, const QString& mode, const QString& out)
{
    QProcess p;
    p.setStandardOutputFile(out);
    QElapsedTimer t;
    t.start();
    p.start("sqlite3", { mode, db, kJoinedRows });
    p.waitForFinished(-1);
    return t.nsecsElapsed() / 1e9;
}

double timeExport(
    const QList<_MsgMessage*>& messages, const QString& out, ExportMessagesThread::FormatType type)
{
    QFileInfo info(out);
    if (info.isDir())
        QDir(out).removeRecursively();
    else
        QFile::remove(out);
    QElapsedTimer t;
    t.start();
    ProgressForm form;
    form.setQuiet(true);
    ExportMessagesThread thread(messages, out, type, form);
    thread.start();
    const int result = form.exec();
    thread.wait();
    const double s = t.nsecsElapsed() / 1e9;
    if (result != 1)
        QTextStream(stdout) << "export failed: " << form.resultText() << Qt::endl;
    return s;
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
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QApplication::setFont(QFont("DejaVu Sans"));
    QTextStream out(stdout);
    int n = 100000;
    int pdfN = 10000;
    const QStringList args = app.arguments();
    for (int i = 1; i + 1 < args.size(); ++i) {
        if (args[i] == "--messages")
            n = args[i + 1].toInt();
        else if (args[i] == "--pdf-messages")
            pdfN = args[i + 1].toInt();
    }
    QTemporaryDir work;
    const QDir folder(work.path());
    const QString db = folder.absoluteFilePath(kSmsRel);
    QDir().mkpath(QFileInfo(db).absolutePath());
    out << "generating " << n << " messages..." << Qt::endl;
    QProcess gen;
    gen.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    gen.setStandardOutputFile(QProcess::nullDevice());
    gen.start("python3",
        { QString::fromUtf8(QM_SOURCE_DIR) + "/tools/gen/make_sms_db.py", "bulk", db, "--messages",
            QString::number(n) });
    if (!gen.waitForFinished(-1) || gen.exitCode() != 0) {
        out << "generator failed" << Qt::endl;
        return 1;
    }
    MsgData data;
    IOS6MessageDb reader(folder, _CountryInfo(), false);
    reader.messages(data, 0);
    const QList<_MsgMessage*> messages = data.messages();
    out << "messages loaded: " << messages.size() << Qt::endl;

    const QString cliOut = folder.absoluteFilePath("cli.out");
    timeCli(db, "-csv", cliOut); // warm the page cache
    double csvCli = 1e9, csvExp = 1e9, htmlCli = 1e9, htmlExp = 1e9;
    for (int round = 0; round < 2; ++round) {
        csvCli = std::min(csvCli, timeCli(db, "-csv", cliOut));
        csvExp = std::min(
            csvExp, timeExport(messages, folder.absoluteFilePath("out.csv"), ExportMessagesThread::Csv));
        htmlCli = std::min(htmlCli, timeCli(db, "-html", cliOut));
        htmlExp = std::min(
            htmlExp, timeExport(messages, folder.absoluteFilePath("html"), ExportMessagesThread::Html));
    }
    QList<_MsgMessage*> pdfList = messages;
    std::sort(pdfList.begin(), pdfList.end(), [](auto* a, auto* b) { return a->rowid < b->rowid; });
    pdfList = pdfList.mid(0, pdfN);
    const double pdf = timeExport(pdfList, folder.absoluteFilePath("pdf"), ExportMessagesThread::Pdf);
    const int pages = pdfPages(folder.absoluteFilePath("pdf"));

    out << QString("CSV  export: %1 s, sqlite3 -csv:  %2 s, ratio %3 (limit 2.0)")
               .arg(csvExp, 0, 'f', 3)
               .arg(csvCli, 0, 'f', 3)
               .arg(csvExp / csvCli, 0, 'f', 2)
        << Qt::endl;
    out << QString("HTML export: %1 s, sqlite3 -html: %2 s, ratio %3 (limit 3.0)")
               .arg(htmlExp, 0, 'f', 3)
               .arg(htmlCli, 0, 'f', 3)
               .arg(htmlExp / htmlCli, 0, 'f', 2)
        << Qt::endl;
    out << QString("PDF  export of %1 messages: %2 s, %3 pages, %4 pages/s")
               .arg(pdfList.size())
               .arg(pdf, 0, 'f', 3)
               .arg(pages)
               .arg(pages / pdf, 0, 'f', 1)
        << Qt::endl;
    return csvExp <= 2.0 * csvCli && htmlExp <= 3.0 * htmlCli ? 0 : 3;
}
