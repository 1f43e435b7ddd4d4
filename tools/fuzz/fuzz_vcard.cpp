// Fuzz entry point: the vCard reader over any bytes, and its text accessors over every value.
#include "contacts/export/QVCardParser.h"

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
    return 0;
}
