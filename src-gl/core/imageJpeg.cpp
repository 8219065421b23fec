// The picture of an Image: checking its file once, its thumbnail, pictures made in memory.

#include <atomic>

#include "DecodeMemory.h"
#include "PictureCheck.h"
#include "image.h"

namespace {

std::atomic<uint64_t> nextRevision{1};

QImage Placeholder() {
  QImage white(placeholderWidth, placeholderHeight, QImage::Format_RGB888);
  white.fill(Qt::white);
  return white;
}

}  // namespace

bool Image::LoadJpeg() {
  if (fileName.empty()) return false;
  Apply(CheckPicture(FullPath()));
  return loaded;
}

std::string Image::FailedName() const {
  if (tooLarge)
    return fileName + "  (too large: the program decodes pictures of up to 1 gigapixel, in " +
           std::to_string(decodeMemoryBytes >> 20) + " MiB)";
  switch (fault) {
    case PictureFault::NotAPicture:
      return fileName + "  (not a picture)";
    case PictureFault::Unsupported:
      return fileName + "  (unsupported kind)";
    case PictureFault::Damaged:
      return fileName + "  (damaged)";
    default:
      return fileName;
  }
}

void Image::Apply(CheckedPicture checked) {
  revision = nextRevision++;
  source = QImage();
  if (checked.ok) {
    bitmap = std::move(checked.thumbnail);
    width = checked.width;
    height = checked.height;
  } else {
    bitmap = Placeholder();
    width = bitmap.width();
    height = bitmap.height();
  }
  loaded = checked.ok;
  tooLarge = checked.tooLarge;
  kind = checked.kind;
  fault = checked.ok ? PictureFault::None : checked.fault;
  file = checked.ok ? std::move(checked.file) : FileIdentity();
  kept = checked.ok ? std::move(checked.kept) : nullptr;
}

void Image::SetPicture(const QImage& picture) {
  revision = nextRevision++;
  source = picture.convertToFormat(QImage::Format_RGB888);
  file = FileIdentity();
  kept.reset();
  kind = PictureKind::None;
  fault = PictureFault::None;
  width = source.width();
  height = source.height();
  tooLarge = false;
  bitmap = width > thumbnailSide || height > thumbnailSide
               ? source.scaled(thumbnailSide, thumbnailSide, Qt::KeepAspectRatio, Qt::SmoothTransformation)
               : source;
  loaded = true;
}

void Image::Unload() {
  revision = nextRevision++;
  bitmap = QImage();
  source = QImage();
  file = FileIdentity();
  kept.reset();
  width = 0;
  height = 0;
  loaded = false;
  tooLarge = false;
  kind = PictureKind::None;
  fault = PictureFault::None;
}

void Image::SharePicture(const Image& other) {
  width = other.width;
  height = other.height;
  loaded = other.loaded;
  tooLarge = other.tooLarge;
  kind = other.kind;
  fault = other.fault;
  bitmap = other.bitmap;
  source = other.source;
  revision = other.revision;
  file = other.file;
  kept = other.kept;  // taken once, by whichever renderer asks first
}

PictureKey Image::Key() const {
  PictureKey key;
  if (loaded && source.isNull() && file.Known())
    key.file = file;
  else if (revision != 0)
    key.revision = revision;
  else
    key.element = this;
  return key;
}
