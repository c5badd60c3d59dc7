#include "testsupport.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QSslCertificate>
#include <QSslConfiguration>
#include <QSslKey>
#include <QSslServer>
#include <QTcpSocket>
#include <QTimer>

namespace {
QByteArray tlsFile(const char *name)
{
    return readFile(QStringLiteral(VELOR_TLS_DIR "/") + QLatin1String(name));
}
} // namespace

FixtureServer::FixtureServer(bool tls)
    : m_tls(tls)
{
    if (tls) {
        auto *server = new QSslServer;
        QSslConfiguration config = QSslConfiguration::defaultConfiguration();
        config.setLocalCertificate(QSslCertificate(tlsFile("fixture.crt")));
        config.setPrivateKey(QSslKey(tlsFile("fixture.key"), QSsl::Rsa));
        server->setSslConfiguration(config);
        m_server.reset(server);
    } else {
        m_server = std::make_unique<QTcpServer>();
    }
    connect(m_server.get(), &QTcpServer::pendingConnectionAvailable, this, [this] {
        while (QTcpSocket *socket = m_server->nextPendingConnection()) {
            connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
            connect(socket, &QTcpSocket::readyRead, this, [this, socket] {
                const QByteArray head = socket->peek(8192);
                if (!head.contains("\r\n\r\n") || socket->property("answered").toBool())
                    return;
                socket->setProperty("answered", true);
                answer(socket, QString::fromUtf8(head.split(' ').value(1)));
            });
        }
    });
    m_server->listen(QHostAddress::LocalHost);
}

FixtureServer::~FixtureServer()
{
    for (QTcpSocket *socket : findChildren<QTcpSocket *>())
        socket->abort();
    m_server.reset();
}

QString FixtureServer::url(const QString &path) const
{
    return QStringLiteral("%1://127.0.0.1:%2%3")
        .arg(QLatin1String(m_tls ? "https" : "http"))
        .arg(m_server->serverPort())
        .arg(path);
}

void FixtureServer::trust()
{
    QSslConfiguration config = QSslConfiguration::defaultConfiguration();
    config.addCaCertificate(QSslCertificate(tlsFile("fixture.crt")));
    QSslConfiguration::setDefaultConfiguration(config);
}

QString FixtureServer::refusedUrl(const QString &path)
{
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost);
    return QStringLiteral("http://127.0.0.1:%1%2").arg(probe.serverPort()).arg(path);
}

void FixtureServer::answer(QTcpSocket *socket, const QString &path)
{
    socket->setParent(this);
    const Route route = routes.value(path, Route(404, "<html><body>not found</body></html>"));
    requests << path;
    emit requested(path);
    if (route.fault == Fault::Stall)
        return;
    QByteArray head
        = "HTTP/1.1 " + QByteArray::number(route.status) + " Status\r\nConnection: close\r\n" + route.headers;
    if (route.fault != Fault::NoLength)
        head += "Content-Length: " + QByteArray::number(route.body.size()) + "\r\n";
    socket->write(head + "\r\n");
    const QByteArray half = route.body.left(route.body.size() / 2);
    switch (route.fault) {
    case Fault::Held:
        socket->setProperty("held", route.body);
        return;
    case Fault::StallAfterHeaders:
        return;
    case Fault::Reset:
        socket->write(half);
        QTimer::singleShot(20, socket, &QTcpSocket::abort);
        return;
    case Fault::ShortBody:
        socket->write(half);
        break;
    case Fault::Drip: {
        // Ten pieces, 50 ms apart: slower in all than a 300 ms silence
        // bound, but never silent that long.
        auto *timer = new QTimer(socket);
        connect(timer, &QTimer::timeout, socket, [socket, timer, body = route.body, sent = qsizetype(0)]() mutable {
            const qsizetype piece = body.size() / 10 + 1;
            socket->write(body.mid(sent, piece));
            if ((sent += piece) >= body.size()) {
                timer->stop();
                socket->disconnectFromHost();
            }
        });
        timer->start(50);
        return;
    }
    default:
        socket->write(route.body);
    }
    socket->disconnectFromHost();
}

void FixtureServer::release()
{
    for (QTcpSocket *socket : findChildren<QTcpSocket *>()) {
        if (socket->property("held").isValid()) {
            socket->write(socket->property("held").toByteArray());
            socket->disconnectFromHost();
        }
    }
}

LauncherEnvironment testEnvironment(const QString &scratch)
{
    LauncherEnvironment env = LauncherEnvironment::compiledIn();
    env.apiBase = FixtureServer::refusedUrl();
    env.websiteUrl = QStringLiteral("https://site.test");
    env.clientInstallerUrl = env.apiBase + QStringLiteral("/RAGEMultiplayer_Setup.exe");
    env.gameServerHost = QStringLiteral("game.site.test");
    env.neighbourClientFolder = scratch + QStringLiteral("/neighbour/RAGEMP");
    env.fixedClientFolders = {scratch + QStringLiteral("/fixed1"), scratch + QStringLiteral("/fixed2")};
    env.tempFolder = scratch + QStringLiteral("/temp");
    QDir().mkpath(env.tempFolder);
    env.pictureCacheFolder.clear();
#ifdef Q_OS_WIN
    // Never the player's own keys: a key of the tests' own, under the test's name.
    const QString key = QStringLiteral("HKEY_CURRENT_USER\\Software\\VelorLauncherTests\\")
        + QCoreApplication::applicationName() + QLatin1Char('\\') + QFileInfo(scratch).fileName();
    env.settingsLocation = key + QStringLiteral("\\Launcher");
    env.clientKeyLocation = key + QStringLiteral("\\RAGE-MP");
#else
    env.settingsLocation = scratch + QStringLiteral("/Launcher.conf");
    env.clientKeyLocation = scratch + QStringLiteral("/RAGE-MP.conf");
#endif
    env.requestTimeoutMs = env.downloadStallTimeoutMs = 300;
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

QString writeRecorder(const QString &path, const QString &logPath)
{
#ifdef VELOR_RECORDER_EXE
    // Windows: a small program of the tests' own; it logs next to itself.
    Q_UNUSED(logPath);
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile::remove(path);
    return QFile::copy(QStringLiteral(VELOR_RECORDER_EXE), path) ? path : QString();
#else
    return writeFile(path, "#!/bin/sh\necho \"$*|$(pwd -P)\" >> '" + logPath.toUtf8() + "'\n", true);
#endif
}

QByteArray zipOf(const QString &folder)
{
    QProcess zip;
    zip.setWorkingDirectory(folder);
    zip.start(QStringLiteral("sh"), {QStringLiteral("-c"), QStringLiteral("zip -q -r -y - .")});
    zip.waitForFinished();
    return zip.readAllStandardOutput();
}

ModalAnswerer::ModalAnswerer()
{
    qApp->installEventFilter(this);
}

bool ModalAnswerer::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() != QEvent::Show)
        return false;
    if (auto *box = qobject_cast<QMessageBox *>(watched)) {
        boxes << box->windowTitle() + QLatin1Char('|') + box->text();
        QMetaObject::invokeMethod(box->button(QMessageBox::Ok), &QAbstractButton::click, Qt::QueuedConnection);
    }
    if (auto *dialog = qobject_cast<QDialog *>(watched); dialog && onDialog)
        onDialog(dialog);
    return false;
}
