#include "feed/newspictureloader.h"

#include "feed/newspicture.h"
#include "net/networkrequest.h"
#include "net/replybody.h"

#include <QNetworkReply>
#include <QUrl>

NewsPictureLoader::NewsPictureLoader(QNetworkAccessManager *manager, int transferTimeoutMs, QObject *parent)
    : QObject(parent)
    , m_manager(manager)
    , m_transferTimeoutMs(transferTimeoutMs)
{
}

void NewsPictureLoader::load(QObject *target, const QString &url, qreal devicePixelRatio)
{
    if (!isWebAddress(QUrl(url, QUrl::TolerantMode)))
        return;
    m_pending.enqueue({target, url, devicePixelRatio});
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
        if (!next.target)
            continue;
        QNetworkReply *reply = getAnswer(m_manager, next.url, m_transferTimeoutMs, NewsPicture::maxBytes);
        ++m_running;
        connect(reply, &QNetworkReply::finished, this, [this, reply, next] { finish(reply, next); });
    }
}

void NewsPictureLoader::finish(QNetworkReply *reply, const Pending &pending)
{
    --m_running;
    reply->deleteLater();
    if (pending.target) {
        if (const std::optional<QByteArray> body = completeBody(reply)) {
            const QImage picture = NewsPicture::prepare(*body, pending.devicePixelRatio);
            if (!picture.isNull())
                emit pictureReady(pending.target, picture);
        }
    }
    startNext();
}
