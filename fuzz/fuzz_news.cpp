// The "/news" answer: ordering never loses or invents an item; by the day
// alone, it puts the newest day first and keeps the order of equal days.
#include "feed/newssource.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char *>(data), qsizetype(size));
    QList<NewsItem> items = NewsSource::parse(bytes);
    bool byDay = true;
    for (qsizetype i = 0; i < items.size(); ++i) {
        items[i].url = QString::number(i);
        byDay = byDay && items[i].dateIso.isEmpty();
    }
    NewsSource::sortNewestFirst(items);
    bool fault = items.size() != NewsSource::parse(bytes).size() || items.size() > NewsSource::maxItems;
    for (qsizetype i = 1; byDay && i < items.size(); ++i) {
        const NewsItem &a = items[i - 1];
        const NewsItem &b = items[i];
        fault |= a.day < b.day || (a.day == b.day && a.url.toInt() > b.url.toInt());
    }
    if (fault)
        __builtin_trap();
    return 0;
}
