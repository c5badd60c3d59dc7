#include "ui/mainwindow.h"

#include "app/networkrequest.h"
#include "feed/newsfeed.h"
#include "feed/newspictureloader.h"
#include "app/replybody.h"
#include "feed/serverstatus.h"
#include "ui/newscard.h"

#include <QLabel>
#include <QNetworkAccessManager>
#include <QNetworkReply>

#include <utility>

// Server status and news: the online count and the news row.

namespace {
// The status and news answers are some kilobytes; nothing this large is one.
constexpr qint64 maxAnswerBytes = qint64(16) << 20;

constexpr int visibleCards = 4;
} // namespace

void MainWindow::fetchServerData()
{
    if (m_serverReply)
        return;
    m_serverReply = m_netManager->get(makeGetRequest(m_env.serversUrl(), m_env.requestTimeoutMs));
    limitReplySize(m_serverReply, maxAnswerBytes);
    connect(m_serverReply, &QNetworkReply::finished, this, &MainWindow::onServerDataReceived);
}

void MainWindow::onServerDataReceived()
{
    if (!m_serverReply)
        return;
    QNetworkReply *reply = std::exchange(m_serverReply, nullptr);
    reply->deleteLater();
    const std::optional<QByteArray> body = completeBody(reply);
    if (!body)
        return;
    const std::optional<int> total = ServerStatus::onlineTotal(*body);
    if (!total)
        return;
    m_onlineLabel->setText(ServerStatus::formatOnline(*total));
    if (QWidget *box = m_onlineLabel->parentWidget())
        box->adjustSize();
}

void MainWindow::fetchNewsData()
{
    if (m_newsReply)
        return;
    m_newsReply = m_netManager->get(makeGetRequest(m_env.newsUrl(), m_env.requestTimeoutMs));
    limitReplySize(m_newsReply, maxAnswerBytes);
    connect(m_newsReply, &QNetworkReply::finished, this, &MainWindow::onNewsDataReceived);
}

void MainWindow::onNewsDataReceived()
{
    if (!m_newsReply)
        return;
    QNetworkReply *reply = std::exchange(m_newsReply, nullptr);
    reply->deleteLater();
    const std::optional<QByteArray> body = completeBody(reply);
    if (!body)
        return;
    QList<NewsItem> items = NewsFeed::parse(*body);
    if (items.isEmpty())
        return;
    NewsFeed::sortNewestFirst(items);
    if (items.size() > NewsFeed::maxCards)
        items.resize(NewsFeed::maxCards);

    for (NewsCard *card : std::as_const(m_newsCards))
        card->deleteLater();
    m_newsCards.clear();
    m_newsIndex = 0;
    if (m_pictureLoader)
        m_pictureLoader->cancelPending();
    else
        m_pictureLoader = new NewsPictureLoader(m_netManager, m_env.requestTimeoutMs, this);

    const QString pageBase = m_env.newsPageBase();
    for (const NewsItem &item : std::as_const(items)) {
        auto *card = new NewsCard(m_centralWidget);
        card->m_titleLabel->setText(item.title);
        card->m_descriptionLabel->setText(item.description);
        card->m_dateLabel->setText(item.date);
        card->m_link = NewsFeed::pageLink(pageBase, item.url);
        m_newsCards.append(card);
        if (!item.img.isEmpty())
            m_pictureLoader->load(card, item.img);
    }
    layoutNewsCards();
}

void MainWindow::scrollNewsPrev()
{
    if (m_newsIndex < 1)
        return;
    --m_newsIndex;
    layoutNewsCards();
}

void MainWindow::scrollNewsNext()
{
    if (m_newsIndex + visibleCards >= m_newsCards.size())
        return;
    ++m_newsIndex;
    layoutNewsCards();
}

void MainWindow::layoutNewsCards()
{
    const int limit = qMax(0, int(m_newsCards.size()) - visibleCards);
    m_newsIndex = qBound(0, m_newsIndex, limit);
    for (int i = 0; i < m_newsCards.size(); ++i) {
        NewsCard *card = m_newsCards.at(i);
        const int slot = i - m_newsIndex;
        if (slot >= 0 && slot < visibleCards) {
            card->setGeometry(247 + 204 * slot, 278, 195, 256);
            card->show();
        } else {
            card->hide();
        }
    }
}
