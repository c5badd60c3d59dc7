#pragma once

#include <QDialog>

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
    /// Shows a download's progress as whole percent and whole mebibytes.
    /// Reports without a known total leave the dialog as it is.
    void showDownloadProgress(qint64 received, qint64 total);

signals:
    void canceled();

private:
    QLabel *m_statusLabel = nullptr;
    QProgressBar *m_progressBar = nullptr;
    QPushButton *m_cancelButton = nullptr;
};
