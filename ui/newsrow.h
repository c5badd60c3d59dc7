#pragma once

#include "feed/newspictureloader.h"
#include "feed/newssource.h"

#include <QList>
#include <QObject>
#include <QPixmap>

class NewsCard;
class QNetworkAccessManager;
class QWidget;

/**
 * The row of news cards under the news heading: four visible at a time,
 * stepped one card by the arrows, without wrapping. A new list replaces the
 * old one. Only the four visible cards exist as widgets, showing whichever
 * items the row has reached, so that a long list costs no more than a short
 * one; pictures load for the visible items and the next four, and are kept
 * once loaded.
 */
class NewsRow final : public QObject
{
    Q_OBJECT

public:
    static constexpr int visibleCards = 4;

    NewsRow(QWidget *parent, QNetworkAccessManager *manager, const QString &pageBase, int timeoutMs,
        const NewsPictureLoader::Prepare &preparePicture = {});

    /// The card widgets, left to right; hidden ones show no item.
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
    QList<NewsItem> m_items;
    QList<QPixmap> m_loaded; ///< by item; null until loaded
    QList<bool> m_asked; ///< by item: its picture was asked for
    QList<NewsCard *> m_cards;
    int m_first = 0;
};
