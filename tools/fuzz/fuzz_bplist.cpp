// Fuzz entry point: property lists in binary (and XML) form, through parsing, the keyed-archive
// decoder and writing back.
#include "device/PlistCFType.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char*>(data), qsizetype(size));
    const PlistCFType value = PlistCFType::createCFPropertyList(bytes);
    if (!value.ref())
        return 0;
    const QHash<QString, PlistCFType> entries = value.NSKeyedArchiver();
    for (const PlistCFType& entry : entries)
        entry.typeId();
    PlistCFType::parseNSDictionaryStringCFType(value);
    value.CFPropertyListToBytes(CFPropertyListBinaryFormat);
    return 0;
}
