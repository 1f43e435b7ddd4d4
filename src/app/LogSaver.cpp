#include "app/LogSaver.h"

#include "app/Clock.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QStringList>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <sys/stat.h>

namespace
{

// Written once before the handler is installed, only read afterwards.
QString g_logRoot;

void qtMessageHandler(QtMsgType type, const QMessageLogContext&, const QString& message)
{
    log_output(type, message.toUtf8().constData());
}

// Later lines of a message of several lines are indented, so every line that begins with "(" is the
// start of an entry and a message cannot forge one.
QString continuedLines(const QString& text)
{
    static const QRegularExpression lineBreak(QStringLiteral("\r\n|\r|\n"));
    QString body = text;
    while (body.endsWith('\n') || body.endsWith('\r'))
        body.chop(1);
    if (!body.contains('\n') && !body.contains('\r'))
        return body;
    return body.split(lineBreak).join(QStringLiteral("\n    "));
}

// Makes the missing folders of path open to their owner only: the log lives in the program's data
// folder, which a road that finds it removed must never make again open to other users.
void makePrivatePath(const QString& path)
{
    const QFileInfo info(path);
    if (info.exists() || info.isSymLink() || info.isRoot())
        return;
    makePrivatePath(info.absolutePath());
    ::mkdir(QFile::encodeName(info.absoluteFilePath()).constData(), 0700);
}

} // namespace

QString logsaver_root()
{
    return g_logRoot;
}

void logsaver_install_msghandler(const QString& rootPath, int keepCount)
{
    g_logRoot = rootPath;
    QDir dir(rootPath);
    QStringList files = dir.entryList(QDir::Files, QDir::NoSort);
    // Plain code-unit order: with "log-yyyyMMdd.txt" names that is date order.
    std::sort(files.begin(), files.end(), [](const QString& a, const QString& b) { return a < b; });
    const int surplus = int(files.size()) - std::max(keepCount, 0);
    for (int i = 0; i < surplus; ++i)
        dir.remove(files[i]);
    qInstallMessageHandler(qtMessageHandler);
}

QString logsaver_format_line(QtMsgType type, const QTime& time, const QString& text)
{
    const char* pattern;
    switch (type) {
    case QtDebugMsg:
        pattern = "(D %1) %2\n";
        break;
    case QtWarningMsg:
        pattern = "(W %1) %2\n";
        break;
    case QtCriticalMsg:
        pattern = "(C %1) %2\n";
        break;
    case QtFatalMsg:
        pattern = "(F %1) %2\n";
        break;
    default:
        pattern = "(%1) %2\n";
        break;
    }
    // Two arguments in one call, so a "%1" inside the text is not replaced again.
    return QString::fromLatin1(pattern).arg(time.toString("hh:mm:ss"), continuedLines(text));
}

void log_output(QtMsgType type, const char* message)
{
    const char* raw = message ? message : "";
    if (type == QtDebugMsg) {
        std::fputs(raw, stdout);
        std::fputc('\n', stdout);
        std::fflush(stdout);
    }
    const QString root = g_logRoot;
    if (!root.isEmpty()) {
        // One clock reading, so a line written at midnight lands in the file of its own date.
        const QDateTime now = Clock::now();
        const QString name = QString("log-%1.txt").arg(now.date().toString("yyyyMMdd"));
        QDir dir(root);
        if (!dir.exists())
            makePrivatePath(root);
        QFile file(dir.absoluteFilePath(name));
        if (file.open(QIODevice::WriteOnly | QIODevice::Append)) {
            file.write(logsaver_format_line(type, now.time(), QString::fromUtf8(raw)).toUtf8());
            file.close();
        }
    }
    if (type == QtFatalMsg)
        std::abort();
}
