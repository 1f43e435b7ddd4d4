#include "messages/ui/MsgExportText.h"

#include "app/EmojiReplace.h"
#include "messages/store/MsgMessage.h"
#include "messages/store/MsgText.h"

bool g_mayHoldEmoji(const QString& text)
{
    // A superset of the ranges emoji_replace looks at: the symbols U+203C to U+3030, the old
    // private-use emoji and the surrogates that start U+1F000 to U+1F7FF.
    for (const QChar c : text) {
        const char16_t u = c.unicode();
        if ((u >= 0x203C && u <= 0x3030) || (u >= 0xE000 && u <= 0xE537) || u == 0xD83C || u == 0xD83D)
            return true;
    }
    return false;
}

QString msgExportSummary(const _MsgMessage& message)
{
    const QString raw = message.summaryRawEmoji();
    return g_mayHoldEmoji(raw) ? emoji_replace(raw, emoji_replace_handler, nullptr) : raw;
}
