#pragma once

#include <QString>

// The names an earlier version gave a phone's files on disk, where local message stores it saved
// keep them: \ : * ? " < > |, line ends and tabs were left out without a mark ("_" for a name of
// those alone), and only a name still longer than a disk keeps was cut before its extension, with
// "~" and 8 hex digits of the whole name's MD5. FileNameFit makes today's names. This rule stays
// as it was: a store of that version is found by it.
class EarlierFileName
{
public:
    static QString localName(const QString& name);
    // Each name of the phone's relative path as localName() gives it.
    static QString localPath(const QString& path);
};
