// Converting between the field and images, and reading images of any size Qt can decode.
#include "app/FieldImage.h"

#include <QBuffer>
#include <QFileInfo>
#include <QImageReader>

#include <cstring>

namespace {

// A 10,000 x 10,000 colour picture takes 400 MB decoded; Qt's default limit would refuse it.
constexpr int AllocationLimitMB = 2048;

QImage Read(QImageReader& reader, const QString& name, QString& error) {
    reader.setAllocationLimit(AllocationLimitMB);
    QImage image = reader.read();
    if (image.isNull())
        error = QStringLiteral("%1 is not an image that can be read (%2)")
                    .arg(name, reader.errorString());
    return image;
}

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

} // namespace

QImage FieldToImage(const THeightArray& field) {
    QImage image(MapWidth, MapHeight, QImage::Format_Grayscale8);
    for (int32_t y = 0; y < MapHeight; ++y) {
        uchar* row = image.scanLine(y);
        for (int32_t x = 0; x < MapWidth; ++x) row[x] = field[CellIndex(x, y)];
    }
    return image;
}

void ImageToField(QImage image, THeightArray& field) {
    // The picture goes as soon as its grayscale exists: a very large one is not held twice.
    QImage gray = OverBlack(std::move(image)).convertToFormat(QImage::Format_Grayscale8);
    image = QImage();
    if (gray.size() != QSize(MapWidth, MapHeight))
        gray = gray.scaled(MapWidth, MapHeight, Qt::IgnoreAspectRatio, Qt::SmoothTransformation)
                   .convertToFormat(QImage::Format_Grayscale8);
    for (int32_t y = 0; y < MapHeight; ++y) {
        const uchar* row = gray.constScanLine(y);
        for (int32_t x = 0; x < MapWidth; ++x) field[CellIndex(x, y)] = row[x];
    }
}

QImage ReadImage(const QByteArray& bytes, QString& error) {
    QBuffer buffer;
    buffer.setData(bytes);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer);
    return Read(reader, QStringLiteral("The pasted data"), error);
}

QImage ReadImageFile(const QString& path, QString& error) {
    QImageReader reader(path);
    return Read(reader, QFileInfo(path).fileName(), error);
}
