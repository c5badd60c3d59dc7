#pragma once

#include <QImage>
#include <QObject>
#include <QPointer>
#include <QQueue>
#include <QString>

class QNetworkAccessManager;
class QNetworkReply;

/**
 * Downloads the pictures of the news cards, in the order they are asked for
 * and only a few at a time: a request that waited in the network manager's
 * queue would run out its silence time-out before its first byte. Each
 * picture is prepared for its target's pixel ratio on arrival (see
 * NewsPicture::prepare). A target deleted meanwhile is never reported; its
 * reply is only released. Only http and https addresses with a host are
 * fetched; any other address is ignored, as a picture that failed.
 */
class NewsPictureLoader final : public QObject
{
    Q_OBJECT

public:
    /// Requests in flight at most. Fewer than the manager's six connections
    /// per host, so the status and news requests never queue behind pictures.
    static constexpr int maxRunning = 4;

    NewsPictureLoader(QNetworkAccessManager *manager, int transferTimeoutMs, QObject *parent = nullptr);

    void load(QObject *target, const QString &url, qreal devicePixelRatio);
    /// Drops the downloads that have not started.
    void cancelPending();

signals:
    void pictureReady(QObject *target, const QImage &picture);

private:
    struct Pending
    {
        QPointer<QObject> target;
        QString url;
        qreal devicePixelRatio;
    };

    void startNext();
    void finish(QNetworkReply *reply, const Pending &pending);

    QNetworkAccessManager *m_manager;
    int m_transferTimeoutMs;
    QQueue<Pending> m_pending;
    int m_running = 0;
};
