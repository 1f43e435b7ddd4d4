#pragma once

#include <QString>

// The files the user knows, by the private copies the program reads in their place (the copies of
// a backup's stored files in its cache, the probe's copies of the files it is given), so that a
// text naming a copy names the file instead. Process-wide; safe from any thread.
class PrivateCopyNames
{
public:
    // Which texts name the original for the copy: every text, or only the errors of the database
    // the copy is (what the program wrote to the copy, say, is told of the copy).
    enum class Texts { All, DatabaseErrors };
    // copy is read in place of original; record, when given, tells original ("Record: HomeDomain
    // Library/SMS/sms.db") on a line of its own after a text that names it. A later note of the same
    // copy replaces the earlier one.
    static void note(const QString& copy, const QString& original, const QString& record = QString(),
        Texts texts = Texts::All);
    // copy is the program's own work copy of of (a private copy itself, or a file the user gave):
    // database errors that name it name of's original (of, where none is noted), never the work
    // copy, which does not outlive the task.
    static void noteWorkCopy(const QString& copy, const QString& of);
    // text with each private copy named by its original (of a database error, every copy; else those
    // noted for all texts), followed by the record of each original it then names, unless it already
    // gives that record.
    static QString userNames(QString text, Texts kind = Texts::All);
};
