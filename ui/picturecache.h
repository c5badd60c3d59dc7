#pragma once

#include <QImage>
#include <QSize>
#include <QString>

/**
 * Keeps the pictures the first frame needs, already decoded and scaled, in the
 * user's cache folder. Decoding the large originals of the bundle is most of
 * the launcher's start-up; with the cache only the first start pays for it.
 * The cache is only a shortcut: a missing, stale or damaged entry is simply
 * made again, and a cache that cannot be written is ignored.
 */
namespace PictureCache {

/// The key of a picture made from resource at size (device pixels); it changes
/// whenever the bundled resource does.
QString keyFor(const QString &resource, const QSize &size, qreal devicePixelRatio);

/// The picture stored under key in folder, or a null image.
QImage load(const QString &folder, const QString &key);

/// Stores picture under key in folder.
void store(const QString &folder, const QString &key, const QImage &picture);

/// The picture under key, made with make() and stored when it is not there yet.
template <typename Make> QImage fetch(const QString &folder, const QString &key, Make make)
{
    QImage picture = load(folder, key);
    if (picture.isNull()) {
        picture = make();
        store(folder, key, picture);
    }
    return picture;
}

} // namespace PictureCache
