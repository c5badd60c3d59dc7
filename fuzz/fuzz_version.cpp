// The "/launcher/version" answer: a version is never newer than itself, the
// comparison is asymmetric, and a usable answer names a version, an archive
// fetched only over https (plain http only from a loopback host) and no digest
// or a whole one. Under a throwaway key of the signing tool, only what it
// signed is usable: the seed "signed".
#include "update/versionanswer.h"
#include "update/versioncompare.h"

#include <QHostAddress>
#include <QUrl>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char *>(data), qsizetype(size));
    const VersionAnswer answer = VersionAnswer::parse(bytes);
    const QString current = "1.1.9";
    const QUrl archive(answer.downloadUrl, QUrl::TolerantMode);
    const bool loopback = archive.host() == u"localhost" || QHostAddress(archive.host()).isLoopback();
    const bool trusted = (archive.scheme() == u"https" || loopback) && !archive.host().isEmpty();
    const bool whole = answer.sha256.isEmpty() || answer.sha256.size() == 32;
    const bool usable = answer.verdict == VersionAnswer::Verdict::Usable;
    bool fault = isNewerVersion(answer.version, answer.version);
    fault |= isNewerVersion(answer.version, current) && isNewerVersion(current, answer.version);
    fault |= usable && (answer.version.isEmpty() || !whole || !trusted);
    const QByteArray key = QByteArray::fromBase64("4QW1mDmwqtgt88OEPTLrDHw/i7HbRomVYpSwTt2SldQ=");
    const VersionAnswer byKey = VersionAnswer::parse(bytes, {key});
    if (byKey.verdict == VersionAnswer::Verdict::Usable)
        fault |= byKey.version.toLatin1() + byKey.sha256.toHex()
            != "1.20f710b4861ae5a6d3de105e78c26438df6ef4ad3426a0c5a2d2c5ac3d59d0e60";
    if (fault)
        __builtin_trap();
    return 0;
}
