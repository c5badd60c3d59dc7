#pragma once

#include <QDialog>
#include <functional>

class PlayFlow;
class QComboBox;
class QLabel;
class Updater;

/**
 * "Настройки": the client's folder, with a way to change it; a version check
 * on demand; the log folder; the launcher's version; the language, which
 * changes at once. Escape closes it.
 */
class SettingsDialog final : public QDialog
{
    Q_OBJECT

public:
    SettingsDialog(PlayFlow &play, Updater &updater, const QString &version, const QString &logFolder,
        const QString &settingsLocation, QWidget *parent);

protected:
    void changeEvent(QEvent *event) override;

private:
    void showFolder();
    /// Sets every text of the dialog in the language installed now.
    void retranslate();
    void showUpdateStatus(std::function<QString()> wording);

    PlayFlow &m_play;
    QString m_version;
    QLabel *m_folderLabel = nullptr;
    QLabel *m_folderError = nullptr;
    QLabel *m_updateStatus = nullptr;
    QComboBox *m_languageBox = nullptr;
    std::function<QString()> m_updateWording; ///< the status line, worded again on a language change
};
