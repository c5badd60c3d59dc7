#include "ui/picturecache.h"

#include <QCryptographicHash>
#include <QDataStream>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QResource>
#include <QSaveFile>

namespace PictureCache {
namespace {
constexpr quint32 magic = 0x564c5043; // "VLPC"
constexpr quint32 formatVersion = 1;
// Far above anything the window needs; guards against a damaged header.
constexpr qint64 maxBytes = 64 * 1024 * 1024;

QString pathFor(const QString &folder, const QString &key)
{
    const QByteArray name = QCryptographicHash::hash(key.toUtf8(), QCryptographicHash::Sha1).toHex();
    return folder + QLatin1Char('/') + QString::fromLatin1(name) + QStringLiteral(".picture");
}
} // namespace

QString keyFor(const QString &resource, const QSize &size, qreal devicePixelRatio)
{
    const QResource source(resource);
    return QStringLiteral("%1|%2|%3|%4x%5@%6|v%7")
        .arg(resource)
        .arg(source.isValid() ? source.size() : -1)
        .arg(source.isValid() ? source.lastModified().toMSecsSinceEpoch() : 0)
        .arg(size.width())
        .arg(size.height())
        .arg(devicePixelRatio)
        .arg(formatVersion);
}

QImage load(const QString &folder, const QString &key)
{
    QFile file(pathFor(folder, key));
    if (!file.open(QIODevice::ReadOnly))
        return QImage();
    QDataStream in(&file);
    in.setVersion(QDataStream::Qt_6_4);
    quint32 fileMagic = 0;
    QString storedKey;
    qint32 width = 0;
    qint32 height = 0;
    qint32 format = 0;
    double ratio = 1.0;
    in >> fileMagic >> storedKey >> width >> height >> format >> ratio;
    if (in.status() != QDataStream::Ok || fileMagic != magic || storedKey != key || width <= 0 || height <= 0
        || format != QImage::Format_ARGB32_Premultiplied || ratio <= 0 || qint64(width) * height * 4 > maxBytes)
        return QImage();
    if (file.size() - file.pos() != qint64(width) * height * 4)
        return QImage();
    QImage picture(width, height, QImage::Format_ARGB32_Premultiplied);
    for (int y = 0; y < height; ++y) {
        if (in.readRawData(reinterpret_cast<char *>(picture.scanLine(y)), width * 4) != width * 4)
            return QImage();
    }
    picture.setDevicePixelRatio(ratio);
    return picture;
}

void store(const QString &folder, const QString &key, const QImage &picture)
{
    if (picture.isNull() || !QDir().mkpath(folder))
        return;
    const QImage image = picture.convertToFormat(QImage::Format_ARGB32_Premultiplied);
    QSaveFile file(pathFor(folder, key));
    if (!file.open(QIODevice::WriteOnly))
        return;
    QDataStream out(&file);
    out.setVersion(QDataStream::Qt_6_4);
    out << magic << key << qint32(image.width()) << qint32(image.height()) << qint32(image.format())
        << double(image.devicePixelRatio());
    for (int y = 0; y < image.height(); ++y)
        out.writeRawData(reinterpret_cast<const char *>(image.constScanLine(y)), image.width() * 4);
    if (out.status() == QDataStream::Ok)
        file.commit();
}

} // namespace PictureCache
