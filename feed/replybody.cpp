#include "feed/replybody.h"

#include "app/networkrequest.h"

#include <QNetworkReply>

void limitReplySize(QNetworkReply *reply, qint64 maxBytes)
{
    QObject::connect(reply, &QNetworkReply::downloadProgress, reply, [reply, maxBytes](qint64 received, qint64 total) {
        if (received > maxBytes || total > maxBytes)
            reply->abort();
    });
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
