#include "update/versionanswer.h"

#include "net/networkrequest.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonValue>
#include <QUrl>
#include <algorithm>
#include <sodium.h>

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

// Whether one of the keys signed the version bound to the archive's digest.
bool signedByOneOf(
    const QJsonValue &member, const QString &version, const QByteArray &sha256, const QList<QByteArray> &publicKeys)
{
    const QByteArray text = "velor-launcher-update\n" + version.toUtf8() + '\n' + sha256.toHex() + '\n';
    static const bool sodiumReady = sodium_init() >= 0;
    const auto decoded
        = QByteArray::fromBase64Encoding(member.toString().toLatin1(), QByteArray::AbortOnBase64DecodingErrors);
    if (!sodiumReady || !member.isString() || !decoded || decoded.decoded.size() != crypto_sign_BYTES)
        return false;
    const auto *signature = reinterpret_cast<const unsigned char *>(decoded.decoded.constData());
    return std::any_of(publicKeys.begin(), publicKeys.end(), [&](const QByteArray &key) {
        return key.size() == crypto_sign_PUBLICKEYBYTES
            && crypto_sign_verify_detached(signature, reinterpret_cast<const unsigned char *>(text.constData()),
                   quint64(text.size()), reinterpret_cast<const unsigned char *>(key.constData()))
            == 0;
    });
}
} // namespace

VersionAnswer VersionAnswer::parse(const QByteArray &body, const QList<QByteArray> &publicKeys)
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
    // With keys compiled in, the web server alone cannot name an update: the
    // signature ties the version to the digest the archive must then match.
    if (!publicKeys.isEmpty()
        && (answer.sha256.isEmpty()
            || !signedByOneOf(object.value(QLatin1String("signature")), answer.version, answer.sha256, publicKeys)))
        return answer;
    answer.verdict = Verdict::Usable;
    return answer;
}

bool VersionAnswer::isTrustedArchiveUrl(const QUrl &url)
{
    return isWebAddress(url) && (url.scheme().toLower() == QLatin1String("https") || isLoopback(url));
}
