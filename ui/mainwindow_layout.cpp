#include "launch/playflow.h"
#include "ui/mainwindow.h"
#include "ui/newsrow.h"
#include "ui/theme.h"

#include <QFrame>
#include <QGraphicsDropShadowEffect>
#include <QHBoxLayout>
#include <QIcon>
#include <QImage>
#include <QLabel>
#include <QPixmap>
#include <QPushButton>

namespace {
void addGlow(QPushButton *button, qreal blurRadius)
{
    auto *glow = new QGraphicsDropShadowEffect(button);
    glow->setColor(Theme::playGlow);
    glow->setBlurRadius(blurRadius);
    glow->setOffset(0, 0);
    button->setGraphicsEffect(glow);
}

// The keyboard reaches the window's buttons by Tab alone, in reading order, and
// Enter clicks the one it is on; a mouse click leaves the focus where it was.
void chainKeyboardFocus(QWidget *area)
{
    const char *const order[]
        = {"sidebarPlayButton", "shopButton", "forumButton", "supportButton", "settingsButton", "discordButton",
            "youtubeButton", "vkButton", "telegramButton", "newsPrevButton", "newsNextButton", "playButton"};
    QWidget *previous = nullptr;
    for (const char *name : order) {
        auto *button = area->findChild<QPushButton *>(QLatin1String(name), Qt::FindDirectChildrenOnly);
        button->setFocusPolicy(Qt::TabFocus);
        button->setAutoDefault(true);
        if (previous)
            QWidget::setTabOrder(previous, button);
        previous = button;
    }
    previous->setFocus(); // the window opens on the play button: Enter plays
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

template <typename Widget> Widget *child(const QWidget *area, const char *objectName)
{
    return area->findChild<Widget *>(QLatin1String(objectName), Qt::FindDirectChildrenOnly);
}

// A play button without its icon draws one in its text.
void setPlayText(QPushButton *button, const QString &text)
{
    button->setText(button->icon().isNull() ? QStringLiteral("\u25B6  ") + text : text);
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
    auto *logo = new QLabel(m_centralWidget);
    logo->setObjectName(QStringLiteral("logoLabel"));
    logo->setAlignment(Qt::AlignCenter);
    const qreal ratio = devicePixelRatioF();
    QImage picture = artwork(QStringLiteral("logo"), ratio);
    if (!picture.isNull()) {
        // Scaled straight to device pixels, so that it stays sharp on scaled displays.
        if (picture.height() != qRound(32 * ratio))
            picture = picture.scaledToHeight(qRound(32 * ratio), Qt::SmoothTransformation);
        picture.setDevicePixelRatio(ratio);
        const int w = qRound(picture.width() / ratio);
        logo->setGeometry(33 + (180 - w) / 2, 44, w, 32);
        logo->setStyleSheet(Theme::transparent);
        logo->setPixmap(QPixmap::fromImage(picture));
    } else {
        logo->setGeometry(33, 44, 180, 32);
        logo->setText(QStringLiteral("VELOR"));
        logo->setStyleSheet(Theme::logoText);
    }

    auto *separator = new QFrame(m_centralWidget);
    separator->setObjectName(QStringLiteral("sidebarSeparator"));
    separator->setGeometry(33, 92, 180, 1);
    separator->setStyleSheet(Theme::separator);

    auto *sidebarPlay = new QPushButton(m_centralWidget);
    sidebarPlay->setObjectName(QStringLiteral("sidebarPlayButton"));
    sidebarPlay->setGeometry(33, 118, 180, 40);
    sidebarPlay->setCursor(Qt::PointingHandCursor);
    setIconIfLoaded(sidebarPlay, QStringLiteral(":/images/icon_play.png"), 10);
    sidebarPlay->setStyleSheet(Theme::sidebarPlayButton + Theme::focusOnYellow);
    addGlow(sidebarPlay, 20.0);
    connect(sidebarPlay, &QAbstractButton::clicked, this, [this] { m_features.play.play(); });

    struct MenuEntry
    {
        const char *objectName;
        QString icon;
        QString page;
    };
    const MenuEntry menu[] = {
        {"shopButton", QStringLiteral(":/images/icon_magazin.png"), m_env.shopUrl()},
        {"forumButton", QStringLiteral(":/images/icon_forum.png"), m_env.forumUrl},
        {"supportButton", QStringLiteral(":/images/icon_support.png"), m_env.supportUrl},
    };
    for (int i = 0; i < 3; ++i) {
        auto *button = new QPushButton(m_centralWidget);
        button->setObjectName(QString::fromLatin1(menu[i].objectName));
        button->setGeometry(33, 183 + 46 * i, 180, 40);
        button->setCursor(Qt::PointingHandCursor);
        button->setStyleSheet(Theme::menuButton + Theme::focusOnDark);
        setIconIfLoaded(button, menu[i].icon, 12);
        connect(button, &QAbstractButton::clicked, this, [this, page = menu[i].page] { openPage(page); });
    }

    auto *settings = new QPushButton(m_centralWidget);
    settings->setObjectName(QStringLiteral("settingsButton"));
    settings->setGeometry(33, 568, 180, 40);
    settings->setCursor(Qt::PointingHandCursor);
    settings->setStyleSheet(Theme::menuButton + Theme::focusOnDark);
    setIconIfLoaded(settings, QStringLiteral(":/images/icon_settings.png"), 12);
    connect(settings, &QAbstractButton::clicked, this, &MainWindow::openSettings);

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
        button->setStyleSheet(Theme::socialButton + Theme::focusOnDark);
        setIconIfLoaded(button, social[i].icon, 13);
        const QString link = m_env.socialLinks.value(i);
        connect(
            button, &QAbstractButton::clicked, button, [this, link] { openPage(link); }, Qt::DirectConnection);
    }
}

void MainWindow::buildContent()
{
    auto *greeting = new QLabel(m_centralWidget);
    greeting->setObjectName(QStringLiteral("greetingLabel"));
    greeting->setGeometry(247, 69, 780, 64);
    greeting->setStyleSheet(Theme::greeting);

    auto *greetingSecond = new QLabel(m_centralWidget);
    greetingSecond->setObjectName(QStringLiteral("greetingSecondLabel"));
    greetingSecond->setGeometry(247, 133, 780, 64);
    greetingSecond->setTextFormat(Qt::RichText);
    greetingSecond->setStyleSheet(Theme::transparent);

    auto *newsHeading = new QLabel(m_centralWidget);
    newsHeading->setObjectName(QStringLiteral("newsHeadingLabel"));
    newsHeading->setGeometry(247, 240, 300, 26);
    newsHeading->setStyleSheet(Theme::newsHeading);

    auto *prev = new QPushButton(m_centralWidget);
    prev->setObjectName(QStringLiteral("newsPrevButton"));
    prev->setGeometry(998, 240, 26, 26);
    prev->setCursor(Qt::PointingHandCursor);
    prev->setStyleSheet(Theme::arrowButton + Theme::focusOnDark);
    if (!setIconIfLoaded(prev, QStringLiteral(":/images/icon_left.png"), 7))
        prev->setText(QStringLiteral("\u2039"));
    connect(prev, &QAbstractButton::clicked, m_newsRow, &NewsRow::scrollPrev);

    auto *next = new QPushButton(m_centralWidget);
    next->setObjectName(QStringLiteral("newsNextButton"));
    next->setGeometry(1028, 240, 26, 26);
    next->setCursor(Qt::PointingHandCursor);
    next->setStyleSheet(Theme::arrowButton + Theme::focusOnDark);
    if (!setIconIfLoaded(next, QStringLiteral(":/images/icon_right.png"), 7))
        next->setText(QStringLiteral("\u203A"));
    connect(next, &QAbstractButton::clicked, m_newsRow, &NewsRow::scrollNext);

    auto *onlineBox = new QFrame(m_centralWidget);
    onlineBox->setObjectName(QStringLiteral("onlineBox"));
    onlineBox->setFixedHeight(44);
    onlineBox->move(254, 576);
    onlineBox->setStyleSheet(Theme::onlineBox);
    auto *onlineLayout = new QHBoxLayout(onlineBox);
    onlineLayout->setContentsMargins(14, 0, 14, 0);
    onlineLayout->setSpacing(6);
    auto *caption = new QLabel(onlineBox);
    caption->setObjectName(QStringLiteral("onlineCaptionLabel"));
    caption->setStyleSheet(Theme::onlineCaption);
    onlineLayout->addWidget(caption);
    m_onlineLabel = new QLabel(QStringLiteral("0"), onlineBox);
    m_onlineLabel->setObjectName(QStringLiteral("onlineLabel"));
    m_onlineLabel->setStyleSheet(Theme::onlineValue);
    onlineLayout->addWidget(m_onlineLabel);

    auto *play = new QPushButton(m_centralWidget);
    play->setObjectName(QStringLiteral("playButton"));
    play->setGeometry(896, 576, 158, 44);
    play->setCursor(Qt::PointingHandCursor);
    setIconIfLoaded(play, QStringLiteral(":/images/icon_play.png"), 10);
    play->setStyleSheet(Theme::largePlayButton + Theme::focusOnYellow);
    addGlow(play, 24.0);
    connect(play, &QAbstractButton::clicked, this, [this] { m_features.play.play(); });
    chainKeyboardFocus(m_centralWidget);
}

void MainWindow::retranslate()
{
    const QWidget *area = m_centralWidget;
    child<QPushButton>(area, "minimizeButton")->setAccessibleName(tr("Свернуть"));
    child<QPushButton>(area, "closeButton")->setAccessibleName(tr("Закрыть"));
    setPlayText(child<QPushButton>(area, "sidebarPlayButton"), tr("Играть"));
    child<QPushButton>(area, "shopButton")->setText(tr("Магазин"));
    child<QPushButton>(area, "forumButton")->setText(tr("Форум"));
    child<QPushButton>(area, "supportButton")->setText(tr("Поддержка"));
    child<QPushButton>(area, "settingsButton")->setText(tr("Настройки"));
    child<QLabel>(area, "greetingLabel")->setText(tr("Начни свою историю"));
    child<QLabel>(area, "greetingSecondLabel")->setText(Theme::greetingSecondLine.arg(tr("в мире")));
    child<QLabel>(area, "newsHeadingLabel")->setText(tr("Последние новости"));
    child<QPushButton>(area, "newsPrevButton")->setAccessibleName(tr("Предыдущие новости"));
    child<QPushButton>(area, "newsNextButton")->setAccessibleName(tr("Следующие новости"));
    auto *onlineBox = child<QFrame>(area, "onlineBox");
    onlineBox->findChild<QLabel *>(QStringLiteral("onlineCaptionLabel"))->setText(tr("Игроков онлайн"));
    onlineBox->adjustSize();
    setPlayText(child<QPushButton>(area, "playButton"), tr("Начать играть"));
}
