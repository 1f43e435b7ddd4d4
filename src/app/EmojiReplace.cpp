#include "app/EmojiReplace.h"

#include <algorithm>
#include <iterator>

namespace
{

// The symbols of the Basic Multilingual Plane that the first pass replaces, besides U+E000-U+E537.
constexpr char16_t kSymbols[] = { 0x203C, 0x2049, 0x2139, 0x2194, 0x2195, 0x21A9, 0x21AA, 0x231A, 0x231B,
    0x23EB, 0x23EC, 0x23F0, 0x23F3, 0x24C2, 0x25AA, 0x25AB, 0x25FB, 0x25FC, 0x25FD, 0x25FE, 0x2611, 0x267B,
    0x2693, 0x26AA, 0x26AB, 0x26C5, 0x26D4, 0x2705, 0x2709, 0x270F, 0x2712, 0x2714, 0x2744, 0x2747, 0x274E,
    0x2795, 0x2796, 0x2797, 0x27B0, 0x2934, 0x2935, 0x2B1B, 0x2B1C, 0x3030 };

bool isPass1Emoji(char16_t unit)
{
    if (unit >= 0xE000 && unit <= 0xE537)
        return true;
    return std::find(std::begin(kSymbols), std::end(kSymbols), unit) != std::end(kSymbols);
}

QString hexCode(uint codePoint)
{
    return QString::number(codePoint, 16).toUpper();
}

} // namespace

QString emoji_replace(const QString& text, QString (*callback)(void* context, QString code), void* context)
{
    // Pass 1: single units.
    QString pass1;
    pass1.reserve(text.size());
    for (const QChar c : text) {
        if (isPass1Emoji(c.unicode()))
            pass1 += callback(context, hexCode(c.unicode()));
        else
            pass1 += c;
    }

    // Pass 2: a high surrogate D83C or D83D with the low surrogate after it. A lone high surrogate
    // (text that is not well-formed UTF-16) is left as it is rather than decoded into a false code.
    QString result;
    result.reserve(pass1.size());
    const qsizetype n = pass1.size();
    for (qsizetype i = 0; i < n; ++i) {
        const char16_t high = pass1.at(i).unicode();
        if ((high == 0xD83C || high == 0xD83D) && i + 1 < n
            && QChar::isLowSurrogate(pass1.at(i + 1).unicode())) {
            const char16_t low = pass1.at(i + 1).unicode();
            const uint codePoint = (uint(high) - 0xD800) * 0x400 + (uint(low) - 0xDC00) + 0x10000;
            result += callback(context, hexCode(codePoint));
            ++i;
        } else {
            result += pass1.at(i);
        }
    }
    return result;
}
