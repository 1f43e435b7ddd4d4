#include "messages/ui/ExportMessagesCsv.h"

#include "messages/store/MsgChat.h"
#include "messages/store/MsgHandle.h"
#include "messages/store/MsgMessage.h"
#include "messages/ui/MsgExportText.h"

QString g_csvFormat(const QString& text)
{
    bool quote = false;
    bool hasQuote = false;
    for (const QChar c : text) {
        const char16_t u = c.unicode();
        // A lone carriage return is quoted too: readers take it as the end of the record otherwise.
        if (u == ',' || u == '\n' || u == '\r')
            quote = true;
        else if (u == '"')
            quote = hasQuote = true;
    }
    if (!quote)
        return text;
    QString out = text;
    if (hasQuote)
        out.replace('"', QLatin1String("\"\""));
    return '"' + out + '"';
}

ExportMessagesCsv::ExportMessagesCsv(const QString& path)
    : AbsMsgTextFileExport(path)
{
}

void ExportMessagesCsv::writeHeader()
{
    m_stream << "date"
             << ",send"
             << ",person"
             << ",number"
             << ",content" << '\n';
}

void ExportMessagesCsv::write(_MsgMessage& message)
{
    writeLines(line(message, m_time));
}

void ExportMessagesCsv::writeLines(const QString& lines)
{
    m_stream << lines;
    checkLines();
}

QString ExportMessagesCsv::line(const _MsgMessage& message, ExportLocalTime& time)
{
    QString person;
    QString number;
    if (const _MsgChat* chat = message._chat) {
        if (chat->isGroup()) {
            person = chat->chat_identifier;
            number = chat->chat_identifier;
        } else if (!chat->_handles.isEmpty()) {
            const _MsgHandle* handle = *chat->_handles.cbegin();
            person = handle->_ct_name;
            number = handle->id;
        }
    }
    return time.stamp(message.date) + QLatin1Char(',') + QLatin1Char(message.is_from_me ? '1' : '0')
        + QLatin1Char(',') + g_csvFormat(person) + QLatin1Char(',') + g_csvFormat(number) + QLatin1Char(',')
        + g_csvFormat(msgExportSummary(message)) + QLatin1Char('\n');
}
