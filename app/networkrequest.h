#pragma once

#include <QNetworkRequest>

class QNetworkReply;
class QString;

/**
 * A GET request as the launcher sends every one of them: the address parsed
 * tolerantly, redirects followed unless they lead from https to http, and the
 * transfer abandoned after transferTimeoutMs without a byte (0: no bound).
 */
QNetworkRequest makeGetRequest(const QString &url, int transferTimeoutMs);

/**
 * Whether a reply that ended without error delivered fewer bytes than its
 * Content-Length promised. Qt can report a connection closed halfway through
 * the body as a success, so every handler asks this before trusting a body.
 * Compressed bodies are not judged: their length counts the bytes on the wire.
 */
bool isTruncated(const QNetworkReply *reply, qint64 bytesReceived);
