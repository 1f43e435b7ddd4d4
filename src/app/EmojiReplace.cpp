#include "app/EmojiReplace.h"

#include "app/RxReplace.h"

#include <algorithm>
#include <iterator>

namespace
{

// The symbols of the Basic Multilingual Plane that the first pass replaces, besides U+E000-U+E537.
constexpr char16_t kSymbols[] = { 0x203C, 0x2049, 0x2139, 0x2194, 0x2195, 0x21A9, 0x21AA, 0x231A, 0x231B,
    0x23EB, 0x23EC, 0x23F0, 0x23F3, 0x24C2, 0x25AA, 0x25AB, 0x25FB, 0x25FC, 0x25FD, 0x25FE, 0x2611, 0x267B,
    0x2693, 0x26AA, 0x26AB, 0x26C5, 0x26D4, 0x2705, 0x2709, 0x270F, 0x2712, 0x2714, 0x2744, 0x2747, 0x274E,
    0x2795, 0x2796, 0x2797, 0x27B0, 0x2934, 0x2935, 0x2B1B, 0x2B1C, 0x3030 };

// The caller's callback and context, handed to the replacement functions as one pointer.
struct CallbackPair {
    QString (*callback)(void* context, QString code);
    void* context;
};

const QRegularExpression& singleUnitEmoji()
{
    static const QRegularExpression rx = [] {
        QString cls = QStringLiteral("[\\x{E000}-\\x{E537}");
        for (const char16_t unit : kSymbols)
            cls += QStringLiteral("\\x{%1}").arg(uint(unit), 0, 16);
        return QRegularExpression(QStringLiteral("(%1])").arg(cls));
    }();
    return rx;
}

// A high surrogate D83C or D83D with its low surrogate: the code points U+1F000 to U+1F7FF.
const QRegularExpression& surrogatePairEmoji()
{
    static const QRegularExpression rx(QStringLiteral("([\\x{1F000}-\\x{1F7FF}])"));
    return rx;
}

// rx_replace over the well-formed stretches of text. A lone surrogate (text that is not
// well-formed UTF-16, which the expression engine refuses whole) stays as it is.
QString replaceWellFormed(const QString& text, const QRegularExpression& rx,
    QString (*fn)(void*, const QRegularExpressionMatch&), CallbackPair* pair)
{
    QString out;
    qsizetype start = 0;
    const qsizetype n = text.size();
    auto flush = [&](qsizetype end) {
        if (start == 0 && end == n)
            out = rx_replace(text, rx, fn, pair);
        else if (end > start)
            out += rx_replace(text.mid(start, end - start), rx, fn, pair);
    };
    for (qsizetype i = 0; i < n; ++i) {
        const QChar c = text.at(i);
        if (c.isHighSurrogate() && i + 1 < n && text.at(i + 1).isLowSurrogate()) {
            ++i;
        } else if (c.isSurrogate()) {
            flush(i);
            out += c;
            start = i + 1;
        }
    }
    flush(n);
    return out;
}

// True for a single unit the first pass replaces.
bool isSingleUnitEmoji(char16_t unit)
{
    return (unit >= 0xE000 && unit <= 0xE537)
        || std::find(std::begin(kSymbols), std::end(kSymbols), unit) != std::end(kSymbols);
}

QString upperHex(uint value)
{
    return QStringLiteral("%1").arg(value, 0, 16).toUpper();
}

} // namespace

QString empji_rep1(void* pair, const QRegularExpressionMatch& rx)
{
    const auto* p = static_cast<CallbackPair*>(pair);
    const QString cap = rx.captured(1);
    return p->callback(p->context, upperHex(cap.isEmpty() ? 0 : cap.at(0).unicode()));
}

QString empji_rep2(void* pair, const QRegularExpressionMatch& rx)
{
    const auto* p = static_cast<CallbackPair*>(pair);
    const QString cap = rx.captured(1);
    uint code = cap.isEmpty() ? 0 : cap.at(0).unicode();
    if (code >= 0xD800 && code <= 0xDFFF && cap.size() > 1)
        code = (code - 0xD800) * 0x400 + (uint(cap.at(1).unicode()) - 0xDC00) + 0x10000;
    return p->callback(p->context, upperHex(code));
}

qsizetype emoji_span_end(const QString& text, qsizetype count)
{
    const qsizetype n = text.size();
    for (qsizetype i = 0; i < n && count > 0; ++i) {
        const char16_t u = text.at(i).unicode();
        // U+1F000-U+1F7FF: D83C or D83D and a low surrogate.
        if ((u == 0xD83C || u == 0xD83D) && i + 1 < n && text.at(i + 1).isLowSurrogate()) {
            if (--count == 0)
                return i + 2;
            ++i;
        } else if (isSingleUnitEmoji(u) && --count == 0) {
            return i + 1;
        }
    }
    return n;
}

QString emoji_replace(const QString& text, QString (*callback)(void* context, QString code), void* context)
{
    CallbackPair pair { callback, context };
    const QString pass1 = replaceWellFormed(text, singleUnitEmoji(), empji_rep1, &pair);
    return replaceWellFormed(pass1, surrogatePairEmoji(), empji_rep2, &pair);
}
