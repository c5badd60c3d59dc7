#include "update/versionanswer.h"

#include "net/networkrequest.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonValue>
#include <QUrl>

namespace {
bool isHexDigest(const QString &text)
{
    if (text.size() != 64)
        return false;
    for (const QChar c : text) {
        const char16_t u = c.unicode();
        if (!((u >= '0' && u <= '9') || (u >= 'a' && u <= 'f') || (u >= 'A' && u <= 'F')))
            return false;
    }
    return true;
}
} // namespace

VersionAnswer VersionAnswer::parse(const QByteArray &body)
{
    VersionAnswer answer;
    const QJsonDocument document = QJsonDocument::fromJson(body);
    if (!document.isObject())
        return answer;
    const QJsonObject object = document.object();
    answer.version = object.value(QLatin1String("version")).toString();
    answer.downloadUrl = object.value(QLatin1String("download_url")).toString();
    answer.changelog = object.value(QLatin1String("changelog")).toString();
    answer.verdict = Verdict::InvalidData;

    if (answer.version.isEmpty() || answer.downloadUrl.isEmpty())
        return answer;
    if (!isTrustedArchiveUrl(QUrl(answer.downloadUrl, QUrl::TolerantMode)))
        return answer;

    const QJsonValue digest = object.value(QLatin1String("sha256"));
    if (!digest.isUndefined() && !digest.isNull()) {
        const QString hex = digest.toString();
        if (!digest.isString() || (!hex.isEmpty() && !isHexDigest(hex)))
            return answer;
        answer.sha256 = QByteArray::fromHex(hex.toLatin1());
    }
    answer.verdict = Verdict::Usable;
    return answer;
}

bool VersionAnswer::isTrustedArchiveUrl(const QUrl &url)
{
    return isWebAddress(url) && (url.scheme().toLower() == QLatin1String("https") || isLoopback(url));
}
