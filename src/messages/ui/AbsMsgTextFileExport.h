#pragma once

#include "app/AbsFormatExport.h"
#include "app/OutputFile.h"

#include <QString>
#include <QTextStream>

class _MsgMessage;

// A message export into one UTF-8 text file (no byte-order mark), written line by line through
// buffers. A write that does not reach the disk (a full disk, a lost device) throws with the
// system's error text, at the latest in uninit(), instead of passing unnoticed; the file appears
// under its name only when complete.
class AbsMsgTextFileExport : public AbsFormatExport<_MsgMessage>
{
public:
    explicit AbsMsgTextFileExport(const QString& path);

    // Opens (creating or emptying) the file, then writes the header.
    void init() override;
    // Flushes the file and puts it in place.
    void uninit() override;

protected:
    virtual void writeHeader() { }
    // Throws when what was written so far could not be handed to the file.
    void checkLines();

    OutputFile m_file;
    QTextStream m_stream;

private:
    [[noreturn]] void throwWriteError();
};
