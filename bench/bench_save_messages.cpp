// Saves a generated 100,000-message modern sms.db into a fresh local message store through the
// save thread the message page uses, and compares the time with the sqlite3 command line cloning
// the same file in the same run (goal: ratio at most 4). Then times showing the message page over
// that database until its first bubble page has loaded, against loading the database into MsgData
// (goal: at most 1.5 times).
//
//   bench_save_messages [--messages N]
#include "app/ui/shared/ProgressForm.h"
#include "messages/modern/IOS6MessageDb.h"
#include "messages/store/MsgData.h"
#include "messages/ui/BackupMMSThread.h"
#include "messages/ui/BubbleViewMgr.h"
#include "messages/ui/SMSMainForm.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QTextStream>
#include <QTimer>

namespace
{
const char kSmsRel[] = "file-relay/var/mobile/Library/SMS/sms.db";

bool generate(const QString& db, int n)
{
    const QString tools = QString::fromUtf8(QM_SOURCE_DIR) + "/tools";
    QProcess gen;
    gen.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    gen.start(
        "/usr/bin/python3", { tools + "/gen/make_sms_db.py", "bulk", db, "--messages", QString::number(n) });
    return gen.waitForFinished(-1) && gen.exitCode() == 0;
}

double timeClone(const QString& db, const QString& target)
{
    QFile::remove(target);
    QProcess p;
    QElapsedTimer t;
    t.start();
    p.start("sqlite3", { db, QStringLiteral(".clone %1").arg(target) });
    p.setStandardOutputFile(QProcess::nullDevice());
    p.waitForFinished(-1);
    return t.nsecsElapsed() / 1e9;
}

double timeSave(const QList<_MsgMessage*>& messages, const QString& store)
{
    QElapsedTimer t;
    t.start();
    ProgressForm form;
    form.setQuiet(true);
    BackupMMSThread thread(QDir(store), _CountryInfo(), messages, form, nullptr);
    thread.start();
    form.exec();
    thread.wait();
    return t.nsecsElapsed() / 1e9;
}

double timeLoad(const QDir& folder)
{
    QElapsedTimer t;
    t.start();
    MsgData data;
    IOS6MessageDb reader(folder, _CountryInfo(), false);
    reader.messages(data, 0);
    return t.nsecsElapsed() / 1e9;
}

// From the constructor to the first bubble page loaded in a shown page.
double timePage(const QDir& folder)
{
    QElapsedTimer t;
    t.start();
    SMSMainForm page(folder, nullptr, nullptr);
    page.resize(1100, 700);
    page.show();
    QEventLoop loop;
    QObject::connect(page.bubbles(), &BubbleViewMgr::pageLoaded, &loop, &QEventLoop::quit);
    QTimer::singleShot(60000, &loop, &QEventLoop::quit);
    if (page.bubbles()->loadCount() == 0)
        loop.exec();
    return t.nsecsElapsed() / 1e9;
}
} // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    QTextStream out(stdout);
    int n = 100000;
    const QStringList args = app.arguments();
    for (int i = 1; i + 1 < args.size(); ++i)
        if (args[i] == "--messages")
            n = args[i + 1].toInt();
    QTemporaryDir work;
    const QDir folder(work.filePath("source"));
    const QString db = folder.absoluteFilePath(kSmsRel);
    QDir().mkpath(QFileInfo(db).absolutePath());
    out << "generating " << n << " messages..." << Qt::endl;
    if (!generate(db, n)) {
        out << "generator failed" << Qt::endl;
        return 1;
    }
    MsgData data;
    IOS6MessageDb(folder, _CountryInfo(), false).messages(data, 0);
    const QList<_MsgMessage*> messages = data.messages();

    timeClone(db, work.filePath("warm.db"));
    double clone = 1e9, save = 1e9;
    for (int round = 0; round < 2; ++round) {
        clone = qMin(clone, timeClone(db, work.filePath("clone.db")));
        save = qMin(save, timeSave(messages, work.filePath(QStringLiteral("store%1").arg(round))));
    }
    const qint64 saved = IOS6MessageDb(QDir(work.filePath("store0")), _CountryInfo(), false).total();
    const double load = timeLoad(folder);
    const double page = timePage(folder);

    out << QString("messages saved:  %1 of %2").arg(saved).arg(messages.size()) << Qt::endl;
    out << QString("sqlite3 .clone:  %1 s").arg(clone, 0, 'f', 3) << Qt::endl;
    out << QString("save thread:     %1 s").arg(save, 0, 'f', 3) << Qt::endl;
    out << QString("save ratio:      %1 (goal 4.0)").arg(save / clone, 0, 'f', 2) << Qt::endl;
    out << QString("MsgData load:    %1 s").arg(load, 0, 'f', 3) << Qt::endl;
    out << QString("page shown:      %1 s").arg(page, 0, 'f', 3) << Qt::endl;
    out << QString("page ratio:      %1 (goal 1.5)").arg(page / load, 0, 'f', 2) << Qt::endl;
    return save <= 4.0 * clone && page <= 1.5 * load ? 0 : 3;
}
