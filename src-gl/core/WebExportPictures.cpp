#include <QBuffer>
#include <QImage>
#include <QImageWriter>
#include <algorithm>
#include <cmath>
#include <cstdint>

#include "Messages.h"
#include "PictureDecode.h"
#include "WebExportPictures.h"
#include "image.h"

namespace {

// `colour` drawn into an RGB888 picture, as the renderer draws it (rounded to the nearest level).
void ApplyColour(QImage& rgb, const ColourCorrection& colour) {
  uint8_t table[3][256];
  for (int c = 0; c < 3; ++c)
    for (int v = 0; v < 256; ++v)
      table[c][v] = static_cast<uint8_t>(std::lround(colour.Apply(c, static_cast<float>(v) / 255.0f) * 255.0f));
  for (int y = 0; y < rgb.height(); ++y) {
    uint8_t* p = rgb.scanLine(y);
    for (int x = 0; x < rgb.width(); ++x, p += 3)
      for (int c = 0; c < 3; ++c) p[c] = table[c][p[c]];
  }
}

}  // namespace

bool EncodedJpeg(const Image& picture, int w, int h, std::string& jpeg, const ColourCorrection& colour) {
  const std::string path = picture.FullPath();
  RgbaPicture decoded;
  QByteArray bytes;
  const int denominator = ScaleDenominatorFor(picture.width, picture.height, std::max(w, h));
  if (DecodePictureRgba(path, denominator, decoded) == DecodeResult::Ok) {
    const QImage wrapped(decoded.rgba.data(), decoded.width, decoded.height, decoded.width * 4,
                         QImage::Format_RGBA8888);
    QImage upright = wrapped.mirrored().convertToFormat(QImage::Format_RGB888);
    if (upright.width() != w || upright.height() != h)
      upright = upright.scaled(w, h, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    if (!colour.IsIdentity()) ApplyColour(upright, colour);
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, "jpeg");
    writer.setQuality(jpegQuality);
    if (upright.isNull() || !writer.write(upright)) bytes.clear();
  }
  if (bytes.isEmpty()) {
    ShowPlainMessage("The image could not be reduced for the web:\n\n    " + path);
    return false;
  }
  jpeg.assign(bytes.constData(), static_cast<size_t>(bytes.size()));
  return true;
}
