// A message on the single-instance channel: whatever the bytes, only one that
// starts with the prefix plays.
#include "app/instancechannel.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char *>(data), qsizetype(size));
    if (InstanceChannel::messageRequestsPlay(bytes) && bytes.left(16).toLower() != "velorlauncher://")
        __builtin_trap();
    return 0;
}
