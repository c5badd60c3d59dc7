// The "/servers" answer: parsing, summing and formatting the online total.
#include "feed/serverstatus.h"

#include <QByteArray>

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray answer(reinterpret_cast<const char *>(data), qsizetype(size));
    const std::optional<int> total = ServerStatus::onlineTotal(answer);
    if (total) {
        const QString shown = ServerStatus::formatOnline(*total);
        if (shown.isEmpty())
            __builtin_trap();
    }
    return 0;
}
