#include "ui/widgetprompts.h"

#include "net/filedownload.h"
#include "ui/clientmissingdialog.h"
#include "ui/styledprogressdialog.h"
#include "ui/wording.h"

#include <QDir>
#include <QMessageBox>

namespace {
const QString errorTitle = QStringLiteral("Ошибка");
}

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

void WidgetPrompts::downloadEnded(const FileDownload::Outcome &outcome)
{
    if (m_progress) {
        m_progress->close();
        m_progress->deleteLater();
        m_progress = nullptr;
    }
    using Kind = FileDownload::Outcome::Kind;
    if (outcome.kind == Kind::SaveFailed) {
        QMessageBox::critical(m_window, errorTitle, QStringLiteral("Не удалось сохранить установщик."), QMessageBox::Ok,
            QMessageBox::NoButton);
    } else if (outcome.kind != Kind::Saved && outcome.kind != Kind::Canceled) {
        QMessageBox::critical(m_window, QStringLiteral("Ошибка загрузки"),
            QStringLiteral("Не удалось скачать RAGE Multiplayer:\n%1").arg(Wording::downloadFailure(outcome)),
            QMessageBox::Ok, QMessageBox::NoButton);
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

void WidgetPrompts::notify(Notice notice, const QString &path)
{
    switch (notice) {
    case Notice::ClientStartFailed:
        QMessageBox::warning(m_window, errorTitle,
            QStringLiteral("Не удалось запустить RageMP!\nПроверьте путь в настройках."), QMessageBox::Ok,
            QMessageBox::NoButton);
        break;
    case Notice::InstallerStarting:
        QMessageBox::information(m_window, QStringLiteral("Установка"),
            QStringLiteral("Сейчас запустится установщик RAGE Multiplayer.\n"
                           "После установки нажмите кнопку «Начать играть» снова."),
            QMessageBox::Ok, QMessageBox::NoButton);
        break;
    case Notice::InstallerStartFailed:
        QMessageBox::critical(m_window, errorTitle,
            QStringLiteral("Не удалось запустить установщик RAGE Multiplayer:\n%1").arg(QDir::toNativeSeparators(path)),
            QMessageBox::Ok, QMessageBox::NoButton);
        break;
    }
}
