#include "ui/mainwindow.h"

// Game client launch: finding the client, starting it, and helping when it is missing.

void MainWindow::onPlayClicked()
{
}

bool MainWindow::launchGame()
{
    return false;
}

bool MainWindow::findRagempPath(QString &path)
{
    Q_UNUSED(path);
    return false;
}

void MainWindow::chooseRagempFolder(QDialog *dialog, QLabel *errorLabel, bool &pathSelected)
{
    Q_UNUSED(dialog);
    Q_UNUSED(errorLabel);
    Q_UNUSED(pathSelected);
}

void MainWindow::showRagempNotFoundDialog()
{
}

void MainWindow::downloadRagemp()
{
}

void MainWindow::onDownloadProgress(qint64 received, qint64 total)
{
    Q_UNUSED(received);
    Q_UNUSED(total);
}

void MainWindow::onDownloadFinished()
{
}
