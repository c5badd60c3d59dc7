#include "net/networkmanager.h"

#include "config/logging.h"
#include "net/networkrequest.h"

#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QNetworkDiskCache>
#include <QNetworkReply>
#include <QSslConfiguration>
#include <QSslSocket>
#include <QTimer>
#include <memory>
#include <mutex>

namespace {
// The first https request loads the TLS library and the system's certificates,
// which on Windows holds its thread for up to a second. The first proxy lookup
// runs on a worker thread before any request goes out: it does this first.
void startTls()
{
    if (QSslSocket::supportsSsl())
        QSslConfiguration::defaultConfiguration();
}

NetworkManager::ProxyLookup withTlsFirst(NetworkManager::ProxyLookup lookup)
{
    return [lookup = std::move(lookup)](const QNetworkProxyQuery &query) {
        static std::once_flag tls;
        std::call_once(tls, &startTls);
        return lookup(query);
    };
}
} // namespace

NetworkManager::NetworkManager(ProxyLookup proxyLookup, int proxyExitWaitMs, QObject *parent)
    : QNetworkAccessManager(parent)
    , m_proxy(new SystemProxy(withTlsFirst(std::move(proxyLookup)), proxyExitWaitMs))
{
    setProxyFactory(m_proxy);
}

void NetworkManager::start(const QString &cacheFolder, const QList<QUrl> &addresses, int maxWaitMs)
{
    // Qt's own cache: it revalidates with the server's ETag and Last-Modified,
    // and drops an entry it cannot read. A file where its folder belongs
    // would keep it from ever storing anything: it goes.
    if (QFileInfo(cacheFolder).exists() && !QFileInfo(cacheFolder).isDir())
        QFile::remove(cacheFolder);
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
    // No request of the launcher ever answers an authentication challenge:
    // on Windows Qt answers NTLM and Negotiate with the player's own login
    // when no user is set, and any picture host could collect it. A 401 (or
    // a proxy's 407) fails like any other answer.
    QNetworkRequest withoutLogin(request);
    withoutLogin.setAttribute(QNetworkRequest::AuthenticationReuseAttribute, int(QNetworkRequest::Manual));
    QNetworkReply *reply = QNetworkAccessManager::createRequest(op, withoutLogin, data);
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
