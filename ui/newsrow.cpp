#include "ui/newsrow.h"

#include "feed/newspictureloader.h"
#include "ui/newscard.h"

#include <QLabel>

namespace {
constexpr int visibleCards = 4;
} // namespace

NewsRow::NewsRow(QWidget *parent, QNetworkAccessManager *manager, const QString &pageBase, int timeoutMs)
    : QObject(parent)
    , m_parent(parent)
    , m_pictures(new NewsPictureLoader(manager, timeoutMs, this))
    , m_pageBase(pageBase)
{
    connect(m_pictures, &NewsPictureLoader::pictureReady, this, [](QObject *target, const QImage &picture) {
        if (auto *card = qobject_cast<NewsCard *>(target)) {
            card->m_image = QPixmap::fromImage(picture, Qt::NoFormatConversion);
            card->update();
        }
    });
}

void NewsRow::showItems(const QList<NewsItem> &items)
{
    for (NewsCard *card : std::as_const(m_cards))
        card->deleteLater();
    m_cards.clear();
    m_first = 0;
    m_pictures->cancelPending();

    for (const NewsItem &item : items) {
        auto *card = new NewsCard(m_parent);
        card->m_titleLabel->setText(item.title);
        card->m_descriptionLabel->setText(item.description);
        card->m_dateLabel->setText(item.date);
        card->m_link = NewsSource::pageLink(m_pageBase, item.url);
        m_cards.append(card);
        if (!item.img.isEmpty())
            m_pictures->load(card, item.img, card->devicePixelRatioF());
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
    if (m_first + visibleCards >= m_cards.size())
        return;
    ++m_first;
    layoutCards();
}

void NewsRow::layoutCards()
{
    for (int i = 0; i < m_cards.size(); ++i) {
        NewsCard *card = m_cards.at(i);
        const int slot = i - m_first;
        if (slot >= 0 && slot < visibleCards) {
            card->setGeometry(247 + 204 * slot, 278, 195, 256);
            card->show();
        } else {
            card->hide();
        }
    }
}
