#pragma once

#include <QString>

// Keeps the display awake for the whole run where the platform offers such a hold. On this
// platform nothing is held: create() gives 0, the id that stands for "no assertion".
class PowerAssertion
{
public:
    // Asks the platform for a hold of the given type and name; 0 when refused or unsupported.
    static quint32 create(const QString& type, const QString& name);
    // Releases a hold made by create(); 0 is ignored.
    static void release(quint32 id);
};
