#include "ui/mainwindow.h"

#include "app/singleinstance.h"
#include "ui/picturecache.h"
#include "update/updater.h"

#include <QDesktopServices>
#include <QLabel>
#include <QLinearGradient>
#include <QLocalServer>
#include <QLocalSocket>
#include <QMouseEvent>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QPainter>
#include <QPainterPath>
#include <QPushButton>
#include <QRadialGradient>
#include <QSettings>
#include <QTimer>
#include <QUrl>

namespace {
const QString titleButtonStyle = QStringLiteral(
    "QPushButton {  background: rgba(25,25,25,0.75);  border: 1px solid rgba(255,255,255,0.12);  border-radius: 6px;"
    "  color: rgba(255,255,255,0.45);  font-size: 14px;}");
const QString minimizeExtraStyle = QStringLiteral(
    "QPushButton { padding-bottom: 4px; }QPushButton:hover { background: rgba(80,80,80,0.85); color: white; }");
const QString closeExtraStyle = QStringLiteral("QPushButton:hover { background: rgba(200,45,45,0.9); color: white; }");
const QString versionLabelStyle = QStringLiteral(
    "font-family: 'Akrobat','Segoe UI';font-size: 11px;color: rgba(255,255,255,0.30);background: transparent;"
    "border: none;");

// Draws the background and the sidebar panel inside the rounded window shape.
// Touches no widget, so it may run off the GUI thread.
QImage renderFrame(const QSize &size, qreal devicePixelRatio)
{
    QImage frame(size * devicePixelRatio, QImage::Format_ARGB32_Premultiplied);
    frame.setDevicePixelRatio(devicePixelRatio);
    frame.fill(Qt::transparent);

    QPainter painter(&frame);
    painter.setRenderHints(QPainter::Antialiasing | QPainter::SmoothPixmapTransform);
    const QRectF bounds(QPointF(0, 0), QSizeF(size));
    QPainterPath clip;
    clip.addRoundedRect(bounds, 12.0, 12.0, Qt::AbsoluteSize);
    painter.setClipPath(clip);

    const QImage background(QStringLiteral(":/images/background.png"));
    if (!background.isNull()) {
        // Scale straight to device pixels so the picture stays crisp on scaled displays.
        const QSize logical = background.size().scaled(size, Qt::KeepAspectRatioByExpanding);
        QImage scaled = background.scaled(logical * devicePixelRatio, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
        scaled.setDevicePixelRatio(devicePixelRatio);
        const int x = (size.width() - logical.width()) / 2;
        const int y = (size.height() - logical.height()) / 2;
        painter.drawImage(QPoint(x, y), scaled);
    } else {
        painter.fillRect(bounds, QColor(18, 18, 18, 255));
        QRadialGradient glow(QPointF(200, 700), 800);
        glow.setColorAt(0.0, QColor(255, 225, 44, 22));
        glow.setColorAt(1.0, QColor(255, 225, 44, 0));
        painter.fillRect(bounds, glow);
    }

    QPainterPath panel;
    panel.addRoundedRect(QRectF(20.5, 20.5, 205, 623), 12.0, 12.0, Qt::AbsoluteSize);
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor(18, 18, 18, 217));
    painter.drawPath(panel);
    QLinearGradient sheen(QPointF(20, 20), QPointF(20, 644));
    sheen.setColorAt(0.0, QColor(255, 255, 255, 10));
    sheen.setColorAt(1.0, QColor(0, 0, 0, 18));
    painter.setBrush(sheen);
    painter.drawPath(panel);
    painter.setPen(QPen(QBrush(QColor(255, 255, 255, 20)), 1.0, Qt::SolidLine, Qt::SquareCap, Qt::BevelJoin));
    painter.setBrush(Qt::NoBrush);
    painter.drawPath(panel);
    return frame;
}

QImage cachedFrame(const QString &cacheFolder, const QSize &size, qreal devicePixelRatio)
{
    const auto make = [&] { return renderFrame(size, devicePixelRatio); };
    if (cacheFolder.isEmpty())
        return make();
    return PictureCache::fetch(cacheFolder,
                               PictureCache::keyFor(QStringLiteral(":/images/background.png"), size, devicePixelRatio),
                               make);
}

// A peer that connects and never writes would otherwise hold its socket for
// the rest of the run.
constexpr int idleConnectionTimeoutMs = 10000;
} // namespace

MainWindow::MainWindow(QWidget *parent)
    : MainWindow(LauncherEnvironment::compiledIn(), parent)
{
}

MainWindow::MainWindow(LauncherEnvironment environment, QWidget *parent)
    : QMainWindow(parent)
    , m_netManager(new QNetworkAccessManager(this))
    , m_statusTimer(new QTimer(this))
    , m_env(std::move(environment))
{
    setWindowFlags(Qt::FramelessWindowHint);
    setAttribute(Qt::WA_TranslucentBackground);
    setFixedSize(1081, 659);
    // The two large pictures are decoded beside the widget construction, each
    // once, and both are in place before the first frame.
    m_firstFrame = std::async(std::launch::async, cachedFrame, m_env.pictureCacheFolder, size(), devicePixelRatioF());
    std::future<QImage> logo =
        std::async(std::launch::async, cachedLogo, m_env.pictureCacheFolder, devicePixelRatioF());

    m_ragempPath = QSettings(QStringLiteral("VELOR RP"), QStringLiteral("Launcher"))
                       .value(QStringLiteral("ragempPath"), QVariant(QString()))
                       .toString();

    m_centralWidget = new QWidget(this);
    m_centralWidget->setObjectName(QStringLiteral("centralWidget"));
    setCentralWidget(m_centralWidget);

    buildTitleBar();
    buildSidebar();
    buildContent();

    m_ipcServer = new QLocalServer(this);
    if (!m_env.ipcServerName.isEmpty()) {
        // Only this user may hand links to the running launcher.
        m_ipcServer->setSocketOptions(QLocalServer::UserAccessOption);
        QLocalServer::removeServer(m_env.ipcServerName);
        m_ipcServer->listen(m_env.ipcServerName);
    }
    connect(m_ipcServer, &QLocalServer::newConnection, this, &MainWindow::onIpcConnection);

    connect(m_statusTimer, &QTimer::timeout, this, &MainWindow::fetchServerData);
    m_statusTimer->start(m_env.statusIntervalMs);
    fetchServerData();

    fetchNewsData();

    m_updater = new Updater(m_env, this);
    connect(m_updater, &Updater::updateAvailable, this, &MainWindow::onUpdateAvailable);
    connect(m_updater, &Updater::downloadProgress, this, &MainWindow::onUpdateDownloadProgress);
    connect(m_updater, &Updater::downloadFinished, this, &MainWindow::onUpdateDownloadFinished);
    connect(m_updater, &Updater::downloadFailed, this, &MainWindow::onUpdateDownloadFailed);
    m_updater->checkForUpdates(true);

    showLogo(logo.get());
}

MainWindow::~MainWindow()
{
    saveSettings();
    if (m_installerReply) {
        m_installerReply->abort();
        m_installerReply->deleteLater();
        m_installerReply = nullptr;
    }
}

void MainWindow::buildTitleBar()
{
    auto *version = new QLabel(QStringLiteral("ver:1.1.9"), m_centralWidget);
    version->setObjectName(QStringLiteral("versionLabel"));
    version->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    version->setStyleSheet(versionLabelStyle);
    version->setGeometry(936, 20, 69, 18);

    m_minimizeButton = new QPushButton(QStringLiteral("\u2014"), m_centralWidget);
    m_minimizeButton->setObjectName(QStringLiteral("minimizeButton"));
    m_minimizeButton->setAccessibleName(QStringLiteral("Свернуть"));
    m_minimizeButton->setGeometry(1009, 14, 28, 28);
    m_minimizeButton->setStyleSheet(titleButtonStyle + minimizeExtraStyle);
    connect(m_minimizeButton, &QAbstractButton::clicked, this, &MainWindow::onMinimizeClicked);

    m_closeButton = new QPushButton(QStringLiteral("\u2715"), m_centralWidget);
    m_closeButton->setObjectName(QStringLiteral("closeButton"));
    m_closeButton->setAccessibleName(QStringLiteral("Закрыть"));
    m_closeButton->setGeometry(1043, 14, 28, 28);
    m_closeButton->setStyleSheet(titleButtonStyle + closeExtraStyle);
    connect(m_closeButton, &QAbstractButton::clicked, this, &MainWindow::onCloseClicked);
}

void MainWindow::onMinimizeClicked()
{
    showMinimized();
}

void MainWindow::onCloseClicked()
{
    close();
}

void MainWindow::onSettingsClicked()
{
}

void MainWindow::saveSettings()
{
    QSettings(QStringLiteral("VELOR RP"), QStringLiteral("Launcher"))
        .setValue(QStringLiteral("ragempPath"), QVariant(m_ragempPath));
}

void MainWindow::openPage(const QString &address)
{
    QDesktopServices::openUrl(QUrl(address, QUrl::TolerantMode));
}

void MainWindow::bringToFront()
{
    show();
    raise();
    activateWindow();
}

void MainWindow::handleUrlLaunch(const QString &url)
{
    Q_UNUSED(url);
    bringToFront();
    onPlayClicked();
}

void MainWindow::onIpcConnection()
{
    QLocalSocket *socket = m_ipcServer->nextPendingConnection();
    if (!socket)
        return;
    socket->setReadBufferSize(SingleInstance::maxMessageSize);
    connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
    QTimer::singleShot(idleConnectionTimeoutMs, socket, [socket] { socket->abort(); });
    connect(socket, &QLocalSocket::readyRead, this, [this, socket] {
        // Only the first chunk counts; the connection is done with after it.
        const QByteArray message = socket->read(SingleInstance::maxMessageSize);
        socket->disconnect(this);
        socket->abort();
        socket->deleteLater();
        bringToFront();
        if (SingleInstance::messageRequestsPlay(message)) {
            bringToFront();
            onPlayClicked();
        }
    });
}

void MainWindow::mousePressEvent(QMouseEvent *event)
{
    if (event->button() != Qt::LeftButton)
        return;
    m_dragging = true;
    m_dragPosition = event->globalPosition().toPoint() - frameGeometry().topLeft();
    event->accept();
}

void MainWindow::mouseMoveEvent(QMouseEvent *event)
{
    if (!m_dragging || !(event->buttons() & Qt::LeftButton))
        return;
    move(event->globalPosition().toPoint() - m_dragPosition);
    event->accept();
}

void MainWindow::mouseReleaseEvent(QMouseEvent *event)
{
    Q_UNUSED(event);
    m_dragging = false;
}

void MainWindow::paintEvent(QPaintEvent *event)
{
    const qreal ratio = devicePixelRatioF();
    if (m_frameCache.isNull() || m_frameCache.devicePixelRatio() != ratio
        || m_frameCache.deviceIndependentSize().toSize() != size()) {
        QImage frame = m_firstFrame.valid() ? m_firstFrame.get() : QImage();
        if (frame.devicePixelRatio() != ratio || frame.size() != size() * ratio)
            frame = renderFrame(size(), ratio);
        m_frameCache = QPixmap::fromImage(std::move(frame));
    }
    {
        QPainter painter(this);
        // The frame is the bottom layer of a cleared translucent surface: copying
        // it is the same as blending it, and cheaper.
        painter.setCompositionMode(QPainter::CompositionMode_Source);
        painter.drawPixmap(0, 0, m_frameCache);
    }
    QMainWindow::paintEvent(event);
}

