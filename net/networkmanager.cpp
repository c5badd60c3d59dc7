#include "net/networkmanager.h"

#include "config/logging.h"
#include "net/networkrequest.h"
#include "net/systemproxy.h"

#include <QElapsedTimer>
#include <QNetworkDiskCache>
#include <QNetworkReply>
#include <QTimer>
#include <memory>

NetworkManager::NetworkManager(ProxyLookup proxyLookup, QObject *parent)
    : QNetworkAccessManager(parent)
    , m_proxy(new SystemProxy(std::move(proxyLookup)))
{
    setProxyFactory(m_proxy);
}

void NetworkManager::start(const QString &cacheFolder, const QList<QUrl> &addresses, int maxWaitMs)
{
    // Qt's own cache: it revalidates with the server's ETag and Last-Modified,
    // and drops an entry it cannot read.
    auto *cache = new QNetworkDiskCache(this);
    cache->setCacheDirectory(cacheFolder);
    cache->setMaximumCacheSize(cacheBytes);
    setCache(cache);
    m_proxy->prepare(addresses, this, [this] { becomeReady(); });
    QTimer::singleShot(maxWaitMs, this, &NetworkManager::becomeReady);
}

void NetworkManager::becomeReady()
{
    if (std::exchange(m_ready, true))
        return;
    emit ready();
}

QNetworkReply *NetworkManager::createRequest(Operation op, const QNetworkRequest &request, QIODevice *data)
{
    QNetworkReply *reply = QNetworkAccessManager::createRequest(op, request, data);
    auto bytes = std::make_shared<qint64>(0);
    QElapsedTimer timer;
    timer.start();
    connect(reply, &QNetworkReply::downloadProgress, reply, [bytes](qint64 received, qint64) { *bytes = received; });
    connect(reply, &QNetworkReply::finished, this, [reply, bytes, timer] {
        const QVariant status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute);
        const bool cached = reply->attribute(QNetworkRequest::SourceIsFromCacheAttribute).toBool();
        const QString line = QStringLiteral("GET %1 -> %2, %3 bytes, %4 ms%5")
                                 .arg(loggable(reply->request().url()),
                                     status.isValid() ? status.toString() : QStringLiteral("no answer"))
                                 .arg(*bytes)
                                 .arg(timer.elapsed())
                                 .arg(cached ? QStringLiteral(", from the cache") : QString());
        if (reply->error() == QNetworkReply::NoError)
            qCInfo(lcNetwork).noquote() << line;
        else
            qCWarning(lcNetwork).noquote() << line + QStringLiteral(": ") + loggableError(reply);
    });
    return reply;
}
