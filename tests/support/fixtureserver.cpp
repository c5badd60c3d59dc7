#include "fixtureserver.h"

#include <QFile>
#include <QSslCertificate>
#include <QSslConfiguration>
#include <QSslKey>
#include <QSslServer>
#include <QTcpSocket>
#include <QTimer>

#include <memory>

namespace {
QByteArray reasonPhrase(int status)
{
    switch (status) {
    case 200: return "OK";
    case 301: return "Moved Permanently";
    case 302: return "Found";
    case 307: return "Temporary Redirect";
    case 404: return "Not Found";
    case 500: return "Internal Server Error";
    default: return "Status";
    }
}
constexpr qint64 streamChunk = 256 * 1024;
} // namespace

struct FixtureServer::Connection
{
    QByteArray request;
    bool answered = false;
    // Streaming state for file and generated bodies.
    QFile *file = nullptr;
    qint64 generatedLeft = -1;
    qint64 generatedOffset = 0;
    ~Connection() { delete file; }
};

namespace {
QByteArray readFixtureFile(const char *name)
{
    QFile file(QStringLiteral(VELOR_FIXTURE_TLS_DIR "/") + QLatin1String(name));
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}
} // namespace

FixtureServer::FixtureServer(QObject *parent)
    : QObject(parent)
{
}

FixtureServer::~FixtureServer()
{
    for (QTcpSocket *socket : m_connections.keys()) {
        socket->disconnect(this);
        socket->abort();
        delete m_connections.take(socket);
        socket->deleteLater();
    }
}

bool FixtureServer::start(quint16 port)
{
    m_server = std::make_unique<QTcpServer>();
    connect(m_server.get(), &QTcpServer::pendingConnectionAvailable, this, &FixtureServer::onNewConnection);
    return m_server->listen(QHostAddress::LocalHost, port);
}

bool FixtureServer::startTls()
{
    auto server = std::make_unique<QSslServer>();
    QSslConfiguration configuration = QSslConfiguration::defaultConfiguration();
    configuration.setLocalCertificate(QSslCertificate(readFixtureFile("fixture.crt")));
    configuration.setPrivateKey(QSslKey(readFixtureFile("fixture.key"), QSsl::Rsa));
    configuration.setPeerVerifyMode(QSslSocket::VerifyNone);
    server->setSslConfiguration(configuration);
    m_server = std::move(server);
    m_tls = true;
    // A TLS connection is handed out only after its handshake.
    connect(m_server.get(), &QTcpServer::pendingConnectionAvailable, this, &FixtureServer::onNewConnection);
    return m_server->listen(QHostAddress::LocalHost, 0);
}

void FixtureServer::trustFixtureCertificate()
{
    QSslConfiguration configuration = QSslConfiguration::defaultConfiguration();
    configuration.addCaCertificate(QSslCertificate(readFixtureFile("fixture.crt")));
    QSslConfiguration::setDefaultConfiguration(configuration);
}

quint16 FixtureServer::port() const
{
    return m_server ? m_server->serverPort() : 0;
}

QString FixtureServer::url(const QString &path) const
{
    return QStringLiteral("%1://127.0.0.1:%2%3")
        .arg(m_tls ? QStringLiteral("https") : QStringLiteral("http"))
        .arg(port())
        .arg(path);
}

void FixtureServer::setRoute(const QString &path, const Response &response)
{
    m_routes.insert(path, response);
}

void FixtureServer::setJson(const QString &path, const QByteArray &json, int status)
{
    Response response;
    response.status = status;
    response.body = json;
    setRoute(path, response);
}

void FixtureServer::setStatus(const QString &path, int status, const QByteArray &body)
{
    Response response;
    response.status = status;
    response.body = body;
    response.contentType = "text/html";
    setRoute(path, response);
}

void FixtureServer::setRedirect(const QString &path, const QString &location, int status)
{
    Response response;
    response.status = status;
    response.contentType = "text/html";
    response.headers.append({"Location", location.toUtf8()});
    setRoute(path, response);
}

void FixtureServer::removeRoute(const QString &path)
{
    m_routes.remove(path);
}

QString FixtureServer::refusedUrl(const QString &path)
{
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost, 0);
    const quint16 port = probe.serverPort();
    probe.close();
    return QStringLiteral("http://127.0.0.1:%1%2").arg(port).arg(path);
}

QByteArray FixtureServer::generatedBytes(qint64 offset, qint64 size)
{
    QByteArray bytes(size, Qt::Uninitialized);
    for (qint64 i = 0; i < size; ++i)
        bytes[i] = char('a' + (offset + i) % 26);
    return bytes;
}

void FixtureServer::onNewConnection()
{
    while (QTcpSocket *socket = m_server->nextPendingConnection()) {
        m_connections.insert(socket, new Connection);
        connect(socket, &QTcpSocket::readyRead, this, [this, socket] { onReadyRead(socket); });
        connect(socket, &QTcpSocket::bytesWritten, this, [this, socket] { pump(socket); });
        connect(socket, &QTcpSocket::disconnected, this, [this, socket] {
            delete m_connections.take(socket);
            socket->deleteLater();
        });
    }
}

void FixtureServer::onReadyRead(QTcpSocket *socket)
{
    Connection *connection = m_connections.value(socket);
    if (!connection || connection->answered) {
        socket->readAll();
        return;
    }
    connection->request += socket->readAll();
    const int end = connection->request.indexOf("\r\n\r\n");
    if (end < 0)
        return;
    connection->answered = true;
    const QList<QByteArray> requestLine = connection->request.left(connection->request.indexOf("\r\n")).split(' ');
    const QString path = requestLine.size() >= 2 ? QString::fromUtf8(requestLine.at(1)) : QString();
    m_requests.append(path);
    emit requestReceived(path);
    respond(socket, path);
}

void FixtureServer::respond(QTcpSocket *socket, const QString &path)
{
    Connection *connection = m_connections.value(socket);
    const auto route = m_routes.constFind(path);
    Response response;
    if (route == m_routes.constEnd()) {
        response.status = 404;
        response.body = "<html><body>not found</body></html>";
        response.contentType = "text/html";
    } else {
        response = *route;
    }
    if (response.behaviour == Behaviour::Stall)
        return;

    qint64 length = response.body.size();
    if (!response.filePath.isEmpty()) {
        connection->file = new QFile(response.filePath);
        if (!connection->file->open(QIODevice::ReadOnly)) {
            socket->abort();
            return;
        }
        length = connection->file->size();
    } else if (response.generatedSize >= 0) {
        connection->generatedLeft = response.generatedSize;
        length = response.generatedSize;
    }

    QByteArray head = "HTTP/1.1 " + QByteArray::number(response.status) + ' ' + reasonPhrase(response.status) + "\r\n";
    head += "Content-Type: " + response.contentType + "\r\n";
    head += "Connection: close\r\n";
    if (response.behaviour != Behaviour::NoContentLength)
        head += "Content-Length: " + QByteArray::number(length) + "\r\n";
    for (const auto &header : response.headers)
        head += header.first + ": " + header.second + "\r\n";
    head += "\r\n";
    socket->write(head);

    switch (response.behaviour) {
    case Behaviour::StallAfterHeaders:
        return;
    case Behaviour::ResetMidBody:
        socket->write(response.body.left(response.body.size() / 2));
        socket->flush();
        QTimer::singleShot(20, socket, [socket] { socket->abort(); });
        return;
    case Behaviour::ShortBody:
        socket->write(response.body.left(response.body.size() / 2));
        socket->disconnectFromHost();
        return;
    case Behaviour::Drip: {
        auto *timer = new QTimer(socket);
        auto sent = std::make_shared<qint64>(0);
        const QByteArray body = response.body;
        const int chunk = qMax(1, response.dripChunk);
        connect(timer, &QTimer::timeout, socket, [socket, timer, sent, body, chunk] {
            socket->write(body.mid(*sent, chunk));
            *sent += chunk;
            if (*sent >= body.size()) {
                timer->stop();
                socket->disconnectFromHost();
            }
        });
        timer->start(response.dripIntervalMs);
        return;
    }
    case Behaviour::Normal:
    case Behaviour::NoContentLength:
    case Behaviour::Stall:
        break;
    }

    if (connection->file || connection->generatedLeft >= 0) {
        pump(socket);
        return;
    }
    socket->write(response.body);
    socket->disconnectFromHost();
}

void FixtureServer::pump(QTcpSocket *socket)
{
    Connection *connection = m_connections.value(socket);
    if (!connection || (!connection->file && connection->generatedLeft < 0))
        return;
    // Keep a bounded amount queued so large bodies never sit in memory whole.
    while (socket->bytesToWrite() < 2 * streamChunk) {
        QByteArray chunk;
        if (connection->file) {
            chunk = connection->file->read(streamChunk);
        } else if (connection->generatedLeft > 0) {
            const qint64 size = qMin(streamChunk, connection->generatedLeft);
            chunk = generatedBytes(connection->generatedOffset, size);
            connection->generatedOffset += size;
            connection->generatedLeft -= size;
        }
        if (chunk.isEmpty()) {
            delete connection->file;
            connection->file = nullptr;
            connection->generatedLeft = -1;
            socket->disconnectFromHost();
            return;
        }
        socket->write(chunk);
    }
}
