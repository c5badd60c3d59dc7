#pragma once

#include "config/launcherenvironment.h"

#include <QImage>
#include <QMainWindow>
#include <QPixmap>
#include <QPoint>
#include <QString>
#include <future>
#include <memory>

class NewsRow;
class NewsSource;
class PlayFlow;
class QLabel;
class QNetworkAccessManager;
class QPushButton;
class StatusPoller;
class StyledProgressDialog;
class Updater;
class WidgetPrompts;

/**
 * The launcher's one window: its frame, painting and dragging, and the widgets
 * of the sidebar and the content area. The features behind the widgets (the
 * play action, the online count, the news, the self-update) are objects of
 * their own that the window creates and connects.
 */
class MainWindow final : public QMainWindow
{
    Q_OBJECT

public:
    explicit MainWindow(LauncherEnvironment environment, QWidget *parent = nullptr);
    ~MainWindow() override;

    /// The artwork for a display of the given pixel ratio: the copy shipped at
    /// the size it is drawn where there is one, else the large original.
    static QImage artwork(const QString &name, qreal devicePixelRatio);

signals:
    /// The first frame is out and the network has started.
    void servicesStarted();

public slots:
    /// Another launcher copy asked for this one: to the front, and with play set, play.
    void activate(bool play);

protected:
    void mousePressEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void paintEvent(QPaintEvent *event) override;

private slots:
    void onPlayClicked();
    void onMinimizeClicked();
    void onCloseClicked();
    void onSettingsClicked();
    void onForumClicked();
    void onSupportClicked();
    void onShopClicked();
    void onUpdateAvailable(const QString &newVersion, const QString &changelog);
    void onUpdateDownloadProgress(qint64 received, qint64 total);
    void onUpdateDownloadFinished(const QString &filePath);
    void onUpdateDownloadFailed(const QString &error);
    void handleUrlLaunch(const QString &url);

private:
    void buildTitleBar();
    void startServices();
    void buildSidebar();
    void buildContent();
    void openPage(const QString &address);

    QPoint m_dragPosition;
    bool m_dragging = false;
    QWidget *m_centralWidget = nullptr;
    QLabel *m_logoLabel = nullptr;
    QPushButton *m_playButton = nullptr;
    QPushButton *m_minimizeButton = nullptr;
    QPushButton *m_closeButton = nullptr;
    QLabel *m_onlineLabel = nullptr;

    LauncherEnvironment m_env;
    QNetworkAccessManager *m_netManager;
    std::unique_ptr<WidgetPrompts> m_prompts;
    PlayFlow *m_play = nullptr;
    StatusPoller *m_status = nullptr;
    NewsSource *m_news = nullptr;
    NewsRow *m_newsRow = nullptr;
    Updater *m_updater = nullptr;
    StyledProgressDialog *m_updateDialog = nullptr;
    bool m_servicesStarted = false;

    // The painted frame (rounded background and sidebar panel), rendered once
    // per size and pixel ratio so that repaints only copy it. The first one is
    // rendered beside the widget construction, off the GUI thread.
    QPixmap m_frameCache;
    std::future<QImage> m_firstFrame;
};
