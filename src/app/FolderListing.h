#pragma once

#include <QHash>
#include <QSet>
#include <QString>

// The names of a folder's entries, read once, looked up as they are and by a folded key (case, dots
// and spaces at a name's end): a disk that ignores case, or drops a name's end, finds one entry by
// the other's name. Names a run gives are added as it goes, so that a run of many writes reads each
// folder once.
class FolderListing
{
public:
    // The entries of the folder at path; none when it cannot be listed (not made yet).
    static FolderListing read(const QString& path);

    bool lists(const QString& name) const { return m_names.contains(name); }
    // Whether an entry other than name itself has name's folded key.
    bool listsAnother(const QString& name) const;
    void add(const QString& name);

private:
    static QString folded(const QString& name);

    QSet<QString> m_names;
    QHash<QString, int> m_folded; // folded key -> the names listed under it
};
