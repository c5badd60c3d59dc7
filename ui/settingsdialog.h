#pragma once

#include <QDialog>

class PlayFlow;
class QLabel;
class Updater;

/**
 * "Настройки": the client's folder, with a way to change it; a version check
 * on demand; the log folder; the launcher's version. Escape closes it.
 */
class SettingsDialog final : public QDialog
{
    Q_OBJECT

public:
    SettingsDialog(PlayFlow &play, Updater &updater, const QString &version, const QString &logFolder, QWidget *parent);

private:
    void showFolder();

    PlayFlow &m_play;
    QLabel *m_folderLabel = nullptr;
    QLabel *m_folderError = nullptr;
    QLabel *m_updateStatus = nullptr;
};
