#pragma once

#include "messages/ui/AbsMsgTextFileExport.h"
#include "messages/ui/ExportLocalTime.h"

// Messages as readable text, one block per message: "Date: ", "To: " or "From: " with the
// conversation's name, the message's summary and an empty line.
class ExportMessagesTxt : public AbsMsgTextFileExport
{
public:
    explicit ExportMessagesTxt(const QString& path);

    void write(_MsgMessage& message) override;

private:
    ExportLocalTime m_time;
};
