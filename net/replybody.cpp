#include "net/replybody.h"

#include "net/networkrequest.h"

#include <QNetworkAccessManager>
#include <QNetworkReply>

namespace {
constexpr char sizeLimitProperty[] = "velorExceededSizeLimit";
}

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

std::optional<QByteArray> completeBody(QNetworkReply *reply)
{
    if (reply->error() != QNetworkReply::NoError || exceededSizeLimit(reply))
        return std::nullopt;
    QByteArray body = reply->readAll();
    if (isTruncated(reply, body.size()))
        return std::nullopt;
    return body;
}

QNetworkReply *getAnswer(QNetworkAccessManager *manager, const QString &url, int timeoutMs, qint64 maxBytes)
{
    QNetworkReply *reply = manager->get(makeGetRequest(url, timeoutMs));
    limitReplySize(reply, maxBytes);
    return reply;
}
