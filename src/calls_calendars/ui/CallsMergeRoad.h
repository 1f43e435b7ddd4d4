#pragma once

#include "backup/BackupManifest.h"
#include "calls_calendars/_CallHistory.h"

#include <QList>
#include <QThread>
#include <functional>
#include <memory>

class ProgressForm;

// The steps that put calls into an unlocked, parsed backup: copy its call database and address
// book (decrypted) into a private working folder of the program, merge the calls there, write the
// rewritten file back into the backup. The working folder is removed when the road ends.
class CallsMergeRoad
{
public:
    using MakeWorker = std::function<std::unique_ptr<QThread>(ProgressForm&)>;
    // Runs one worker under a progress form titled title; true when it ended with success.
    using RunWorker = std::function<bool(const QString& title, const MakeWorker& make)>;

    // The number of calls handed over, or -1 when a step stopped (its form already reported why, as
    // the first one does when a write an earlier run left in the backup cannot be settled). Every
    // step, the hold of the backup folder and its settling too, runs on a worker.
    static int run(BackupManifest& manifest, const QList<_CallHistory>& calls, const RunWorker& runWorker);

    // The backup files to copy out: the newer call store, else the older database, then the address book.
    static QList<const BackupManifest::_FileNode*> callFiles(const BackupManifest& manifest);
    // A fresh private folder (owner-only) under the data folder for decrypted copies; throws
    // std::runtime_error with the system's reason when it cannot be made.
    static QString makePrivateWorkDir();
};
