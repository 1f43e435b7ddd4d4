// Fuzz entry point: the keyed archive of one Manifest.db file record.
#include "backup/MBFileArchive.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    MBFileArchive::Fields fields;
    MBFileArchive::decode(reinterpret_cast<const char*>(data), qsizetype(size), fields, true, true);
    return 0;
}
