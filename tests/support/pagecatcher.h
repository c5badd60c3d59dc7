#pragma once

#include <QList>
#include <QObject>
#include <QUrl>

/// Catches the pages the launcher asks the desktop to open; register it with
/// QDesktopServices::setUrlHandler for the schemes a test expects.
class PageCatcher final : public QObject
{
    Q_OBJECT

public:
    QList<QUrl> opened;

public slots:
    void open(const QUrl &url) { opened.append(url); }
};
