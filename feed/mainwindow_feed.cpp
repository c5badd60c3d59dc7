#include "ui/mainwindow.h"

// Server status and news: the online count and the news row.

void MainWindow::fetchServerData()
{
}

void MainWindow::onServerDataReceived()
{
}

void MainWindow::fetchNewsData()
{
}

void MainWindow::onNewsDataReceived()
{
}

void MainWindow::scrollNewsPrev()
{
}

void MainWindow::scrollNewsNext()
{
}

void MainWindow::layoutNewsCards()
{
}
