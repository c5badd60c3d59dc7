#include "feed/newspictureloader.h"

#include "app/networkrequest.h"
#include "feed/newspicture.h"
#include "app/replybody.h"
#include "ui/newscard.h"

#include <QNetworkAccessManager>
#include <QNetworkReply>

NewsPictureLoader::NewsPictureLoader(QNetworkAccessManager *manager, int transferTimeoutMs, QObject *parent)
    : QObject(parent)
    , m_manager(manager)
    , m_transferTimeoutMs(transferTimeoutMs)
{
}

void NewsPictureLoader::load(NewsCard *card, const QString &url)
{
    m_pending.enqueue({card, url});
    startNext();
}

void NewsPictureLoader::cancelPending()
{
    m_pending.clear();
}

void NewsPictureLoader::startNext()
{
    while (m_running < maxRunning && !m_pending.isEmpty()) {
        const Pending next = m_pending.dequeue();
        if (!next.card)
            continue;
        QNetworkReply *reply = m_manager->get(makeGetRequest(next.url, m_transferTimeoutMs));
        limitReplySize(reply, NewsPicture::maxBytes);
        ++m_running;
        connect(reply, &QNetworkReply::finished, this, [this, reply, card = next.card] { finish(reply, card); });
    }
}

void NewsPictureLoader::finish(QNetworkReply *reply, const QPointer<NewsCard> &card)
{
    --m_running;
    reply->deleteLater();
    if (card) {
        if (const std::optional<QByteArray> body = completeBody(reply)) {
            QImage picture = NewsPicture::prepare(*body, card->devicePixelRatioF());
            if (!picture.isNull()) {
                card->m_image = QPixmap::fromImage(std::move(picture), Qt::NoFormatConversion);
                card->update();
            }
        }
    }
    startNext();
}
