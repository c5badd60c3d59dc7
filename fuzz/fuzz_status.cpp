// The "/servers" answer: summed in 64 bits and clamped, no count of players turns negative.
#include "feed/statuspoller.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char *>(data), qsizetype(size));
    const std::optional<int> total = StatusPoller::onlineTotal(bytes);
    if (total && *total < 0 && !bytes.contains('-'))
        __builtin_trap();
    return 0;
}
