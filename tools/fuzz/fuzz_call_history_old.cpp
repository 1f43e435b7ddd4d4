// Fuzz entry point: the older call database (table call) read through the call-history reader.
#include "FuzzCallHistory.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    fuzzCallHistory(data, size, IOSCallHistoryDb::kOldDbFile);
    return 0;
}
