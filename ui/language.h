#pragma once

#include <QString>

/**
 * The launcher's language: Russian, which its texts are written in, or
 * English. The choice is kept in the launcher's settings and takes effect at
 * once: open widgets are told with QEvent::LanguageChange.
 */
namespace Language {

/// "ru" or "en": what the player chose last, Russian unless they chose English.
QString stored(const QString &settingsLocation);

/// Installs the translators for code ("ru" or "en"); Russian also gets the
/// toolkit's own Russian for its standard buttons and dialogs.
void install(const QString &code);

/// Keeps code as the player's choice and installs it.
void choose(const QString &settingsLocation, const QString &code);

} // namespace Language
