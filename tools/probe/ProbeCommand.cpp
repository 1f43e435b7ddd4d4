#include "ProbeCommand.h"

#include <vector>

namespace
{
std::vector<const ProbeCommand*>& registry()
{
    static std::vector<const ProbeCommand*> commands;
    return commands;
}
} // namespace

ProbeCommand::ProbeCommand(const char* name, const char* usage, Run run, App app)
    : name(name)
    , usage(usage)
    , run(run)
    , app(app)
{
    registry().push_back(this);
}

const ProbeCommand* ProbeCommand::find(const QString& name)
{
    for (const ProbeCommand* c : registry())
        if (name == QLatin1String(c->name))
            return c;
    return nullptr;
}

QStringList ProbeCommand::usages()
{
    QStringList lines;
    for (const ProbeCommand* c : registry())
        lines << QString("  qm-probe %1 %2").arg(QLatin1String(c->name), QLatin1String(c->usage));
    lines.sort();
    return lines;
}
