#pragma once

#include <QByteArray>
#include <QList>
#include <QObject>
#include <QPointer>
#include <QString>
#include <limits>

/// One item of the "/news" answer, its members read as strings.
struct NewsItem final
{
    QString title;
    QString description;
    QString date; ///< "dd.MM.yyyy", shown as it is
    QString dateIso; ///< compared as text, never parsed
    QString img;
    QString url; ///< slug of the item's page
    /// Julian day of date; days that do not parse rank below every real one.
    qint64 day = std::numeric_limits<qint64>::min();
};

class QNetworkAccessManager;
class QNetworkReply;

/**
 * Fetches "/news" and hands out its items newest first. The answer is read on
 * a worker thread, so that even the largest one allowed never holds up the
 * window. When nothing answers (no connection, no name resolution, silence),
 * the last good answer from the network manager's cache stands in. A failed,
 * stalled or unreadable answer, and one without items, reports nothing.
 */
class NewsSource final : public QObject
{
    Q_OBJECT

public:
    NewsSource(QNetworkAccessManager *manager, const QString &url, int timeoutMs, QObject *parent = nullptr);

    void fetch();

    /// The most an answer may hold: a real one is some kilobytes.
    static constexpr qint64 maxAnswerBytes = qint64(2) << 20;
    /// The most items read from an answer; later ones are left out. Every item
    /// costs memory and time, so a hostile answer must not name millions.
    static constexpr qsizetype maxItems = 1000;

    /**
     * The items of a "/news" answer: a JSON array, or an object holding the array
     * under "data". Each of the first maxItems elements becomes an item, also one
     * that is not an object (it gives an item with empty members); a member that
     * is missing or not a string reads as empty. Any other answer gives no items.
     */
    static QList<NewsItem> parse(const QByteArray &answer);

    /**
     * Whether a goes before b in the row: by "date_iso" as text when both have
     * one, otherwise by the day of "date". Not a strict weak ordering when only
     * some items have "date_iso".
     */
    static bool isNewer(const NewsItem &a, const NewsItem &b);

    /**
     * Orders the items newest first by isNewer. Where isNewer is consistent on the
     * items the result is sorted and equal items keep their order; on any input
     * it stays within the list and finishes after at most n log2 n comparisons.
     */
    static void sortNewestFirst(QList<NewsItem> &items);

    /// The page a card opens: the news page base followed by the slug as it is;
    /// empty for an empty slug.
    static QString pageLink(const QString &pageBase, const QString &slug);

signals:
    /// The items of the answer, newest first; never empty.
    void newsReady(const QList<NewsItem> &items);
    /// The answer failed, or held no items.
    void failed();

private:
    void onFinished();

    QNetworkAccessManager *m_manager;
    QString m_url;
    int m_timeoutMs;
    QPointer<QNetworkReply> m_reply;
};
