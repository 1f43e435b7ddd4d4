#pragma once

#include "app/AbsFormatExport.h"

#include <QFile>
#include <QString>
#include <QTextStream>

class _MsgMessage;

// A message export into one UTF-8 text file (no byte-order mark), written line by line. A write
// that does not reach the disk (a full disk, a lost device) throws with the system's error text
// instead of passing unnoticed.
class AbsMsgTextFileExport : public AbsFormatExport<_MsgMessage>
{
public:
    explicit AbsMsgTextFileExport(const QString& path);

    // Opens (creating or emptying) the file, then writes the header.
    void init() override;
    // Flushes and closes the file.
    void uninit() override;

protected:
    virtual void writeHeader() { }
    // Ends the lines written so far and checks that they reached the file.
    void flushLines();

    QFile m_file;
    QTextStream m_stream;

private:
    [[noreturn]] void throwWriteError();
};
