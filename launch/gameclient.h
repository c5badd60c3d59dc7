#pragma once

#include <QString>
#include <QStringList>

/// What the launcher knows of the RAGE Multiplayer client: where it may be
/// installed, how it is pointed at the game server, and how it is started.
namespace GameClient {

/// Whether folder holds the client, that is, "updater.exe" exists in it. A
/// directory of that name counts too; nothing else is examined.
bool holdsClient(const QString &folder);

/**
 * The first folder that holds the client, tested in this order: the folder
 * next to the launcher, the remembered folder, then each fixed candidate.
 * Empty candidates are skipped untested. Returns an empty string when no
 * folder holds the client.
 */
QString findFolder(const QString &neighbourFolder, const QString &rememberedFolder, const QStringList &fixedFolders);

/// Writes the server address into the client's key at keyLocation (see
/// Platform::clientKeyLocation) as the two strings "launch2.ip" and
/// "launch2.port", leaving the key's other values alone, and flushes them so
/// the client reads them when it starts. Returns false when they could not be
/// stored: the client would then join whatever server the key held before.
bool writeServerAddress(const QString &keyLocation, const QString &host, const QString &port);

/// Starts the folder's updater.exe detached, without arguments, in the folder.
/// Returns whether the process could be started.
bool start(const QString &folder);

} // namespace GameClient
