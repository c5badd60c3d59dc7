#pragma once

#include "config/launcherenvironment.h"

#include <QCoreApplication>
#include <QHash>
#include <QMessageBox>
#include <QStringList>
#include <QTcpServer>
#include <functional>

/// How a route misbehaves. Held answers send their headers and nothing more;
/// CutOnce sends half the body and closes, the first time only; ShortBody
/// every time, and its 206 answers have no length; Challenge asks for a
/// Windows login. With Accept-Ranges, the faults after NoLength cut the first
/// answer and then answer each Range with a 206 that starts a byte early or
/// ends a byte short.
enum Fault { Plain, Stall, Held, Drip, Reset, CutOnce, ShortBody, Challenge, NoLength, Early, Partial, Unsatisfiable };

struct Route
{
    Route(int status = 200, QByteArray body = {}, Fault fault = Plain, QByteArray headers = {})
        : status(status)
        , body(std::move(body))
        , fault(fault)
        , headers(std::move(headers))
    {
    }
    int status;
    QByteArray body;
    Fault fault;
    QByteArray headers; ///< extra lines, each ending in "\r\n"; "Accept-Ranges" makes it honour Range
};

/// HTTP/1.1 on 127.0.0.1, one answer per connection, by path (the query aside); unknown paths get a 404 page.
class FixtureServer final : public QObject
{
    Q_OBJECT

public:
    FixtureServer();
    QString url(const QString &path = QString()) const;
    static QString refusedUrl(const QString &path = QString()); ///< nothing listens there
    QHash<QString, Route> routes;
    QStringList requests; ///< paths asked for, in order, without their queries
    QByteArrayList heads; ///< the requests' heads, in order

signals:
    void requested(const QString &path);

private:
    void answer(class QTcpSocket *socket, const QByteArray &head);
    QTcpServer m_server;
};

/// Dead loopback addresses, short time-outs, and everything stored under scratch.
LauncherEnvironment testEnvironment(const QString &scratch);
QString writeFile(const QString &path, const QByteArray &contents, bool executable = false); ///< returns path
QByteArray readFile(const QString &path);
/// A program that appends "<arguments>|<working folder>" to started.txt beside itself.
QString writeRecorder(const QString &path);
QString recorded(const QString &path); ///< what it logged, with / for separators
QByteArray zipOf(const QString &folder);

/// Records each message box as "title|text" and answers OK; hands each dialog shown to onDialog.
class ModalAnswerer final : public QObject
{
public:
    ModalAnswerer() { QCoreApplication::instance()->installEventFilter(this); }
    QStringList boxes;
    std::function<void(class QDialog *)> onDialog;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
};
