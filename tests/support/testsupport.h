#pragma once

#include "config/launcherenvironment.h"

#include <QHash>
#include <QMessageBox>
#include <QObject>
#include <QStringList>
#include <QTcpServer>
#include <functional>
#include <memory>

/// How a fixture route misbehaves; every connection closes after one answer.
/// Held answers send their headers and wait for FixtureServer::release().
enum class Fault { None, Stall, StallAfterHeaders, Held, Drip, Reset, ShortBody, NoLength };

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

/// An HTTP/1.1 server on 127.0.0.1, on a port the system picks; with tls, an
/// https one with the certificate in tls/ (public on purpose; see trust()).
class FixtureServer final : public QObject
{
    Q_OBJECT

public:
    explicit FixtureServer(bool tls = false);
    ~FixtureServer() override;
    QString url(const QString &path = QString()) const;
    /// Makes this process accept the fixture certificate.
    static void trust();
    /// A loopback address on which nothing listens.
    static QString refusedUrl(const QString &path = QString());
    /// Sends the bodies of the held answers.
    void release();

    QHash<QString, Route> routes; ///< unknown paths get a 404 page
    QStringList requests; ///< paths asked for, in order

signals:
    void requested(const QString &path);

private:
    void answer(class QTcpSocket *socket, const QString &path);
    std::unique_ptr<QTcpServer> m_server;
    bool m_tls;
};

/// An environment that reaches nothing outside the test: addresses on a dead
/// loopback port, folders, settings and client key under scratch, and short
/// time-outs.
LauncherEnvironment testEnvironment(const QString &scratch);

/// Writes a file, making its folder; returns its path.
QString writeFile(const QString &path, const QByteArray &contents, bool executable = false);
QByteArray readFile(const QString &path);

/// A program that appends "<arguments>|<working folder>" to logPath each time
/// it runs: a stand-in for the client's updater.exe or an installer.
QString writeRecorder(const QString &path, const QString &logPath);

/// A zip archive of the files under folder (names relative to it).
QByteArray zipOf(const QString &folder);

/**
 * Answers every message box with OK and records it as "title|text", then
 * hands every dialog, boxes included, to onDialog when it is shown. Driven by
 * show events, so it never misses a box that closes quickly.
 */
class ModalAnswerer final : public QObject
{
public:
    ModalAnswerer();
    QStringList boxes;
    std::function<void(class QDialog *)> onDialog;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
};
