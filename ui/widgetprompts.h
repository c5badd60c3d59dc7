#pragma once

#include "launch/playprompts.h"

#include <QCoreApplication>
#include <QMessageBox>
#include <QPointer>

class ClientMissingDialog;
class QWidget;
class StyledProgressDialog;

/// The play action's questions and messages as modal dialogs and message
/// boxes over the launcher's window, in the player's words. Each goes when it
/// is closed, and with the window.
class WidgetPrompts final : public PlayPrompts
{
    Q_DECLARE_TR_FUNCTIONS(WidgetPrompts)

public:
    /// The window the dialogs show over from now on.
    void setWindow(QWidget *window) { m_window = window; }

    void clientMissing(std::function<bool(const QString &folder)> acceptFolder,
        std::function<void(ClientMissingAnswer answer)> answered) override;
    void showDownload(FileDownload &download) override;
    void downloadEnded(const FileDownload::Outcome &outcome, Done dismissed) override;
    void bringBack() override;
    void notify(Notice notice, const QString &path, Done dismissed) override;

private:
    void tell(QMessageBox::Icon icon, const QString &title, const QString &text, Done dismissed);

    QPointer<QWidget> m_window;
    QPointer<ClientMissingDialog> m_clientMissing;
    QPointer<StyledProgressDialog> m_progress;
    QPointer<QMessageBox> m_box;
};
