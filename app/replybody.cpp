#include "app/replybody.h"

#include "app/networkrequest.h"

#include <QNetworkReply>

namespace {
constexpr char sizeLimitProperty[] = "velorExceededSizeLimit";
}

void limitReplySize(QNetworkReply *reply, qint64 maxBytes)
{
    QObject::connect(reply, &QNetworkReply::downloadProgress, reply, [reply, maxBytes](qint64 received, qint64 total) {
        if (received > maxBytes || total > maxBytes) {
            reply->setProperty(sizeLimitProperty, true);
            reply->abort();
        }
    });
}

bool exceededSizeLimit(const QNetworkReply *reply)
{
    return reply->property(sizeLimitProperty).toBool();
}

std::optional<QByteArray> completeBody(QNetworkReply *reply)
{
    if (reply->error() != QNetworkReply::NoError)
        return std::nullopt;
    QByteArray body = reply->readAll();
    if (isTruncated(reply, body.size()))
        return std::nullopt;
    return body;
}
