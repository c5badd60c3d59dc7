#pragma once

#include <QImage>
#include <QObject>
#include <QPointer>
#include <QQueue>
#include <QRectF>
#include <QString>
#include <QThreadPool>
#include <functional>

class QNetworkAccessManager;
class QNetworkReply;

/**
 * Downloads the pictures of the news cards, in the order they are asked for
 * and only a few at a time: a request that waited in the network manager's
 * queue would run out its silence time-out before its first byte. Each
 * picture is prepared for its area and pixel ratio on a worker thread (see
 * NewsPicture::prepare), one at a time, so that neither a large picture nor
 * many at once hold up the window; a download counts as running until its
 * picture is ready, so that at most maxRunning bodies are held at once. When
 * nothing answers, the picture of the last good answer stands in from the
 * network manager's cache. Only http and https addresses with a host are
 * fetched; any other address is ignored, as a picture that failed.
 */
class NewsPictureLoader final : public QObject
{
    Q_OBJECT

public:
    /// Requests in flight at most. Fewer than the manager's six connections
    /// per host, so the status and news requests never queue behind pictures.
    static constexpr int maxRunning = 4;

    using Prepare = std::function<QImage(const QByteArray &data, const QRectF &area, qreal devicePixelRatio)>;

    /// prepare makes a picture ready on the worker thread; empty: NewsPicture::prepare.
    NewsPictureLoader(
        QNetworkAccessManager *manager, int transferTimeoutMs, Prepare prepare = {}, QObject *parent = nullptr);
    ~NewsPictureLoader() override;

    /// Fetches the picture at url; pictureReady() reports it under key.
    void load(int key, const QString &url, const QRectF &area, qreal devicePixelRatio);
    /// Forgets every load asked for so far: those not started are dropped,
    /// and those under way report nothing.
    void reset();

signals:
    void pictureReady(int key, const QImage &picture);
    /// The picture for key did not load, or is none a card can show.
    void pictureFailed(int key);

private:
    struct Pending
    {
        int key;
        QString url;
        QRectF area;
        qreal devicePixelRatio;
        quint64 generation;
    };

    void startNext();
    void finish(QPointer<QNetworkReply> reply, const Pending &pending);
    void done();

    QNetworkAccessManager *m_manager;
    int m_transferTimeoutMs;
    Prepare m_prepare;
    QQueue<Pending> m_pending;
    quint64 m_generation = 0;
    int m_running = 0;
    QThreadPool m_decoder;
};
