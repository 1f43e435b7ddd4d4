#pragma once

// Installs the wait for a backup folder another program or window is writing (or reading, for a
// write): a wait longer than a moment shows a progress dialog saying what it waits for (the
// process and the lock file, where a lock file's holder is waited for), kept up to date as that
// changes, whose Cancel ends the wait; a worker thread's wait is said in the progress dialog it
// reports to (see ProgressForm::ReportingScope for helper threads), whose Cancel ends it, and a
// thread's requestInterruption() ends its wait too. Called once at start-up.
namespace BackupWaitUi
{
void install();
}
