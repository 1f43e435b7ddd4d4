#pragma once

#include <QString>

// The folder in the system's temporary folder that holds the private copies one run of the program
// makes (a decrypted manifest, a manifest read with its journal, databases staged for a write):
// "qm-run-XXXXXX", its owner's alone, marked as the program's and locked while the run lives, and
// removed with what it holds when the run ends. A run that is killed leaves it; a later start
// removes it (removeEnded), for no live run holds its lock.
class RunFolder
{
public:
    // The folder of this run, made at the first call; empty, with *why set, when it cannot be made.
    static QString path(QString* why = nullptr);
    // The template of a QTemporaryDir named name in it ("<run folder>/<name>-XXXXXX"); in the
    // system's temporary folder when the run's cannot be made, so that the maker tells why.
    static QString templateFor(const QString& name);
    // Removes this run's folder with what it holds now, when it was made, as the run's end does:
    // for a run that ends at once (on a signal, or leaving a worker that does not answer).
    static void removeNow();
    // Removes the folders that ended runs of this user left in the system's temporary folder: only
    // folders (never through a link) marked as the program's, or empty, that no live run holds.
    // How many went.
    static int removeEnded();
};
