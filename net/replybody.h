#pragma once

#include <QByteArray>
#include <QPointer>
#include <QString>
#include <QtGlobal>

class QNetworkAccessManager;
class QNetworkReply;

/// Aborts the reply as soon as its body is known to exceed maxBytes, so that an
/// absurd answer never sits in memory whole. The reply then finishes with
/// QNetworkReply::OperationCanceledError and exceededSizeLimit() tells why.
void limitReplySize(QNetworkReply *reply, qint64 maxBytes);

/// Whether limitReplySize aborted the reply.
bool exceededSizeLimit(const QNetworkReply *reply);

/// What a finished reply brought: its whole body, or why not.
struct ReplyBody
{
    enum class Kind {
        Complete, ///< no error, within its size limit, all its Content-Length promised
        Gone, ///< there was no reply to take
        FromCache, ///< it failed for want of a network; the cache's answer is on its way instead
        TooLarge, ///< limitReplySize aborted it
        Failed, ///< the network or the server failed; error says how
        Truncated, ///< it ended without an error before the end of its body
    };
    Kind kind = Kind::Gone;
    QByteArray body;
    QString error; ///< the network layer's own description
};

/// Takes the finished reply out of pending and releases it with deleteLater.
/// Given a manager with a cache, a cacheable reply that failed for want of a
/// network is asked again of that cache, for the last good answer however old;
/// that request, of at most cacheMaxBytes, then waits in pending, and the kind
/// is FromCache.
ReplyBody takeBody(
    QPointer<QNetworkReply> &pending, QNetworkAccessManager *cacheManager = nullptr, qint64 cacheMaxBytes = 0);

/// Sends a GET for an answer of at most maxBytes that gives up after timeoutMs
/// of silence; a cacheable one is kept in the manager's cache. The caller owns
/// the reply and releases it with deleteLater.
QNetworkReply *getAnswer(
    QNetworkAccessManager *manager, const QString &url, int timeoutMs, qint64 maxBytes, bool cacheable = false);

/// Whether the reply failed because nothing answered at all (no connection, no
/// name resolution, silence), as when the player is offline, rather than
/// because the server answered badly.
bool failedForWantOfNetwork(const QNetworkReply *reply);
