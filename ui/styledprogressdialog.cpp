#include "ui/styledprogressdialog.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>

namespace {
const QString dialogStyle = QStringLiteral(
    "QDialog {  background: #1a1a1a;  border: 1px solid rgba(255,255,255,0.15);}"
    "QLabel {  font-family: 'Akrobat', 'Segoe UI';  font-size: 14px;  color: rgba(255,255,255,0.85);"
    "  background: transparent;}"
    "QProgressBar {  background: rgba(255,255,255,0.08);  border: none;  border-radius: 4px;  height: 8px;}"
    "QProgressBar::chunk {  background: qlineargradient(x1:0,y1:0,x2:1,y2:0,    stop:0 #A88E00, stop:0.5 #FEDD2C,"
    " stop:1 #98841A);  border-radius: 4px;}"
    "QPushButton {  font-family: 'Akrobat', 'Segoe UI';  font-size: 13px;  color: rgba(255,255,255,0.7);"
    "  background: rgba(255,255,255,0.07);  border: 1px solid rgba(255,255,255,0.12);  border-radius: 6px;"
    "  padding: 5px 18px;}QPushButton:hover { background: rgba(255,255,255,0.12); }");
const QString headingStyle = QStringLiteral(
    "font-family: 'Akrobat', 'Segoe UI';font-size: 16px;font-weight: 700;color: #FFFFFF;background: transparent;");
} // namespace

StyledProgressDialog::StyledProgressDialog(const QString &title, bool showCancel, QWidget *parent)
    : QDialog(parent, Qt::Dialog | Qt::FramelessWindowHint)
{
    setObjectName(QStringLiteral("styledProgressDialog"));
    setWindowModality(Qt::ApplicationModal);
    setFixedSize(420, showCancel ? 175 : 130);
    setStyleSheet(dialogStyle);

    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(24, 22, 24, 22);
    layout->setSpacing(14);

    auto *heading = new QLabel(title, this);
    heading->setObjectName(QStringLiteral("progressHeadingLabel"));
    heading->setStyleSheet(headingStyle);
    layout->addWidget(heading);

    m_statusLabel = new QLabel(this);
    m_statusLabel->setObjectName(QStringLiteral("progressStatusLabel"));
    layout->addWidget(m_statusLabel);

    m_progressBar = new QProgressBar(this);
    m_progressBar->setObjectName(QStringLiteral("progressBar"));
    m_progressBar->setRange(0, 100);
    m_progressBar->setValue(0);
    m_progressBar->setTextVisible(false);
    m_progressBar->setFixedHeight(8);
    layout->addWidget(m_progressBar);

    if (showCancel) {
        m_cancelButton = new QPushButton(QStringLiteral("Отмена"), this);
        m_cancelButton->setObjectName(QStringLiteral("progressCancelButton"));
        auto *row = new QHBoxLayout;
        row->addStretch(0);
        row->addWidget(m_cancelButton);
        layout->addLayout(row);
        connect(m_cancelButton, &QPushButton::clicked, this, &StyledProgressDialog::canceled);
    }
}

void StyledProgressDialog::setStatusText(const QString &text)
{
    m_statusLabel->setText(text);
}

void StyledProgressDialog::setProgress(int value)
{
    m_progressBar->setValue(value);
}

void StyledProgressDialog::showDownloadProgress(qint64 received, qint64 total)
{
    if (total <= 0)
        return;
    constexpr qint64 mebibyte = 1048576;
    setProgress(int(received * 100 / total));
    setStatusText(QStringLiteral("Скачивание... %1 МБ / %2 МБ").arg(received / mebibyte).arg(total / mebibyte));
}
