#pragma once

#include <QColor>
#include <QString>

/// The launcher's look: every style sheet and painted colour, each written once.
namespace Theme {

/// Makes the typeface shipped in the resources the one the sheets' 'Akrobat'
/// stands for: before the first widget is built, since a widget polished
/// earlier keeps the fallback's metrics. The two halves may run apart:
/// addBrandFont() on any thread, as the font database allows, and
/// substituteBrandFont() with its family on the GUI thread.
void registerFonts();

/// Adds the typeface to the application's fonts; returns its family, empty
/// when it did not load.
QString addBrandFont();
/// Makes 'Akrobat' stand for family, then Segoe UI.
void substituteBrandFont(const QString &family);

// Appended to a button's own sheet: the keyboard focus is a thin rim in the
// accent yellow (white on the yellow buttons), and no platform's dotted frame.
extern const QString focusOnDark;
extern const QString focusOnYellow;

// The window's title bar and sidebar.
extern const QString titleButton;
extern const QString minimizeButtonExtra;
extern const QString closeButtonExtra;
extern const QString versionLabel;
extern const QString logoText;
extern const QString transparent;
extern const QString separator;
extern const QString sidebarPlayButton;
extern const QString menuButton;
extern const QString socialButton;

// The content area.
extern const QString greeting;
extern const QString greetingSecondLine; ///< rich text, not a sheet: %1 is its white words
extern const QString newsHeading;
extern const QString arrowButton;
extern const QString onlineBox;
extern const QString onlineCaption;
extern const QString onlineValue;
extern const QString largePlayButton;

// News cards.
extern const QString newsCard;
extern const QString newsTitle;
extern const QString newsDescription;
extern const QString newsDate;

// Dialogs: the client-missing and settings dialogs share one look.
extern const QString dialog;
extern const QString dialogTitle;
extern const QString dialogDescription;
extern const QString dialogError;
extern const QString dialogMainButton;
extern const QString dialogButton;
extern const QString dialogQuietButton;
extern const QString dialogComboBox; ///< a choice among a few, in the colours of dialogButton
extern const QString progressDialog;
extern const QString progressHeading;

// Painted colours.
inline constexpr QColor frameFallback{18, 18, 18, 255};
inline constexpr QColor frameGlow{255, 225, 44, 22};
inline constexpr QColor frameGlowEnd{255, 225, 44, 0};
inline constexpr QColor panel{18, 18, 18, 217};
inline constexpr QColor panelSheenTop{255, 255, 255, 10};
inline constexpr QColor panelSheenBottom{0, 0, 0, 18};
inline constexpr QColor panelOutline{255, 255, 255, 20};
inline constexpr QColor playGlow{255, 204, 0, 100};
inline constexpr QColor card{18, 18, 18, 255};
inline constexpr QColor cardHovered{28, 28, 28, 255};
inline constexpr QColor placeholderTop{30, 24, 6, 255};
inline constexpr QColor placeholderMiddle{46, 37, 8, 255};
inline constexpr QColor placeholderBottom{22, 17, 4, 255};
inline constexpr QColor placeholderGlow{255, 200, 30, 80};
inline constexpr QColor placeholderGlowEnd{200, 140, 0, 0};

} // namespace Theme
