#include "benchserver.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QFile>
#include <QFileInfo>
#include <QLocale>
#include <QTcpSocket>
#include <QTimer>
#include <algorithm>
#include <cstdio>

namespace {
// Read and queued a chunk at a time, at most two queued: memory stays flat
// and the socket never waits for the disk.
constexpr qint64 chunkSize = 256 * 1024;

QByteArray headerValue(const QByteArray &head, const QByteArray &name)
{
    for (const QByteArray &line : head.split('\n')) {
        const qsizetype colon = line.indexOf(':');
        if (colon > 0 && line.left(colon).trimmed().toLower() == name)
            return line.mid(colon + 1).trimmed();
    }
    return QByteArray();
}

struct Part
{
    qint64 from = 0;
    qint64 to = 0; ///< one past the last byte
    bool satisfiable = true;
};

// The part of a file of size bytes that a Range header asks for. A header
// this server does not take (other units, several ranges) gets the whole
// file, as the protocol allows.
Part requestedPart(const QByteArray &range, qint64 size)
{
    const Part whole{0, size, true};
    if (!range.startsWith("bytes=") || range.contains(','))
        return whole;
    const QByteArray spec = range.mid(6).trimmed();
    const qsizetype dash = spec.indexOf('-');
    if (dash < 0)
        return whole;
    bool firstOk = false;
    bool lastOk = false;
    const qint64 first = spec.left(dash).toLongLong(&firstOk);
    const qint64 last = spec.mid(dash + 1).toLongLong(&lastOk);
    if (dash == 0) { // the last bytes
        if (!lastOk || last < 0)
            return whole;
        return {std::max<qint64>(0, size - last), size, last > 0 && size > 0};
    }
    if (!firstOk || first < 0 || (dash + 1 < spec.size() && (!lastOk || last < first)))
        return whole;
    const qint64 to = dash + 1 < spec.size() ? std::min(last + 1, size) : size;
    return {first, to, first < size};
}
} // namespace

struct BenchServer::Stream final : QObject
{
    using QObject::QObject;
    QFile file;
    qint64 stop = 0; ///< where the answer ends, or is cut
    bool waiting = false; ///< for the line
};

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
                const qsizetype end = head.indexOf("\r\n\r\n");
                if (end < 0)
                    return;
                socket->setProperty("answered", true);
                socket->readAll();
                answer(socket, head.left(end));
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

void BenchServer::serveFile(const QString &path, const QString &file, const QByteArray &contentType, bool cutOnceAtHalf)
{
    m_routes.insert(path, {QByteArray(), file, contentType, cutOnceAtHalf});
}

void BenchServer::setLineRate(qint64 bytesPerSecond)
{
    m_lineRate = bytesPerSecond;
    m_lineClock.start();
}

int BenchServer::run()
{
    if (!listening())
        return 1;
    std::printf("%u\n", unsigned(m_server.serverPort()));
    std::fflush(stdout);
    return QCoreApplication::exec();
}

void BenchServer::answer(QTcpSocket *socket, const QByteArray &head)
{
    const QByteArray target = head.split('\n').constFirst().split(' ').value(1);
    connect(socket, &QTcpSocket::bytesWritten, this, [this, target](qint64 bytes) { m_served[target] += bytes; });
    const QByteArray path = target.split('?').constFirst();
    if (path.startsWith("/served/")) {
        const QByteArray count = QByteArray::number(m_served.value(target.mid(7)));
        socket->write("HTTP/1.1 200 OK\r\nConnection: close\r\nContent-Type: text/plain\r\nContent-Length: "
            + QByteArray::number(count.size()) + "\r\n\r\n" + count);
        socket->disconnectFromHost();
        return;
    }
    const auto route = m_routes.constFind(QString::fromUtf8(path));
    if (route == m_routes.constEnd()) {
        socket->write("HTTP/1.1 404 Not Found\r\nConnection: close\r\nContent-Length: 0\r\n\r\n");
        socket->disconnectFromHost();
        return;
    }
    if (!route->file.isEmpty())
        return answerFile(socket, *route, target, head);
    socket->write("HTTP/1.1 200 OK\r\nConnection: close\r\nContent-Type: " + route->contentType
        + "\r\nContent-Length: " + QByteArray::number(route->body.size()) + "\r\n\r\n");
    socket->write(route->body);
    socket->disconnectFromHost();
}

void BenchServer::answerFile(QTcpSocket *socket, const Route &route, const QByteArray &target, const QByteArray &head)
{
    auto *stream = new Stream(socket);
    stream->file.setFileName(route.file);
    if (!stream->file.open(QIODevice::ReadOnly)) {
        socket->abort();
        return;
    }
    const QFileInfo info(route.file);
    const qint64 size = info.size();
    const QDateTime modified = info.lastModified().toUTC();
    const QByteArray etag
        = '"' + QByteArray::number(size, 16) + '-' + QByteArray::number(modified.toMSecsSinceEpoch(), 16) + '"';
    const QByteArray lastModified
        = QLocale::c().toString(modified, QStringLiteral("ddd, dd MMM yyyy hh:mm:ss 'GMT'")).toLatin1();

    const QByteArray range = headerValue(head, "range");
    const QByteArray ifRange = headerValue(head, "if-range");
    const bool partial = !range.isEmpty() && (ifRange.isEmpty() || ifRange == etag || ifRange == lastModified);
    const Part part = partial ? requestedPart(range, size) : Part{0, size, true};
    if (!part.satisfiable) {
        socket->write("HTTP/1.1 416 Range Not Satisfiable\r\nConnection: close\r\nContent-Length: 0\r\n"
                      "Content-Range: bytes */"
            + QByteArray::number(size) + "\r\n\r\n");
        socket->disconnectFromHost();
        return;
    }
    const bool whole = part.from == 0 && part.to == size;
    QByteArray headers = whole ? "HTTP/1.1 200 OK\r\n" : "HTTP/1.1 206 Partial Content\r\n";
    headers += "Connection: close\r\nContent-Type: " + route.contentType
        + "\r\nContent-Length: " + QByteArray::number(part.to - part.from) + "\r\nAccept-Ranges: bytes\r\nETag: " + etag
        + "\r\nLast-Modified: " + lastModified + "\r\n";
    if (!whole) {
        headers += "Content-Range: bytes " + QByteArray::number(part.from) + '-' + QByteArray::number(part.to - 1) + '/'
            + QByteArray::number(size) + "\r\n";
    }
    socket->write(headers + "\r\n");

    stream->file.seek(part.from);
    stream->stop = part.to;
    const qint64 half = size / 2;
    if (route.cutOnceAtHalf && part.from < half && part.to > half && !m_cut.contains(target)) {
        m_cut.insert(target);
        stream->stop = half;
    }
    connect(socket, &QTcpSocket::bytesWritten, stream, [this, socket, stream] { pump(socket, stream); });
    pump(socket, stream);
}

void BenchServer::pump(QTcpSocket *socket, Stream *stream)
{
    while (stream->file.isOpen() && !stream->waiting && socket->bytesToWrite() < 2 * chunkSize) {
        const qint64 piece = std::min(chunkSize, stream->stop - stream->file.pos());
        const qint64 waitNs = piece > 0 ? lineWaitNs(piece) : 0;
        if (waitNs > 0) {
            stream->waiting = true;
            QTimer::singleShot(int((waitNs + 999999) / 1000000), Qt::PreciseTimer, stream, [this, socket, stream] {
                stream->waiting = false;
                pump(socket, stream);
            });
            return;
        }
        const QByteArray chunk = piece > 0 ? stream->file.read(piece) : QByteArray();
        if (chunk.isEmpty()) {
            // The end of the answer, or the cut: either way the connection
            // closes once the bytes queued so far are out.
            stream->file.close();
            socket->disconnectFromHost();
            return;
        }
        socket->write(chunk);
    }
}

// How long a piece of this many bytes must wait for the line; once it may go
// (0), the line is busy with it. A late timer may catch up by one chunk, so
// that the line keeps its rate; an idle line saves no more than that.
qint64 BenchServer::lineWaitNs(qint64 bytes)
{
    if (m_lineRate <= 0)
        return 0;
    const qint64 now = m_lineClock.nsecsElapsed();
    if (m_lineFreeNs > now)
        return m_lineFreeNs - now;
    const qint64 chunkNs = chunkSize * 1000000000 / m_lineRate;
    m_lineFreeNs = std::max(m_lineFreeNs, now - chunkNs) + bytes * 1000000000 / m_lineRate;
    return 0;
}
