// Fuzz entry point: the newer call store (ZCALLRECORD) read through the call-history reader.
#include "FuzzCallHistory.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    fuzzCallHistory(data, size, IOSCallHistoryDb::kStoreFile);
    return 0;
}
