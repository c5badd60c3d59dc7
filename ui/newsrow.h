#pragma once

#include "feed/newssource.h"

#include <QList>
#include <QObject>

class NewsCard;
class NewsPictureLoader;
class QNetworkAccessManager;
class QWidget;

/**
 * The row of news cards under the news heading: four visible at a time,
 * stepped one card by the arrows. A new list replaces the cards; pictures
 * arrive as they load. The cards are children of the given parent widget.
 */
class NewsRow final : public QObject
{
    Q_OBJECT

public:
    NewsRow(QWidget *parent, QNetworkAccessManager *manager, const QString &pageBase, int timeoutMs);

    const QList<NewsCard *> &cards() const { return m_cards; }

public slots:
    void showItems(const QList<NewsItem> &items);
    void scrollPrev();
    void scrollNext();

private:
    void layoutCards();

    QWidget *m_parent;
    NewsPictureLoader *m_pictures;
    QString m_pageBase;
    QList<NewsCard *> m_cards;
    int m_first = 0;
};
