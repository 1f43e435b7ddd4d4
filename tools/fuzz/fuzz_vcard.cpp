// Fuzz entry point: the vCard reader over any bytes, its text accessors over every value, and the
// fields the card image takes from the first card.
#include "contacts/export/QVCardParser.h"
#include "contacts/export/VCardThumbnail.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QByteArray bytes = QByteArray::fromRawData(reinterpret_cast<const char*>(data), qsizetype(size));
    for (const QVCardParser::Card& card : QVCardParser::parse(bytes))
        for (const QVCardParser::_Property& p : card) {
            p.toString();
            p.values();
        }
    ct_info info;
    VCardThumbnail::readFirstCard(bytes, info);
    return 0;
}
