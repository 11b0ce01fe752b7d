// The field as a picture: 320 x 240, 8-bit grayscale, pixel (x, y) the height of cell (x, y),
// so the image looks like the map seen from above (black low, white high).
#pragma once

#include <QImage>
#include <QString>

#include <cstdint>

#include "terrain/HeightField.h"

class QIODevice;

// What one paste or drop may take at its peak, the data handed over included: with the
// program itself, about 1 GB resident at most.
constexpr int64_t PictureMemoryLimit = int64_t(960) << 20;

QImage FieldToImage(const THeightArray& field);
// The field an image makes: Qt's grayscale of it composed over black, scaled smoothly to
// 320 x 240 (aspect not kept) when it has another size. False (field untouched) when a
// conversion ran out of memory.
bool ImageToField(QImage image, THeightArray& field);
// The most memory ImageToField's making of a field from a picture of this size and decoded
// format holds at once, in bytes: the decoded picture and its copies (saturated).
int64_t PicturePeakBytes(QSize size, QImage::Format format);

enum class TPictureRead { Field, NotPicture, Failed };
// Makes the field from the picture the device holds, off the main thread (name: what the
// messages call it; held: bytes the caller already holds for it, counted against the limit).
// Data of exactly 76,800 bytes that no decoder knows is a map file: its bytes are the field.
// NotPicture: no decoder knows the data. Failed: a picture that tells no size, would pass
// PictureMemoryLimit (both found before decoding), cannot be decoded or runs out of memory.
// error says why, but for Field.
TPictureRead ReadField(QIODevice& device, const QString& name, int64_t held, THeightArray& field,
                       QString& error);
