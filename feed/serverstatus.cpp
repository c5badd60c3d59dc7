#include "feed/serverstatus.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonValue>
#include <QLocale>

#include <limits>

std::optional<int> ServerStatus::onlineTotal(const QByteArray &answer)
{
    const QJsonDocument document = QJsonDocument::fromJson(answer);
    if (!document.isArray())
        return std::nullopt;
    // Every term fits 32 bits and no array in memory has 2^32 elements, so the
    // 64-bit sum itself cannot overflow.
    qint64 total = 0;
    const QJsonArray servers = document.array();
    for (const QJsonValue &server : servers)
        total += server.toObject().value(QLatin1String("online")).toInt(0);
    return int(qBound(qint64(std::numeric_limits<int>::min()), total, qint64(std::numeric_limits<int>::max())));
}

QString ServerStatus::formatOnline(int total)
{
    return QLocale(QLocale::Russian, QLocale::AnyScript, QLocale::AnyTerritory).toString(total);
}
