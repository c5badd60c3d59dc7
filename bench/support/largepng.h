#pragma once

#include <QByteArray>
#include <QRgb>
#include <QtEndian>
#include <zlib.h>

/// A one-colour truecolour PNG of any size, deflated row by row so that the
/// full image never exists in memory: a 10000 x 10000 picture is some 300 KB.
inline QByteArray largePng(int width, int height, QRgb colour)
{
    const auto appendChunk = [](QByteArray &png, const char *type, const QByteArray &data) {
        char length[4];
        qToBigEndian(quint32(data.size()), length);
        png.append(length, 4);
        const QByteArray body = QByteArray(type, 4) + data;
        png.append(body);
        char crc[4];
        qToBigEndian(quint32(crc32(0, reinterpret_cast<const Bytef *>(body.constData()), uInt(body.size()))), crc);
        png.append(crc, 4);
    };

    QByteArray header(13, '\0');
    qToBigEndian(quint32(width), header.data());
    qToBigEndian(quint32(height), header.data() + 4);
    header[8] = 8; // bits per sample
    header[9] = 2; // RGB

    QByteArray row(1 + 3 * width, '\0'); // filter byte 0, then the pixels
    for (int x = 0; x < width; ++x) {
        row[1 + 3 * x] = char(qRed(colour));
        row[2 + 3 * x] = char(qGreen(colour));
        row[3 + 3 * x] = char(qBlue(colour));
    }
    z_stream stream{};
    deflateInit(&stream, Z_DEFAULT_COMPRESSION);
    QByteArray pixels;
    QByteArray buffer(1 << 16, '\0');
    for (int y = 0; y < height; ++y) {
        stream.next_in = reinterpret_cast<Bytef *>(row.data());
        stream.avail_in = uInt(row.size());
        do {
            stream.next_out = reinterpret_cast<Bytef *>(buffer.data());
            stream.avail_out = uInt(buffer.size());
            deflate(&stream, y + 1 == height ? Z_FINISH : Z_NO_FLUSH);
            pixels.append(buffer.constData(), buffer.size() - qsizetype(stream.avail_out));
        } while (stream.avail_out == 0);
    }
    deflateEnd(&stream);

    QByteArray png("\x89PNG\r\n\x1a\n", 8);
    appendChunk(png, "IHDR", header);
    appendChunk(png, "IDAT", pixels);
    appendChunk(png, "IEND", QByteArray());
    return png;
}
