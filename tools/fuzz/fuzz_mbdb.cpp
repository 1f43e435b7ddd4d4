// Fuzz entry point: the file records of a Manifest.mbdb.
#include "backup/MBDBParser.h"

#include <cstddef>
#include <cstdint>
#include <stdexcept>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    try {
        const QByteArray bytes
            = QByteArray::fromRawData(reinterpret_cast<const char*>(data), qsizetype(size));
        const QList<MBDBParser::_MBDBItem> items = MBDBParser::parseThrow(bytes, QStringLiteral("fuzz"));
        MBDBParser::serialize(items);
    } catch (const std::runtime_error&) {
    }
    return 0;
}
