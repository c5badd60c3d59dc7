#include "net/networkrequest.h"

#include <QHostAddress>
#include <QNetworkReply>
#include <QUrl>

QNetworkRequest makeGetRequest(const QString &url, int transferTimeoutMs, bool cacheable)
{
    QNetworkRequest request(QUrl(url, QUrl::TolerantMode));
    request.setAttribute(
        QNetworkRequest::RedirectPolicyAttribute, QVariant(int(QNetworkRequest::NoLessSafeRedirectPolicy)));
    request.setAttribute(QNetworkRequest::CacheSaveControlAttribute, cacheable);
    // Another request may have kept an answer under the same address, and the
    // online count or the version check must never show it.
    if (!cacheable)
        request.setAttribute(QNetworkRequest::CacheLoadControlAttribute, QNetworkRequest::AlwaysNetwork);
    request.setTransferTimeout(transferTimeoutMs);
    return request;
}

bool isTruncated(const QNetworkReply *reply, qint64 bytesReceived)
{
    const QVariant length = reply->header(QNetworkRequest::ContentLengthHeader);
    if (!length.isValid())
        return false;
    const QByteArray encoding = reply->rawHeader("Content-Encoding").trimmed().toLower();
    if (!encoding.isEmpty() && encoding != "identity")
        return false;
    return bytesReceived < length.toLongLong();
}

bool isWebAddress(const QUrl &url)
{
    const QString scheme = url.scheme().toLower();
    return url.isValid() && !url.host().isEmpty()
        && (scheme == QLatin1String("https") || scheme == QLatin1String("http"));
}

bool isLoopback(const QUrl &url)
{
    const QString host = url.host().toLower();
    return host == QLatin1String("localhost") || QHostAddress(host).isLoopback();
}

QString loggable(const QUrl &url)
{
    return url.adjusted(QUrl::RemoveUserInfo | QUrl::RemoveQuery | QUrl::RemoveFragment).toString();
}

QString loggableError(const QNetworkReply *reply)
{
    QString error = reply->errorString();
    for (const QUrl &url : {reply->url(), reply->request().url()})
        error.replace(url.toString(), loggable(url));
    return error;
}
