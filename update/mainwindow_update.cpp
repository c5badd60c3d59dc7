#include "ui/mainwindow.h"

// The main window's side of the self-update.

void MainWindow::onUpdateAvailable(const QString &newVersion, const QString &changelog)
{
    Q_UNUSED(newVersion);
    Q_UNUSED(changelog);
}

void MainWindow::onUpdateDownloadProgress(qint64 received, qint64 total)
{
    Q_UNUSED(received);
    Q_UNUSED(total);
}

void MainWindow::onUpdateDownloadFinished(const QString &filePath)
{
    Q_UNUSED(filePath);
}

void MainWindow::onUpdateDownloadFailed(const QString &error)
{
    Q_UNUSED(error);
}
