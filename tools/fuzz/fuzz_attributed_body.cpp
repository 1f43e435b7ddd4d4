// Fuzz entry point: the text of a message's archived attributed body.
#include "messages/store/MsgText.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    msgTextFromAttributedBody(QByteArray::fromRawData(reinterpret_cast<const char*>(data), qsizetype(size)));
    return 0;
}
