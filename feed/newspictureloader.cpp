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
        QPointer<QNetworkReply> reply
            = getAnswer(m_manager, next.url, m_transferTimeoutMs, NewsPicture::maxBytes, true);
        ++m_running;
        connect(reply, &QNetworkReply::finished, this, [this, reply, next] { finish(reply, next); });
    }
}

void NewsPictureLoader::finish(QPointer<QNetworkReply> reply, const Pending &pending)
{
    const bool wanted = pending.generation == m_generation;
    const ReplyBody answer = takeBody(reply, wanted ? m_manager : nullptr, NewsPicture::maxBytes);
    if (!wanted)
        return done();
    if (answer.kind == ReplyBody::Kind::FromCache) {
        connect(reply, &QNetworkReply::finished, this, [this, reply, pending] { finish(reply, pending); });
        return;
    }
    if (answer.kind != ReplyBody::Kind::Complete) {
        emit pictureFailed(pending.key);
        return done();
    }
    runInBackground(
        m_decoder, this,
        [prepare = m_prepare, body = answer.body, pending] {
            return prepare(body, pending.area, pending.devicePixelRatio);
        },
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
