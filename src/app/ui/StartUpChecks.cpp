#include "app/ui/StartUpChecks.h"

#include "app/AppInfo.h"
#include "app/DataPaths.h"
#include "app/ui/UpdateLocalDbThread.h"
#include "app/ui/shared/ProgressForm.h"
#include "app/ui/shared/Tips.h"
#include "app/ui/shared/WorkerEnd.h"

#include <QFileInfo>
#include <QObject>

bool StartUpChecks::convertOldLocalDbs()
{
    if (UpdateLocalDbThread::firstFolderToUpdate().isEmpty())
        return false;
    ProgressForm form;
    form.setCancelable(false);
    UpdateLocalDbThread thread(form);
    thread.start();
    form.exec();
    WorkerEnd::waitFor(thread, form.cancelled.token());
    return true;
}

bool StartUpChecks::warnIfStorageNotWritable()
{
    if (QFileInfo(g_defaultSaveDirPath()).isWritable())
        return false;
    Tips::warning(QObject::tr("Please allow Quillmarrow to access storage on this computer. "
                              "<a href=\"%1\">How to?</a>")
                      .arg(AppInfo::storageHowToPage()));
    return true;
}
