#include "ui/mainwindow.h"
#include "ui/newsrow.h"

#include <QFrame>
#include <QGraphicsDropShadowEffect>
#include <QHBoxLayout>
#include <QIcon>
#include <QImage>
#include <QLabel>
#include <QPixmap>
#include <QPushButton>

namespace {
const QString logoTextStyle
    = QStringLiteral("font-family:'Akrobat'; font-size:16px; font-weight:900;color:#FEDD2C; background:transparent;");
const QString transparentStyle = QStringLiteral("background: transparent;");
const QString separatorStyle = QStringLiteral("background: rgba(255,255,255,0.10); border-radius: 38px;");
const QString sidebarPlayStyle = QStringLiteral(
    "QPushButton {  background: #FFCC00;  border-radius: 6px;  border: 1px solid rgba(255,255,255,0.05);"
    "  font-family: 'Akrobat','Segoe UI';  font-size: 12px;  font-weight: 700;  color: #382D00;  padding-left: 14px;"
    "  text-align: left;}QPushButton:hover  { background: #FFD633; }QPushButton:pressed{ background: #E6B800; }");
const QString menuStyle = QStringLiteral(
    "QPushButton {  background: rgba(49,49,49,0.10);  border: 0.6px solid rgba(255,255,255,0.05);  border-radius: 6px;"
    "  font-family: 'Akrobat','Segoe UI';  font-size: 12px;  font-weight: 700;  color: #707070;  padding-left: 14px;"
    "  text-align: left;}QPushButton:hover {  color: rgba(255,255,255,0.75);  background: rgba(49,49,49,0.20);}");
const QString socialStyle = QStringLiteral("QPushButton { background: transparent; border: none; }");
const QString greetingStyle = QStringLiteral(
    "font-family: 'Akrobat','Segoe UI';font-size: 48px;font-weight: 500;color: #FFFFFF;background: transparent;");
const QString newsHeadingStyle = QStringLiteral(
    "font-family: 'Akrobat','Segoe UI';font-size: 16px;font-weight: 600;color: #FFFFFF;background: transparent;");
const QString arrowStyle = QStringLiteral(
    "QPushButton {  background: transparent;  border: 1px solid rgba(255,255,255,0.25);  border-radius: 13px;"
    "  color: #FFFFFF;  font-size: 11px;  padding: 0;}QPushButton:hover {  background: rgba(255,255,255,0.08);"
    "  border-color: rgba(255,255,255,0.5);}");
const QString onlineBoxStyle = QStringLiteral(
    "QFrame {  background: rgba(49, 49, 49, 0.45);  border: 1px solid rgba(255, 255, 255, 0.07);  border-radius: 8px;}"
    "QLabel { border: none; background: transparent; }");
const QString onlineCaptionStyle
    = QStringLiteral("font-family: 'Akrobat','Segoe UI';font-size: 13px;font-weight: 600;color: #707070;");
const QString onlineValueStyle
    = QStringLiteral("font-family: 'Akrobat','Segoe UI';font-size: 13px;font-weight: 700;color: #DEDEDE;");
const QString largePlayStyle = QStringLiteral(
    "QPushButton {  background: #FFCC00;  border-radius: 8px;  border: 1px solid rgba(255,255,255,0.05);"
    "  font-family: 'Akrobat','Segoe UI';  font-size: 13px;  font-weight: 700;  color: #382D00;}"
    "QPushButton:hover  { background: #FFD633; }QPushButton:pressed{ background: #E6B800; }");
const QString greetingSecondLine = QStringLiteral(
    "<span style=\"font-family:'Akrobat','Segoe UI';font-size:48px;font-weight:500;color:#FFFFFF;\">в мире </span>"
    "<span style=\"font-family:'Akrobat','Segoe UI';font-size:48px;font-weight:500;color:#FEDD2C;\">Velor RP</span>");

void addGlow(QPushButton *button, qreal blurRadius)
{
    auto *glow = new QGraphicsDropShadowEffect(button);
    glow->setColor(QColor(255, 204, 0, 100));
    glow->setBlurRadius(blurRadius);
    glow->setOffset(0, 0);
    button->setGraphicsEffect(glow);
}

// Gives the button the icon when the image loaded; returns whether it did.
bool setIconIfLoaded(QPushButton *button, const QString &path, int side)
{
    const QPixmap pixmap(path);
    if (pixmap.isNull())
        return false;
    button->setIcon(QIcon(pixmap));
    button->setIconSize(QSize(side, side));
    return true;
}
} // namespace

QImage MainWindow::artwork(const QString &name, qreal devicePixelRatio)
{
    // The copies shipped at the size they are drawn, for 1x and 2x displays:
    // decoding the large originals costs more than the whole first frame.
    const int scale = devicePixelRatio <= 1.0 ? 1 : devicePixelRatio <= 2.0 ? 2 : 0;
    const QImage drawn(scale ? QStringLiteral(":/images/drawn/%1@%2x.png").arg(name).arg(scale) : QString());
    return drawn.isNull() ? QImage(QStringLiteral(":/images/%1.png").arg(name)) : drawn;
}

void MainWindow::buildSidebar()
{
    m_logoLabel = new QLabel(m_centralWidget);
    m_logoLabel->setObjectName(QStringLiteral("logoLabel"));
    m_logoLabel->setAlignment(Qt::AlignCenter);
    const qreal ratio = devicePixelRatioF();
    QImage logo = artwork(QStringLiteral("logo"), ratio);
    if (!logo.isNull()) {
        // Scaled straight to device pixels, so that it stays sharp on scaled displays.
        if (logo.height() != qRound(32 * ratio))
            logo = logo.scaledToHeight(qRound(32 * ratio), Qt::SmoothTransformation);
        logo.setDevicePixelRatio(ratio);
        const int w = qRound(logo.width() / ratio);
        m_logoLabel->setGeometry(33 + (180 - w) / 2, 44, w, 32);
        m_logoLabel->setStyleSheet(transparentStyle);
        m_logoLabel->setPixmap(QPixmap::fromImage(logo));
    } else {
        m_logoLabel->setGeometry(33, 44, 180, 32);
        m_logoLabel->setText(QStringLiteral("VELOR"));
        m_logoLabel->setStyleSheet(logoTextStyle);
    }

    auto *separator = new QFrame(m_centralWidget);
    separator->setObjectName(QStringLiteral("sidebarSeparator"));
    separator->setGeometry(33, 92, 180, 1);
    separator->setStyleSheet(separatorStyle);

    auto *sidebarPlay = new QPushButton(m_centralWidget);
    sidebarPlay->setObjectName(QStringLiteral("sidebarPlayButton"));
    sidebarPlay->setGeometry(33, 118, 180, 40);
    sidebarPlay->setCursor(Qt::PointingHandCursor);
    sidebarPlay->setText(setIconIfLoaded(sidebarPlay, QStringLiteral(":/images/icon_play.png"), 10)
            ? QStringLiteral("Играть")
            : QStringLiteral("\u25B6  Играть"));
    sidebarPlay->setStyleSheet(sidebarPlayStyle);
    addGlow(sidebarPlay, 20.0);
    connect(sidebarPlay, &QAbstractButton::clicked, this, &MainWindow::onPlayClicked);

    struct MenuEntry
    {
        const char *objectName;
        QString text;
        QString icon;
        void (MainWindow::*slot)();
    };
    const MenuEntry menu[] = {
        {"shopButton", QStringLiteral("Магазин"), QStringLiteral(":/images/icon_magazin.png"),
            &MainWindow::onShopClicked},
        {"forumButton", QStringLiteral("Форум"), QStringLiteral(":/images/icon_forum.png"),
            &MainWindow::onForumClicked},
        {"supportButton", QStringLiteral("Поддержка"), QStringLiteral(":/images/icon_support.png"),
            &MainWindow::onSupportClicked},
    };
    for (int i = 0; i < 3; ++i) {
        auto *button = new QPushButton(m_centralWidget);
        button->setObjectName(QString::fromLatin1(menu[i].objectName));
        button->setGeometry(33, 183 + 46 * i, 180, 40);
        button->setCursor(Qt::PointingHandCursor);
        button->setStyleSheet(menuStyle);
        button->setText(menu[i].text);
        setIconIfLoaded(button, menu[i].icon, 12);
        connect(button, &QAbstractButton::clicked, this, menu[i].slot);
    }

    auto *settings = new QPushButton(m_centralWidget);
    settings->setObjectName(QStringLiteral("settingsButton"));
    settings->setGeometry(33, 568, 180, 40);
    settings->setCursor(Qt::PointingHandCursor);
    settings->setStyleSheet(menuStyle);
    settings->setText(QStringLiteral("Настройки"));
    setIconIfLoaded(settings, QStringLiteral(":/images/icon_settings.png"), 12);
    connect(settings, &QAbstractButton::clicked, this, &MainWindow::onSettingsClicked);

    struct SocialEntry
    {
        const char *objectName;
        const char *accessibleName;
        QString icon;
    };
    const SocialEntry social[] = {
        {"discordButton", "Discord", QStringLiteral(":/images/icon_discord.png")},
        {"youtubeButton", "YouTube", QStringLiteral(":/images/icon_youtube.png")},
        {"vkButton", "VK", QStringLiteral(":/images/icon_vk.png")},
        {"telegramButton", "Telegram", QStringLiteral(":/images/icon_telegram.png")},
    };
    for (int i = 0; i < 4; ++i) {
        auto *button = new QPushButton(m_centralWidget);
        button->setObjectName(QString::fromLatin1(social[i].objectName));
        button->setAccessibleName(QString::fromLatin1(social[i].accessibleName));
        button->setGeometry(82 + 23 * i, 620, 16, 16);
        button->setCursor(Qt::PointingHandCursor);
        button->setStyleSheet(socialStyle);
        setIconIfLoaded(button, social[i].icon, 13);
        const QString link = m_env.socialLinks.value(i);
        connect(
            button, &QAbstractButton::clicked, button, [this, link] { openPage(link); }, Qt::DirectConnection);
    }
}

void MainWindow::buildContent()
{
    auto *greeting = new QLabel(QStringLiteral("Начни свою историю"), m_centralWidget);
    greeting->setObjectName(QStringLiteral("greetingLabel"));
    greeting->setGeometry(247, 69, 780, 64);
    greeting->setStyleSheet(greetingStyle);

    auto *greetingSecond = new QLabel(m_centralWidget);
    greetingSecond->setObjectName(QStringLiteral("greetingSecondLabel"));
    greetingSecond->setGeometry(247, 133, 780, 64);
    greetingSecond->setTextFormat(Qt::RichText);
    greetingSecond->setText(greetingSecondLine);
    greetingSecond->setStyleSheet(transparentStyle);

    auto *newsHeading = new QLabel(QStringLiteral("Последние новости"), m_centralWidget);
    newsHeading->setObjectName(QStringLiteral("newsHeadingLabel"));
    newsHeading->setGeometry(247, 240, 300, 26);
    newsHeading->setStyleSheet(newsHeadingStyle);

    auto *prev = new QPushButton(m_centralWidget);
    prev->setObjectName(QStringLiteral("newsPrevButton"));
    prev->setAccessibleName(QStringLiteral("Предыдущие новости"));
    prev->setGeometry(998, 240, 26, 26);
    prev->setCursor(Qt::PointingHandCursor);
    prev->setStyleSheet(arrowStyle);
    if (!setIconIfLoaded(prev, QStringLiteral(":/images/icon_left.png"), 7))
        prev->setText(QStringLiteral("\u2039"));
    connect(prev, &QAbstractButton::clicked, m_newsRow, &NewsRow::scrollPrev);

    auto *next = new QPushButton(m_centralWidget);
    next->setObjectName(QStringLiteral("newsNextButton"));
    next->setAccessibleName(QStringLiteral("Следующие новости"));
    next->setGeometry(1028, 240, 26, 26);
    next->setCursor(Qt::PointingHandCursor);
    next->setStyleSheet(arrowStyle);
    if (!setIconIfLoaded(next, QStringLiteral(":/images/icon_right.png"), 7))
        next->setText(QStringLiteral("\u203A"));
    connect(next, &QAbstractButton::clicked, m_newsRow, &NewsRow::scrollNext);

    auto *onlineBox = new QFrame(m_centralWidget);
    onlineBox->setObjectName(QStringLiteral("onlineBox"));
    onlineBox->setFixedHeight(44);
    onlineBox->move(254, 576);
    onlineBox->setStyleSheet(onlineBoxStyle);
    auto *onlineLayout = new QHBoxLayout(onlineBox);
    onlineLayout->setContentsMargins(14, 0, 14, 0);
    onlineLayout->setSpacing(6);
    auto *caption = new QLabel(QStringLiteral("Игроков онлайн"), onlineBox);
    caption->setObjectName(QStringLiteral("onlineCaptionLabel"));
    caption->setStyleSheet(onlineCaptionStyle);
    onlineLayout->addWidget(caption);
    m_onlineLabel = new QLabel(QStringLiteral("0"), onlineBox);
    m_onlineLabel->setObjectName(QStringLiteral("onlineLabel"));
    m_onlineLabel->setStyleSheet(onlineValueStyle);
    onlineLayout->addWidget(m_onlineLabel);
    onlineBox->adjustSize();

    m_playButton = new QPushButton(m_centralWidget);
    m_playButton->setObjectName(QStringLiteral("playButton"));
    m_playButton->setGeometry(896, 576, 158, 44);
    m_playButton->setCursor(Qt::PointingHandCursor);
    m_playButton->setText(setIconIfLoaded(m_playButton, QStringLiteral(":/images/icon_play.png"), 10)
            ? QStringLiteral("Начать играть")
            : QStringLiteral("\u25B6  Начать играть"));
    m_playButton->setStyleSheet(largePlayStyle);
    addGlow(m_playButton, 24.0);
    connect(m_playButton, &QAbstractButton::clicked, this, &MainWindow::onPlayClicked);
}

void MainWindow::onForumClicked()
{
    openPage(m_env.forumUrl);
}

void MainWindow::onSupportClicked()
{
    openPage(m_env.supportUrl);
}

void MainWindow::onShopClicked()
{
    openPage(m_env.shopUrl());
}
