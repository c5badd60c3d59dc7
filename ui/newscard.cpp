#include "ui/newscard.h"

#include "feed/newspicture.h"
#include "ui/theme.h"

#include <QDesktopServices>
#include <QLabel>
#include <QLinearGradient>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QRadialGradient>
#include <QUrl>

namespace {
QLabel *makeLabel(QWidget *card, const char *objectName, const QRect &geometry, bool wordWrap, Qt::Alignment alignment,
    const QString &styleSheet)
{
    auto *label = new QLabel(card);
    label->setObjectName(QString::fromLatin1(objectName));
    label->setGeometry(geometry);
    label->setWordWrap(wordWrap);
    if (alignment)
        label->setAlignment(alignment);
    label->setAttribute(Qt::WA_TransparentForMouseEvents);
    label->setStyleSheet(styleSheet);
    // The texts come from the network: shown as they are, never as markup that
    // could pull in images or links of the server's choosing.
    label->setTextFormat(Qt::PlainText);
    return label;
}

QPen outlinePen(int alpha)
{
    return QPen(QBrush(QColor(255, 255, 255, alpha)), 1.0, Qt::SolidLine, Qt::SquareCap, Qt::BevelJoin);
}
} // namespace

NewsCard::NewsCard(QWidget *parent)
    : QFrame(parent)
{
    setObjectName(QStringLiteral("newsCard"));
    setFixedSize(195, 256);
    setCursor(Qt::PointingHandCursor);
    setAttribute(Qt::WA_TranslucentBackground);
    setStyleSheet(Theme::newsCard);

    m_titleLabel = makeLabel(
        this, "newsTitleLabel", QRect(16, 186, 162, 36), true, Qt::AlignLeft | Qt::AlignTop, Theme::newsTitle);
    m_descriptionLabel = makeLabel(this, "newsDescriptionLabel", QRect(16, 224, 162, 16), true,
        Qt::AlignLeft | Qt::AlignTop, Theme::newsDescription);
    m_dateLabel = makeLabel(this, "newsDateLabel", QRect(16, 242, 162, 12), false, Qt::Alignment(), Theme::newsDate);
}

void NewsCard::setTexts(const QString &title, const QString &description, const QString &date)
{
    m_titleLabel->setText(title);
    m_descriptionLabel->setText(description);
    m_dateLabel->setText(date);
}

void NewsCard::setPicture(const QPixmap &picture)
{
    m_picture = picture;
    update();
}

void NewsCard::mousePressEvent(QMouseEvent *event)
{
    if (!m_link.isEmpty())
        QDesktopServices::openUrl(QUrl(m_link, QUrl::TolerantMode));
    emit clicked();
    // Left unaccepted, the press goes on to the window, which drags on it.
    QFrame::mousePressEvent(event);
}

void NewsCard::enterEvent(QEnterEvent *event)
{
    m_hovered = true;
    update();
    QFrame::enterEvent(event);
}

void NewsCard::leaveEvent(QEvent *event)
{
    m_hovered = false;
    update();
    QFrame::leaveEvent(event);
}

void NewsCard::paintEvent(QPaintEvent *event)
{
    Q_UNUSED(event);
    QPainter painter(this);
    painter.setRenderHints(QPainter::Antialiasing | QPainter::SmoothPixmapTransform);

    QPainterPath body;
    body.addRoundedRect(QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5), 11.4, 11.4, Qt::AbsoluteSize);
    painter.setPen(outlinePen(m_hovered ? 20 : 13));
    painter.setBrush(m_hovered ? Theme::cardHovered : Theme::card);
    painter.drawPath(body);

    const QRectF area = pictureArea;
    QPainterPath picture;
    picture.addRoundedRect(area, 8.6, 8.6, Qt::AbsoluteSize);
    painter.save();
    painter.setClipPath(picture);
    if (!m_picture.isNull()) {
        const QSize size = m_picture.deviceIndependentSize().toSize();
        const QRect target = NewsPicture::placement(size, area);
        if (target.size() == size)
            painter.drawPixmap(target.topLeft(), m_picture);
        else
            painter.drawPixmap(target.topLeft(),
                m_picture.scaled(target.size(), Qt::KeepAspectRatioByExpanding, Qt::SmoothTransformation));
    } else {
        const QRect fill = area.toRect();
        QLinearGradient shade(area.topLeft(), area.bottomLeft());
        shade.setColorAt(0.0, Theme::placeholderTop);
        shade.setColorAt(0.5, Theme::placeholderMiddle);
        shade.setColorAt(1.0, Theme::placeholderBottom);
        painter.fillRect(fill, shade);
        QRadialGradient glow(area.center(), 70.0);
        glow.setColorAt(0.0, Theme::placeholderGlow);
        glow.setColorAt(1.0, Theme::placeholderGlowEnd);
        painter.fillRect(fill, glow);
    }
    painter.restore();
    painter.setPen(outlinePen(m_picture.isNull() ? 10 : 13));
    painter.setBrush(Qt::NoBrush);
    painter.drawPath(picture);
}
