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
// A JPEG decoded in several passes keeps every coefficient of the whole
// picture while it is decoded, about six bytes a pixel at full colour
// resolution: 4K fits.
constexpr qint64 maxProgressivePixels = qint64(8) << 20;

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

NewsPicture::JpegLayout NewsPicture::jpegLayout(const QByteArray &data)
{
    JpegLayout layout;
    if (!data.startsWith("\xFF\xD8"))
        return layout;
    layout.keepsWholePicture = true;
    // Every scan starts with the bytes FF DA, and the decoder finds no marker
    // where they are not: counting them all never counts fewer scans than it
    // decodes. Only those from the first scan on when the walk gets there.
    const auto countScans = [&layout, &data](qsizetype from) {
        for (qsizetype at = data.indexOf("\xFF\xDA", from); at >= 0 && layout.scans <= maxJpegScans;
             at = data.indexOf("\xFF\xDA", at + 2))
            ++layout.scans;
        return layout;
    };
    // The segments up to the first scan as the decoder reads them: a marker,
    // maybe after fill bytes of 0xFF, then a big-endian length that counts
    // itself. The decoder skips stray bytes before a marker; the walk stops
    // there, knowing nothing.
    int components = 0;
    bool sequential = false;
    for (qsizetype at = 2; at + 4 <= data.size();) {
        const uchar marker = uchar(data[at + 1]);
        if (uchar(data[at]) != 0xFF || marker == 0xD8 || marker == 0xD9)
            break;
        if (marker == 0xFF || marker == 0x01 || (marker >= 0xD0 && marker <= 0xD7)) {
            at += marker == 0xFF ? 1 : 2; // fill, or a marker without a length
            continue;
        }
        const qsizetype length = qsizetype(uchar(data[at + 2])) << 8 | uchar(data[at + 3]);
        if (length < 2 || at + 2 + length > data.size())
            break;
        if (marker == 0xDA) {
            layout.keepsWholePicture = !sequential || length < 3 || uchar(data[at + 4]) != components;
            return countScans(at);
        }
        if (marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 && marker != 0xCC) {
            if (components > 0 || length < 8)
                break; // a second frame, which the decoder refuses
            components = uchar(data[at + 9]);
            sequential = marker == 0xC0 || marker == 0xC1 || marker == 0xC9;
        }
        at += 2 + length;
    }
    return countScans(0);
}

QRect NewsPicture::placement(const QSize &pictureSize, const QRectF &area)
{
    if (pictureSize.isEmpty())
        return QRect();
    const QSize scaled = pictureSize.scaled(area.size().toSize(), Qt::KeepAspectRatioByExpanding);
    // std::round takes halves away from zero.
    const int x = int(std::round(area.x() + (area.width() - scaled.width()) * 0.5));
    const int y = int(std::round(area.y() + (area.height() - scaled.height()) * 0.5));
    return QRect(QPoint(x, y), scaled);
}

QImage NewsPicture::prepare(const QByteArray &data, const QRectF &area, qreal devicePixelRatio)
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
    const qint64 pixels = qint64(source.width()) * source.height();
    if (source.isEmpty() || pixels > maxSourcePixels)
        return QImage();
    const JpegLayout jpeg = jpegLayout(data);
    if (jpeg.scans > maxJpegScans || (pixels > maxProgressivePixels && jpeg.keepsWholePicture))
        return QImage();
    const QRect drawn = placement(source, area);
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

    // Keep what the clip of the area lets through: its aligned box (for the
    // card's area 163 x 162, placement() of either width putting it back where
    // it was cut from).
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
