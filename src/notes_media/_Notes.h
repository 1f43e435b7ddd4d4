#pragma once

#include <QDateTime>
#include <QString>

// One note.
class _Notes
{
public:
    QString title;
    QString summary; // the short text the source gives for the note
    QString content; // the note's HTML
    QString srcId; // the note's id in the database it was read from
    QDateTime createDate;
    QDateTime modifiedDate;
    QString devId;

    // Identity of a note in the local store: lower-case hex MD5 over the UTF-8 title and content,
    // the title's length in front so that ("ab", "c") and ("a", "bc") differ.
    QString toHash() const;
};
