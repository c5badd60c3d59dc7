#include "ui/mainwindow.h"

#include "feed/newssource.h"
#include "feed/statuspoller.h"
#include "launch/playflow.h"
#include "ui/newsrow.h"
#include "ui/styledprogressdialog.h"
#include "ui/widgetprompts.h"
#include "update/updater.h"

#include <QDesktopServices>
#include <QLabel>
#include <QLinearGradient>
#include <QMessageBox>
#include <QMouseEvent>
#include <QNetworkAccessManager>
#include <QPainter>
#include <QPainterPath>
#include <QPushButton>
#include <QRadialGradient>
#include <QTimer>
#include <QUrl>

namespace {
// The longest the network waits for a first frame that does not come.
constexpr int firstFrameWaitMs = 500;

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

    const QImage background = MainWindow::artwork(QStringLiteral("background"), devicePixelRatio);
    if (!background.isNull()) {
        // Straight to device pixels, so that the picture stays crisp on scaled
        // displays; the copy shipped for 1x and 2x displays needs no scaling.
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

} // namespace

MainWindow::MainWindow(LauncherEnvironment environment, QWidget *parent)
    : QMainWindow(parent)
    , m_env(std::move(environment))
    , m_netManager(new QNetworkAccessManager(this))
    , m_prompts(std::make_unique<WidgetPrompts>(this))
{
    setWindowFlags(Qt::FramelessWindowHint);
    setAttribute(Qt::WA_TranslucentBackground);
    setFixedSize(1081, 659);
    // The background is decoded beside the widget construction and is in
    // place before the first frame.
    m_firstFrame = std::async(std::launch::async, renderFrame, size(), devicePixelRatioF());

    m_play = new PlayFlow(m_env, m_netManager, *m_prompts, this);

    m_centralWidget = new QWidget(this);
    m_centralWidget->setObjectName(QStringLiteral("centralWidget"));
    setCentralWidget(m_centralWidget);
    m_newsRow = new NewsRow(m_centralWidget, m_netManager, m_env.newsPageBase(), m_env.requestTimeoutMs);

    buildTitleBar();
    buildSidebar();
    buildContent();

    m_status = new StatusPoller(m_netManager, m_env.serversUrl(), m_env.statusIntervalMs, m_env.requestTimeoutMs, this);
    connect(m_status, &StatusPoller::onlineChanged, this, [this](int total) {
        m_onlineLabel->setText(StatusPoller::formatOnline(total));
        if (QWidget *box = m_onlineLabel->parentWidget())
            box->adjustSize();
    });
    m_news = new NewsSource(m_netManager, m_env.newsUrl(), m_env.requestTimeoutMs, this);
    connect(m_news, &NewsSource::newsReady, m_newsRow, &NewsRow::showItems);

    m_updater = new Updater(m_env, this);
    connect(m_updater, &Updater::updateAvailable, this, &MainWindow::onUpdateAvailable);
    connect(m_updater, &Updater::downloadProgress, this, &MainWindow::onUpdateDownloadProgress);
    connect(m_updater, &Updater::downloadFinished, this, &MainWindow::onUpdateDownloadFinished);
    connect(m_updater, &Updater::downloadFailed, this, &MainWindow::onUpdateDownloadFailed);

    // The network starts once the first frame is out: the first request loads
    // the TLS library and the system's certificates, which the frame does not
    // need. A window that is never painted starts it all the same.
    QTimer::singleShot(firstFrameWaitMs, this, &MainWindow::startServices);
}

void MainWindow::startServices()
{
    if (m_servicesStarted)
        return;
    m_servicesStarted = true;
    // The first requests leave in this order: status, news, version.
    m_status->start();
    m_news->fetch();
    m_updater->checkForUpdates(true);
    emit servicesStarted();
}

MainWindow::~MainWindow()
{
    // Stores the remembered client folder and drops a running installer
    // download before anything it reports to goes.
    delete m_play;
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

void MainWindow::openPage(const QString &address)
{
    QDesktopServices::openUrl(QUrl(address, QUrl::TolerantMode));
}

void MainWindow::activate(bool play)
{
    show();
    raise();
    activateWindow();
    if (play)
        onPlayClicked();
}

void MainWindow::handleUrlLaunch(const QString &url)
{
    Q_UNUSED(url);
    activate(true);
}

void MainWindow::onPlayClicked()
{
    m_play->play();
}

void MainWindow::onUpdateAvailable(const QString &newVersion, const QString &changelog)
{
    Q_UNUSED(newVersion);
    Q_UNUSED(changelog);
    auto *dialog = new StyledProgressDialog(QStringLiteral("Обновление лаунчера"), false, this);
    dialog->setObjectName(QStringLiteral("updateProgressDialog"));
    m_updateDialog = dialog;
    dialog->setStatusText(QStringLiteral("Скачивание обновления..."));
    // The download reports its end from the event loop, so the dialog is
    // running by then, even for a download refused on the spot.
    m_updater->downloadUpdate(m_updater->downloadUrl());
    dialog->exec();
}

void MainWindow::onUpdateDownloadProgress(qint64 received, qint64 total)
{
    if (m_updateDialog)
        m_updateDialog->showDownloadProgress(received, total);
}

void MainWindow::onUpdateDownloadFinished(const QString &filePath)
{
    if (m_updateDialog) {
        m_updateDialog->setStatusText(QStringLiteral("Установка обновления..."));
        m_updateDialog->setProgress(100);
        // Unpacking blocks the event loop, so paint the new state now.
        if (m_updateDialog->isVisible())
            m_updateDialog->repaint();
    }
    m_updater->installUpdate(filePath);
}

void MainWindow::onUpdateDownloadFailed(const QString &error)
{
    if (m_updateDialog) {
        m_updateDialog->close();
        m_updateDialog->deleteLater();
        m_updateDialog = nullptr;
    }
    QMessageBox::critical(this, QStringLiteral("Ошибка обновления"),
        QStringLiteral("Не удалось скачать обновление:\n%1").arg(error), QMessageBox::Ok);
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
    if (!m_servicesStarted)
        QTimer::singleShot(0, this, &MainWindow::startServices); // right after this frame is out
}
