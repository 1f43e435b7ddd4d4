#pragma once

#include <QString>

// The kind of a device backup protocol run.
enum backup2tool_op : qint32 { backup2tool_backup = 0, backup2tool_restore = 1 };

// The request of one device backup or restore run. The flags matter for a restore only.
struct _backup2tool_req {
    explicit _backup2tool_req(backup2tool_op op)
        : op(op)
    {
    }

    backup2tool_op op;
    bool sparseOptions = false;
    bool restoreSystemFiles = true;
    bool shouldReboot = true;
    bool dontCopyBackup = true;
    bool preserveSettings = true;
    bool removeItemsNotRestored = false;
    QString password;
};
