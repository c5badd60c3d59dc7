#pragma once

#include <QByteArray>
#include <QString>

#include <optional>

/// Reading the "/servers" answer and showing its total in the online box.
namespace ServerStatus {

/**
 * Players online summed over every server of the answer. A server adds its
 * "online" value when that is a whole number in the 32-bit range and 0 in
 * every other case, also when the server is not a JSON object. The sum is
 * taken in 64 bits and clamped to the 32-bit range. Empty when the answer is
 * not a JSON array.
 */
std::optional<int> onlineTotal(const QByteArray &answer);

/// The total as the online box shows it: digits grouped by thousands the Russian way.
QString formatOnline(int total);

} // namespace ServerStatus
