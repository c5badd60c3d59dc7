#include "ui/settingsdialog.h"

#include "launch/playflow.h"
#include "ui/clientmissingdialog.h"
#include "ui/dialogparts.h"
#include "ui/theme.h"
#include "ui/wording.h"
#include "update/updater.h"

#include <QDesktopServices>
#include <QDir>
#include <QGridLayout>
#include <QLabel>
#include <QPushButton>
#include <QUrl>
#include <QVBoxLayout>

SettingsDialog::SettingsDialog(
    PlayFlow &play, Updater &updater, const QString &version, const QString &logFolder, QWidget *parent)
    : QDialog(parent, Qt::Dialog | Qt::FramelessWindowHint)
    , m_play(play)
{
    setObjectName(QStringLiteral("settingsDialog"));
    setWindowTitle(QStringLiteral("Настройки"));
    setWindowModality(Qt::ApplicationModal);
    setFixedSize(460, 330);
    setStyleSheet(Theme::dialog);

    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(24, 22, 24, 20);
    layout->setSpacing(8);
    layout->addWidget(DialogParts::label(this, "settingsTitleLabel", QStringLiteral("Настройки"), Theme::dialogTitle));

    layout->addWidget(DialogParts::label(
        this, "clientFolderCaption", QStringLiteral("Папка RAGE Multiplayer"), Theme::dialogDescription));
    auto *folderRow = new QHBoxLayout;
    m_folderLabel = DialogParts::label(this, "clientFolderLabel", QString(), QString());
    m_folderLabel->setAccessibleName(QStringLiteral("Папка RAGE Multiplayer"));
    m_folderLabel->setTextInteractionFlags(Qt::TextSelectableByMouse);
    folderRow->addWidget(m_folderLabel, 1);
    QPushButton *change
        = DialogParts::button(this, "changeFolderButton", QStringLiteral("Изменить…"), Theme::dialogButton);
    folderRow->addWidget(change);
    layout->addLayout(folderRow);
    m_folderError = DialogParts::label(this, "settingsErrorLabel", QString(), Theme::dialogError);
    m_folderError->hide();
    layout->addWidget(m_folderError);

    layout->addWidget(DialogParts::label(
        this, "versionInfoLabel", QStringLiteral("Версия лаунчера: %1").arg(version), Theme::dialogDescription));
    QPushButton *check
        = DialogParts::button(this, "checkUpdatesButton", QStringLiteral("Проверить обновления"), Theme::dialogButton);
    QPushButton *logs
        = DialogParts::button(this, "openLogsButton", QStringLiteral("Открыть папку логов"), Theme::dialogButton);
    auto *actions = new QHBoxLayout;
    actions->addWidget(check);
    actions->addWidget(logs);
    actions->addStretch();
    layout->addLayout(actions);
    m_updateStatus = DialogParts::label(this, "updateStatusLabel", QString(), Theme::dialogDescription);
    layout->addWidget(m_updateStatus);
    layout->addStretch();

    auto *closeRow = new QHBoxLayout;
    closeRow->addStretch();
    QPushButton *close
        = DialogParts::button(this, "closeSettingsButton", QStringLiteral("Закрыть"), Theme::dialogMainButton);
    closeRow->addWidget(close);
    layout->addLayout(closeRow);
    showFolder();

    connect(change, &QAbstractButton::clicked, this, [this] {
        ClientMissingDialog::chooseFolder(
            this, m_folderError, [this](const QString &folder) { return m_play.chooseFolder(folder); },
            [this] { showFolder(); });
    });
    connect(check, &QAbstractButton::clicked, this, [this, &updater] {
        m_updateStatus->setText(QStringLiteral("Проверка обновлений..."));
        updater.checkForUpdates(false);
    });
    connect(&updater, &Updater::upToDate, this, [this](const QString &current) {
        m_updateStatus->setText(QStringLiteral("Установлена последняя версия лаунчера: %1.").arg(current));
    });
    connect(&updater, &Updater::checkFailed, this,
        [this](const Updater::Failure &failure) { m_updateStatus->setText(Wording::checkFailure(failure)); });
    connect(&updater, &Updater::updateStarted, this, [this](const QString &newVersion) {
        m_updateStatus->setText(QStringLiteral("Найдена версия %1, обновление...").arg(newVersion));
    });
    connect(logs, &QAbstractButton::clicked, this, [logFolder] {
        QDir().mkpath(logFolder);
        QDesktopServices::openUrl(QUrl::fromLocalFile(logFolder));
    });
    connect(close, &QAbstractButton::clicked, this, &QDialog::accept);
}

void SettingsDialog::showFolder()
{
    const QString folder = m_play.clientFolder();
    m_folderLabel->setText(folder.isEmpty() ? QStringLiteral("Не найдена: укажите папку с RAGE Multiplayer.")
                                            : QDir::toNativeSeparators(folder));
}
