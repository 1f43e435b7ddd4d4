#pragma once

#include "app/NamedCount.h"
#include "app/OutputFile.h"

#include <QString>

// The files a road wrote under another name than the one meant for them, as the disk did not take
// that one (see OutputFile::setFitName) or another file stood at it (see OutputFile::setKeepStanding):
// counted, the first of them named, and told with the road's closing text.
class FittedNames
{
public:
    // Notes that the file meant for path was written as placed, a name in the same folder.
    void add(const QString& path, const QString& placed);
    // Notes that the file meant for path was written as placed, beside another that stood at path.
    void addBeside(const QString& path, const QString& placed);
    // Notes where the file meant for path went when beside another file, or under a name fitted to
    // the disk.
    void add(const QString& path, const OutputFile::Placed& placed);
    void add(const FittedNames& other);
    bool isEmpty() const { return m_files.isEmpty() && m_beside.isEmpty(); }
    // "1 file was written under another name, as the disk does not take its own:" (or the count
    // of them), a line "<path> as <placed>" for each one named, "... and <n> more." for the others;
    // then the same for those written beside others: "1 file was written under another name, as
    // another file stands at its own:"; empty when none was noted.
    QString text() const;
    // text() after closing, on a line of its own; closing alone when none was noted.
    QString after(const QString& closing) const;

private:
    NamedCount m_files;
    NamedCount m_beside;
};
