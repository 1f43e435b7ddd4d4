#pragma once

#include "app/FileSystemView.h"

// Makes every file look to the program as if it lay on a disk of another kind. Installed for the
// lifetime of the object.
//
//     SimulatedDisk disk(SimulatedDisk::Kind::NoChangeTimes);
class SimulatedDisk : public FileSystemView
{
public:
    enum class Kind {
        ChangeTimes, // as ext4: every write sets the change time, to the nanosecond
        NoChangeTimes, // as exFAT: whole-second times, the change time made from the modification time
    };
    explicit SimulatedDisk(Kind kind);
    ~SimulatedDisk() override;

    long long typeOf(const QString& path) const override;
    bool statOf(const QString& path, struct stat& st) const override;

private:
    Kind m_kind;
};
