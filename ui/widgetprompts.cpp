#include "ui/widgetprompts.h"

#include "net/filedownload.h"
#include "ui/clientmissingdialog.h"
#include "ui/dialogparts.h"
#include "ui/styledprogressdialog.h"
#include "ui/wording.h"

#include <QDir>

namespace {
QString errorTitle()
{
    return WidgetPrompts::tr("Ошибка");
}
} // namespace

void WidgetPrompts::clientMissing(
    std::function<bool(const QString &)> acceptFolder, std::function<void(ClientMissingAnswer answer)> answered)
{
    auto *dialog = new ClientMissingDialog(std::move(acceptFolder), m_window);
    m_clientMissing = dialog;
    QObject::connect(dialog, &QDialog::finished, dialog, [dialog, answered = std::move(answered)] {
        dialog->deleteLater();
        answered(dialog->answer());
    });
    DialogParts::showModal(dialog);
}

void WidgetPrompts::showDownload(FileDownload &download)
{
    auto *dialog = new StyledProgressDialog(tr("Скачивание RAGE Multiplayer"), true, m_window);
    dialog->setObjectName(QStringLiteral("installerProgressDialog"));
    dialog->setStatusText(tr("Подготовка..."));
    QObject::connect(&download, &FileDownload::progress, dialog, &StyledProgressDialog::showDownloadProgress);
    QObject::connect(dialog, &StyledProgressDialog::canceled, &download, &FileDownload::cancel);
    m_progress = dialog;
    DialogParts::showModal(dialog);
}

void WidgetPrompts::downloadEnded(const FileDownload::Outcome &outcome, Done dismissed)
{
    if (m_progress) {
        m_progress->close();
        m_progress->deleteLater();
        m_progress = nullptr;
    }
    using Kind = FileDownload::Outcome::Kind;
    if (outcome.kind == Kind::SaveFailed) {
        tell(QMessageBox::Critical, errorTitle(), tr("Не удалось сохранить установщик."), std::move(dismissed));
    } else if (outcome.kind != Kind::Saved && outcome.kind != Kind::Canceled) {
        tell(QMessageBox::Critical, tr("Ошибка загрузки"),
            tr("Не удалось скачать RAGE Multiplayer:\n%1").arg(Wording::downloadFailure(outcome)),
            std::move(dismissed));
    } else {
        dismissed();
    }
}

void WidgetPrompts::bringBack()
{
    QWidget *open = m_clientMissing ? static_cast<QWidget *>(m_clientMissing)
        : m_box                     ? static_cast<QWidget *>(m_box)
                                    : m_progress.data();
    if (open) {
        open->show();
        open->raise();
        open->activateWindow();
    }
}

void WidgetPrompts::notify(Notice notice, const QString &path, Done dismissed)
{
    switch (notice) {
    case Notice::ClientStartFailed:
        tell(QMessageBox::Warning, errorTitle(), tr("Не удалось запустить RageMP!\nПроверьте путь в настройках."),
            std::move(dismissed));
        break;
    case Notice::InstallerStarting:
        tell(QMessageBox::Information, tr("Установка"),
            tr("Сейчас запустится установщик RAGE Multiplayer.\n"
               "После установки нажмите кнопку «Начать играть» снова."),
            std::move(dismissed));
        break;
    case Notice::InstallerStartFailed:
        tell(QMessageBox::Critical, errorTitle(),
            tr("Не удалось запустить установщик RAGE Multiplayer:\n%1").arg(QDir::toNativeSeparators(path)),
            std::move(dismissed));
        break;
    }
}

void WidgetPrompts::tell(QMessageBox::Icon icon, const QString &title, const QString &text, Done dismissed)
{
    QMessageBox *box = DialogParts::showBox(m_window, icon, title, text);
    m_box = box;
    QObject::connect(box, &QDialog::finished, box, std::move(dismissed));
}
