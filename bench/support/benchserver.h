#pragma once

#include <QByteArray>
#include <QElapsedTimer>
#include <QHash>
#include <QObject>
#include <QSet>
#include <QString>
#include <QTcpServer>

class QTcpSocket;

/**
 * The HTTP/1.1 server of the benchmarks, on 127.0.0.1 on a port the system
 * picks. A path answers with a body held in memory or with a file streamed in
 * bounded chunks, so that a body of hundreds of megabytes never sits in memory
 * whole. One answer per connection; the query of a request does not choose
 * the route. Each benchmark runs it in a process of its own, so that serving
 * never competes with the measured event loop.
 *
 * Files are served as a server that resumes transfers does it: with an ETag,
 * "Accept-Ranges: bytes", and a single "Range: bytes=..." answered by its
 * part (206) unless an If-Range names another version of the file.
 *
 * "/served" followed by a request target (path and query) answers how many
 * bytes the answers to that target have handed to the system so far, headers
 * included: what went over the wire for it.
 */
class BenchServer final : public QObject
{
    Q_OBJECT

public:
    BenchServer();
    bool listening() const { return m_server.isListening(); }
    QString url(const QString &path = QString()) const;

    void serveBody(const QString &path, const QByteArray &body, const QByteArray &contentType = "application/json");
    /// With cutOnceAtHalf, the first answer to each request target (path and
    /// query) that reaches the middle of the file closes the connection there.
    void serveFile(const QString &path, const QString &file, const QByteArray &contentType, bool cutOnceAtHalf = false);
    /// Sends the files through one line of this many bytes a second, shared by
    /// all connections, as a slow home connection would; 0: no limit.
    void setLineRate(qint64 bytesPerSecond);

    /// Prints the port on standard output, the line the benchmark waits for,
    /// and serves until the process is ended.
    int run();

private:
    struct Route
    {
        QByteArray body;
        QString file;
        QByteArray contentType;
        bool cutOnceAtHalf = false;
    };
    struct Stream;
    void answer(QTcpSocket *socket, const QByteArray &head);
    void answerFile(QTcpSocket *socket, const Route &route, const QByteArray &target, const QByteArray &head);
    void pump(QTcpSocket *socket, Stream *stream);
    qint64 lineWaitNs(qint64 bytes);

    QTcpServer m_server;
    QHash<QString, Route> m_routes;
    QHash<QByteArray, qint64> m_served;
    QSet<QByteArray> m_cut;
    qint64 m_lineRate = 0;
    QElapsedTimer m_lineClock;
    qint64 m_lineFreeNs = 0;
};
