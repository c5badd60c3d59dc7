#include "ui/mainwindow.h"

#include "ui/styledprogressdialog.h"
#include "update/updater.h"

#include <QMessageBox>

// The main window's side of the self-update: a newer launcher is fetched and
// installed at once under a progress dialog without a cancel button.

void MainWindow::onUpdateAvailable(const QString &newVersion, const QString &changelog)
{
    Q_UNUSED(newVersion);
    Q_UNUSED(changelog);
    auto *dialog = new StyledProgressDialog(QStringLiteral("Обновление лаунчера"), false, this);
    dialog->setObjectName(QStringLiteral("updateProgressDialog"));
    m_updateDialog = dialog;
    dialog->setStatusText(QStringLiteral("Скачивание обновления..."));
    m_updater->downloadUpdate(m_updater->downloadUrl());
    // A download refused on the spot has closed the dialog already.
    if (m_updateDialog == dialog)
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
