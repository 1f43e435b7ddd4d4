#pragma once

#include <QString>

// Opens web addresses and folders with the desktop. When the desktop cannot open one, the user is
// told in a box whose text holds the address or folder, ready to be copied. GUI thread only.
class DesktopOpener
{
public:
    // True when the desktop took it.
    static bool openLink(const QString& address);
    static bool openFileOrFolder(const QString& path);
};
