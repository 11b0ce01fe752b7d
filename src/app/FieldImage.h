// The field as a picture: 320 x 240, 8-bit grayscale, pixel (x, y) the height of cell (x, y),
// so the image looks like the map seen from above (black low, white high).
#pragma once

#include <QImage>
#include <QString>

#include "terrain/HeightField.h"

QImage FieldToImage(const THeightArray& field);
// The field an image makes: Qt's grayscale of it composed over black, scaled smoothly to
// 320 x 240 (aspect not kept) when it has another size.
void ImageToField(QImage image, THeightArray& field);
// Reads an image from encoded bytes or a file; a null image and a message saying why when it
// cannot. Very large images are allowed: the caller reads them off the main thread.
QImage ReadImage(const QByteArray& bytes, QString& error);
QImage ReadImageFile(const QString& path, QString& error);
