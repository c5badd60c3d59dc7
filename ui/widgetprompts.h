#pragma once

#include "launch/playprompts.h"

#include <QCoreApplication>
#include <QMessageBox>
#include <QPointer>

class ClientMissingDialog;
class QWidget;
class StyledProgressDialog;

/// The play action's questions and messages as the window's modal dialogs
/// and message boxes, in the player's words. Each goes when it is closed.
class WidgetPrompts final : public PlayPrompts
{
    Q_DECLARE_TR_FUNCTIONS(WidgetPrompts)

public:
    explicit WidgetPrompts(QWidget *window);

    void clientMissing(std::function<bool(const QString &folder)> acceptFolder,
        std::function<void(ClientMissingAnswer answer)> answered) override;
    void showDownload(FileDownload &download) override;
    void downloadEnded(const FileDownload::Outcome &outcome, Done dismissed) override;
    void bringBack() override;
    void notify(Notice notice, const QString &path, Done dismissed) override;

private:
    void tell(QMessageBox::Icon icon, const QString &title, const QString &text, Done dismissed);

    QWidget *m_window;
    QPointer<ClientMissingDialog> m_clientMissing;
    QPointer<StyledProgressDialog> m_progress;
    QPointer<QMessageBox> m_box;
};
