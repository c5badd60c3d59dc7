#pragma once

#include "net/filedownload.h"
#include "update/updater.h"

#include <QString>

/// The player's words for what the features report as values.
namespace Wording {

/// The online count as the online box shows it: digits grouped the Russian way.
QString onlineCount(int total);

/// Why a download failed, for the line under "Не удалось скачать …:".
QString downloadFailure(const FileDownload::Outcome &outcome);

/// Why the update failed, for the line under "Не удалось скачать обновление:".
QString updateFailure(const Updater::Failure &failure);

/// Why a version check the player asked for failed, in words they can act on.
QString checkFailure(const Updater::Failure &failure);

/// The progress line of a download: whole mebibytes, and once a speed is
/// known, the speed and the time left.
QString downloadProgress(qint64 received, qint64 total, double bytesPerSecond);

} // namespace Wording
