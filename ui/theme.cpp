#include "ui/theme.h"

#include <QDebug>
#include <QFont>
#include <QFontDatabase>
#include <QStringList>

namespace Theme {

void registerFonts()
{
    substituteBrandFont(addBrandFont());
}

QString addBrandFont()
{
    // The weights the sheets ask for (400, 500, 600, 700); a heavier one is drawn bold.
    const char *const weights[] = {"Regular", "Medium", "SemiBold", "Bold"};
    QString family;
    for (const char *weight : weights) {
        const QString file = QStringLiteral(":/fonts/Manrope-%1.ttf").arg(QLatin1String(weight));
        const QStringList families = QFontDatabase::applicationFontFamilies(QFontDatabase::addApplicationFont(file));
        if (families.isEmpty())
            qWarning() << "font not loaded:" << file;
        else
            family = families.first();
    }
    return family;
}

void substituteBrandFont(const QString &family)
{
    // The toolkit tries every family a sheet names before any substitute, so
    // the sheets name the brand's face alone and its fallbacks are here.
    QStringList substitutes{QStringLiteral("Segoe UI")};
    if (!family.isEmpty())
        substitutes.prepend(family);
    QFont::insertSubstitutions(QStringLiteral("Akrobat"), substitutes);
}

const QString focusOnDark
    = QStringLiteral("QPushButton { outline: none; }QPushButton:focus { border: 1px solid rgba(254,221,44,0.55); }");
const QString focusOnYellow
    = QStringLiteral("QPushButton { outline: none; }QPushButton:focus { border: 1px solid rgba(255,255,255,0.75); }");

const QString titleButton = QStringLiteral(
    "QPushButton {  background: rgba(25,25,25,0.75);  border: 1px solid rgba(255,255,255,0.12);  border-radius: 6px;"
    "  color: rgba(255,255,255,0.45);  font-size: 14px;}");
const QString minimizeButtonExtra = QStringLiteral(
    "QPushButton { padding-bottom: 4px; }QPushButton:hover { background: rgba(80,80,80,0.85); color: white; }");
const QString closeButtonExtra = QStringLiteral("QPushButton:hover { background: rgba(200,45,45,0.9); color: white; }");
const QString versionLabel
    = QStringLiteral("font-family: 'Akrobat';font-size: 11px;color: rgba(255,255,255,0.30);background: transparent;"
                     "border: none;");
const QString logoText
    = QStringLiteral("font-family:'Akrobat'; font-size:16px; font-weight:900;color:#FEDD2C; background:transparent;");
const QString transparent = QStringLiteral("background: transparent;");
const QString separator = QStringLiteral("background: rgba(255,255,255,0.10); border-radius: 38px;");
const QString sidebarPlayButton = QStringLiteral(
    "QPushButton {  background: #FFCC00;  border-radius: 6px;  border: 1px solid rgba(255,255,255,0.05);"
    "  font-family: 'Akrobat';  font-size: 12px;  font-weight: 700;  color: #382D00;  padding-left: 14px;"
    "  text-align: left;}QPushButton:hover  { background: #FFD633; }QPushButton:pressed{ background: #E6B800; }");
const QString menuButton = QStringLiteral(
    "QPushButton {  background: rgba(49,49,49,0.10);  border: 0.6px solid rgba(255,255,255,0.05);  border-radius: 6px;"
    "  font-family: 'Akrobat';  font-size: 12px;  font-weight: 700;  color: #707070;  padding-left: 14px;"
    "  text-align: left;}QPushButton:hover {  color: rgba(255,255,255,0.75);  background: rgba(49,49,49,0.20);}");
const QString socialButton = QStringLiteral("QPushButton { background: transparent; border: none; }");

const QString greeting
    = QStringLiteral("font-family: 'Akrobat';font-size: 48px;font-weight: 500;color: #FFFFFF;background: transparent;");
const QString greetingSecondLine = QStringLiteral(
    "<span style=\"font-family:'Akrobat';font-size:48px;font-weight:500;color:#FFFFFF;\">%1 </span>"
    "<span style=\"font-family:'Akrobat';font-size:48px;font-weight:500;color:#FEDD2C;\">Velor RP</span>");
const QString newsHeading
    = QStringLiteral("font-family: 'Akrobat';font-size: 16px;font-weight: 600;color: #FFFFFF;background: transparent;");
const QString arrowButton = QStringLiteral(
    "QPushButton {  background: transparent;  border: 1px solid rgba(255,255,255,0.25);  border-radius: 13px;"
    "  color: #FFFFFF;  font-size: 11px;  padding: 0;}QPushButton:hover {  background: rgba(255,255,255,0.08);"
    "  border-color: rgba(255,255,255,0.5);}");
const QString onlineBox = QStringLiteral(
    "QFrame {  background: rgba(49, 49, 49, 0.45);  border: 1px solid rgba(255, 255, 255, 0.07);  border-radius: 8px;}"
    "QLabel { border: none; background: transparent; }");
const QString onlineCaption = QStringLiteral("font-family: 'Akrobat';font-size: 13px;font-weight: 600;color: #707070;");
const QString onlineValue = QStringLiteral("font-family: 'Akrobat';font-size: 13px;font-weight: 700;color: #DEDEDE;");
const QString largePlayButton = QStringLiteral(
    "QPushButton {  background: #FFCC00;  border-radius: 8px;  border: 1px solid rgba(255,255,255,0.05);"
    "  font-family: 'Akrobat';  font-size: 13px;  font-weight: 700;  color: #382D00;}"
    "QPushButton:hover  { background: #FFD633; }QPushButton:pressed{ background: #E6B800; }");

const QString newsCard = QStringLiteral("background: transparent;");
const QString newsTitle = QStringLiteral("font-family: 'Akrobat';font-size: 13px;font-weight: 600;"
                                         "color: #DEDEDE;background: transparent;");
const QString newsDescription = QStringLiteral("font-family: 'Akrobat';font-size: 9px;color: #707070;"
                                               "background: transparent;");
const QString newsDate = QStringLiteral("font-family: 'Akrobat';font-size: 8px;"
                                        "color: rgba(112,112,112,0.6);background: transparent;");

const QString dialog
    = QStringLiteral("QDialog {  background: #1a1a1a;  border: 1px solid rgba(255,255,255,0.15);}"
                     "QLabel { background: transparent; color: rgba(255,255,255,0.85); }"
                     "QPushButton { font-family: 'Akrobat'; font-size: 13px; border-radius: 6px; padding: 8px 18px; }");
const QString dialogTitle = QStringLiteral("font-family:'Akrobat'; font-size:16px; font-weight:700; color:#FFFFFF;");
const QString dialogDescription
    = QStringLiteral("font-family:'Akrobat'; font-size:13px; color:rgba(255,255,255,0.55);");
const QString dialogError = QStringLiteral("font-family:'Akrobat'; font-size:12px; color:#FF6B6B;");
const QString dialogMainButton
    = QStringLiteral("QPushButton { background:#FFCC00; color:#382D00; font-weight:700; border:none; }"
                     "QPushButton:hover { background:#FFD633; }")
    + focusOnYellow;
const QString dialogButton
    = QStringLiteral("QPushButton { background:rgba(255,255,255,0.07); border:1px solid rgba(255,255,255,0.12);"
                     " color:rgba(255,255,255,0.80); }QPushButton:hover { background:rgba(255,255,255,0.13); }")
    + focusOnDark;
const QString dialogQuietButton
    = QStringLiteral(
          "QPushButton { background:transparent; border:none; color:rgba(255,255,255,0.35); padding: 8px 10px; }"
          "QPushButton:hover { color:rgba(255,255,255,0.65); }")
    + focusOnDark;
const QString dialogComboBox
    = QStringLiteral("QComboBox { font-family:'Akrobat'; font-size:13px; background:rgba(255,255,255,0.07);"
                     " border:1px solid rgba(255,255,255,0.12); border-radius:6px; color:rgba(255,255,255,0.80);"
                     " padding: 6px 12px; min-width: 110px; }"
                     "QComboBox:hover { background:rgba(255,255,255,0.13); }"
                     "QComboBox:focus { border: 1px solid rgba(254,221,44,0.55); }"
                     "QComboBox QAbstractItemView { background:#1a1a1a; color:rgba(255,255,255,0.80); outline: none;"
                     " border:1px solid rgba(255,255,255,0.15); selection-background-color:rgba(255,204,0,0.25); }");
const QString progressDialog
    = QStringLiteral(
          "QDialog {  background: #1a1a1a;  border: 1px solid rgba(255,255,255,0.15);}"
          "QLabel {  font-family: 'Akrobat';  font-size: 14px;  color: rgba(255,255,255,0.85);"
          "  background: transparent;}"
          "QProgressBar {  background: rgba(255,255,255,0.08);  border: none;  border-radius: 4px;  height: 8px;}"
          "QProgressBar::chunk {  background: qlineargradient(x1:0,y1:0,x2:1,y2:0,    stop:0 #A88E00, stop:0.5 #FEDD2C,"
          " stop:1 #98841A);  border-radius: 4px;}"
          "QPushButton {  font-family: 'Akrobat';  font-size: 13px;  color: rgba(255,255,255,0.7);"
          "  background: rgba(255,255,255,0.07);  border: 1px solid rgba(255,255,255,0.12);  border-radius: 6px;"
          "  padding: 5px 18px;}QPushButton:hover { background: rgba(255,255,255,0.12); }")
    + focusOnDark;
const QString progressHeading
    = QStringLiteral("font-family: 'Akrobat';font-size: 16px;font-weight: 700;color: #FFFFFF;background: transparent;");

} // namespace Theme
