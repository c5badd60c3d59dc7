#pragma once

#include <QByteArray>
#include <QImage>
#include <QRect>
#include <QRectF>

/// A news picture made ready for the area of a card that shows it.
namespace NewsPicture {

/// Downloads larger than this are no picture for a card; they are refused.
inline constexpr qint64 maxBytes = qint64(32) << 20;

/// JPEGs of more scans are refused: each scan is decoded over the whole
/// picture, and a few bytes make one. Encoders write a dozen or two.
inline constexpr int maxJpegScans = 64;

/// What a JPEG's markers tell of its decoding before it is decoded.
struct JpegLayout
{
    /// Whether the decoder may keep the coefficients of the whole picture:
    /// true for every JPEG but one whose markers, walked strictly up to its
    /// first scan, show one sequential frame and a first scan that names every
    /// component. False for data that is no JPEG.
    bool keepsWholePicture = false;
    /// At least as many as the scans the decoder finds, counted up to
    /// maxJpegScans + 1.
    int scans = 0;
};

/**
 * Where a picture of the given size is drawn in area: scaled with its aspect
 * ratio kept until it covers the area, and centred, the offsets rounded half
 * away from zero. What overhangs the area is clipped. A 320 x 180 picture in
 * the area (16.5, 12) 162 x 162 lands at (-47, 12) with size 288 x 162.
 */
QRect placement(const QSize &pictureSize, const QRectF &area);

/**
 * Decodes a downloaded picture straight into the part of it that area shows,
 * at the given device pixel ratio: scaled to cover the area as placement()
 * says, and cut to the pixels the area's clip lets through. The result
 * carries the pixel ratio, and placement() of its own size is the spot it
 * came from, so it is drawn without further scaling. The full-size picture is
 * never held: readers that can scale while decoding do so, and others are
 * only used when the full size stays small. Opaque pictures come as
 * QImage::Format_RGB888; keep that format when making a pixmap of one
 * (Qt::NoFormatConversion). Safe to call on any thread.
 *
 * Null when the data is empty or larger than maxBytes, is no image, does not
 * tell its size, or would need too much memory or time to decode: a JPEG
 * that keeps the whole picture while it is decoded, whatever size is asked for,
 * is refused from its header alone above a few megapixels, and so is one of
 * more than maxJpegScans scans.
 */
QImage prepare(const QByteArray &data, const QRectF &area, qreal devicePixelRatio);

JpegLayout jpegLayout(const QByteArray &data);

} // namespace NewsPicture
