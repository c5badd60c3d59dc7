#include "ui/clientmissingdialog.h"

#include <QFileDialog>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace {
const QString dialogStyle = QStringLiteral(
    "QDialog {  background: #1a1a1a;  border: 1px solid rgba(255,255,255,0.15);}"
    "QLabel { background: transparent; color: rgba(255,255,255,0.85); }"
    "QPushButton { font-family: 'Akrobat','Segoe UI'; font-size: 13px; border-radius: 6px; padding: 8px 18px; }");
const QString titleStyle
    = QStringLiteral("font-family:'Akrobat','Segoe UI'; font-size:16px; font-weight:700; color:#FFFFFF;");
const QString descriptionStyle
    = QStringLiteral("font-family:'Akrobat','Segoe UI'; font-size:13px; color:rgba(255,255,255,0.55);");
const QString errorStyle = QStringLiteral("font-family:'Akrobat','Segoe UI'; font-size:12px; color:#FF6B6B;");
const QString downloadButtonStyle
    = QStringLiteral("QPushButton { background:#FFCC00; color:#382D00; font-weight:700; border:none; }"
                     "QPushButton:hover { background:#FFD633; }");
const QString pathButtonStyle
    = QStringLiteral("QPushButton { background:rgba(255,255,255,0.07); border:1px solid rgba(255,255,255,0.12);"
                     " color:rgba(255,255,255,0.80); }QPushButton:hover { background:rgba(255,255,255,0.13); }");
const QString cancelButtonStyle = QStringLiteral(
    "QPushButton { background:transparent; border:none; color:rgba(255,255,255,0.35); padding: 8px 10px; }"
    "QPushButton:hover { color:rgba(255,255,255,0.65); }");

QLabel *addLabel(
    QDialog *dialog, QVBoxLayout *layout, const char *objectName, const QString &text, const QString &style)
{
    auto *label = new QLabel(text, dialog);
    label->setObjectName(QString::fromLatin1(objectName));
    label->setStyleSheet(style);
    layout->addWidget(label);
    return label;
}

QPushButton *addButton(
    QDialog *dialog, QHBoxLayout *row, const char *objectName, const QString &text, const QString &style)
{
    auto *button = new QPushButton(text, dialog);
    button->setObjectName(QString::fromLatin1(objectName));
    button->setStyleSheet(style);
    row->addWidget(button);
    return button;
}
} // namespace

ClientMissingDialog::ClientMissingDialog(std::function<bool(const QString &)> acceptFolder, QWidget *parent)
    : QDialog(parent, Qt::Dialog | Qt::FramelessWindowHint)
    , m_acceptFolder(std::move(acceptFolder))
{
    setObjectName(QStringLiteral("clientMissingDialog"));
    setWindowModality(Qt::ApplicationModal);
    setFixedSize(440, 200);
    setStyleSheet(dialogStyle);

    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(24, 22, 24, 20);
    layout->setSpacing(10);
    addLabel(this, layout, "clientMissingTitleLabel", QStringLiteral("RAGE Multiplayer не найден"), titleStyle);
    addLabel(this, layout, "clientMissingDescriptionLabel",
        QStringLiteral("Установите RAGE Multiplayer или укажите путь к уже установленной версии."), descriptionStyle)
        ->setWordWrap(true);
    m_errorLabel = addLabel(this, layout, "clientMissingErrorLabel", QString(), errorStyle);
    m_errorLabel->setWordWrap(true);
    m_errorLabel->hide();
    layout->addStretch();

    auto *row = new QHBoxLayout;
    row->setSpacing(8);
    QPushButton *download
        = addButton(this, row, "downloadClientButton", QStringLiteral("Скачать RageMP"), downloadButtonStyle);
    QPushButton *path
        = addButton(this, row, "chooseClientFolderButton", QStringLiteral("Указать путь..."), pathButtonStyle);
    row->addStretch();
    QPushButton *cancel
        = addButton(this, row, "cancelClientMissingButton", QStringLiteral("Отмена"), cancelButtonStyle);
    layout->addLayout(row);

    connect(download, &QAbstractButton::clicked, this, [this] {
        m_answer = PlayPrompts::ClientMissingAnswer::Download;
        accept();
    });
    connect(path, &QAbstractButton::clicked, this, &ClientMissingDialog::chooseFolder);
    connect(cancel, &QAbstractButton::clicked, this, &QDialog::reject);
}

PlayPrompts::ClientMissingAnswer ClientMissingDialog::ask()
{
    m_answer = PlayPrompts::ClientMissingAnswer::Cancel;
    exec();
    return m_answer;
}

void ClientMissingDialog::chooseFolder()
{
    const QString chosen = QFileDialog::getExistingDirectory(this, QStringLiteral("Выберите папку RAGE Multiplayer"),
        QStringLiteral("C:/"), QFileDialog::ShowDirsOnly | QFileDialog::DontResolveSymlinks);
    if (chosen.isEmpty())
        return;
    if (!m_acceptFolder(chosen)) {
        m_errorLabel->setText(QStringLiteral(
            "Файл updater.exe не найден в выбранной папке. Выберите папку с установленным RAGE Multiplayer."));
        m_errorLabel->show();
        return;
    }
    m_answer = PlayPrompts::ClientMissingAnswer::FolderChosen;
    accept();
}
