#include "feed/newssource.h"

#include "config/logging.h"
#include "net/background.h"
#include "net/replybody.h"

#include <QDate>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonValue>
#include <QNetworkReply>
#include <utility>

NewsSource::NewsSource(QNetworkAccessManager *manager, const QString &url, int timeoutMs, QObject *parent)
    : QObject(parent)
    , m_manager(manager)
    , m_url(url)
    , m_timeoutMs(timeoutMs)
{
}

void NewsSource::fetch()
{
    if (m_reply)
        return;
    m_reply = getAnswer(m_manager, m_url, m_timeoutMs, maxAnswerBytes, true);
    connect(m_reply, &QNetworkReply::finished, this, &NewsSource::onFinished);
}

void NewsSource::onFinished()
{
    const ReplyBody answer = takeBody(m_reply, m_manager, maxAnswerBytes);
    if (answer.kind == ReplyBody::Kind::Gone)
        return;
    if (answer.kind == ReplyBody::Kind::FromCache) {
        qCInfo(lcFeed) << "no network: the news of the last good answer stand in";
        connect(m_reply, &QNetworkReply::finished, this, &NewsSource::onFinished);
        return;
    }
    if (answer.kind != ReplyBody::Kind::Complete) {
        emit failed();
        return;
    }
    runInBackground(
        *QThreadPool::globalInstance(), this,
        [body = answer.body] {
            QList<NewsItem> items = parse(body);
            sortNewestFirst(items);
            return items;
        },
        [this](const QList<NewsItem> &items) {
            if (!items.isEmpty())
                return emit newsReady(items);
            qCWarning(lcFeed) << "the news answer holds no items";
            emit failed();
        });
}

QList<NewsItem> NewsSource::parse(const QByteArray &answer)
{
    const QJsonDocument document = QJsonDocument::fromJson(answer);
    const QJsonArray list
        = document.isArray() ? document.array() : document.object().value(QLatin1String("data")).toArray();

    QList<NewsItem> items;
    items.reserve(qMin(list.size(), maxItems));
    const QString dateFormat = QStringLiteral("dd.MM.yyyy");
    for (qsizetype i = 0; i < list.size() && i < maxItems; ++i) {
        const QJsonObject object = list.at(i).toObject();
        NewsItem item;
        item.title = object.value(QLatin1String("title")).toString().left(maxTextLength);
        item.description = object.value(QLatin1String("description")).toString().left(maxTextLength);
        item.date = object.value(QLatin1String("date")).toString().left(maxTextLength);
        item.dateIso = object.value(QLatin1String("date_iso")).toString().left(maxTextLength);
        item.img = object.value(QLatin1String("img")).toString().left(maxAddressLength);
        item.url = object.value(QLatin1String("url")).toString().left(maxAddressLength);
        if (!item.date.isEmpty()) {
            const QDate day = QDate::fromString(item.date, dateFormat);
            if (day.isValid())
                item.day = day.toJulianDay();
        }
        items.append(std::move(item));
    }
    return items;
}

bool NewsSource::isNewer(const NewsItem &a, const NewsItem &b)
{
    if (!a.dateIso.isEmpty() && !b.dateIso.isEmpty())
        return QString::compare(a.dateIso, b.dateIso, Qt::CaseSensitive) > 0;
    return a.day > b.day;
}

void NewsSource::sortNewestFirst(QList<NewsItem> &items)
{
    // A bottom-up merge sort rather than std::sort, which may read past the
    // ends of the list when the comparison is inconsistent. Each merge reads
    // only below the ends of its two runs, which the loop conditions check
    // before every access, and every comparison moves one item to the output;
    // so whatever isNewer answers, it stays in bounds and does at most
    // n log2 n comparisons. Ties take the left item, which keeps equal items
    // in their order.
    const qsizetype n = items.size();
    if (n < 2)
        return;
    QList<NewsItem> buffer(n);
    for (qsizetype width = 1; width < n; width *= 2) {
        NewsItem *from = items.data();
        NewsItem *to = buffer.data();
        for (qsizetype low = 0; low < n; low += 2 * width) {
            const qsizetype middle = qMin(low + width, n);
            const qsizetype high = qMin(low + 2 * width, n);
            qsizetype left = low;
            qsizetype right = middle;
            qsizetype out = low;
            while (left < middle && right < high)
                to[out++] = std::move(isNewer(from[right], from[left]) ? from[right++] : from[left++]);
            while (left < middle)
                to[out++] = std::move(from[left++]);
            while (right < high)
                to[out++] = std::move(from[right++]);
        }
        items.swap(buffer);
    }
}

QString NewsSource::pageLink(const QString &pageBase, const QString &slug)
{
    return slug.isEmpty() ? QString() : pageBase + slug;
}
