// Fuzz entry point: a device address book read through its reader (every contact with its
// multi-values, labels and dates).
#include "FuzzDbFolder.h"
#include "contacts/store/IOSContactsDb.h"

#include <stdexcept>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    IOSContactsDb db(fuzzDbFolder(data, size, QLatin1String(IOSContactsDb::kAddressBookName)));
    try {
        db.total();
        db.contacts();
    } catch (const std::exception&) {
    }
    return 0;
}
