// The "/launcher/version" answer together with the version comparison.
#include "update/versionanswer.h"
#include "update/versioncompare.h"

#include <QByteArray>
#include <QUrl>

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray body(reinterpret_cast<const char *>(data), qsizetype(size));
    const VersionAnswer answer = VersionAnswer::parse(body);
    const QString current = QStringLiteral("1.1.9");
    const bool newer = isNewerVersion(answer.version, current);
    // A version is never newer than itself, and the comparison is asymmetric.
    if (isNewerVersion(answer.version, answer.version) || (newer && isNewerVersion(current, answer.version)))
        __builtin_trap();
    if (answer.verdict == VersionAnswer::Verdict::Usable
        && (answer.version.isEmpty() || !VersionAnswer::isTrustedArchiveUrl(QUrl(answer.downloadUrl))))
        __builtin_trap();
    return 0;
}
