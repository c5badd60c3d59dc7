#pragma once

#include "launch/playprompts.h"

#include <QDialog>
#include <functional>

class QLabel;

/**
 * "RAGE Multiplayer не найден": offers to download the client's installer or
 * to pick the folder of an installed client. A picked folder without the
 * client is refused in the dialog's own error line, and the dialog stays.
 */
class ClientMissingDialog final : public QDialog
{
    Q_OBJECT

public:
    ClientMissingDialog(std::function<bool(const QString &folder)> acceptFolder, QWidget *parent);

    /// Runs the dialog modally; Escape counts as cancel.
    PlayPrompts::ClientMissingAnswer ask();

    /**
     * Asks the user for the client's folder and hands it to acceptFolder;
     * shows in errorLabel why a folder without the client was refused.
     * Returns whether a folder was accepted. The settings use it too.
     */
    static bool chooseFolder(
        QWidget *parent, QLabel *errorLabel, const std::function<bool(const QString &folder)> &acceptFolder);

private:
    std::function<bool(const QString &)> m_acceptFolder;
    QLabel *m_errorLabel = nullptr;
    PlayPrompts::ClientMissingAnswer m_answer = PlayPrompts::ClientMissingAnswer::Cancel;
};
