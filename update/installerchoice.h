#pragma once

#include <QString>

/**
 * The installer to start among the "*.exe" files (any letter case) below
 * folder: the shallowest one, and among equally deep ones the first by path.
 * Symbolic links are neither followed nor chosen, and a file whose real
 * location lies outside folder is never returned. Gives the file's canonical
 * path, or an empty string when there is none.
 */
QString chooseInstaller(const QString &folder);
