#pragma once

#include <QString>

class _MsgMessage;

// False when text holds no character that emoji_replace would replace, so that the two passes
// over it can be skipped; true may also be said of text without emoji.
bool g_mayHoldEmoji(const QString& text);

// The message's summary() (emoji as "[EMOJI]"), without the emoji passes where there is nothing
// for them to do.
QString msgExportSummary(const _MsgMessage& message);
