// Reading a picture within the memory limit: the peak is known from the header alone, a
// picture past the limit is refused before it is decoded, and a failed conversion is an answer,
// not a crash.
#include "app/FieldImage.h"

#include <gtest/gtest.h>

#include <QBuffer>

#include <climits>

namespace {

TPictureRead Read(const QByteArray& bytes, int64_t held, THeightArray& field, QString& error) {
    QBuffer buffer;
    buffer.setData(bytes);
    buffer.open(QIODevice::ReadOnly);
    return ReadField(buffer, QStringLiteral("The picture"), held, field, error);
}

} // namespace

TEST(FieldImage, PeakIsTheDecodedPictureAndTheCopiesMadeOfIt) {
    constexpr int64_t M = 1000000;
    const struct {
        int Width, Height;
        QImage::Format Format;
        int64_t Peak;
    } rows[] = {
        {320, 240, QImage::Format_Grayscale8, 76800},           // the field's own: no copy
        {320, 240, QImage::Format_RGB32, 320 * 240 * 5},        // and its grayscale
        {320, 240, QImage::Format_ARGB32, 320 * 240 * 8},       // over black first
        {23000, 23000, QImage::Format_Grayscale8, 529 * M * 6}, // scaled through 32 bits
        {16000, 16000, QImage::Format_Grayscale16, 256 * M * 6},
        {10000, 10000, QImage::Format_RGBX64, 900 * M},  // 8 bytes a pixel and the grayscale
        {10000, 10000, QImage::Format_RGBA64, 1200 * M}, // and over black
        {1000, 1000, QImage::Format_Invalid, 20 * M},    // taken at 16 bytes, with alpha
        {1, 1, QImage::Format_Mono, 6},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(testing::Message() << row.Width << " x " << row.Height << ", " << row.Format);
        EXPECT_EQ(PicturePeakBytes(QSize(row.Width, row.Height), row.Format), row.Peak);
    }
    // The largest sizes saturate rather than wrap.
    EXPECT_GT(PicturePeakBytes(QSize(INT_MAX, INT_MAX), QImage::Format_RGBA32FPx4),
              PictureMemoryLimit);
    EXPECT_EQ(PicturePeakBytes(QSize(0, 0), QImage::Format_RGB32), 0);
}

// Headers alone: the size decides, before any pixel is read.
TEST(FieldImage, APicturePastTheLimitIsRefusedFromItsHeader) {
    THeightArray field{};
    QString error;
    EXPECT_EQ(Read("P5 23000 23000 255\n", 0, field, error), TPictureRead::Failed);
    EXPECT_EQ(error, "The picture is 23000 x 23000 pixels: over the 960 MB allowed");
    // 12,900^2 gray is 998 MB at its peak, within the limit alone but not with 10 MB held.
    EXPECT_EQ(Read("P5 12900 12900 255\n", 10 << 20, field, error), TPictureRead::Failed);
    EXPECT_EQ(error, "The picture is 12900 x 12900 pixels: over the 960 MB allowed");
    EXPECT_EQ(Read("P5 12900 12900 255\n", 0, field, error), TPictureRead::Failed);
    EXPECT_TRUE(error.startsWith("The picture is not an image that can be read"))
        << error.toStdString();
    EXPECT_EQ(Read("not a picture", 0, field, error), TPictureRead::NotPicture);
    EXPECT_EQ(field, THeightArray{});
    // A map file's 76,800 bytes are a field in storage order; one byte more or less is not.
    QByteArray map(MapCells, '\0');
    for (int i = 0; i < MapCells; ++i)
        map[i] = char(i % 253);
    EXPECT_EQ(Read(map.left(MapCells - 1), 0, field, error), TPictureRead::NotPicture);
    EXPECT_EQ(Read(map + 'x', 0, field, error), TPictureRead::NotPicture);
    EXPECT_EQ(field, THeightArray{});
    ASSERT_EQ(Read(map, 0, field, error), TPictureRead::Field);
    for (int i = 0; i < MapCells; ++i)
        ASSERT_EQ(field[i], i % 253) << i;
}

TEST(FieldImage, APictureWithinTheLimitIsTheField) {
    QByteArray pgm = "P5 320 240 255\n";
    for (int i = 0; i < MapCells; ++i)
        pgm += char(i % 251); // row by row
    THeightArray field{};
    QString error;
    ASSERT_EQ(Read(pgm, 0, field, error), TPictureRead::Field) << error.toStdString();
    for (int32_t y = 0; y < MapHeight; ++y)
        for (int32_t x = 0; x < MapWidth; ++x)
            ASSERT_EQ(field[CellIndex(x, y)], (y * MapWidth + x) % 251) << x << ", " << y;
}

// Qt answers a failed allocation with a null image: the field stays as it was.
TEST(FieldImage, ANullImageLeavesTheFieldAndSaysSo) {
    THeightArray field{};
    field[7] = 9;
    EXPECT_FALSE(ImageToField(QImage(), field));
    EXPECT_EQ(field[7], 9);
}
