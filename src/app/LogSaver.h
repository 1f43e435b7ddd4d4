#pragma once

#include <QString>
#include <QTime>
#include <QtGlobal>

// The program's log: every Qt message (qDebug, qWarning, qCritical, qFatal) of every thread is
// appended as one UTF-8 line to "log-yyyyMMdd.txt" in the log folder:
//   "(D hh:mm:ss) text"  debug (also printed unchanged to standard output)
//   "(W hh:mm:ss) text"  warning
//   "(C hh:mm:ss) text"  critical
//   "(F hh:mm:ss) text"  fatal, after which the process aborts
//   "(hh:mm:ss) text"    anything else
// A text of several lines continues on lines indented by four spaces, so each entry still starts
// its own line with "(".

// Sets the log folder, deletes all but the last keepCount regular files of it by name order (with
// the dated names, the newest days stay), then installs the handler. The folder is made by the
// first message, not here.
void logsaver_install_msghandler(const QString& rootPath, int keepCount);

// The handler body: message is the UTF-8 text. Failures are silent: any report would come back here.
void log_output(QtMsgType type, const char* message);

// The line log_output writes, line feed included.
QString logsaver_format_line(QtMsgType type, const QTime& time, const QString& text);

// The folder set by logsaver_install_msghandler.
QString logsaver_root();
