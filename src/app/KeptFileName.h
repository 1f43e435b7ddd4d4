#pragma once

#include <QString>

class HeldFolder;

// The names the program gives the copies of a phone's files it keeps for its readers (a store of
// its own, a backup's cache): the phone's own name wherever the disk takes it, else the name
// FileNameFit::localName() fits to it (marked with the whole name). Readers find a copy by either,
// the phone's own first: each stands for that one name of the phone, never for another's.
class KeptFileName
{
public:
    // name as it is when a copy may be kept under it: no control character, no longer than a disk
    // keeps, not a step of a path, and nothing that looks like a mark (it could then be taken for
    // another name's fitted one). Empty when it may not.
    static QString plain(const QString& name);
    // The name a copy of the phone's name takes where the disk finds another entry by the phone's
    // own (a disk that ignores case): the fitted one; for a name kept as it is, the name marked.
    static QString aside(const QString& name);
    // The local name of the phone's name inside the folder at folderPath, as a write gave it. A name
    // kept as it is: its aside() name where that stands, else the name, else an ASCII form that
    // stands (a disk that refused the name's letters). Another: the phone's own where an entry stands
    // under that very name, else a fitted form that stands, else the phone's own where the disk finds
    // an entry by it (another case of it: the one file an earlier version kept for both names, so
    // both records'), else the fitted one.
    static QString standing(const QString& folderPath, const QString& name);
    // The local name a write gives the phone's name inside folder: the phone's own where an entry
    // stands under that very name; the fitted one where another entry is found by the phone's name
    // or the fitted one stands; else the phone's own where the disk keeps it as it is (tried with an
    // empty file made, looked for in the folder's listing and removed at once), else the fitted one.
    // A fitted name with letters beyond ASCII that the disk refuses, and stands nowhere, takes the
    // first of FileNameFit's asciiName() and shortName() the disk keeps.
    static QString forWrite(const HeldFolder& folder, const QString& name);
    // A file's name kept as it is, inside folder: the name where an entry stands under it or the disk
    // takes it (tried as forWrite() tries one), else as forWrite() fits a fitted name it refuses.
    static QString taken(const HeldFolder& folder, const QString& name);
    // The phone's relative path below the folder at folderPath as a write keeps it: each name as
    // forWrite() gives it, the folders on the way made. Names are fitted without a look at the disk
    // where none differs or the way cannot be made.
    static QString pathForWrite(const QString& folderPath, const QString& relative);
    // Whether name has a character beyond printable ASCII (one a disk may refuse).
    static bool beyondAscii(const QString& name);
    // Whether an entry of any kind (a link too) stands at path.
    static bool entryAt(const QString& path);
};
