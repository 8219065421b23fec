// Frames written as PNG read back with exactly the pixels written, at the fast level as at any.

#include <gtest/gtest.h>

#include <QByteArray>
#include <QImage>
#include <cstdint>
#include <string>

#include "JpegDecode.h"
#include "PngWrite.h"

namespace {

// A real photograph (what frames show) with noise across its lower half (what compresses worst),
// in `format`; alpha varies where the format has it.
QImage Frame(QImage::Format format) {
  RgbaPicture photo;
  EXPECT_EQ(DecodeJpegRgba(std::string(TV_CORPUS_DIR) + "/photos/rocket.jpg", 1, photo), DecodeResult::Ok);
  QImage frame = QImage(photo.rgba.data(), photo.width, photo.height, photo.width * 4, QImage::Format_RGBA8888)
                     .mirrored(false, true)
                     .convertToFormat(format);
  uint32_t seed = 12345;
  for (int y = frame.height() / 2; y < frame.height(); ++y)
    for (int x = 0; x < frame.width(); ++x) {
      seed = seed * 1664525u + 1013904223u;
      frame.setPixel(x, y, qRgba(seed >> 24, (seed >> 16) & 0xFF, (seed >> 8) & 0xFF, (x * 7 + y) & 0xFF));
    }
  return frame;
}

TEST(PngWrite, ReadsBackWithTheSamePixels) {
  for (QImage::Format format : {QImage::Format_RGB888, QImage::Format_RGBA8888, QImage::Format_RGB32}) {
    const QImage frame = Frame(format);
    std::string png;
    ASSERT_TRUE(EncodePng(frame, png)) << format;
    QImage back;
    ASSERT_TRUE(back.loadFromData(QByteArray::fromStdString(png), "PNG")) << format;
    EXPECT_EQ(back.hasAlphaChannel(), frame.hasAlphaChannel()) << format;
    const QImage::Format common = frame.hasAlphaChannel() ? QImage::Format_RGBA8888 : QImage::Format_RGB888;
    EXPECT_TRUE(back.convertToFormat(common) == frame.convertToFormat(common)) << format;
  }
  std::string png = "left over";
  EXPECT_FALSE(EncodePng(QImage(), png));
  EXPECT_TRUE(png.empty());
}

}  // namespace
