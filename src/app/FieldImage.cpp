// Converting between the field and images, and reading pictures within a memory limit.
#include "app/FieldImage.h"

#include <QImageReader>

#include <algorithm>
#include <new>

namespace {

// A transparent pixel is the lowest ground: the picture over black. Premultiplied colour is
// exactly that, so only the alpha is set opaque, by hand: Qt's own conversions from a
// premultiplied format to one without alpha divide the colour back out.
QImage OverBlack(QImage image) {
    if (!image.hasAlphaChannel()) return image;
    image = std::move(image).convertToFormat(QImage::Format_ARGB32_Premultiplied);
    for (int32_t y = 0; y < image.height(); ++y) {
        auto* row = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int32_t x = 0; x < image.width(); ++x) row[x] |= 0xff000000u;
    }
    image.reinterpretAsFormat(QImage::Format_RGB32);
    return image;
}

QString OutOfMemory(const QString& name) {
    return QStringLiteral("%1 could not be taken in: there is not enough memory").arg(name);
}

} // namespace

QImage FieldToImage(const THeightArray& field) {
    QImage image(MapWidth, MapHeight, QImage::Format_Grayscale8);
    for (int32_t y = 0; y < MapHeight; ++y) {
        uchar* row = image.scanLine(y);
        for (int32_t x = 0; x < MapWidth; ++x) row[x] = field[CellIndex(x, y)];
    }
    return image;
}

bool ImageToField(QImage image, THeightArray& field) {
    // The picture goes as soon as its grayscale exists: a very large one is not held twice.
    // Qt answers a failed allocation with a null image.
    QImage gray = OverBlack(std::move(image)).convertToFormat(QImage::Format_Grayscale8);
    image = QImage();
    if (gray.size() != QSize(MapWidth, MapHeight))
        gray = gray.scaled(MapWidth, MapHeight, Qt::IgnoreAspectRatio, Qt::SmoothTransformation)
                   .convertToFormat(QImage::Format_Grayscale8);
    if (gray.size() != QSize(MapWidth, MapHeight)) return false;
    for (int32_t y = 0; y < MapHeight; ++y) {
        const uchar* row = gray.constScanLine(y);
        for (int32_t x = 0; x < MapWidth; ++x) field[CellIndex(x, y)] = row[x];
    }
    return true;
}

int64_t PicturePeakBytes(QSize size, QImage::Format format) {
    constexpr int64_t Saturated = INT64_MAX / 4;
    const int64_t pixels = int64_t(std::max(size.width(), 0)) * std::max(size.height(), 0);
    if (pixels > Saturated / 64) return Saturated;
    // A format the decoder does not tell beforehand is taken at the widest Qt has, with alpha.
    const QPixelFormat pixel = QImage::toPixelFormat(format);
    const bool known = format != QImage::Format_Invalid && pixel.bitsPerPixel() != 0;
    const int64_t bits = known ? pixel.bitsPerPixel() : 128;
    const bool alpha = !known || pixel.alphaUsage() == QPixelFormat::UsesAlpha;
    const int64_t rowBytes = (size.width() * bits + 31) / 32 * 4;
    const int64_t decoded = rowBytes * size.height();
    // OverBlack's premultiplied copy beside the decoded picture; then the grayscale beside
    // the one before it; then smooth scaling, which works on a 32-bit copy of the grayscale
    // and was measured to hold one more byte a pixel besides (six in all).
    const bool premultiplied = format == QImage::Format_ARGB32_Premultiplied;
    const int64_t overBlack = alpha && !premultiplied ? decoded + 4 * pixels : decoded;
    const int64_t grayscale =
        (alpha ? 4 * pixels : decoded) + (format == QImage::Format_Grayscale8 ? 0 : pixels);
    const bool scaled = size != QSize(MapWidth, MapHeight);
    const int64_t scaling = scaled ? 6 * pixels : 0;
    return std::max({overBlack, grayscale, scaling});
}

TPictureRead ReadField(QIODevice& device, const QString& name, int64_t held, THeightArray& field,
                       QString& error) {
    QImageReader reader(&device);
    reader.setAllocationLimit(static_cast<int>(PictureMemoryLimit >> 20));
    if (!reader.canRead()) {
        // A map file (a .dat or its .bak): 76,800 bytes that no picture reader knows, taken
        // in storage order as the load takes them.
        THeightArray map;
        if (!device.isSequential() && device.size() == MapCells && device.seek(0) &&
            device.read(reinterpret_cast<char*>(map.data()), MapCells) == MapCells) {
            field = map;
            return TPictureRead::Field;
        }
        error = QStringLiteral("%1 is not an image that can be read (%2)")
                    .arg(name, reader.errorString());
        return TPictureRead::NotPicture;
    }
    const QSize size = reader.size();
    if (size.isEmpty()) {
        error = QStringLiteral("%1 does not tell its size, so it is not read").arg(name);
        return TPictureRead::Failed;
    }
    const QImage::Format format = reader.imageFormat();
    if (held + PicturePeakBytes(size, format) > PictureMemoryLimit) {
        error = QStringLiteral("%1 is %2 x %3 pixels: over the %4 MB allowed")
                    .arg(name)
                    .arg(size.width())
                    .arg(size.height())
                    .arg(PictureMemoryLimit >> 20);
        return TPictureRead::Failed;
    }
    try {
        QImage image = reader.read();
        if (image.isNull()) {
            // A decoder that could not allocate says only that it could not read: whether a
            // picture of that size can be had here at all tells the two apart.
            if (QImage(size, format == QImage::Format_Invalid ? QImage::Format_RGB32 : format)
                    .isNull())
                throw std::bad_alloc();
            error = QStringLiteral("%1 is not an image that can be read (%2)")
                        .arg(name, reader.errorString());
            return TPictureRead::Failed;
        }
        if (ImageToField(std::move(image), field)) return TPictureRead::Field;
    } catch (const std::bad_alloc&) {
    }
    error = OutOfMemory(name);
    return TPictureRead::Failed;
}
