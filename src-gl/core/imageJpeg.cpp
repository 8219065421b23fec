// The picture of an Image: checking its file once, its thumbnail, pictures made in memory.

#include <atomic>

#include "JpegDecode.h"
#include "image.h"

namespace {

std::atomic<uint64_t> nextRevision{1};

// A top-down RGB888 copy of a bottom-up RGBA picture, shrunk to the thumbnail size.
QImage Thumbnail(const RgbaPicture& picture) {
  QImage rgba(picture.rgba.data(), picture.width, picture.height, picture.width * 4, QImage::Format_RGBA8888);
  QImage upright = rgba.mirrored(false, true);
  if (picture.width > thumbnailSide || picture.height > thumbnailSide)
    upright = upright.scaled(thumbnailSide, thumbnailSide, Qt::KeepAspectRatio, Qt::SmoothTransformation);
  return upright.convertToFormat(QImage::Format_RGB888);
}

QImage Placeholder() {
  QImage white(32, 20, QImage::Format_RGB888);
  white.fill(Qt::white);
  return white;
}

}  // namespace

bool Image::LoadJpeg() {
  if (fileName.empty()) return false;
  revision = nextRevision++;
  source = QImage();
  const std::string path = FullPath();
  JpegInfo info;
  RgbaPicture small;
  bool ok =
      ReadJpegInfo(path, info) &&
      DecodeJpegRgba(path, ScaleDenominatorFor(info.width, info.height, thumbnailSide), small) == DecodeResult::Ok;
  if (ok) {
    QImage thumbnail = Thumbnail(small);
    ok = !thumbnail.isNull();
    if (ok) bitmap = std::move(thumbnail);
  }
  if (ok) {
    width = info.width;
    height = info.height;
  } else {
    bitmap = Placeholder();
    width = bitmap.width();
    height = bitmap.height();
  }
  loaded = ok;
  return ok;
}

void Image::SetPicture(const QImage& picture) {
  revision = nextRevision++;
  source = picture.convertToFormat(QImage::Format_RGB888);
  width = source.width();
  height = source.height();
  bitmap = width > thumbnailSide || height > thumbnailSide
               ? source.scaled(thumbnailSide, thumbnailSide, Qt::KeepAspectRatio, Qt::SmoothTransformation)
               : source;
  loaded = true;
}

void Image::Unload() {
  revision = nextRevision++;
  bitmap = QImage();
  source = QImage();
  width = 0;
  height = 0;
  loaded = false;
}
