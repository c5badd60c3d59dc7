#include "net/replybody.h"

#include "net/networkrequest.h"

#include <QNetworkAccessManager>
#include <QNetworkReply>

namespace {
constexpr char sizeLimitProperty[] = "velorExceededSizeLimit";

// Null when the reply failed otherwise, came from the cache already, was for
// the network alone (not cacheable), or there is no cache.
QNetworkReply *retryFromCache(QNetworkAccessManager *manager, const QNetworkReply *failed, qint64 maxBytes)
{
    QNetworkRequest request = failed->request();
    if (!manager->cache() || !failedForWantOfNetwork(failed)
        || request.attribute(QNetworkRequest::CacheLoadControlAttribute).isValid())
        return nullptr;
    request.setAttribute(QNetworkRequest::CacheLoadControlAttribute, QNetworkRequest::AlwaysCache);
    QNetworkReply *reply = manager->get(request);
    limitReplySize(reply, maxBytes);
    return reply;
}
} // namespace

void limitReplySize(QNetworkReply *reply, qint64 maxBytes)
{
    const auto refuse = [reply] {
        reply->setProperty(sizeLimitProperty, true);
        reply->abort();
    };
    QObject::connect(reply, &QNetworkReply::downloadProgress, reply, [refuse, maxBytes](qint64 received, qint64 total) {
        if (received > maxBytes || total > maxBytes)
            refuse();
    });
    // Qt reports progress at most every 150 ms, and the last piece only once
    // the reply has finished, when it can no longer be aborted; without a
    // Content-Length a body past the limit would then sit in memory whole and
    // pass. Every piece comes with readyRead.
    QObject::connect(reply, &QIODevice::readyRead, reply, [reply, refuse, maxBytes] {
        if (reply->bytesAvailable() > maxBytes)
            refuse();
    });
}

bool exceededSizeLimit(const QNetworkReply *reply)
{
    return reply->property(sizeLimitProperty).toBool();
}

ReplyBody takeBody(QPointer<QNetworkReply> &pending, QNetworkAccessManager *cacheManager, qint64 cacheMaxBytes)
{
    QNetworkReply *const reply = pending;
    pending = nullptr;
    ReplyBody result;
    if (!reply)
        return result;
    reply->deleteLater();
    if (cacheManager && (pending = retryFromCache(cacheManager, reply, cacheMaxBytes))) {
        result.kind = ReplyBody::Kind::FromCache;
        return result;
    }
    if (exceededSizeLimit(reply)) {
        result.kind = ReplyBody::Kind::TooLarge;
    } else if (reply->error() != QNetworkReply::NoError) {
        result.kind = ReplyBody::Kind::Failed;
        result.error = reply->errorString();
    } else {
        QByteArray body = reply->readAll();
        if (isTruncated(reply, body.size())) {
            result.kind = ReplyBody::Kind::Truncated;
        } else {
            result.kind = ReplyBody::Kind::Complete;
            result.body = std::move(body);
        }
    }
    return result;
}

QNetworkReply *getAnswer(
    QNetworkAccessManager *manager, const QString &url, int timeoutMs, qint64 maxBytes, bool cacheable)
{
    QNetworkReply *reply = manager->get(makeGetRequest(url, timeoutMs, cacheable));
    limitReplySize(reply, maxBytes);
    return reply;
}

bool failedForWantOfNetwork(const QNetworkReply *reply)
{
    switch (reply->error()) {
    case QNetworkReply::OperationCanceledError: // the silence bound, unless the size limit struck
        return !exceededSizeLimit(reply);
    case QNetworkReply::ConnectionRefusedError:
    case QNetworkReply::RemoteHostClosedError:
    case QNetworkReply::HostNotFoundError:
    case QNetworkReply::TimeoutError:
    case QNetworkReply::TemporaryNetworkFailureError:
    case QNetworkReply::NetworkSessionFailedError:
    case QNetworkReply::UnknownNetworkError:
    case QNetworkReply::ProxyConnectionRefusedError:
    case QNetworkReply::ProxyConnectionClosedError:
    case QNetworkReply::ProxyNotFoundError:
    case QNetworkReply::ProxyTimeoutError:
        return true;
    default:
        return false;
    }
}
