#pragma once

#include <QDialog>

/**
 * "Лаунчер был неожиданно закрыт": told at the start after a crash, once per
 * crash, with a button that opens the folder of the crash reports. It waits
 * beside the window and never holds the start up.
 */
class CrashNoticeDialog final : public QDialog
{
    Q_OBJECT

public:
    /// Opens the notice over parent when folder holds a report the player has
    /// not been told of; that report then counts as told, even if the launcher
    /// ends before the notice is closed.
    static void showIfDue(const QString &folder, QWidget *parent);

private:
    CrashNoticeDialog(const QString &folder, QWidget *parent);
};
