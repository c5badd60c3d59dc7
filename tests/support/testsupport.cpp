#include "testsupport.h"

#include <QAbstractButton>
#include <QDir>
#include <QProcess>
#include <QSettings>
#include <QTcpSocket>
#include <QTimer>
#include <cstdlib>

FixtureServer::FixtureServer()
{
    connect(&m_server, &QTcpServer::pendingConnectionAvailable, this, [this] {
        while (QTcpSocket *socket = m_server.nextPendingConnection()) {
            socket->setParent(this);
            connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
            connect(socket, &QTcpSocket::readyRead, this, [this, socket] {
                // Read whole, so that closing never finds unread bytes and resets instead.
                if (socket->peek(8192).contains("\r\n\r\n")) {
                    socket->disconnect(this);
                    answer(socket, socket->readAll());
                }
            });
        }
    });
    m_server.listen(QHostAddress::LocalHost);
}

QString FixtureServer::url(const QString &path) const
{
    return "http://127.0.0.1:" + QString::number(m_server.serverPort()) + path;
}

QString FixtureServer::refusedUrl(const QString &path)
{
    return FixtureServer().url(path); // a port that was free, and is again
}

void FixtureServer::answer(QTcpSocket *socket, const QByteArray &head)
{
    const QString target = QString::fromUtf8(head.split(' ').value(1));
    const QString path = target.section(u'?', 0, 0);
    Route route = routes.value(path, Route{404, "<html><body>not found</body></html>"});
    requests << path;
    heads << head;
    emit requested(path);
    if (route.fault == Stall)
        return;
    if (route.fault == CutOnce)
        routes[path].fault = Plain;
    const qsizetype range = head.indexOf("\nRange: bytes=");
    const QByteArray firstByte = head.mid(range + 14).split('-').value(0);
    qint64 from = range < 0 ? 0 : firstByte.toLongLong();
    if (from > 0 && route.headers.contains("Accept-Ranges")) {
        from -= route.fault == Early;
        const qint64 last = route.body.size() - 1 - (route.fault == Partial);
        route.headers += "Content-Range: bytes " + QByteArray::number(from) + '-' + QByteArray::number(last) + '/'
            + QByteArray::number(route.body.size()) + "\r\n";
        route.status = 206;
        route.body = route.body.mid(from, last + 1 - from);
    }
    if (from > 0 && route.fault == Unsatisfiable) {
        route.status = 416;
        route.body.clear();
    }
    QByteArray reply = "HTTP/1.1 " + QByteArray::number(route.status) + " Status\r\nConnection: close\r\n";
    if (route.fault == Challenge)
        reply += "WWW-Authenticate: NTLM\r\nWWW-Authenticate: Negotiate\r\n";
    if (route.fault != NoLength && (route.fault != ShortBody || route.status != 206))
        reply += "Content-Length: " + QByteArray::number(route.body.size()) + "\r\n";
    socket->write(reply + route.headers + "\r\n");
    if (route.fault == Held)
        return;
    const bool cut = route.fault == Reset || route.fault == ShortBody || route.fault == CutOnce
        || (route.fault > NoLength && requests.size() == 1);
    const QByteArray body = cut ? route.body.left(route.body.size() / 2) : route.body;
    if (route.fault == Drip) {
        // Ten pieces 50 ms apart: slower than a 300 ms silence bound, never that silent.
        const qsizetype size = body.size() / 10 + 1;
        for (int i = 0; i <= 10; ++i) {
            QTimer::singleShot(50 * i, socket, [socket, i, piece = body.mid(i * size, size)] {
                if (i == 10)
                    socket->disconnectFromHost();
                else
                    socket->write(piece);
            });
        }
    } else {
        socket->write(body);
        const bool reset = route.fault == Reset;
        QTimer::singleShot(reset ? 20 : 0, socket, reset ? &QTcpSocket::abort : &QTcpSocket::disconnectFromHost);
    }
}

LauncherEnvironment testEnvironment(const QString &scratch)
{
    LauncherEnvironment env = LauncherEnvironment::compiledIn();
    env.apiBase = FixtureServer::refusedUrl();
    env.websiteUrl = "https://site.test";
    env.gameServerHost = "game.site.test";
    env.neighbourClientFolder = scratch + "/neighbour";
    env.fixedClientFolders = {scratch + "/fixed"};
    env.tempFolder = scratch + "/temp";
    env.logFolder = scratch + "/logs";
    env.cacheFolder = scratch + "/cache";
    QDir().mkpath(env.tempFolder);
#ifdef Q_OS_WIN
    // Never the player's own keys: keys of this process's own, removed as it ends.
    static const QString root = "HKEY_CURRENT_USER\\Software\\VelorLauncherTests\\"
        + QString::number(QCoreApplication::applicationPid()) + u'\\';
    static const int removed = std::atexit([] { QSettings(root, QSettings::NativeFormat).remove(QString()); });
    const QString key = root + QFileInfo(scratch).fileName() + QString::number(removed) + u'\\';
    env.settingsLocation = key + "Launcher";
    env.clientKeyLocation = key + "RAGE-MP";
#else
    env.settingsLocation = scratch + "/Launcher.conf";
    env.clientKeyLocation = scratch + "/RAGE-MP.conf";
#endif
    env.requestTimeoutMs = 300;
    env.downloadStallTimeoutMs = 300;
    env.resumeDelaysMs = {10, 10, 10};
    env.commitRetryDelayMs = 10;
    env.quitApplication = [] {};
    return env;
}

QString writeFile(const QString &path, const QByteArray &contents, bool executable)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(contents) != contents.size())
        return QString();
    if (executable)
        file.setPermissions(file.permissions() | QFileDevice::ExeOwner);
    return path;
}

QByteArray readFile(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

QString writeRecorder(const QString &path)
{
#ifdef VELOR_RECORDER_EXE
    QDir().mkpath(QFileInfo(path).absolutePath());
    return QFile::copy(QStringLiteral(VELOR_RECORDER_EXE), path) ? path : QString();
#else
    return writeFile(path, "#!/bin/sh\necho \"$*|$(pwd -P)\" >> \"$(dirname \"$0\")/started.txt\"\n", true);
#endif
}

QString recorded(const QString &path)
{
    return QDir::fromNativeSeparators(QString::fromUtf8(readFile(QFileInfo(path).path() + "/started.txt")));
}

QByteArray zipOf(const QString &folder)
{
    QProcess zip;
    zip.setWorkingDirectory(folder);
    zip.start("zip", {"-qry", "-", "."});
    zip.waitForFinished();
    return zip.readAllStandardOutput();
}

bool ModalAnswerer::eventFilter(QObject *watched, QEvent *event)
{
    auto *dialog = event->type() == QEvent::Show ? qobject_cast<QDialog *>(watched) : nullptr;
    if (auto *box = qobject_cast<QMessageBox *>(dialog)) {
        boxes << box->windowTitle() + u'|' + box->text();
        QMetaObject::invokeMethod(box->button(QMessageBox::Ok), &QAbstractButton::click, Qt::QueuedConnection);
    }
    if (dialog && onDialog)
        onDialog(dialog);
    return false;
}
