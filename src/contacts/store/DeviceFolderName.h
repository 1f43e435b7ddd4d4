#pragma once

#include <QString>

// The local database folder name preset from a backup's device name when its contacts are saved.
class DeviceFolderName
{
public:
    // The device name without the characters a folder name cannot hold (\ / : * ? " < > | and line
    // breaks and tabs). Empty when nothing usable is left: an empty name, "." or "..", or a name
    // beginning with a dot (a hidden folder), which the caller must not take as a folder.
    static QString fromDeviceName(const QString& deviceName);
};
