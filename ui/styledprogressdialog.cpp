#include "ui/styledprogressdialog.h"

#include "ui/theme.h"
#include "ui/wording.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>

namespace {
// The speed is that of this window: long enough to be steady, short enough
// to follow a line that slows down.
constexpr qint64 speedWindowMs = 3000;
constexpr qint64 speedKnownAfterMs = 1000;
} // namespace

StyledProgressDialog::StyledProgressDialog(const QString &title, bool showCancel, QWidget *parent)
    : QDialog(parent, Qt::Dialog | Qt::FramelessWindowHint)
{
    setObjectName(QStringLiteral("styledProgressDialog"));
    setWindowModality(Qt::ApplicationModal);
    setFixedSize(420, showCancel ? 175 : 130);
    setStyleSheet(Theme::progressDialog);

    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(24, 22, 24, 22);
    layout->setSpacing(14);

    auto *heading = new QLabel(title, this);
    heading->setObjectName(QStringLiteral("progressHeadingLabel"));
    heading->setStyleSheet(Theme::progressHeading);
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
        m_cancelButton = new QPushButton(tr("Отмена"), this);
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
    if (!m_clock.isValid())
        m_clock.start();
    // A download that starts over begins a new speed.
    if (!m_samples.isEmpty() && received < m_samples.constLast().second)
        m_samples.clear();
    const qint64 now = m_clock.elapsed();
    m_samples.enqueue({now, received});
    while (m_samples.size() > 2 && now - m_samples.at(1).first >= speedWindowMs)
        m_samples.dequeue();
    const qint64 spanMs = now - m_samples.constFirst().first;
    const double speed
        = spanMs >= speedKnownAfterMs ? double(received - m_samples.constFirst().second) * 1000 / spanMs : 0;
    setProgress(int(received * 100 / total));
    setStatusText(Wording::downloadProgress(received, total, speed));
}
