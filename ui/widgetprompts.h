#pragma once

#include "launch/playprompts.h"

#include <QPointer>

class ClientMissingDialog;
class QWidget;
class StyledProgressDialog;

/// The play action's questions and messages as the window's modal dialogs
/// and message boxes, in the player's words.
class WidgetPrompts final : public PlayPrompts
{
public:
    explicit WidgetPrompts(QWidget *window);

    ClientMissingAnswer clientMissing(const std::function<bool(const QString &folder)> &acceptFolder) override;
    void showDownload(FileDownload &download) override;
    void downloadEnded(const FileDownload::Outcome &outcome) override;
    void bringBack() override;
    void notify(Notice notice, const QString &path) override;

private:
    QWidget *m_window;
    QPointer<ClientMissingDialog> m_clientMissing;
    QPointer<StyledProgressDialog> m_progress;
};
