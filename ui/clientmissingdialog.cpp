#include "ui/clientmissingdialog.h"

#include "ui/dialogparts.h"
#include "ui/theme.h"

#include <QFileDialog>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

ClientMissingDialog::ClientMissingDialog(std::function<bool(const QString &)> acceptFolder, QWidget *parent)
    : QDialog(parent, Qt::Dialog | Qt::FramelessWindowHint)
    , m_acceptFolder(std::move(acceptFolder))
{
    setObjectName(QStringLiteral("clientMissingDialog"));
    setWindowModality(Qt::ApplicationModal);
    setFixedSize(440, 200);
    setStyleSheet(Theme::dialog);

    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(24, 22, 24, 20);
    layout->setSpacing(10);
    layout->addWidget(
        DialogParts::label(this, "clientMissingTitleLabel", tr("RAGE Multiplayer не найден"), Theme::dialogTitle));
    layout->addWidget(DialogParts::label(this, "clientMissingDescriptionLabel",
        tr("Установите RAGE Multiplayer или укажите путь к уже установленной версии."), Theme::dialogDescription));
    m_errorLabel = DialogParts::label(this, "clientMissingErrorLabel", QString(), Theme::dialogError);
    m_errorLabel->hide();
    layout->addWidget(m_errorLabel);
    layout->addStretch();

    auto *row = new QHBoxLayout;
    row->setSpacing(8);
    QPushButton *download
        = DialogParts::button(this, "downloadClientButton", tr("Скачать RageMP"), Theme::dialogMainButton);
    QPushButton *path
        = DialogParts::button(this, "chooseClientFolderButton", tr("Указать путь..."), Theme::dialogButton);
    QPushButton *cancel
        = DialogParts::button(this, "cancelClientMissingButton", tr("Отмена"), Theme::dialogQuietButton);
    row->addWidget(download);
    row->addWidget(path);
    row->addStretch();
    row->addWidget(cancel);
    layout->addLayout(row);

    connect(download, &QAbstractButton::clicked, this, [this] {
        m_answer = PlayPrompts::ClientMissingAnswer::Download;
        accept();
    });
    connect(path, &QAbstractButton::clicked, this, [this] {
        chooseFolder(this, m_errorLabel, m_acceptFolder, [this] {
            m_answer = PlayPrompts::ClientMissingAnswer::FolderChosen;
            accept();
        });
    });
    connect(cancel, &QAbstractButton::clicked, this, &QDialog::reject);
}

void ClientMissingDialog::chooseFolder(QWidget *parent, QLabel *errorLabel,
    std::function<bool(const QString &folder)> acceptFolder, std::function<void()> accepted)
{
    auto *chooser = new QFileDialog(parent, tr("Выберите папку RAGE Multiplayer"), QStringLiteral("C:/"));
    chooser->setFileMode(QFileDialog::Directory);
    chooser->setOptions(QFileDialog::ShowDirsOnly | QFileDialog::DontResolveSymlinks);
    // The answer goes nowhere once the label's dialog is gone.
    connect(chooser, &QDialog::finished, errorLabel,
        [chooser, errorLabel, acceptFolder = std::move(acceptFolder), accepted = std::move(accepted)](int result) {
            chooser->deleteLater();
            const QString chosen = result == QDialog::Accepted ? chooser->selectedFiles().value(0) : QString();
            if (chosen.isEmpty())
                return;
            if (!acceptFolder(chosen)) {
                errorLabel->setText(QStringLiteral(
                    "Файл updater.exe не найден в выбранной папке. Выберите папку с установленным RAGE Multiplayer."));
                errorLabel->show();
                return;
            }
            errorLabel->hide();
            accepted();
        });
    DialogParts::showModal(chooser);
}
