#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

/// Update archives and stand-in installers for the update tests.
namespace UpdateFixture {

/// A shell script that passes for an installer: it writes the path it was
/// started by, then each argument, one per line, into recordPath.
QByteArray installerScript(const QString &recordPath);

/// Packs entries (paths relative to stageFolder) into zipPath with Info-ZIP's
/// zip, keeping symbolic links as links. extraOptions go before the names.
bool makeZip(const QString &stageFolder, const QStringList &entries, const QString &zipPath,
             const QStringList &extraOptions = {});

/// Renames an entry by rewriting its name bytes in place; zip's own checks
/// refuse names such as "../x", so hostile archives are made this way. Both
/// names must have the same length.
bool renameEntry(const QString &zipPath, const QByteArray &from, const QByteArray &to);

/// The lines of a text file; empty when it does not exist.
QStringList readLines(const QString &path);

/// A valid zip archive without a single entry.
QByteArray emptyZip();

} // namespace UpdateFixture
