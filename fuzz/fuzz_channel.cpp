// A message read from the single-instance channel: any bytes a local peer sends.
#include "app/singleinstance.h"

#include <QByteArray>

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray message(reinterpret_cast<const char *>(data), qsizetype(size));
    const bool play = SingleInstance::messageRequestsPlay(message);
    // Whatever the bytes, only a message that starts with the prefix plays.
    const QByteArray head = message.left(16).toLower();
    if (play && head != "velorlauncher://")
        __builtin_trap();
    return 0;
}
