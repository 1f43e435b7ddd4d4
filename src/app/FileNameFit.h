#pragma once

#include <QString>
#include <functional>

// Names cut to what a Linux disk keeps: 255 bytes of UTF-8 at most, never splitting a letter. A
// name is cut before its extension, which stays.
class FileNameFit
{
public:
    static constexpr int kMaxNameBytes = 255;

    // A file's extension, from its last dot on; empty for none, a leading dot only, or one too long
    // to leave room for a name before it.
    static QString extensionOf(const QString& name);
    // stem cut so that stem and tail together stay within maxBytes.
    static QString fitted(const QString& stem, const QString& tail, int maxBytes = kMaxNameBytes);
    // The name as the program keeps a file of a phone's path on this disk: without \ : * ? " < > |,
    // line ends and tabs ("_" for a name of those alone); a name still too long is cut before its
    // extension, with a mark of the whole name in front of it, so that two such names in one
    // folder stay two files.
    static QString localName(const QString& name);
    // Each name of the phone's relative path as localName() gives it.
    static QString localPath(const QString& path);
    // name, cut to fit when too long, or else the first "stem(n).ext" that taken() does not claim,
    // each cut the same way.
    static QString freeName(const QString& name, const std::function<bool(const QString&)>& taken);
};
