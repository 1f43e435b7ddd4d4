#pragma once

#include <QStringList>
#include <QTextStream>

// One sub-command of qm-probe. Each command lives in its own file and registers itself with a
// static ProbeCommand object, so commands can be added without touching the dispatcher.
class ProbeCommand
{
public:
    // Runs the command with the arguments after its name; returns the process exit code.
    using Run = int (*)(const QStringList& args, QTextStream& out, QTextStream& err);

    // Whether the command runs worker threads that report to a progress dialog, which needs the
    // widget application; the others start faster on a core application.
    enum class App { Widgets, Core };

    ProbeCommand(const char* name, const char* usage, Run run, App app = App::Widgets);

    static const ProbeCommand* find(const QString& name);
    static QStringList usages();

    const char* name;
    const char* usage;
    Run run;
    App app;
};
