#pragma once

#include <QDialog>
#include <QElapsedTimer>
#include <QQueue>

class QLabel;
class QProgressBar;
class QPushButton;

/// The dark, frameless, application-modal dialog shown while a file downloads.
/// It does no work itself; its owner feeds it and decides when it goes away.
class StyledProgressDialog final : public QDialog
{
    Q_OBJECT

public:
    StyledProgressDialog(const QString &title, bool showCancel, QWidget *parent = nullptr);

    void setStatusText(const QString &text);
    /// Whole percent, 0 to 100.
    void setProgress(int value);
    /// Shows a download's progress as whole percent and whole mebibytes, with
    /// the speed of the last few seconds and the time left once they are
    /// known. Reports without a known total leave the dialog as it is.
    void showDownloadProgress(qint64 received, qint64 total);

signals:
    void canceled();

private:
    QLabel *m_statusLabel = nullptr;
    QProgressBar *m_progressBar = nullptr;
    QPushButton *m_cancelButton = nullptr;
    QElapsedTimer m_clock;
    QQueue<QPair<qint64, qint64>> m_samples; ///< (ms, bytes) of the last few seconds
};
