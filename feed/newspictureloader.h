#pragma once

#include <QObject>
#include <QPointer>
#include <QQueue>
#include <QString>

class NewsCard;
class QNetworkAccessManager;
class QNetworkReply;

/**
 * Downloads the pictures of the news cards, in the order they are asked for
 * and only a few at a time: a request that waited in the network manager's
 * queue would run out its silence time-out before its first byte. Each
 * picture is prepared for its card's pixel ratio on arrival (see
 * NewsPicture::prepare) and the card repaints. A card deleted meanwhile is
 * never touched; its reply is only released.
 */
class NewsPictureLoader final : public QObject
{
    Q_OBJECT

public:
    /// Requests in flight at most. Fewer than the manager's six connections
    /// per host, so the status and news requests never queue behind pictures.
    static constexpr int maxRunning = 4;

    NewsPictureLoader(QNetworkAccessManager *manager, int transferTimeoutMs, QObject *parent = nullptr);

    void load(NewsCard *card, const QString &url);
    /// Drops the downloads that have not started.
    void cancelPending();

private:
    struct Pending
    {
        QPointer<NewsCard> card;
        QString url;
    };

    void startNext();
    void finish(QNetworkReply *reply, const QPointer<NewsCard> &card);

    QNetworkAccessManager *m_manager;
    int m_transferTimeoutMs;
    QQueue<Pending> m_pending;
    int m_running = 0;
};
