#pragma once

#include <QByteArray>
#include <QtGlobal>
#include <optional>

class QNetworkReply;

/// Aborts the reply as soon as its body is known to exceed maxBytes, so that an
/// absurd answer never sits in memory whole. The reply then finishes with
/// QNetworkReply::OperationCanceledError and exceededSizeLimit() tells why.
void limitReplySize(QNetworkReply *reply, qint64 maxBytes);

/// Whether limitReplySize aborted the reply.
bool exceededSizeLimit(const QNetworkReply *reply);

/// The body of a finished reply when it ended without error, within its size
/// limit, and delivered everything its Content-Length promised; empty otherwise.
std::optional<QByteArray> completeBody(QNetworkReply *reply);

class QNetworkAccessManager;
class QString;

/// Sends a GET for an answer of at most maxBytes that gives up after timeoutMs
/// of silence. The caller owns the reply and releases it with deleteLater.
QNetworkReply *getAnswer(QNetworkAccessManager *manager, const QString &url, int timeoutMs, qint64 maxBytes);
