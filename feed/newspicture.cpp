#include "feed/newspicture.h"

#include <QBuffer>
#include <QImageReader>

#include <cmath>

namespace {
// One picture may briefly take this much while it is decoded; a card keeps
// about 100 KB of it.
constexpr int decodeLimitMb = 40;
constexpr qint64 decodeLimitBytes = qint64(decodeLimitMb) << 20;
// Scaling while decoding still reads every pixel; beyond this a single
// picture would hold up the window for seconds.
constexpr qint64 maxSourcePixels = qint64(128) << 20;

qint64 pixelBytes(const QSize &size)
{
    return qint64(size.width()) * size.height() * 4;
}
} // namespace

QRect NewsPicture::placement(const QSize &pictureSize)
{
    if (pictureSize.isEmpty())
        return QRect();
    const QSize scaled = pictureSize.scaled(area.size().toSize(), Qt::KeepAspectRatioByExpanding);
    // std::round takes halves away from zero.
    const int x = int(std::round(area.x() + (area.width() - scaled.width()) * 0.5));
    const int y = int(std::round(area.y() + (area.height() - scaled.height()) * 0.5));
    return QRect(QPoint(x, y), scaled);
}

QImage NewsPicture::prepare(const QByteArray &data, qreal devicePixelRatio)
{
    if (data.isEmpty() || data.size() > maxBytes || !(devicePixelRatio > 0))
        return QImage();
    QBuffer buffer;
    buffer.setData(data);
    if (!buffer.open(QIODevice::ReadOnly))
        return QImage();
    QImageReader reader(&buffer);
    reader.setAllocationLimit(decodeLimitMb);

    const QSize source = reader.size();
    if (source.isEmpty() || qint64(source.width()) * source.height() > maxSourcePixels)
        return QImage();
    const QRect drawn = placement(source);
    const QSize scaled = (QSizeF(drawn.size()) * devicePixelRatio).toSize();
    // Readers that cannot scale while decoding hold the full size first; a
    // very long, thin picture is large even once scaled.
    if (pixelBytes(scaled) > decodeLimitBytes
        || (!reader.supportsOption(QImageIOHandler::ScaledSize) && pixelBytes(source) > decodeLimitBytes)) {
        return QImage();
    }
    reader.setScaledSize(scaled);
    QImage image = reader.read();
    if (image.isNull())
        return QImage();
    if (image.size() != scaled)
        image = image.scaled(scaled, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);

    // Keep what the clip of the area lets through: its aligned box, 163 x 162.
    // That part is 162 or 163 pixels wide, and placement() of either width
    // puts it back where it was cut from.
    const QRect shown = drawn & area.toAlignedRect();
    const QRect kept = QRectF(QPointF(shown.topLeft() - drawn.topLeft()) * devicePixelRatio,
                              QSizeF(shown.size()) * devicePixelRatio)
                           .toRect()
        & image.rect();
    image = image.copy(kept);
    // Opaque pictures keep three bytes a pixel: a thousand cards hold a
    // quarter less, and drawing through the rounded clip costs the same.
    image = image.convertToFormat(image.hasAlphaChannel() ? QImage::Format_ARGB32_Premultiplied
                                                          : QImage::Format_RGB888);
    image.setDevicePixelRatio(devicePixelRatio);
    return image;
}
