#include "ui/mainwindow.h"

#include "feed/newssource.h"
#include "feed/statuspoller.h"
#include "launch/playflow.h"
#include "net/networkmanager.h"
#include "ui/crashnoticedialog.h"
#include "ui/dialogparts.h"
#include "ui/newsrow.h"
#include "ui/settingsdialog.h"
#include "ui/styledprogressdialog.h"
#include "ui/theme.h"
#include "ui/widgetprompts.h"
#include "ui/wording.h"
#include "update/updater.h"

#include <QDesktopServices>
#include <QLabel>
#include <QLinearGradient>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QPushButton>
#include <QRadialGradient>
#include <QTimer>
#include <QUrl>

namespace {
// How long the network waits for a first frame before it looks again whether
// the window is on the screen at all.
constexpr int firstFrameWaitMs = 500;

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
        painter.fillRect(bounds, Theme::frameFallback);
        QRadialGradient glow(QPointF(200, 700), 800);
        glow.setColorAt(0.0, Theme::frameGlow);
        glow.setColorAt(1.0, Theme::frameGlowEnd);
        painter.fillRect(bounds, glow);
    }

    QPainterPath panel;
    panel.addRoundedRect(QRectF(20.5, 20.5, 205, 623), 12.0, 12.0, Qt::AbsoluteSize);
    painter.setPen(Qt::NoPen);
    painter.setBrush(Theme::panel);
    painter.drawPath(panel);
    QLinearGradient sheen(QPointF(20, 20), QPointF(20, 644));
    sheen.setColorAt(0.0, Theme::panelSheenTop);
    sheen.setColorAt(1.0, Theme::panelSheenBottom);
    painter.setBrush(sheen);
    painter.drawPath(panel);
    painter.setPen(QPen(QBrush(Theme::panelOutline), 1.0, Qt::SolidLine, Qt::SquareCap, Qt::BevelJoin));
    painter.setBrush(Qt::NoBrush);
    painter.drawPath(panel);
    return frame;
}

} // namespace

MainWindow::MainWindow(LauncherEnvironment environment, Features features, QWidget *parent)
    : QMainWindow(parent)
    , m_env(std::move(environment))
    , m_features(features)
{
    m_features.prompts.setWindow(this);
    setWindowFlags(Qt::FramelessWindowHint);
    setAttribute(Qt::WA_TranslucentBackground);
    setFixedSize(1081, 659);
    // The background is decoded beside the widget construction and is in
    // place before the first frame.
    m_firstFrame = std::async(std::launch::async, renderFrame, size(), devicePixelRatioF());

    m_centralWidget = new QWidget(this);
    m_centralWidget->setObjectName(QStringLiteral("centralWidget"));
    setCentralWidget(m_centralWidget);
    m_newsRow = new NewsRow(
        m_centralWidget, &m_features.network, m_env.newsPageBase(), m_env.requestTimeoutMs, m_env.preparePicture);

    buildTitleBar();
    buildSidebar();
    buildContent();
    retranslate();

    connect(&m_features.status, &StatusPoller::onlineChanged, this, [this](int total) {
        m_onlineLabel->setText(Wording::onlineCount(total));
        if (QWidget *box = m_onlineLabel->parentWidget())
            box->adjustSize();
    });
    connect(&m_features.news, &NewsSource::newsReady, m_newsRow, &NewsRow::showItems);
    connectUpdater();

    // The network starts once the first frame is out: the first request loads
    // the TLS library and the system's certificates, which the frame does not
    // need. A window that is hidden or minimised, and so never painted, starts
    // it all the same.
    QTimer::singleShot(firstFrameWaitMs, this, &MainWindow::startUnlessShowing);
}

MainWindow::~MainWindow() = default;

void MainWindow::startUnlessShowing()
{
    if (m_servicesStarted)
        return;
    if (!isVisible() || isMinimized())
        startServices();
    else
        QTimer::singleShot(firstFrameWaitMs, this, &MainWindow::startUnlessShowing);
}

void MainWindow::startServices()
{
    if (m_servicesStarted)
        return;
    m_servicesStarted = true;
    connect(&m_features.network, &NetworkManager::ready, this, [this] {
        // The first requests leave in this order: status, news, version.
        m_features.status.start();
        m_features.news.fetch();
        m_features.updater.checkForUpdates(true);
    });
    m_features.network.start(m_env.cacheFolder + QStringLiteral("/http"),
        {QUrl(m_env.apiBase), QUrl(m_env.websiteUrl), QUrl(m_env.clientInstallerUrl)}, m_env.requestTimeoutMs);
    CrashNoticeDialog::showIfDue(m_env.crashFolder(), this);
    emit servicesStarted();
}

void MainWindow::buildTitleBar()
{
    auto *version = new QLabel(QStringLiteral("ver:") + m_env.version, m_centralWidget);
    version->setObjectName(QStringLiteral("versionLabel"));
    version->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    version->setStyleSheet(Theme::versionLabel);
    version->setGeometry(936, 20, 69, 18);

    auto *minimize = new QPushButton(QStringLiteral("\u2014"), m_centralWidget);
    minimize->setObjectName(QStringLiteral("minimizeButton"));
    minimize->setFocusPolicy(Qt::NoFocus); // the mouse's alone, as a title bar's
    minimize->setGeometry(1009, 14, 28, 28);
    minimize->setStyleSheet(Theme::titleButton + Theme::minimizeButtonExtra);
    connect(minimize, &QAbstractButton::clicked, this, &QWidget::showMinimized);

    auto *close = new QPushButton(QStringLiteral("\u2715"), m_centralWidget);
    close->setObjectName(QStringLiteral("closeButton"));
    close->setFocusPolicy(Qt::NoFocus);
    close->setGeometry(1043, 14, 28, 28);
    close->setStyleSheet(Theme::titleButton + Theme::closeButtonExtra);
    connect(close, &QAbstractButton::clicked, this, &QWidget::close);
}

void MainWindow::openPage(const QString &address)
{
    QDesktopServices::openUrl(QUrl(address, QUrl::TolerantMode));
}

void MainWindow::openSettings()
{
    if (m_settings) {
        m_settings->raise();
        m_settings->activateWindow();
        return;
    }
    m_settings = new SettingsDialog(
        m_features.play, m_features.updater, m_env.version, m_env.logFolder, m_env.settingsLocation, this);
    connect(m_settings, &QDialog::finished, m_settings, &QObject::deleteLater);
    DialogParts::showModal(m_settings);
}

void MainWindow::activate(bool play)
{
    // A minimised window stays in the taskbar unless it is restored.
    setWindowState((windowState() & ~Qt::WindowMinimized) | Qt::WindowActive);
    show();
    raise();
    activateWindow();
    if (play)
        m_features.play.play();
}

void MainWindow::connectUpdater()
{
    connect(&m_features.updater, &Updater::updateStarted, this, [this] {
        auto *dialog = new StyledProgressDialog(tr("Обновление лаунчера"), false, this);
        dialog->setObjectName(QStringLiteral("updateProgressDialog"));
        dialog->setStatusText(tr("Скачивание обновления..."));
        m_updateDialog = dialog;
        DialogParts::showModal(dialog);
    });
    connect(&m_features.updater, &Updater::downloadProgress, this, [this](qint64 received, qint64 total) {
        if (m_updateDialog)
            m_updateDialog->showDownloadProgress(received, total);
    });
    connect(&m_features.updater, &Updater::installing, this, [this] {
        if (!m_updateDialog)
            return;
        m_updateDialog->setStatusText(tr("Установка обновления..."));
        m_updateDialog->setProgress(100);
    });
    connect(&m_features.updater, &Updater::updateFailed, this, [this](const Updater::Failure &failure) {
        if (m_updateDialog) {
            m_updateDialog->close();
            m_updateDialog->deleteLater();
        }
        DialogParts::showBox(this, QMessageBox::Critical, tr("Ошибка обновления"),
            tr("Не удалось скачать обновление:\n%1").arg(Wording::updateFailure(failure)));
    });
    connect(&m_features.updater, &Updater::updateGivenUp, this, [this](const QString &version) {
        DialogParts::showBox(this, QMessageBox::Critical, tr("Ошибка обновления"),
            tr("Не удалось установить версию %1.\nУстановщик лаунчера можно скачать на сайте %2")
                .arg(version, m_env.websiteUrl));
    });
}

void MainWindow::changeEvent(QEvent *event)
{
    if (event->type() == QEvent::LanguageChange)
        retranslate();
    QMainWindow::changeEvent(event);
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
