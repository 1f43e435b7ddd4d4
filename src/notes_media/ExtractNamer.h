#pragma once

#include <QHash>
#include <QSet>
#include <QString>
#include <QStringList>

// Names of what an extraction writes. A name from a backup is cleaned so that it stays one entry
// inside its folder: \ / : * ? " < > |, line ends, tabs and NUL are removed, the rest trimmed, an
// empty name, "." and ".." become "_", "_" and "__", and a name over 255 UTF-8 bytes is cut
// before its extension, which stays. A name so changed, or one that looks like a changed one, carries
// the mark of the whole name (see FileNameFit::markedIfChanged), so it never takes another record's.
// Two entries of one run whose paths would be one entry on some disk get " (2)", " (3)"...
// (before the extension of a file), folders as files: paths are compared without case (full
// Unicode case folding: "Straße" is "STRASSE"), as one composition of accented letters, and
// without dots and spaces at a name's end, as disks that ignore them store names. An entry that
// was there before the run is not renamed. A number given never takes the name another entry of the
// folder owns, once reserve() told it.
class ExtractNamer
{
public:
    static QString cleanName(const QString& name);
    // The path in folder for the entry called name, unique among the paths of this run.
    QString claimPath(const QString& folder, const QString& name, bool isFile);
    // Tells that an entry called name is to come in folder: a number given to another skips its name.
    void reserve(const QString& folder, const QString& name);
    // Tells that every entry reserved in folder has come: their names are held no more.
    void forget(const QString& folder);

private:
    // The entries to come in one folder. Their names are compared only once a name of the folder
    // needs a number, which few folders do.
    struct Owned {
        QStringList names; // as told
        QSet<QString> keys; // their paths in the form compared, made at the first number
    };

    const QString& keyOfFolder(const QString& folder);
    const QSet<QString>& ownedKeys(const QString& folderKey);

    QSet<QString> m_used; // the paths given out, in the form compared
    QHash<QString, Owned> m_owned; // by folder key
    QHash<QString, QString> m_folderKeys; // the folders named or given out, with their folded forms
};
