// The "/news" answer: parsing and ordering newest first.
#include "feed/newsfeed.h"

#include <QByteArray>

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray answer(reinterpret_cast<const char *>(data), qsizetype(size));
    QList<NewsItem> items = NewsFeed::parse(answer);
    const qsizetype count = items.size();
    NewsFeed::sortNewestFirst(items);
    // Ordering never loses or invents an item.
    if (items.size() != count)
        __builtin_trap();
    for (const NewsItem &item : items)
        NewsFeed::pageLink(QStringLiteral("https://site.test/news/"), item.url);
    return 0;
}
