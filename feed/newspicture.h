#pragma once

#include <QByteArray>
#include <QImage>
#include <QRect>
#include <QRectF>

/// Where a news card shows its picture, and the picture made ready for it.
namespace NewsPicture {

/// The picture area of a card, in the card's coordinates.
inline constexpr QRectF area{16.5, 12.0, 162.0, 162.0};

/// Downloads larger than this are no picture for a card; they are refused.
inline constexpr qint64 maxBytes = qint64(32) << 20;

/**
 * Where a picture of the given size is drawn: scaled with its aspect ratio
 * kept until it covers the area (one side exactly 162), and centred, the
 * offsets rounded half away from zero. What overhangs the area is clipped.
 * A 320 x 180 picture lands at (-47, 12) with size 288 x 162.
 */
QRect placement(const QSize &pictureSize);

/**
 * Decodes a downloaded picture straight into the part of it that the area
 * shows, at the given device pixel ratio: scaled to cover the area as
 * placement() says, and cut to the pixels the area's clip lets through. The
 * result carries the pixel ratio, and placement() of its own size is the
 * spot it came from, so it is drawn without further scaling. The full-size
 * picture is never held: readers that can scale while decoding do so, and
 * others are only used when the full size stays small. Opaque pictures come
 * as QImage::Format_RGB888; keep that format when making a pixmap of one
 * (Qt::NoFormatConversion).
 *
 * Null when the data is empty or larger than maxBytes, is no image, does not
 * tell its size, or would need too much memory to decode.
 */
QImage prepare(const QByteArray &data, qreal devicePixelRatio);

} // namespace NewsPicture
