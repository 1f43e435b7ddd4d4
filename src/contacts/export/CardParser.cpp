#include "contacts/export/CardParser.h"

#include <algorithm>
#include <cstdint>
#include <new>
#include <utility>
#include <vector>

namespace
{
enum State {
    CARD_STATE_NAME,
    CARD_STATE_PARAM_START,
    CARD_STATE_PARAM_NAME,
    CARD_STATE_PARAM_VALUE_START,
    CARD_STATE_PARAM_VALUE,
    CARD_STATE_VALUE
};
enum Encoding { CARD_ENC_NONE, CARD_ENC_QUOTED_PRINTABLE, CARD_ENC_BASE64, CARD_ENC_8BIT };
constexpr int kOk = -1;
constexpr int kFail = 0;

bool isSpace(unsigned char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

bool isBlank(unsigned char c)
{
    return c == ' ' || c == '\t' || c == '\v' || c == '\f';
}

unsigned char Base64ToOrd(unsigned char c)
{
    if (c >= 'A' && c <= 'Z')
        return c - 'A';
    if (c >= 'a' && c <= 'z')
        return c - 'a' + 26;
    if (c >= '0' && c <= '9')
        return c - '0' + 52;
    if (c == '+')
        return 62;
    if (c == '/')
        return 63;
    return 255;
}

bool equalsNoCase(const char* a, const char* b)
{
    for (; *a && *b; ++a, ++b) {
        char x = *a >= 'a' && *a <= 'z' ? char(*a - 32) : *a;
        char y = *b >= 'a' && *b <= 'z' ? char(*b - 32) : *b;
        if (x != y)
            return false;
    }
    return *a == *b;
}

// Two hexadecimal characters read as "%X" would: leading blanks, a sign, digits up to the first
// non-digit; no digit gives 0.
int hexPair(const char* s)
{
    int i = 0;
    while (i < 2 && isSpace(static_cast<unsigned char>(s[i])))
        ++i;
    bool negative = false;
    if (i < 2 && (s[i] == '+' || s[i] == '-'))
        negative = s[i++] == '-';
    int value = 0;
    for (; i < 2; ++i) {
        const char c = s[i];
        int d;
        if (c >= '0' && c <= '9')
            d = c - '0';
        else if (c >= 'a' && c <= 'f')
            d = c - 'a' + 10;
        else if (c >= 'A' && c <= 'F')
            d = c - 'A' + 10;
        else
            break;
        value = value * 16 + d;
    }
    return negative ? -value : value;
}
} // namespace

struct CARD_Parser {
    bool nl_pending = true;
    bool folded = false;
    std::vector<char> line;
    int line_len = 0;
    int line_size() const { return int(line.size()); } // bytes allocated for line
    int state = CARD_STATE_NAME;
    bool value_start = true;
    std::vector<std::pair<int, int>> param_pairs; // name and value offsets into line (value 0: none)
    int param_count = 0;
    bool escaped = false;
    int encoding = CARD_ENC_NONE;
    bool qp_pending = false;
    char decode_buf[4] = { 0, 0, 0, 0 };
    int b64_count = 0;
    void* user_data = nullptr;
    CARD_PropHandler prop_handler = nullptr;
    CARD_DataHandler data_handler = nullptr;
};

namespace
{
void vcard_clear_line(CARD_Parser* p)
{
    p->line_len = 0;
    if (p->line_size() >= 1025)
        std::vector<char>().swap(p->line); // a long value does not keep its memory
    p->value_start = true;
    p->param_count = 0;
    p->escaped = false;
    p->encoding = CARD_ENC_NONE;
    p->qp_pending = false;
    p->decode_buf[0] = p->decode_buf[1] = p->decode_buf[2] = p->decode_buf[3] = 0;
    p->b64_count = 0;
}

int vcard_add_char_to_line(CARD_Parser* p, char c)
{
    if (p->line_len >= CARD_MAX_LINE)
        return kFail;
    if (p->line_len >= p->line_size()) {
        try {
            // Grows by half again (at least 128 bytes), so a long value costs amortised linear time.
            p->line.resize(std::size_t(p->line_len) + std::max(128, p->line_len / 2));
        } catch (const std::bad_alloc&) {
            std::vector<char>().swap(p->line);
            p->line_len = 0;
            return kFail;
        }
    }
    p->line[std::size_t(p->line_len++)] = c;
    return kOk;
}

int card_add_param(CARD_Parser* p, int offset)
{
    if (p->param_count >= CARD_MAX_PARAMS)
        return kFail;
    if (p->param_count >= int(p->param_pairs.size()))
        p->param_pairs.resize(std::size_t(p->param_count) + 1);
    p->param_pairs[std::size_t(p->param_count++)] = { offset, 0 };
    return kOk;
}

int card_set_paramvalue(CARD_Parser* p, int offset)
{
    if (p->param_count == 0)
        return kFail;
    p->param_pairs[std::size_t(p->param_count - 1)].second = offset;
    return kOk;
}

void findEncoding(CARD_Parser* p, const std::vector<const char*>& flat)
{
    for (int i = 0; i < p->param_count; ++i) {
        const char* name = flat[std::size_t(2 * i)];
        const char* value = flat[std::size_t(2 * i + 1)];
        const char* text = name;
        if (equalsNoCase(name, "ENCODING")) {
            if (!value)
                continue;
            text = value;
        }
        if (equalsNoCase(text, "QUOTED-PRINTABLE"))
            p->encoding = CARD_ENC_QUOTED_PRINTABLE;
        else if (equalsNoCase(text, "BASE64") || equalsNoCase(text, "B"))
            p->encoding = CARD_ENC_BASE64;
        else if (equalsNoCase(text, "8BIT"))
            p->encoding = CARD_ENC_8BIT;
    }
}

int vcard_end_prop(CARD_Parser* p)
{
    if (!p->prop_handler) {
        p->line_len = 0;
        p->state = CARD_STATE_VALUE;
        return kOk;
    }
    if (vcard_add_char_to_line(p, '\0') != kOk)
        return kFail;
    std::vector<const char*> flat;
    flat.reserve(std::size_t(2 * p->param_count + 2));
    const char* base = p->line.data();
    for (int i = 0; i < p->param_count; ++i) {
        const auto& pair = p->param_pairs[std::size_t(i)];
        flat.push_back(base + pair.first);
        flat.push_back(pair.second ? base + pair.second : nullptr);
    }
    findEncoding(p, flat);
    flat.push_back(nullptr);
    flat.push_back(nullptr);
    p->prop_handler(p->user_data, base, flat.data());
    p->line_len = 0;
    p->state = CARD_STATE_VALUE;
    return kOk;
}

// A base64 group of four held characters; failure leaves it held.
int decodeGroup(CARD_Parser* p)
{
    const unsigned char* s = reinterpret_cast<const unsigned char*>(p->decode_buf);
    const unsigned char b1 = Base64ToOrd(s[0]), b2 = Base64ToOrd(s[1]);
    if (b1 == 255 || b2 == 255)
        return kFail;
    if (vcard_add_char_to_line(p, char(b1 << 2 | b2 >> 4)) != kOk)
        return kFail;
    if (s[2] != '=') {
        const unsigned char b3 = Base64ToOrd(s[2]);
        if (b3 == 255 || vcard_add_char_to_line(p, char(((b2 << 4) | (b3 >> 2)) & 0xFF)) != kOk)
            return kFail;
        if (s[3] != '=') {
            const unsigned char b4 = Base64ToOrd(s[3]);
            if (b4 == 255 || vcard_add_char_to_line(p, char(((b3 << 6) | b4) & 0xFF)) != kOk)
                return kFail;
        }
    }
    p->decode_buf[0] = p->decode_buf[1] = p->decode_buf[2] = p->decode_buf[3] = 0;
    p->b64_count = 0;
    return kOk;
}

int decodeValueByte(CARD_Parser* p, char c)
{
    switch (p->encoding) {
    case CARD_ENC_QUOTED_PRINTABLE:
        if (p->qp_pending && p->decode_buf[0] == 0) {
            p->decode_buf[0] = c;
            return kOk;
        }
        if (p->qp_pending) {
            p->decode_buf[1] = c;
            p->decode_buf[2] = 0;
            p->qp_pending = false;
            return vcard_add_char_to_line(p, char(hexPair(p->decode_buf) & 0xFF));
        }
        if (c == '=') {
            p->qp_pending = true;
            p->decode_buf[0] = p->decode_buf[1] = p->decode_buf[2] = p->decode_buf[3] = 0;
            p->b64_count = 0;
            return kOk;
        }
        return vcard_add_char_to_line(p, c);
    case CARD_ENC_BASE64:
        if (isSpace(static_cast<unsigned char>(c)))
            return kOk;
        p->decode_buf[p->b64_count++] = c;
        return p->b64_count == 4 ? decodeGroup(p) : kOk;
    default:
        return vcard_add_char_to_line(p, c);
    }
}

// The value's line feed: a partial base64 group is padded once (an undecodable one is dropped),
// then the value and the end mark go to the data handler.
void endValue(CARD_Parser* p)
{
    if (p->data_handler) {
        if (p->encoding == CARD_ENC_BASE64 && p->b64_count > 0) {
            while (p->b64_count < 4)
                p->decode_buf[p->b64_count++] = '=';
            decodeGroup(p);
        }
        if (p->line_len > 0)
            p->data_handler(p->user_data, p->line.data(), p->line_len);
        p->data_handler(p->user_data, nullptr, 0);
    }
    vcard_clear_line(p);
    p->state = CARD_STATE_NAME;
}

int resetAndFail(CARD_Parser* p)
{
    vcard_clear_line(p);
    p->state = CARD_STATE_NAME;
    return kFail;
}

int processName(CARD_Parser* p, char c)
{
    if (c == '\n') {
        vcard_clear_line(p);
        p->state = CARD_STATE_NAME;
        return kOk;
    }
    if (c == '\r')
        return kOk;
    if (c == ':')
        return vcard_end_prop(p);
    if (c == ';') {
        p->state = CARD_STATE_PARAM_START;
        return vcard_add_char_to_line(p, '\0');
    }
    if (isSpace(static_cast<unsigned char>(c)))
        return kOk;
    return vcard_add_char_to_line(p, c);
}

int processParam(CARD_Parser* p, char c)
{
    const bool space = isSpace(static_cast<unsigned char>(c));
    switch (p->state) {
    case CARD_STATE_PARAM_START:
        if (c == ':')
            return resetAndFail(p);
        if (space)
            return kOk;
        if (card_add_param(p, p->line_len) != kOk)
            return kFail;
        p->state = CARD_STATE_PARAM_NAME;
        return vcard_add_char_to_line(p, c);
    case CARD_STATE_PARAM_NAME:
        if (c == ':')
            return vcard_end_prop(p);
        if (c == ';' || c == '=') {
            p->state = c == ';' ? CARD_STATE_PARAM_START : CARD_STATE_PARAM_VALUE_START;
            return vcard_add_char_to_line(p, '\0');
        }
        return space ? kOk : vcard_add_char_to_line(p, c);
    case CARD_STATE_PARAM_VALUE_START:
        if (c == ':' || c == ';')
            return resetAndFail(p);
        if (space)
            return kOk;
        if (card_set_paramvalue(p, p->line_len) != kOk)
            return kFail;
        p->state = CARD_STATE_PARAM_VALUE;
        return vcard_add_char_to_line(p, c);
    default: // CARD_STATE_PARAM_VALUE
        if (c == ':')
            return vcard_end_prop(p);
        if (c == ';' && !p->escaped) {
            p->state = CARD_STATE_PARAM_START;
            return vcard_add_char_to_line(p, '\0');
        }
        if (space)
            return kOk;
        if (c == '\\' && !p->escaped) {
            p->escaped = true;
            return kOk;
        }
        // The escape covers exactly the one character after the backslash.
        p->escaped = false;
        return vcard_add_char_to_line(p, c);
    }
}

int vcard_process_char(CARD_Parser* p, char c)
{
    switch (p->state) {
    case CARD_STATE_NAME:
        return processName(p, c);
    case CARD_STATE_VALUE:
        if (c == '\r')
            return kOk;
        if (c == '\n') {
            endValue(p);
            return kOk;
        }
        if (p->value_start && isSpace(static_cast<unsigned char>(c)))
            return kOk;
        p->value_start = false;
        return p->data_handler ? decodeValueByte(p, c) : kOk;
    default:
        return processParam(p, c);
    }
}

// A quoted-printable value whose line ended in "=" continues on the next line (a soft line break).
bool softBreakPending(const CARD_Parser* p)
{
    return p->state == CARD_STATE_VALUE && p->encoding == CARD_ENC_QUOTED_PRINTABLE && p->qp_pending
        && p->decode_buf[0] == 0;
}

// One input byte through the line reader: line feeds are withheld until the next byte shows
// whether the line is folded; empty lines (LF or CR LF) vanish.
int feed(CARD_Parser* p, char b)
{
    if (!p->nl_pending) {
        if (b == '\n') {
            p->nl_pending = true;
            p->folded = false;
            return kOk;
        }
        return vcard_process_char(p, b);
    }
    if (b == '\n' || (b == '\r' && !p->folded))
        return kOk;
    if (!p->folded && isBlank(static_cast<unsigned char>(b))) {
        p->folded = true;
        return kOk;
    }
    p->nl_pending = false;
    if (p->folded) {
        if (p->encoding == CARD_ENC_QUOTED_PRINTABLE)
            p->qp_pending = false;
        vcard_process_char(p, ' ');
    } else if (softBreakPending(p)) {
        p->qp_pending = false;
    } else {
        vcard_process_char(p, '\n');
    }
    return vcard_process_char(p, b);
}
} // namespace

const char* CARD_ParserVersion()
{
    return "1.0";
}

CARD_Parser* CARD_ParserCreate()
{
    return new (std::nothrow) CARD_Parser;
}

void CARD_ParserFree(CARD_Parser* parser)
{
    delete parser;
}

void CARD_SetUserData(CARD_Parser* parser, void* userData)
{
    parser->user_data = userData;
}

void* CARD_GetUserData(CARD_Parser* parser)
{
    return parser->user_data;
}

void CARD_SetPropHandler(CARD_Parser* parser, CARD_PropHandler handler)
{
    parser->prop_handler = handler;
}

void CARD_SetDataHandler(CARD_Parser* parser, CARD_DataHandler handler)
{
    parser->data_handler = handler;
}

int CARD_Parse(CARD_Parser* parser, const char* data, int len, int final)
{
    for (int i = 0; i < len; ++i)
        if (feed(parser, data[i]) != kOk)
            return kFail;
    if (final)
        vcard_process_char(parser, '\n');
    return kOk;
}
