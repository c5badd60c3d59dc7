#include "ui/mainwindow.h"

#include "app/downloadsink.h"
#include "app/networkrequest.h"
#include "app/platform.h"
#include "app/downloadoutcome.h"
#include "launch/gameclient.h"
#include "ui/styledprogressdialog.h"

#include <QDialog>
#include <QDir>
#include <QHBoxLayout>
#include <QLabel>
#include <QMessageBox>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QProcess>
#include <QPushButton>
#include <QScopeGuard>
#include <QVBoxLayout>

// Game client launch: finding the client, starting it, and helping when it is missing.

namespace {
const QString clientMissingStyle = QStringLiteral(
    "QDialog {  background: #1a1a1a;  border: 1px solid rgba(255,255,255,0.15);}"
    "QLabel { background: transparent; color: rgba(255,255,255,0.85); }"
    "QPushButton { font-family: 'Akrobat','Segoe UI'; font-size: 13px; border-radius: 6px; padding: 8px 18px; }");
const QString titleStyle =
    QStringLiteral("font-family:'Akrobat','Segoe UI'; font-size:16px; font-weight:700; color:#FFFFFF;");
const QString descriptionStyle =
    QStringLiteral("font-family:'Akrobat','Segoe UI'; font-size:13px; color:rgba(255,255,255,0.55);");
const QString errorStyle = QStringLiteral("font-family:'Akrobat','Segoe UI'; font-size:12px; color:#FF6B6B;");
const QString downloadButtonStyle = QStringLiteral(
    "QPushButton { background:#FFCC00; color:#382D00; font-weight:700; border:none; }"
    "QPushButton:hover { background:#FFD633; }");
const QString pathButtonStyle = QStringLiteral(
    "QPushButton { background:rgba(255,255,255,0.07); border:1px solid rgba(255,255,255,0.12);"
    " color:rgba(255,255,255,0.80); }QPushButton:hover { background:rgba(255,255,255,0.13); }");
const QString cancelButtonStyle = QStringLiteral(
    "QPushButton { background:transparent; border:none; color:rgba(255,255,255,0.35); padding: 8px 10px; }"
    "QPushButton:hover { color:rgba(255,255,255,0.65); }");

const QString errorTitle = QStringLiteral("Ошибка");
const QString installerFileName = QStringLiteral("RAGEMultiplayer_Setup.exe");

void warnStartFailed(QWidget *window)
{
    QMessageBox::warning(window, errorTitle, QStringLiteral("Не удалось запустить RageMP!\nПроверьте путь в настройках."),
                         QMessageBox::Ok, QMessageBox::NoButton);
}

QLabel *addLabel(QDialog *dialog, QVBoxLayout *layout, const char *objectName, const QString &text,
                 const QString &style)
{
    auto *label = new QLabel(text, dialog);
    label->setObjectName(QString::fromLatin1(objectName));
    label->setStyleSheet(style);
    layout->addWidget(label);
    return label;
}

QPushButton *addButton(QDialog *dialog, QHBoxLayout *row, const char *objectName, const QString &text,
                       const QString &style)
{
    auto *button = new QPushButton(text, dialog);
    button->setObjectName(QString::fromLatin1(objectName));
    button->setStyleSheet(style);
    row->addWidget(button);
    return button;
}
} // namespace

void MainWindow::onPlayClicked()
{
    // A forwarded link or a click after Escape hid the progress dialog may
    // arrive while an earlier play request still waits in a dialog or a
    // download runs: it only brings that dialog back.
    if (m_playInProgress || m_installerReply) {
        QWidget *open = m_clientMissingDialog.data();
        if (!open)
            open = m_installerDialog;
        if (open) {
            open->show();
            open->raise();
            open->activateWindow();
        }
        return;
    }
    m_playInProgress = true;
    const auto done = qScopeGuard([this] { m_playInProgress = false; });
    if (!launchGame())
        warnStartFailed(this);
}

bool MainWindow::launchGame()
{
    QString folder;
    if (!findRagempPath(folder)) {
        showRagempNotFoundDialog();
        return true;
    }
    m_ragempPath = folder;
    saveSettings();
    GameClient::writeServerAddress(m_env.gameServerHost, m_env.gameServerPort);
    return GameClient::start(folder);
}

bool MainWindow::findRagempPath(QString &path)
{
    const QString folder = GameClient::findFolder(m_env.neighbourClientFolder, m_ragempPath, m_env.fixedClientFolders);
    if (folder.isEmpty())
        return false;
    path = folder;
    return true;
}

void MainWindow::chooseRagempFolder(QDialog *dialog, QLabel *errorLabel, bool &pathSelected)
{
    if (!m_env.pickFolder)
        return;
    const QString chosen =
        m_env.pickFolder(dialog, QStringLiteral("Выберите папку RAGE Multiplayer"), QStringLiteral("C:/"));
    if (chosen.isEmpty())
        return;
    if (!GameClient::holdsClient(chosen)) {
        errorLabel->setText(QStringLiteral(
            "Файл updater.exe не найден в выбранной папке. Выберите папку с установленным RAGE Multiplayer."));
        errorLabel->show();
        return;
    }
    m_ragempPath = chosen;
    saveSettings();
    pathSelected = true;
    dialog->accept();
}

void MainWindow::showRagempNotFoundDialog()
{
    auto *dialog = new QDialog(this, Qt::Dialog | Qt::FramelessWindowHint);
    dialog->setObjectName(QStringLiteral("clientMissingDialog"));
    dialog->setWindowModality(Qt::ApplicationModal);
    dialog->setFixedSize(440, 200);
    dialog->setStyleSheet(clientMissingStyle);

    auto *layout = new QVBoxLayout(dialog);
    layout->setContentsMargins(24, 22, 24, 20);
    layout->setSpacing(10);
    addLabel(dialog, layout, "clientMissingTitleLabel", QStringLiteral("RAGE Multiplayer не найден"), titleStyle);
    addLabel(dialog, layout, "clientMissingDescriptionLabel",
             QStringLiteral("Установите RAGE Multiplayer или укажите путь к уже установленной версии."),
             descriptionStyle)
        ->setWordWrap(true);
    QLabel *errorLabel = addLabel(dialog, layout, "clientMissingErrorLabel", QString(), errorStyle);
    errorLabel->setWordWrap(true);
    errorLabel->hide();
    layout->addStretch();

    auto *row = new QHBoxLayout;
    row->setSpacing(8);
    QPushButton *download =
        addButton(dialog, row, "downloadClientButton", QStringLiteral("Скачать RageMP"), downloadButtonStyle);
    QPushButton *path = addButton(dialog, row, "chooseClientFolderButton", QStringLiteral("Указать путь..."),
                                  pathButtonStyle);
    row->addStretch();
    QPushButton *cancel =
        addButton(dialog, row, "cancelClientMissingButton", QStringLiteral("Отмена"), cancelButtonStyle);
    layout->addLayout(row);

    bool downloadRequested = false;
    bool pathSelected = false;
    connect(download, &QAbstractButton::clicked, dialog, [dialog, &downloadRequested] {
        downloadRequested = true;
        dialog->accept();
    });
    connect(path, &QAbstractButton::clicked, dialog,
            [this, dialog, errorLabel, &pathSelected] { chooseRagempFolder(dialog, errorLabel, pathSelected); });
    connect(cancel, &QAbstractButton::clicked, dialog, &QDialog::reject);

    m_clientMissingDialog = dialog;
    dialog->exec();
    m_clientMissingDialog = nullptr;
    dialog->deleteLater();

    if (downloadRequested) {
        downloadRagemp();
    } else if (pathSelected && !launchGame()) {
        // The folder was the user's own choice, so a client that will not
        // start there is reported as on the first attempt.
        warnStartFailed(this);
    }
}

void MainWindow::downloadRagemp()
{
    if (m_installerReply)
        return; // only ever one download; onPlayClicked brings its dialog back

    m_installerCanceled = false;
    m_installerDialog = new StyledProgressDialog(QStringLiteral("Скачивание RAGE Multiplayer"), true, this);
    m_installerDialog->setObjectName(QStringLiteral("installerProgressDialog"));
    m_installerDialog->setStatusText(QStringLiteral("Подготовка..."));
    m_installerPath = m_env.tempFolder + QLatin1Char('/') + installerFileName;

    m_installerReply = m_netManager->get(makeGetRequest(m_env.clientInstallerUrl, m_env.downloadStallTimeoutMs));
    m_installerSink = new DownloadSink(m_installerReply, m_installerPath, m_installerReply);
    connect(m_installerReply, &QNetworkReply::downloadProgress, this, &MainWindow::onDownloadProgress);
    // Queued: the window's destructor aborts a running download, and the
    // handler must not then run on a window that is being torn down.
    connect(m_installerReply, &QNetworkReply::finished, this, &MainWindow::onDownloadFinished, Qt::QueuedConnection);
    connect(m_installerDialog, &StyledProgressDialog::canceled, this, [this] {
        if (!m_installerReply)
            return;
        m_installerCanceled = true;
        m_installerReply->abort();
    });
    if (m_installerSink->failed())
        m_installerReply->abort(); // nowhere to save it: don't fetch it at all

    const QPointer<StyledProgressDialog> dialog = m_installerDialog;
    dialog->exec();
}

void MainWindow::onDownloadProgress(qint64 received, qint64 total)
{
    // Without a Content-Length Qt still reports the size once the body is
    // complete; the bar stays at 0 to the end rather than jump at the close.
    if (m_installerDialog && m_installerReply
        && m_installerReply->header(QNetworkRequest::ContentLengthHeader).isValid())
        m_installerDialog->showDownloadProgress(received, total);
}

void MainWindow::onDownloadFinished()
{
    if (!m_installerReply)
        return;
    if (m_installerDialog) {
        m_installerDialog->close();
        m_installerDialog->deleteLater();
        m_installerDialog = nullptr;
    }

    const DownloadOutcome outcome = DownloadOutcome::conclude(*m_installerReply, *m_installerSink,
                                                              m_installerCanceled, m_env.downloadStallTimeoutMs);
    // Whatever was not committed goes with the sink, before any box is shown.
    delete m_installerSink;
    m_installerSink = nullptr;

    switch (outcome.kind) {
    case DownloadOutcome::Kind::Saved:
        QMessageBox::information(this, QStringLiteral("Установка"),
                                 QStringLiteral("Сейчас запустится установщик RAGE Multiplayer.\n"
                                                "После установки нажмите кнопку «Начать играть» снова."),
                                 QMessageBox::Ok, QMessageBox::NoButton);
        if (!Platform::prepareToRun(m_installerPath)
            || !QProcess::startDetached(m_installerPath, QStringList(), QString())) {
            // The user was just told it would start, so a failure must not pass in silence.
            QMessageBox::critical(this, errorTitle,
                                  QStringLiteral("Не удалось запустить установщик RAGE Multiplayer:\n%1")
                                      .arg(QDir::toNativeSeparators(m_installerPath)),
                                  QMessageBox::Ok, QMessageBox::NoButton);
        }
        break;
    case DownloadOutcome::Kind::SaveFailed:
        QMessageBox::critical(this, errorTitle, QStringLiteral("Не удалось сохранить установщик."), QMessageBox::Ok,
                              QMessageBox::NoButton);
        break;
    case DownloadOutcome::Kind::Canceled:
        break;
    case DownloadOutcome::Kind::Failed:
        QMessageBox::critical(this, QStringLiteral("Ошибка загрузки"),
                              QStringLiteral("Не удалось скачать RAGE Multiplayer:\n%1").arg(outcome.reason),
                              QMessageBox::Ok, QMessageBox::NoButton);
        break;
    }

    m_installerReply->deleteLater();
    m_installerReply = nullptr;
}
