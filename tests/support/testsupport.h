#pragma once

#include "config/launcherenvironment.h"

#include <QHash>
#include <QMessageBox>
#include <QStringList>
#include <QTcpServer>
#include <functional>
#include <memory>

/// How a route misbehaves. Held answers send their headers and wait for release().
enum class Fault { None, Stall, Held, Drip, Reset, ShortBody, NoLength };

struct Route
{
    Route(int status = 200, QByteArray body = {}, Fault fault = Fault::None, QByteArray headers = {})
        : status(status)
        , body(std::move(body))
        , fault(fault)
        , headers(std::move(headers))
    {
    }
    int status;
    QByteArray body;
    Fault fault;
    QByteArray headers; ///< extra header lines, each ending in "\r\n"
};

/// An HTTP/1.1 server on 127.0.0.1 on a port the system picks; with tls, https
/// with the certificate in tls/ (public on purpose; see trust()). Every
/// connection closes after one answer; unknown paths get a 404 page.
class FixtureServer final : public QObject
{
    Q_OBJECT

public:
    explicit FixtureServer(bool tls = false);
    ~FixtureServer() override;
    QString url(const QString &path = QString()) const;
    static void trust(); ///< this process accepts the fixture certificate
    static QString refusedUrl(const QString &path = QString()); ///< nothing listens there
    void release();

    QHash<QString, Route> routes;
    QStringList requests; ///< paths asked for, in order

signals:
    void requested(const QString &path);

private:
    void answer(class QTcpSocket *socket, const QString &path);
    std::unique_ptr<QTcpServer> m_server;
    bool m_tls;
};

/// Addresses on a dead loopback port, folders, settings and client key under
/// scratch, and short time-outs: nothing reaches outside the test.
LauncherEnvironment testEnvironment(const QString &scratch);

QString writeFile(const QString &path, const QByteArray &contents, bool executable = false); ///< returns path
QByteArray readFile(const QString &path);
/// A program that appends "<arguments>|<working folder>" to started.txt beside
/// itself each time it runs; returns path.
QString writeRecorder(const QString &path);
/// What the recorder at path has logged, with / for separators.
QString recorded(const QString &path);
QByteArray zipOf(const QString &folder);

/// Answers every message box with OK, recording it as "title|text", then hands
/// every dialog to onDialog as it is shown: driven by show events, it never
/// misses a box that closes quickly.
class ModalAnswerer final : public QObject
{
public:
    ModalAnswerer();
    QStringList boxes;
    std::function<void(class QDialog *)> onDialog;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
};
