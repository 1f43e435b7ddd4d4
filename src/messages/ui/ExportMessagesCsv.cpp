#include "messages/ui/ExportMessagesCsv.h"

#include "messages/store/MsgChat.h"
#include "messages/store/MsgHandle.h"
#include "messages/store/MsgMessage.h"
#include "messages/store/MsgText.h"

QString g_csvFormat(const QString& text)
{
    if (text.isEmpty())
        return QString();
    QString out = text;
    out.replace('"', QLatin1String("\"\""));
    // A lone carriage return is quoted too: readers take it as the end of the record otherwise.
    if (text.contains(',') || text.contains('"') || text.contains('\n') || text.contains('\r'))
        return '"' + out + '"';
    return out;
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
    m_stream << dtFromDate21(message.date).toString(QStringLiteral("yyyy-MM-dd hh:mm:ss")) << ','
             << (message.is_from_me ? '1' : '0') << ',' << g_csvFormat(person) << ',' << g_csvFormat(number)
             << ',' << g_csvFormat(message.summary()) << '\n';
    flushLines();
}
