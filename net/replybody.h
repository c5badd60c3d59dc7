#pragma once

#include <QByteArray>
#include <QtGlobal>
#include <optional>

class QNetworkAccessManager;
class QNetworkReply;
class QString;

/// Aborts the reply as soon as its body is known to exceed maxBytes, so that an
/// absurd answer never sits in memory whole. The reply then finishes with
/// QNetworkReply::OperationCanceledError and exceededSizeLimit() tells why.
void limitReplySize(QNetworkReply *reply, qint64 maxBytes);

/// Whether limitReplySize aborted the reply.
bool exceededSizeLimit(const QNetworkReply *reply);

/// The body of a finished reply when it ended without error, within its size
/// limit, and delivered everything its Content-Length promised; empty otherwise.
std::optional<QByteArray> completeBody(QNetworkReply *reply);

/// Sends a GET for an answer of at most maxBytes that gives up after timeoutMs
/// of silence; a cacheable one is kept in the manager's cache. The caller owns
/// the reply and releases it with deleteLater.
QNetworkReply *getAnswer(
    QNetworkAccessManager *manager, const QString &url, int timeoutMs, qint64 maxBytes, bool cacheable = false);

/// Whether the reply failed because nothing answered at all (no connection, no
/// name resolution, silence), as when the player is offline, rather than
/// because the server answered badly.
bool failedForWantOfNetwork(const QNetworkReply *reply);

/// For a reply that failed for want of a network: the same request answered
/// from the manager's cache, the last good answer however old. Null when the
/// reply failed otherwise, came from the cache already, was for the network
/// alone (not cacheable), or there is no cache.
QNetworkReply *retryFromCache(QNetworkAccessManager *manager, const QNetworkReply *failed, qint64 maxBytes);
