// Fuzz entry point: the keybag of an encrypted backup, parsed and unwrapped with a fixed key (no
// key stretching, so each input stays fast).
#include "backup/BackupKeyBag.h"

#include <cstddef>
#include <cstdint>
#include <stdexcept>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    try {
        const QByteArray bytes
            = QByteArray::fromRawData(reinterpret_cast<const char*>(data), qsizetype(size));
        BackupKeyBag bag = BackupKeyBag::parseThrow(bytes, QStringLiteral("fuzz"));
        bag.unlockWithPasscodeKey(QByteArray(32, '\x5a'));
        for (const BackupKeyBag::ClassKey& k : bag.classKeys())
            bag.unwrapKeyBlob(QByteArray(4, char(k.protectionClass)) + k.wrappedKey);
    } catch (const std::runtime_error&) {
    }
    return 0;
}
