#pragma once

#include <QFrame>
#include <QPixmap>
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
    explicit NewsCard(QWidget *parent = nullptr);

    QLabel *m_titleLabel = nullptr;
    QLabel *m_descriptionLabel = nullptr;
    QLabel *m_dateLabel = nullptr;
    /// Opened on a press; empty: the card opens nothing.
    QString m_link;
    /// The picture; null until one has loaded. One made by
    /// NewsPicture::prepare is drawn as it is; any other is scaled to cover
    /// the picture area on every paint.
    QPixmap m_image;

signals:
    void clicked();

protected:
    void mousePressEvent(QMouseEvent *event) override;
    void enterEvent(QEnterEvent *event) override;
    void leaveEvent(QEvent *event) override;
    void paintEvent(QPaintEvent *event) override;

private:
    bool m_hovered = false;
};
