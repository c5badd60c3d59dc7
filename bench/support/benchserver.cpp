#include "benchserver.h"

#include <QCoreApplication>
#include <QFile>
#include <QTcpSocket>
#include <cstdio>

namespace {
// Read and queued a chunk at a time, at most two queued: memory stays flat
// and the socket never waits for the disk.
constexpr qint64 chunkSize = 256 * 1024;
} // namespace

BenchServer::BenchServer()
{
    connect(&m_server, &QTcpServer::pendingConnectionAvailable, this, [this] {
        while (QTcpSocket *socket = m_server.nextPendingConnection()) {
            connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
            connect(socket, &QTcpSocket::readyRead, this, [this, socket] {
                if (socket->property("answered").toBool()) {
                    socket->readAll();
                    return;
                }
                const QByteArray head = socket->peek(8192);
                if (!head.contains("\r\n\r\n"))
                    return;
                socket->setProperty("answered", true);
                socket->readAll();
                answer(socket, QString::fromUtf8(head.split(' ').value(1)));
            });
        }
    });
    m_server.listen(QHostAddress::LocalHost);
}

QString BenchServer::url(const QString &path) const
{
    return QStringLiteral("http://127.0.0.1:%1%2").arg(m_server.serverPort()).arg(path);
}

void BenchServer::serveBody(const QString &path, const QByteArray &body, const QByteArray &contentType)
{
    m_routes.insert(path, {body, QString(), contentType});
}

void BenchServer::serveFile(const QString &path, const QString &file, const QByteArray &contentType)
{
    m_routes.insert(path, {QByteArray(), file, contentType});
}

int BenchServer::run()
{
    if (!listening())
        return 1;
    std::printf("%u\n", unsigned(m_server.serverPort()));
    std::fflush(stdout);
    return QCoreApplication::exec();
}

void BenchServer::answer(QTcpSocket *socket, const QString &path)
{
    const auto route = m_routes.constFind(path);
    if (route == m_routes.constEnd()) {
        socket->write("HTTP/1.1 404 Not Found\r\nConnection: close\r\nContent-Length: 0\r\n\r\n");
        socket->disconnectFromHost();
        return;
    }
    QFile *file = nullptr;
    qint64 length = route->body.size();
    if (!route->file.isEmpty()) {
        file = new QFile(route->file, socket);
        if (!file->open(QIODevice::ReadOnly)) {
            socket->abort();
            return;
        }
        length = file->size();
    }
    socket->write("HTTP/1.1 200 OK\r\nConnection: close\r\nContent-Type: " + route->contentType
        + "\r\nContent-Length: " + QByteArray::number(length) + "\r\n\r\n");
    if (!file) {
        socket->write(route->body);
        socket->disconnectFromHost();
        return;
    }
    const auto pump = [socket, file] {
        while (file->isOpen() && socket->bytesToWrite() < 2 * chunkSize) {
            const QByteArray chunk = file->read(chunkSize);
            if (chunk.isEmpty()) {
                file->close();
                socket->disconnectFromHost();
                return;
            }
            socket->write(chunk);
        }
    };
    connect(socket, &QTcpSocket::bytesWritten, file, pump);
    pump();
}
