#include "ui/settingsdialog.h"

#include "launch/playflow.h"
#include "ui/clientmissingdialog.h"
#include "ui/dialogparts.h"
#include "ui/language.h"
#include "ui/theme.h"
#include "ui/wording.h"
#include "update/updater.h"

#include <QComboBox>
#include <QDesktopServices>
#include <QDir>
#include <QEvent>
#include <QGridLayout>
#include <QLabel>
#include <QPushButton>
#include <QUrl>
#include <QVBoxLayout>

SettingsDialog::SettingsDialog(PlayFlow &play, Updater &updater, const QString &version, const QString &logFolder,
    const QString &settingsLocation, QWidget *parent)
    : QDialog(parent, Qt::Dialog | Qt::FramelessWindowHint)
    , m_play(play)
    , m_version(version)
{
    setObjectName(QStringLiteral("settingsDialog"));
    setWindowModality(Qt::ApplicationModal);
    setFixedSize(460, 372);
    setStyleSheet(Theme::dialog);

    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(24, 22, 24, 20);
    layout->setSpacing(8);
    layout->addWidget(DialogParts::label(this, "settingsTitleLabel", QString(), Theme::dialogTitle));

    layout->addWidget(DialogParts::label(this, "clientFolderCaption", QString(), Theme::dialogDescription));
    auto *folderRow = new QHBoxLayout;
    m_folderLabel = DialogParts::label(this, "clientFolderLabel", QString(), QString());
    m_folderLabel->setTextInteractionFlags(Qt::TextSelectableByMouse);
    folderRow->addWidget(m_folderLabel, 1);
    QPushButton *change = DialogParts::button(this, "changeFolderButton", QString(), Theme::dialogButton);
    folderRow->addWidget(change);
    layout->addLayout(folderRow);
    m_folderError = DialogParts::label(this, "settingsErrorLabel", QString(), Theme::dialogError);
    m_folderError->hide();
    layout->addWidget(m_folderError);

    layout->addWidget(DialogParts::label(this, "versionInfoLabel", QString(), Theme::dialogDescription));
    QPushButton *check = DialogParts::button(this, "checkUpdatesButton", QString(), Theme::dialogButton);
    QPushButton *logs = DialogParts::button(this, "openLogsButton", QString(), Theme::dialogButton);
    auto *actions = new QHBoxLayout;
    actions->addWidget(check);
    actions->addWidget(logs);
    actions->addStretch();
    layout->addLayout(actions);
    m_updateStatus = DialogParts::label(this, "updateStatusLabel", QString(), Theme::dialogDescription);
    layout->addWidget(m_updateStatus);

    auto *languageRow = new QHBoxLayout;
    QLabel *languageCaption = DialogParts::label(this, "languageCaption", QString(), Theme::dialogDescription);
    languageCaption->setWordWrap(false);
    languageRow->addWidget(languageCaption);
    m_languageBox = new QComboBox(this);
    m_languageBox->setObjectName(QStringLiteral("languageBox"));
    m_languageBox->setStyleSheet(Theme::dialogComboBox);
    // Each language by its own name, whichever is on.
    m_languageBox->addItem(QStringLiteral("Русский"), QStringLiteral("ru"));
    m_languageBox->addItem(QStringLiteral("English"), QStringLiteral("en"));
    m_languageBox->setCurrentIndex(m_languageBox->findData(Language::stored(settingsLocation)));
    languageCaption->setBuddy(m_languageBox);
    languageRow->addWidget(m_languageBox);
    languageRow->addStretch();
    layout->addLayout(languageRow);
    layout->addStretch();

    auto *closeRow = new QHBoxLayout;
    closeRow->addStretch();
    QPushButton *close = DialogParts::button(this, "closeSettingsButton", QString(), Theme::dialogMainButton);
    closeRow->addWidget(close);
    layout->addLayout(closeRow);
    retranslate();

    connect(change, &QAbstractButton::clicked, this, [this] {
        ClientMissingDialog::chooseFolder(
            this, m_folderError, [this](const QString &folder) { return m_play.chooseFolder(folder); },
            [this] { showFolder(); });
    });
    connect(check, &QAbstractButton::clicked, this, [this, &updater] {
        showUpdateStatus([] { return tr("Проверка обновлений..."); });
        updater.checkForUpdates(false);
    });
    connect(&updater, &Updater::upToDate, this, [this](const QString &current) {
        showUpdateStatus([current] { return tr("Установлена последняя версия лаунчера: %1.").arg(current); });
    });
    connect(&updater, &Updater::checkFailed, this, [this](const Updater::Failure &failure) {
        showUpdateStatus([failure] { return Wording::checkFailure(failure); });
    });
    connect(&updater, &Updater::updateStarted, this, [this](const QString &newVersion) {
        showUpdateStatus([newVersion] { return tr("Найдена версия %1, обновление...").arg(newVersion); });
    });
    connect(logs, &QAbstractButton::clicked, this, [logFolder] {
        QDir().mkpath(logFolder);
        QDesktopServices::openUrl(QUrl::fromLocalFile(logFolder));
    });
    connect(close, &QAbstractButton::clicked, this, &QDialog::accept);
    connect(m_languageBox, &QComboBox::currentIndexChanged, this,
        [this, settingsLocation] { Language::choose(settingsLocation, m_languageBox->currentData().toString()); });
}

void SettingsDialog::changeEvent(QEvent *event)
{
    if (event->type() == QEvent::LanguageChange)
        retranslate();
    QDialog::changeEvent(event);
}

void SettingsDialog::retranslate()
{
    const auto setText = [this](const char *name, const QString &text) {
        auto *button = findChild<QPushButton *>(QLatin1String(name));
        button->setText(text);
        button->setAccessibleName(text);
    };
    setWindowTitle(tr("Настройки"));
    findChild<QLabel *>(QStringLiteral("settingsTitleLabel"))->setText(tr("Настройки"));
    findChild<QLabel *>(QStringLiteral("clientFolderCaption"))->setText(tr("Папка RAGE Multiplayer"));
    m_folderLabel->setAccessibleName(tr("Папка RAGE Multiplayer"));
    setText("changeFolderButton", tr("Изменить…"));
    findChild<QLabel *>(QStringLiteral("versionInfoLabel"))->setText(tr("Версия лаунчера: %1").arg(m_version));
    setText("checkUpdatesButton", tr("Проверить обновления"));
    setText("openLogsButton", tr("Открыть папку логов"));
    findChild<QLabel *>(QStringLiteral("languageCaption"))->setText(tr("Язык"));
    m_languageBox->setAccessibleName(tr("Язык"));
    setText("closeSettingsButton", tr("Закрыть"));
    showFolder();
    if (m_updateWording)
        m_updateStatus->setText(m_updateWording());
}

void SettingsDialog::showUpdateStatus(std::function<QString()> wording)
{
    m_updateWording = std::move(wording);
    m_updateStatus->setText(m_updateWording());
}

void SettingsDialog::showFolder()
{
    const QString folder = m_play.clientFolder();
    m_folderLabel->setText(
        folder.isEmpty() ? tr("Не найдена: укажите папку с RAGE Multiplayer.") : QDir::toNativeSeparators(folder));
}
