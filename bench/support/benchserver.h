#pragma once

#include <QByteArray>
#include <QHash>
#include <QObject>
#include <QString>
#include <QTcpServer>

class QTcpSocket;

/**
 * The HTTP/1.1 server of the benchmarks, on 127.0.0.1 on a port the system
 * picks. A path answers with a body held in memory or with a file streamed in
 * bounded chunks, so that a body of hundreds of megabytes never sits in memory
 * whole. One answer per connection. Each benchmark runs it in a process of its
 * own, so that serving never competes with the measured event loop.
 */
class BenchServer final : public QObject
{
    Q_OBJECT

public:
    BenchServer();
    bool listening() const { return m_server.isListening(); }
    QString url(const QString &path = QString()) const;

    void serveBody(const QString &path, const QByteArray &body, const QByteArray &contentType = "application/json");
    void serveFile(const QString &path, const QString &file, const QByteArray &contentType);

    /// Prints the port on standard output, the line the benchmark waits for,
    /// and serves until the process is ended.
    int run();

private:
    struct Route
    {
        QByteArray body;
        QString file;
        QByteArray contentType;
    };
    void answer(QTcpSocket *socket, const QString &path);

    QTcpServer m_server;
    QHash<QString, Route> m_routes;
};
