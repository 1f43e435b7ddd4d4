// The first message page of a backup of 300,000 messages as the user waits for it, whole processes:
// this program as a driver (the main window offscreen; the backup's node selected, which copies its
// files into the cache; then its messages node, which loads them into the page's models; until the
// conversation list and the first bubble page are painted; then it ends as the program does),
// against `qm-probe messages` on the same backup (the message database found through the manifest,
// copied out and loaded). Goal: at most 1.3 x. Both sides are pinned to the cores of QM_BENCH_CORES
// ("0,1" when unset, "all" for none).
//
//   bench_first_message_page [--messages N] [--rounds R]
//   bench_first_message_page --driver BACKUP      (one run of the program's side)
#include "BenchProcess.h"
#include "app/IdsTranslator.h"
#include "app/MallocTuning.h"
#include "app/ui/ItemModelBK.h"
#include "app/ui/MainWindow.h"
#include "app/ui/shared/MyTreeView.h"
#include "app/ui/shared/PageRead.h"
#include "backup/BackupManifest.h"
#include "messages/ui/BubbleViewMgr.h"
#include "messages/ui/SMSMainForm.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QTimer>
#include <functional>

namespace
{
bool python(const QStringList& args)
{
    QProcess p;
    p.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    p.setStandardOutputFile(QProcess::nullDevice());
    p.start("python3", args);
    return p.waitForFinished(-1) && p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0;
}

AbsTreeItemModel::_ItemNode* childOfKind(AbsTreeItemModel::_ItemNode* node, int kind)
{
    for (AbsTreeItemModel::_ItemNode* child : std::as_const(node->children))
        if (child->kind == kind)
            return child;
    return nullptr;
}

void select(MainWindow& w, AbsTreeItemModel::_ItemNode* node)
{
    w.ui->treeBK->setCurrentIndex(w.model().indexOfItemNode(node));
}

// Runs the window's events until ready() holds (the load and the page's reading run beside the
// window), for two minutes at most: looked at after the events that may make it so, as the window
// goes on at once once its worker has ended; the timer only bounds a wait no event ends.
bool waitUntil(const std::function<bool()>& ready)
{
    QElapsedTimer waited;
    waited.start();
    QTimer wake;
    wake.start(100);
    while (!ready() && waited.elapsed() < 120000)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    return ready();
}

// The page shown once it stands and has read its data.
QWidget* readPage(MainWindow& w)
{
    QWidget* page = nullptr;
    waitUntil([&] {
        page = w.currentPage();
        return page && page->objectName() != QLatin1String("PendingPage") && !PageRead::readingIn(page);
    });
    return page;
}

// Waits until the page's first bubble page has loaded, then paints the page once more.
bool waitPainted(SMSMainForm* page)
{
    QEventLoop loop;
    QObject::connect(page->bubbles(), &BubbleViewMgr::pageLoaded, &loop, &QEventLoop::quit);
    QTimer::singleShot(120000, &loop, &QEventLoop::quit);
    if (page->bubbles()->loadCount() == 0)
        loop.exec();
    page->repaint();
    return page->bubbles()->loadCount() > 0;
}

// With QM_BENCH_PHASES set, the driver prints when each phase ended, in milliseconds from its start.
void phase(const char* name)
{
    static QElapsedTimer clock;
    if (!clock.isValid())
        clock.start();
    if (qEnvironmentVariableIsSet("QM_BENCH_PHASES"))
        std::fprintf(stderr, "%6lld ms  %s\n", clock.elapsed(), name);
}

// The program's side: a fresh home (and so an empty cache), the window, the two selections.
int drive(int argc, char** argv, const QString& backup)
{
    phase("start");
    std::atexit([] { phase("window and page freed, exiting"); });
    MallocTuning::apply(); // as the program's main() does
    QTemporaryDir home;
    qputenv("HOME", home.path().toUtf8());
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    IdsTranslator english;
    if (english.load(":/en.qm"))
        QCoreApplication::installTranslator(&english);
    phase("application");
    MainWindow w;
    w.resize(1200, 760);
    w.show();
    phase("window shown");
    QSharedPointer<BackupManifest> manifest(
        new BackupManifest(QFileInfo(backup).absoluteFilePath(), nullptr));
    manifest->readManifestInfo();
    ItemModelBK::_BKItemNode* node = w.model().addBackup(manifest);
    select(w, node);
    AbsTreeItemModel::_ItemNode* sms = nullptr;
    waitUntil([&] { return (sms = childOfKind(node, ItemModelBK::KindSms)) != nullptr; });
    readPage(w);
    phase("backup node selected (files copied into the cache, counted)");
    if (!sms)
        return 1;
    select(w, sms);
    auto* page = qobject_cast<SMSMainForm*>(readPage(w));
    phase("messages node selected (page built, messages loaded, models filled)");
    const bool painted = page && waitPainted(page);
    phase("first bubble page loaded, page painted");
    w.leaveModelsAtExit(); // as the program's main() does once its event loop is over
    return painted ? 0 : 1;
}

int compare(int messages, int rounds)
{
    QTemporaryDir work;
    const QString db = work.filePath("sms.db"), backup = work.filePath("backup");
    std::printf("generating a backup of %d messages...\n", messages);
    std::fflush(stdout);
    if (!python({ QStringLiteral(QM_SOURCE_DIR "/tools/gen/make_sms_db.py"), "bulk", db, "--messages",
            QString::number(messages) })
        || !python({ QStringLiteral(QM_SOURCE_DIR "/tools/gen/make_backup.py"), "--sms-db", db, backup })) {
        std::fprintf(stderr, "generator failed\n");
        return 1;
    }
    std::printf("whole processes, a warm-up each, median of %d alternating runs\n", rounds);
    const Bench::Comparison c
        = Bench::compare({ Bench::onCores({ QCoreApplication::applicationFilePath(), "--driver", backup }) },
            { Bench::onCores({ QM_PROBE, "messages", backup }) }, rounds);
    Bench::report("first message page", c, "qm-probe messages", 1.3);
    return c.ours.status || c.reference.status ? 1 : c.ratio() <= 1.3 ? 0 : 3;
}
} // namespace

int main(int argc, char** argv)
{
    int messages = 300000, rounds = 5;
    for (int i = 1; i + 1 < argc; ++i) {
        const QByteArray a = argv[i];
        if (a == "--driver")
            return drive(argc, argv, QString::fromLocal8Bit(argv[i + 1]));
        if (a == "--messages")
            messages = atoi(argv[i + 1]);
        else if (a == "--rounds")
            rounds = atoi(argv[i + 1]);
    }
    QCoreApplication app(argc, argv);
    return compare(messages, rounds);
}
