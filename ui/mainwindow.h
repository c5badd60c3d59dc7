#pragma once

#include "config/launcherenvironment.h"

#include <QImage>
#include <QMainWindow>
#include <QPixmap>
#include <QPoint>
#include <QPointer>
#include <QString>
#include <future>

class NetworkManager;
class NewsRow;
class NewsSource;
class PlayFlow;
class QLabel;
class QPushButton;
class SettingsDialog;
class StatusPoller;
class StyledProgressDialog;
class Updater;
class WidgetPrompts;

/**
 * The launcher's one window: its frame, painting and dragging, and the widgets
 * of the sidebar and the content area. The features behind the widgets (the
 * online count, the news, the self-update, the play action and its prompts)
 * and the one network manager are handed to it, and must outlive it; it
 * connects them, starts them once its first frame is out, words what they
 * report, and has the prompts show over it.
 */
class MainWindow final : public QMainWindow
{
    Q_OBJECT

public:
    struct Features
    {
        NetworkManager &network;
        StatusPoller &status;
        NewsSource &news;
        Updater &updater;
        PlayFlow &play;
        WidgetPrompts &prompts;
    };

    MainWindow(LauncherEnvironment environment, Features features, QWidget *parent = nullptr);
    ~MainWindow() override;

    /// The artwork for a display of the given pixel ratio: the copy shipped at
    /// the size it is drawn where there is one, else the large original.
    static QImage artwork(const QString &name, qreal devicePixelRatio);

signals:
    /// The first frame is out and the network is starting.
    void servicesStarted();

public slots:
    /// Another launcher copy or a launch link asked for this one: out of the
    /// taskbar, to the front, and with play set, play.
    void activate(bool play);

protected:
    void mousePressEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void paintEvent(QPaintEvent *event) override;
    void changeEvent(QEvent *event) override;

private:
    /// Sets every text of the window in the language installed now.
    void retranslate();
    void buildTitleBar();
    void buildSidebar();
    void buildContent();
    void connectUpdater();
    void startServices();
    void startUnlessShowing();
    void openPage(const QString &address);
    void openSettings();

    QPoint m_dragPosition;
    bool m_dragging = false;
    QWidget *m_centralWidget = nullptr;
    QLabel *m_onlineLabel = nullptr;

    LauncherEnvironment m_env;
    Features m_features;
    NewsRow *m_newsRow = nullptr;
    QPointer<StyledProgressDialog> m_updateDialog;
    QPointer<SettingsDialog> m_settings;
    bool m_servicesStarted = false;

    // The painted frame (rounded background and sidebar panel), rendered once
    // per size and pixel ratio so that repaints only copy it. The first one is
    // rendered beside the widget construction, off the GUI thread.
    QPixmap m_frameCache;
    std::future<QImage> m_firstFrame;
};
