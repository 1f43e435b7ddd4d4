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
    // The name as the program keeps a file of a phone's path on a disk: without \ : * ? " < > | and
    // control characters, without dots and spaces at its end, and never one of the names Windows
    // keeps for its devices (AUX, CON, NUL, PRN, COM1 to COM9, LPT1 to LPT9, with any extension), as
    // NTFS and FAT disks refuse them; cut before its extension when longer than a disk keeps. A name
    // changed so, and one that already looks like such a changed name, gets a mark of the whole name
    // ("~" and 32 hex digits of its SHA-256) before its extension, so that no two names ever become
    // one file. "", "." and ".." stay: they are steps of a path, judged where it is confined.
    static QString localName(const QString& name);
    // The same, and with letters beyond ASCII left out too: for a disk that takes no others.
    static QString asciiName(const QString& name);
    // made, a name made from given, as it stands when the same and given does not look like a changed
    // name; else with the mark of given before its extension, cut to fit a disk: a made name never
    // takes the name of another file, nor another made name's.
    static QString markedIfChanged(const QString& given, const QString& made);
    // name with its own mark before its extension, cut to fit: a name no other file's takes.
    static QString marked(const QString& name);
    // The last form a name is fitted to for a disk that refuses the others: ASCII, marked with the
    // whole name, its extension kept when short, kMaxShortBytes at most.
    static constexpr int kMaxShortBytes = 64;
    static QString shortName(const QString& name);
    // Each name of the phone's relative path as localName() gives it.
    static QString localPath(const QString& path);
    // name, cut to fit when too long, or else the first "stem(n).ext" that taken() does not claim,
    // each cut the same way.
    static QString freeName(const QString& name, const std::function<bool(const QString&)>& taken);

private:
    static QString fit(const QString& name, bool asciiOnly);
};
