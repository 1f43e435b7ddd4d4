#pragma once

#include "notes_media/_Notes.h"

#include <QSet>
#include <QString>

class QIODevice;

// The export of notes: one XHTML page per note, named "<note id>-<first 20 units of the summary>.html".
class NotePageWriter
{
public:
    // The page's file name: the note id and the summary with \ / : * ? " < > |, line ends, tabs
    // and NUL removed, the summary cut at 20 UTF-16 units without splitting a surrogate pair, the
    // whole name kept under 255 bytes. used holds the names of this run: a repeated name gets
    // " (2)", " (3)"... before ".html"; the result is added to used.
    static QString fileName(const _Notes& note, QSet<QString>& used);
    // The page: the title escaped inside <title>, the content (HTML already) unchanged.
    static QByteArray page(const _Notes& note);
    // Cuts text to at most max UTF-16 units, one less when the cut would split a surrogate pair.
    static QString cutUnits(const QString& text, int max);
};
