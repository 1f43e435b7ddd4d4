#include "app/DataPaths.h"
#include "app/EndSignals.h"
#include "app/HeldFolder.h"
#include "app/IdsTranslator.h"
#include "app/LogSaver.h"
#include "app/MallocTuning.h"
#include "app/PowerAssertion.h"
#include "app/RunFolder.h"
#include "app/ui/MainWindow.h"
#include "app/ui/StartUpChecks.h"
#include "app/ui/shared/PageLife.h"
#include "app/ui/shared/WorkerEnd.h"
#include "backup/ui/BackupUnlockUi.h"
#include "backup/ui/BackupWaitUi.h"
#include "device/LibDeviceBackend.h"
#include "device/ui/DeviceTips.h"

#include <QApplication>
#include <QIcon>
#include <memory>

int main(int argc, char** argv)
{
    MallocTuning::apply();
    EndSignals::install();
    HeldFolder::allowDeepWalks();
    QApplication app(argc, argv);
    app.setWindowIcon(QIcon(":/res/main_icon.png"));

    IdsTranslator translator;
    // Without the file the keys themselves are shown; nothing else to do about it.
    static_cast<void>(translator.load(":/en.qm"));
    QCoreApplication::installTranslator(&translator);

    const quint32 powerAssertion
        = PowerAssertion::create("NoDisplaySleepAssertion", "Describe Activity Type");

    // The log first, so that what readying the data folder says is kept in it.
    logsaver_install_msghandler(QDir(g_dataSaveDirPath()).absoluteFilePath("qlogs"), 10);
    g_dataSaveDir();
    // What ended runs (a killed one) left in the temporary folder goes; a live run's stays.
    RunFolder::removeEnded();

    DeviceBackend::setInstance(std::make_shared<LibDeviceBackend>());
    // Message boxes for the device list, and progress dialogs for trying backup passwords and for
    // waiting on a backup another window or program is writing.
    installDeviceTips();
    BackupUnlockUi::install();
    BackupWaitUi::install();

    int code = 0;
    {
        MainWindow window;
        window.show();

        StartUpChecks::convertOldLocalDbs();
        StartUpChecks::warnIfStorageNotWritable();

        // A signal from here on ends the program as closing its window does.
        EndSignals::setQuitsLoop(true);
        code = EndSignals::exitCode(app.exec());
        // A page's reading that waits on a disk that does not answer gets the grace, as any worker.
        if (PageLife::endAll(WorkerEnd::graceMs()))
            WorkerEnd::leave(code);
        window.leaveModelsAtExit();
    }
    EndSignals::setQuitsLoop(false);
    PowerAssertion::release(powerAssertion);
    return code;
}
