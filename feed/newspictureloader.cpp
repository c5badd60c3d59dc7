#include "feed/newspictureloader.h"

#include "config/logging.h"
#include "feed/newspicture.h"
#include "net/background.h"
#include "net/networkrequest.h"
#include "net/replybody.h"

#include <QNetworkReply>
#include <QUrl>

NewsPictureLoader::NewsPictureLoader(
    QNetworkAccessManager *manager, int transferTimeoutMs, Prepare prepare, QObject *parent)
    : QObject(parent)
    , m_manager(manager)
    , m_transferTimeoutMs(transferTimeoutMs)
    , m_prepare(prepare ? std::move(prepare) : Prepare(&NewsPicture::prepare))
{
    // One picture at a time: decoding one may take tens of megabytes.
    m_decoder.setMaxThreadCount(1);
}

NewsPictureLoader::~NewsPictureLoader()
{
    m_decoder.clear();
}

void NewsPictureLoader::load(int key, const QString &url, const QRectF &area, qreal devicePixelRatio)
{
    if (!isWebAddress(QUrl(url, QUrl::TolerantMode)))
        return;
    m_pending.enqueue({key, url, area, devicePixelRatio, m_generation});
    startNext();
}

void NewsPictureLoader::reset()
{
    ++m_generation;
    m_pending.clear();
}

void NewsPictureLoader::startNext()
{
    while (m_running < maxRunning && !m_pending.isEmpty()) {
        const Pending next = m_pending.dequeue();
        QNetworkReply *reply = getAnswer(m_manager, next.url, m_transferTimeoutMs, NewsPicture::maxBytes, true);
        ++m_running;
        connect(reply, &QNetworkReply::finished, this, [this, reply, next] { finish(reply, next); });
    }
}

void NewsPictureLoader::finish(QNetworkReply *reply, const Pending &pending)
{
    reply->deleteLater();
    if (pending.generation != m_generation)
        return done();
    if (QNetworkReply *cached = retryFromCache(m_manager, reply, NewsPicture::maxBytes)) {
        connect(cached, &QNetworkReply::finished, this, [this, cached, pending] { finish(cached, pending); });
        return;
    }
    const std::optional<QByteArray> body = completeBody(reply);
    if (!body) {
        emit pictureFailed(pending.key);
        return done();
    }
    runInBackground(
        m_decoder, this,
        [prepare = m_prepare, body = *body, pending] { return prepare(body, pending.area, pending.devicePixelRatio); },
        [this, pending](const QImage &picture) {
            if (pending.generation == m_generation && picture.isNull()) {
                qCWarning(lcFeed).noquote() << "not a picture a card can show:" << loggable(QUrl(pending.url));
                emit pictureFailed(pending.key);
            } else if (pending.generation == m_generation) {
                emit pictureReady(pending.key, picture);
            }
            done();
        });
}

void NewsPictureLoader::done()
{
    --m_running;
    startNext();
}
