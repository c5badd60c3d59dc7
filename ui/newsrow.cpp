#include "ui/newsrow.h"

#include "feed/newspictureloader.h"
#include "ui/newscard.h"

NewsRow::NewsRow(QWidget *parent, QNetworkAccessManager *manager, const QString &pageBase, int timeoutMs,
    const NewsPictureLoader::Prepare &preparePicture)
    : QObject(parent)
    , m_parent(parent)
    , m_pictures(new NewsPictureLoader(manager, timeoutMs, preparePicture, this))
    , m_pageBase(pageBase)
{
    connect(m_pictures, &NewsPictureLoader::pictureReady, this, [this](int item, const QImage &picture) {
        m_loaded[item] = QPixmap::fromImage(picture, Qt::NoFormatConversion);
        const int slot = item - m_first;
        if (slot >= 0 && slot < m_cards.size())
            m_cards.at(slot)->setPicture(m_loaded.at(item));
    });
}

void NewsRow::showItems(const QList<NewsItem> &items)
{
    m_pictures->reset();
    m_items = items;
    m_loaded = QList<QPixmap>(items.size());
    m_asked = QList<bool>(items.size(), false);
    m_first = 0;
    while (m_cards.size() < visibleCards) {
        auto *card = new NewsCard(m_parent);
        card->setGeometry(247 + 204 * int(m_cards.size()), 278, 195, 256);
        m_cards.append(card);
    }
    layoutCards();
}

void NewsRow::scrollPrev()
{
    if (m_first < 1)
        return;
    --m_first;
    layoutCards();
}

void NewsRow::scrollNext()
{
    if (m_first + visibleCards >= m_items.size())
        return;
    ++m_first;
    layoutCards();
}

void NewsRow::layoutCards()
{
    for (int slot = 0; slot < m_cards.size(); ++slot) {
        NewsCard *card = m_cards.at(slot);
        const int item = m_first + slot;
        if (item >= m_items.size()) {
            card->hide();
            continue;
        }
        const NewsItem &news = m_items.at(item);
        card->setTexts(news.title, news.description, news.date);
        card->setLink(NewsSource::pageLink(m_pageBase, news.url));
        card->setPicture(m_loaded.at(item));
        card->show();
    }
    // The visible pictures first, then the next ones, so that a step shows a picture at once.
    for (int item = m_first; item < qMin(m_first + 2 * visibleCards, int(m_items.size())); ++item) {
        if (!m_asked.at(item) && !m_items.at(item).img.isEmpty()) {
            m_asked[item] = true;
            m_pictures->load(item, m_items.at(item).img, NewsCard::pictureArea, m_parent->devicePixelRatioF());
        }
    }
}
