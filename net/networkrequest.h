#pragma once

#include <QNetworkRequest>

class QNetworkReply;
class QString;
class QUrl;

/**
 * A GET request as the launcher sends every one of them: the address parsed
 * tolerantly, redirects followed unless they lead from https to http, and the
 * transfer abandoned after transferTimeoutMs without a byte (0: no bound).
 * Only a cacheable request's answer is kept in the network manager's cache,
 * to be revalidated by the server's validators and shown when offline; any
 * other request goes to the network alone, never reading that cache.
 */
QNetworkRequest makeGetRequest(const QString &url, int transferTimeoutMs, bool cacheable = false);

/**
 * Whether a reply that ended without error delivered fewer bytes than its
 * Content-Length promised. Qt can report a connection closed halfway through
 * the body as a success, so every handler asks this before trusting a body.
 * Compressed bodies are not judged: their length counts the bytes on the wire.
 */
bool isTruncated(const QNetworkReply *reply, qint64 bytesReceived);

/// Whether url is an http or https address with a host. The network manager
/// also reads file: and qrc: addresses, and on Windows a file: address with a
/// host opens an SMB connection, so addresses from the network pass this first.
bool isWebAddress(const QUrl &url);

/// Whether url names a loopback host, where no one else can answer.
bool isLoopback(const QUrl &url);

/// url as it may be written to the log: no user, query or fragment, which
/// may carry tokens.
QString loggable(const QUrl &url);

/// The reply's error as it may be written to the log: Qt names the whole
/// address in it.
QString loggableError(const QNetworkReply *reply);
