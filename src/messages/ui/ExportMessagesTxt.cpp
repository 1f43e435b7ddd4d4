#include "messages/ui/ExportMessagesTxt.h"

#include "messages/store/MsgChat.h"
#include "messages/store/MsgMessage.h"
#include "messages/ui/MsgExportText.h"

#include <QLocale>

ExportMessagesTxt::ExportMessagesTxt(const QString& path)
    : AbsMsgTextFileExport(path)
{
}

void ExportMessagesTxt::write(_MsgMessage& message)
{
    const QString date = QLocale::system().toString(m_time.wallClock(message.date), QLocale::ShortFormat);
    const QString name = message._chat ? message._chat->displayName(true) : QStringLiteral("Unknown");
    m_stream << "Date: " << date << '\n';
    m_stream << (message.is_from_me ? "To: " : "From: ") << name << '\n';
    m_stream << msgExportSummary(message) << '\n';
    m_stream << '\n';
    checkLines();
}
