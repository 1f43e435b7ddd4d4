#pragma once

#include <QDir>
#include <QString>

// The working folder of the device backups of the restore roads, beside the data folder:
// "__quillmarrow_iosbk_temp" of the default base folder, or its sub-folder `name`. Not created here.
QDir iosbackup_temp_dir(const QString& name);
// Deletes the working folder of that name with everything in it, then the data folder's
// "__quillmarrow_iosbk_temp.path". Missing items are no error; nothing is reported.
void iosbackup_clear_temp(const QString& name);
