// Telling the kinds apart and handing each file to its decoder.

#include "PictureDecode.h"

#include <algorithm>
#include <cstring>
#include <new>

#include "PictureFormats.h"

namespace {

bool StartsWith(const unsigned char* bytes, size_t size, const char* signature, size_t length, size_t at = 0) {
  return size >= at + length && std::memcmp(bytes + at, signature, length) == 0;
}

// Reads up to `size` bytes from the start of the file and goes back there.
size_t ReadStart(FILE* file, unsigned char* bytes, size_t size) {
  const size_t n = std::fread(bytes, 1, size, file);
  std::rewind(file);
  return n;
}

}  // namespace

PictureKind SniffPicture(const unsigned char* b, size_t n) {
  if (StartsWith(b, n, "\xFF\xD8\xFF", 3)) return PictureKind::Jpeg;
  if (StartsWith(b, n, "\x89PNG\r\n\x1A\n", 8)) return PictureKind::Png;
  if (StartsWith(b, n, "RIFF", 4) && StartsWith(b, n, "WEBP", 4, 8)) return PictureKind::Webp;
  // Kinds people keep pictures in that are not drawn here: GIF, TIFF, BMP, HEIF and AVIF (an ISO
  // box "ftyp"), JPEG 2000 (its box or its bare stream), JPEG XL (its box or its bare stream),
  // Photoshop, OpenEXR, QOI.
  static const struct {
    const char* bytes;
    size_t length;
    size_t at;
  } others[] = {
      {"GIF87a", 6, 0},
      {"GIF89a", 6, 0},
      {"II*\0", 4, 0},
      {"MM\0*", 4, 0},
      {"BM", 2, 0},
      {"ftyp", 4, 4},
      {"\0\0\0\x0CjP  \r\n\x87\n", 12, 0},
      {"\xFF\x4F\xFF\x51", 4, 0},
      {"\xFF\x0A", 2, 0},
      {"\0\0\0\x0CJXL \r\n\x87\n", 12, 0},
      {"8BPS", 4, 0},
      {"v/1\x01", 4, 0},
      {"qoif", 4, 0},
  };
  for (const auto& other : others)
    if (StartsWith(b, n, other.bytes, other.length, other.at)) return PictureKind::Unsupported;
  return PictureKind::NotAPicture;
}

PictureKind SniffPictureFile(const std::string& path) {
  FILE* file = OpenRegularFile(path);
  if (!file) return PictureKind::None;
  unsigned char start[16];
  const size_t n = std::fread(start, 1, sizeof start, file);
  std::fclose(file);
  return SniffPicture(start, n);
}

const char* PictureKindName(PictureKind kind) {
  switch (kind) {
    case PictureKind::Jpeg:
      return "JPEG";
    case PictureKind::Png:
      return "PNG";
    case PictureKind::Webp:
      return "WebP";
    default:
      return "";
  }
}

PictureFault ReadPictureInfo(const std::string& path, PictureInfo& info) {
  info = PictureInfo();
  FILE* file = OpenRegularFile(path);
  if (!file) return PictureFault::Missing;
  unsigned char start[16];
  const PictureKind kind = SniffPicture(start, ReadStart(file, start, sizeof start));
  info.kind = kind;
  PictureFault fault = PictureFault::None;
  switch (kind) {
    case PictureKind::Jpeg: {
      std::fclose(file);
      file = nullptr;
      JpegInfo jpeg;
      if (!ReadJpegInfo(path, jpeg)) return PictureFault::Damaged;
      info.width = jpeg.width;
      info.height = jpeg.height;
      break;
    }
    case PictureKind::Png:
      fault = ReadPngHeader(file, info);
      break;
    case PictureKind::Webp:
      fault = ReadWebpHeader(file, info);
      break;
    case PictureKind::Unsupported:
      fault = PictureFault::Unsupported;
      break;
    default:
      fault = PictureFault::NotAPicture;
      break;
  }
  if (file) std::fclose(file);
  if (fault == PictureFault::None &&
      static_cast<unsigned long long>(info.width) * static_cast<unsigned long long>(info.height) > maxJpegPixels)
    fault = PictureFault::TooLarge;
  return fault;
}

DecodeResult DecodePictureRgba(const std::string& path, int denominator, RgbaPicture& out, const DecodeLimits& limits) {
  out = RgbaPicture();
  if (limits.hold) limits.hold->Reset();
  if (denominator != 1 && denominator != 2 && denominator != 4 && denominator != 8) return DecodeResult::Failed;
  FILE* file = OpenRegularFile(path);
  if (!file) return DecodeResult::Failed;
  unsigned char start[16];
  const PictureKind kind = SniffPicture(start, ReadStart(file, start, sizeof start));
  if (kind == PictureKind::Jpeg) {
    std::fclose(file);
    return DecodeJpegRgba(path, denominator, out, limits);
  }
  if (kind != PictureKind::Png && kind != PictureKind::Webp) {
    std::fclose(file);
    return DecodeResult::Failed;
  }
  DecodeResult result = DecodeResult::Failed;
  DecodeBudget budget(limits);
  try {
    result =
        kind == PictureKind::Png ? DecodePngFile(file, denominator, budget) : DecodeWebpFile(file, denominator, budget);
  } catch (const std::bad_alloc&) {
    result = DecodeResult::Failed;
  }
  std::fclose(file);
  return budget.Finish(result, out);
}

DecodeResult DecodePictureRgba(const std::string& path, int denominator, RgbaPicture& out,
                               unsigned long long maxPixels) {
  DecodeLimits limits;
  limits.maxPixels = maxPixels;
  return DecodePictureRgba(path, denominator, out, limits);
}

void CompositeOverBackdrop(unsigned char* p, size_t pixels) {
  const unsigned backdrop[3] = {pictureBackdrop & 0xFF, (pictureBackdrop >> 8) & 0xFF, (pictureBackdrop >> 16) & 0xFF};
  for (size_t i = 0; i < pixels; ++i, p += 4) {
    const unsigned a = p[3];
    if (a == 255) continue;
    for (int c = 0; c < 3; ++c) p[c] = static_cast<unsigned char>((p[c] * a + backdrop[c] * (255 - a) + 127) / 255);
    p[3] = 255;
  }
}

void AddBoxRow(const unsigned char* row, uint32_t width, int denominator, uint32_t* sums) {
  const uint32_t d = static_cast<uint32_t>(denominator);
  uint32_t x = 0;
  for (uint32_t* sum = sums; x < width; sum += 4)
    for (uint32_t k = 0; k < d && x < width; ++k, ++x, row += 4) {
      sum[0] += row[0];
      sum[1] += row[1];
      sum[2] += row[2];
    }
}

void EmitBoxRow(uint32_t* sums, uint32_t width, int denominator, uint32_t rows, unsigned char* out, uint32_t outWidth) {
  const uint32_t d = static_cast<uint32_t>(denominator);
  for (uint32_t x = 0; x < outWidth; ++x, sums += 4, out += 4) {
    const uint32_t columns = std::min(d, width - x * d);
    const uint32_t n = columns * rows;
    for (int c = 0; c < 3; ++c) {
      out[c] = static_cast<unsigned char>((sums[c] + n / 2) / n);
      sums[c] = 0;
    }
    out[3] = 255;
  }
}

DecodeBudget::DecodeBudget(const DecodeLimits& limits)
    : limits_(limits), memory_(limits.memory ? limits.memory : &SharedDecodeMemory()) {}

DecodeResult DecodeBudget::Reserve(unsigned long long workBytes, unsigned long long outputBytes) {
  const unsigned long long keep = outputBytes + limits_.extraBytes;
  const unsigned long long total = workBytes + keep;
  if (workBytes > memory_->Capacity() || keep > memory_->Capacity() || total > memory_->Capacity())
    return DecodeResult::TooLarge;
  if (!memory_->Reserve(static_cast<size_t>(total), limits_.cancel)) return DecodeResult::Cancelled;
  hold_ = MemoryHold(memory_, static_cast<size_t>(total));
  memory_->CountDecode();
  keep_ = static_cast<size_t>(keep);
  return DecodeResult::Ok;
}

unsigned char* DecodeBudget::Allocate(int width, int height) {
  try {
    picture_.rgba.resize(static_cast<size_t>(width) * static_cast<size_t>(height) * 4);
  } catch (const std::bad_alloc&) {
    return nullptr;
  }
  picture_.width = width;
  picture_.height = height;
  return picture_.rgba.data();
}

DecodeResult DecodeBudget::Finish(DecodeResult result, RgbaPicture& out) {
  if (result != DecodeResult::Ok || picture_.empty()) {
    picture_ = RgbaPicture();  // before the hold goes: the memory is given back once it is free
    hold_.Reset();
    out = RgbaPicture();
    return result == DecodeResult::Ok ? DecodeResult::Failed : result;
  }
  hold_.ShrinkTo(keep_);
  out = std::move(picture_);
  if (limits_.hold) *limits_.hold = std::move(hold_);
  return DecodeResult::Ok;
}
