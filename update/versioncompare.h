#pragma once

#include <QString>

/**
 * Whether the dotted version candidate is newer than current. Both are split at
 * every "." and compared part by part as base-10 numbers, left to right; a
 * missing part, and a part that is not a number (empty, letters, outside the
 * int range), counts as 0. Equal versions are not newer.
 */
bool isNewerVersion(const QString &candidate, const QString &current);
