#pragma once

#include "app/HeldFolder.h"

#include <QSet>
#include <QString>

// Hands out the file names of one export into one folder: each name is new to this export (compared
// without regard to case, as on case-insensitive disks) and to the folder, so two conversations
// that would carry one name never overwrite each other or a file the user kept there.
class ExportFileNames
{
public:
    explicit ExportFileNames(HeldFolder folder);

    // "stem" + ext, else "stem(2)" + ext, "stem(3)" + ext ... The stem is shortened first so that
    // the name with its number stays within a file system's 255-byte name limit.
    QString take(const QString& stem, const QString& ext);

private:
    HeldFolder m_folder;
    QSet<QString> m_taken; // lower-cased names given out
};

// The longest start of stem whose UTF-8 form has at most maxBytes bytes, never splitting a
// character; trailing white space is trimmed off.
QString g_capUtf8(const QString& stem, int maxBytes);
