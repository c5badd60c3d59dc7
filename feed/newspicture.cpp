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

quint32 bigEndian32(const QByteArray &data, qsizetype at)
{
    return quint32(uchar(data[at])) << 24 | quint32(uchar(data[at + 1])) << 16 | quint32(uchar(data[at + 2])) << 8
        | quint32(uchar(data[at + 3]));
}

// Qt's PNG reader, asked to scale while decoding, gets the colours of some
// kinds of PNG wrong: 1-bit palettes come out black and white, transparent
// palettes lose their transparency, 16-bit transparency is blended twice. It
// is right for 8-bit samples without a palette and without a tRNS chunk, the
// kind large photos come in; every other PNG is decoded whole and then scaled.
bool scalesWhileDecoding(const QByteArray &data)
{
    static const QByteArray signature("\x89PNG\r\n\x1a\n", 8);
    if (!data.startsWith(signature))
        return true;
    if (data.size() < 33 || uchar(data[24]) != 8 || uchar(data[25]) == 3)
        return false;
    for (qsizetype at = 8; at + 8 <= data.size();) {
        const QByteArray type = data.mid(at + 4, 4);
        if (type == "IDAT")
            return true;
        if (type == "tRNS")
            return false;
        at += 12 + qsizetype(bigEndian32(data, at));
    }
    return false;
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
    // Pictures that are not scaled while decoding are held at full size first;
    // a very long, thin picture is large even once scaled.
    const bool scaleWhileDecoding = reader.supportsOption(QImageIOHandler::ScaledSize) && scalesWhileDecoding(data);
    if (pixelBytes(scaled) > decodeLimitBytes || (!scaleWhileDecoding && pixelBytes(source) > decodeLimitBytes))
        return QImage();
    if (scaleWhileDecoding)
        reader.setScaledSize(scaled);
    QImage image = reader.read();
    if (image.isNull())
        return QImage();
    if (image.size() != scaled) {
        image
            = image
                  .convertToFormat(image.hasAlphaChannel() ? QImage::Format_ARGB32_Premultiplied : QImage::Format_RGB32)
                  .scaled(scaled, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    }

    // Keep what the clip of the area lets through: its aligned box, 163 x 162.
    // That part is 162 or 163 pixels wide, and placement() of either width
    // puts it back where it was cut from.
    const QRect shown = drawn & area.toAlignedRect();
    const QRect kept
        = QRectF(QPointF(shown.topLeft() - drawn.topLeft()) * devicePixelRatio, QSizeF(shown.size()) * devicePixelRatio)
              .toRect()
        & image.rect();
    image = image.copy(kept);
    // Opaque pictures keep three bytes a pixel: a thousand cards hold a
    // quarter less, and drawing through the rounded clip costs the same.
    image
        = image.convertToFormat(image.hasAlphaChannel() ? QImage::Format_ARGB32_Premultiplied : QImage::Format_RGB888);
    image.setDevicePixelRatio(devicePixelRatio);
    return image;
}
