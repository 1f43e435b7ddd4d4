#include "ProbeCommand.h"
#include "app/EndSignals.h"
#include "app/HeldFolder.h"
#include "app/IdsTranslator.h"
#include "app/MallocTuning.h"
#include "app/PrivateCopyNames.h"
#include "app/RunFolder.h"
#include "backup/BackupManifest.h"
#include "device/LibDeviceBackend.h"

#include <QApplication>
#include <QFile>
#include <exception>
#include <memory>

// Developer probe: inspects backups and databases from the command line for tests and benchmarks.
int main(int argc, char** argv)
{
    MallocTuning::apply();
    // The probe may be in the middle of its work: a signal removes its private copies and ends it.
    EndSignals::install();
    // The probe's own work folders (made where QTemporaryDir makes them by default) are private
    // copies too: they go into the run's folder, and with it however the probe ends.
    if (const QString run = RunFolder::path(); !run.isEmpty())
        qputenv("TMPDIR", QFile::encodeName(run));
    HeldFolder::allowDeepWalks();
    const ProbeCommand* command = argc > 1 ? ProbeCommand::find(QString::fromLocal8Bit(argv[1])) : nullptr;
    std::unique_ptr<QCoreApplication> app;
    if (command && command->app == ProbeCommand::App::Core)
        app = std::make_unique<QCoreApplication>(argc, argv);
    else {
        // The worker threads report to the program's progress dialog: run without a screen.
        if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
            qputenv("QT_QPA_PLATFORM", "offscreen");
        app = std::make_unique<QApplication>(argc, argv);
    }
    // Texts the threads report are shown in English, as in the program.
    IdsTranslator translator;
    static_cast<void>(translator.load(":/en.qm"));
    QCoreApplication::installTranslator(&translator);
    DeviceBackend::setInstance(std::make_shared<LibDeviceBackend>());
    QTextStream out(stdout);
    QTextStream err(stderr);
    const QStringList args = app->arguments().mid(1);
    if (!command) {
        if (!args.isEmpty())
            err << "qm-probe: unknown command " << args.first() << "\n";
        err << "usage:\n" << ProbeCommand::usages().join("\n") << "\n";
        return 2;
    }
    try {
        return command->run(args.mid(1), out, err);
    } catch (const std::exception& e) {
        out.flush();
        // Told as it holds now: a private copy of the run that a text names is gone with the run.
        err << "qm-probe " << command->name << ": "
            << PrivateCopyNames::userNames(BackupManifest::NotAsWritten::toldNow(e)) << "\n";
        return 1;
    }
}
