#include "update/updater.h"

#include <QNetworkAccessManager>

Updater::Updater(QObject *parent)
    : Updater(LauncherEnvironment::compiledIn(), parent)
{
}

Updater::Updater(const LauncherEnvironment &environment, QObject *parent)
    : QObject(parent)
    , m_versionUrl(environment.versionUrl())
    , m_env(environment)
{
    m_networkManager = new QNetworkAccessManager(this);
}

void Updater::checkForUpdates(bool silent)
{
    m_silent = silent;
}

void Updater::installUpdate(const QString &zipPath)
{
    Q_UNUSED(zipPath);
}

void Updater::downloadUpdate(const QString &url)
{
    Q_UNUSED(url);
}

void Updater::onVersionCheckFinished()
{
}

void Updater::onDownloadProgress(qint64 received, qint64 total)
{
    emit downloadProgress(received, total);
}

void Updater::onDownloadFinished()
{
}
