#include "ui/widgetprompts.h"

#include "net/filedownload.h"
#include "ui/clientmissingdialog.h"
#include "ui/styledprogressdialog.h"

#include <QMessageBox>

WidgetPrompts::WidgetPrompts(QWidget *window)
    : m_window(window)
{
}

PlayPrompts::ClientMissingAnswer WidgetPrompts::clientMissing(const std::function<bool(const QString &)> &acceptFolder)
{
    auto *dialog = new ClientMissingDialog(acceptFolder, m_window);
    m_clientMissing = dialog;
    const ClientMissingAnswer answer = dialog->ask();
    m_clientMissing = nullptr;
    dialog->deleteLater();
    return answer;
}

void WidgetPrompts::showDownload(FileDownload &download)
{
    auto *dialog = new StyledProgressDialog(QStringLiteral("Скачивание RAGE Multiplayer"), true, m_window);
    dialog->setObjectName(QStringLiteral("installerProgressDialog"));
    dialog->setStatusText(QStringLiteral("Подготовка..."));
    QObject::connect(&download, &FileDownload::progress, dialog, &StyledProgressDialog::showDownloadProgress);
    QObject::connect(dialog, &StyledProgressDialog::canceled, &download, &FileDownload::cancel);
    m_progress = dialog;
    dialog->exec();
}

void WidgetPrompts::downloadEnded()
{
    if (m_progress) {
        m_progress->close();
        m_progress->deleteLater();
        m_progress = nullptr;
    }
}

void WidgetPrompts::bringBack()
{
    QWidget *open = m_clientMissing ? static_cast<QWidget *>(m_clientMissing) : m_progress.data();
    if (open) {
        open->show();
        open->raise();
        open->activateWindow();
    }
}

void WidgetPrompts::notify(Notice notice, const QString &title, const QString &text)
{
    switch (notice) {
    case Notice::Information:
        QMessageBox::information(m_window, title, text, QMessageBox::Ok, QMessageBox::NoButton);
        break;
    case Notice::Warning:
        QMessageBox::warning(m_window, title, text, QMessageBox::Ok, QMessageBox::NoButton);
        break;
    case Notice::Critical:
        QMessageBox::critical(m_window, title, text, QMessageBox::Ok, QMessageBox::NoButton);
        break;
    }
}
