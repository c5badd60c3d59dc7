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

    /// What the user chose, once the dialog is finished; Escape counts as cancel.
    PlayPrompts::ClientMissingAnswer answer() const { return m_answer; }

    /**
     * Asks the user for the client's folder, in a chooser over parent, and
     * hands it to acceptFolder; shows in errorLabel why a folder without the
     * client was refused. Returns at once, and calls accepted once a folder
     * was accepted. The settings use it too.
     */
    static void chooseFolder(QWidget *parent, QLabel *errorLabel,
        std::function<bool(const QString &folder)> acceptFolder, std::function<void()> accepted);

private:
    std::function<bool(const QString &)> m_acceptFolder;
    QLabel *m_errorLabel = nullptr;
    PlayPrompts::ClientMissingAnswer m_answer = PlayPrompts::ClientMissingAnswer::Cancel;
};
