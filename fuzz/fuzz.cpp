// libFuzzer targets over every reader of outside bytes; FUZZ_TARGET picks one:
// the channel message, the "/servers", "/news" and "/launcher/version" answers.
#include "app/instancechannel.h"
#include "feed/newssource.h"
#include "feed/statuspoller.h"
#include "update/versionanswer.h"
#include "update/versioncompare.h"

#include <QHostAddress>
#include <QUrl>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char *>(data), qsizetype(size));
    bool fault = false;
#if FUZZ_TARGET == 0
    // Whatever the bytes, only a message that starts with the prefix plays.
    fault = InstanceChannel::messageRequestsPlay(bytes) && bytes.left(16).toLower() != "velorlauncher://";
#elif FUZZ_TARGET == 1
    // Summed in 64 bits and clamped: no count of players turns negative.
    if (const std::optional<int> total = StatusPoller::onlineTotal(bytes))
        fault = StatusPoller::formatOnline(*total).isEmpty() || (*total < 0 && !bytes.contains('-'));
#elif FUZZ_TARGET == 2
    // Ordering never loses or invents an item; by the day alone, it puts the
    // newest day first and keeps the order of equal days.
    QList<NewsItem> items = NewsSource::parse(bytes);
    bool byDay = true;
    for (qsizetype i = 0; i < items.size(); ++i) {
        items[i].url = QString::number(i);
        byDay = byDay && items[i].dateIso.isEmpty();
    }
    NewsSource::sortNewestFirst(items);
    fault = items.size() != NewsSource::parse(bytes).size();
    for (qsizetype i = 1; byDay && i < items.size(); ++i) {
        const NewsItem &a = items[i - 1], &b = items[i];
        fault |= a.day < b.day || (a.day == b.day && a.url.toInt() > b.url.toInt());
    }
#else
    // A version is never newer than itself, the comparison is asymmetric, and
    // a usable answer names a version, an archive fetched only over https
    // (plain http only from a loopback host) and no digest or a whole one.
    const VersionAnswer answer = VersionAnswer::parse(bytes);
    const QString current = QStringLiteral("1.1.9");
    const QUrl archive(answer.downloadUrl, QUrl::TolerantMode);
    fault = isNewerVersion(answer.version, answer.version)
        || (isNewerVersion(answer.version, current) && isNewerVersion(current, answer.version))
        || (answer.verdict == VersionAnswer::Verdict::Usable
            && (answer.version.isEmpty() || !(answer.sha256.isEmpty() || answer.sha256.size() == 32)
                || !((archive.scheme() == u"https" || archive.host() == u"localhost"
                         || QHostAddress(archive.host()).isLoopback())
                    && !archive.host().isEmpty())));
    // Under a throwaway key of the signing tool, only what it signed is usable: the seed "signed".
    const VersionAnswer byKey
        = VersionAnswer::parse(bytes, {QByteArray::fromBase64("4QW1mDmwqtgt88OEPTLrDHw/i7HbRomVYpSwTt2SldQ=")});
    if (byKey.verdict == VersionAnswer::Verdict::Usable)
        fault |= byKey.version.toLatin1() + byKey.sha256.toHex()
            != "1.20f710b4861ae5a6d3de105e78c26438df6ef4ad3426a0c5a2d2c5ac3d59d0e60";
#endif
    if (fault)
        __builtin_trap();
    return 0;
}
