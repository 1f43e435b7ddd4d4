#pragma once

#include "messages/store/MsgAttachment.h"
#include "messages/store/MsgData.h"

#include <QString>

class ProgressForm;
class QThread;

// Helpers of the message page tests.
namespace MsgUiFixtures
{

// Every message of the modern database in folder's cache layout (read in place).
MsgData loadFolder(const QString& folder);
// Starts the thread, runs the (quiet) dialog, waits for the thread; returns exec()'s result.
int runQuiet(ProgressForm& form, QThread& thread);
// Runs the worker with the dialog's cancelled flag already set (as after a confirmed cancel, which
// ends the dialog itself); returns once the worker has stopped.
void runCancelled(ProgressForm& form, QThread& thread);
// A cache folder holding a copy of the magnet iOS 13 sms.db, or empty when ../shared is absent.
QString magnetCache();
// The file's bytes, empty when unreadable.
QByteArray bytesOf(const QString& path);
// An attachment as a backup's load leaves one whose stored copy was cut short: the device file
// "~/Library/SMS/Attachments/<folder>/<name>", its copy in a fresh folder holding "first half",
// and why it is not what the phone wrote, "The stored copy /bk/<folder> is not the file the phone
// wrote: it ends without its padding."; empty (no file) when the copy cannot be written.
_MsgAttachment cutAttachment(const QString& folder, const QString& name, qint64 rowid);

} // namespace MsgUiFixtures
