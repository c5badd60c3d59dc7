#pragma once

#include "config/launcherenvironment.h"

#include <QImage>
#include <QList>
#include <QMainWindow>
#include <QPixmap>
#include <QPoint>
#include <QPointer>
#include <QString>

#include <future>

class DownloadSink;
class NewsCard;
class NewsPictureLoader;
class QDialog;
class QLabel;
class QLocalServer;
class QNetworkAccessManager;
class QNetworkReply;
class QPushButton;
class QTimer;
class StyledProgressDialog;
class Updater;

/// The launcher's one window and the owner of all its run-time state.
class MainWindow final : public QMainWindow
{
    Q_OBJECT

public:
    explicit MainWindow(QWidget *parent = nullptr);
    explicit MainWindow(LauncherEnvironment environment, QWidget *parent = nullptr);
    ~MainWindow() override;

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
    void onDownloadProgress(qint64 received, qint64 total);
    void onDownloadFinished();
    void onServerDataReceived();
    void fetchServerData();
    void onNewsDataReceived();
    void fetchNewsData();
    void scrollNewsPrev();
    void scrollNewsNext();
    void onUpdateAvailable(const QString &newVersion, const QString &changelog);
    void onUpdateDownloadProgress(qint64 received, qint64 total);
    void onUpdateDownloadFinished(const QString &filePath);
    void onUpdateDownloadFailed(const QString &error);
    void handleUrlLaunch(const QString &url);
    void onIpcConnection();

private:
    void buildTitleBar();
    static QImage decodeLogo(qreal devicePixelRatio);
    static QImage cachedLogo(const QString &cacheFolder, qreal devicePixelRatio);
    void showLogo(const QImage &logo);
    void buildSidebar();
    void buildContent();
    void saveSettings();
    bool findRagempPath(QString &path);
    void chooseRagempFolder(QDialog *dialog, QLabel *errorLabel, bool &pathSelected);
    bool launchGame();
    void showRagempNotFoundDialog();
    void downloadRagemp();
    void layoutNewsCards();

    void openPage(const QString &address);
    void bringToFront();

    QPoint m_dragPosition;
    bool m_dragging = false;
    QWidget *m_centralWidget = nullptr;
    QLabel *m_logoLabel = nullptr;
    QPushButton *m_playButton = nullptr;
    QPushButton *m_minimizeButton = nullptr;
    QPushButton *m_closeButton = nullptr;
    QLabel *m_onlineLabel = nullptr;
    QList<NewsCard *> m_newsCards;
    int m_newsIndex = 0;
    QString m_ragempPath;
    QNetworkAccessManager *m_netManager = nullptr;
    QNetworkReply *m_installerReply = nullptr;
    StyledProgressDialog *m_installerDialog = nullptr;
    QString m_installerPath;
    QTimer *m_statusTimer = nullptr;
    QNetworkReply *m_serverReply = nullptr;
    QNetworkReply *m_newsReply = nullptr;
    NewsPictureLoader *m_pictureLoader = nullptr; // created with the first news list
    Updater *m_updater = nullptr;
    StyledProgressDialog *m_updateDialog = nullptr;
    QLocalServer *m_ipcServer = nullptr;

    LauncherEnvironment m_env;
    // The painted frame (rounded background and sidebar panel), rendered once
    // per size and pixel ratio so that repaints only copy it. The first one is
    // rendered beside the widget construction, off the GUI thread.
    QPixmap m_frameCache;
    std::future<QImage> m_firstFrame;
    // Play requests that arrive while an earlier one still waits in the
    // client-missing dialog or the installer download only raise that dialog.
    bool m_playInProgress = false;
    QPointer<QDialog> m_clientMissingDialog;
    DownloadSink *m_installerSink = nullptr;
    bool m_installerCanceled = false;
};
