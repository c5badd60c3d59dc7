#pragma once

#include <QFrame>
#include <QPixmap>
#include <QRectF>
#include <QString>

class QLabel;

/**
 * One news item in the news row: a 195 x 256 card with its picture, title,
 * one-line description and date. It lights up under the pointer; a press
 * opens its page in the browser and emits clicked().
 */
class NewsCard final : public QFrame
{
    Q_OBJECT

public:
    /// Where the card shows its picture, in the card's coordinates.
    static constexpr QRectF pictureArea{16.5, 12.0, 162.0, 162.0};

    explicit NewsCard(QWidget *parent = nullptr);

    void setTexts(const QString &title, const QString &description, const QString &date);
    /// Opened on a press; empty: the card opens nothing.
    void setLink(const QString &link) { m_link = link; }
    QString link() const { return m_link; }
    /// The picture; null shows the placeholder. One made by NewsPicture::prepare
    /// for pictureArea is drawn as it is; any other is scaled to cover the
    /// picture area on every paint.
    void setPicture(const QPixmap &picture);

signals:
    void clicked();

protected:
    void mousePressEvent(QMouseEvent *event) override;
    void enterEvent(QEnterEvent *event) override;
    void leaveEvent(QEvent *event) override;
    void paintEvent(QPaintEvent *event) override;

private:
    QLabel *m_titleLabel = nullptr;
    QLabel *m_descriptionLabel = nullptr;
    QLabel *m_dateLabel = nullptr;
    QString m_link;
    QPixmap m_picture;
    bool m_hovered = false;
};
