// libpng reports errors through an error function that must not return: we leave with longjmp, so
// the frame that calls libpng holds plain data only; the output grows in the caller's string.

#include "PngWrite.h"

#include <png.h>
#include <setjmp.h>
#include <zlib.h>

namespace {

struct PngWriting {
  jmp_buf jump;
  std::string* out;
  bool outOfMemory;
};

void WriteFail(png_structp png, png_const_charp) { longjmp(static_cast<PngWriting*>(png_get_error_ptr(png))->jump, 1); }
void WriteWarn(png_structp, png_const_charp) {}

void Append(png_structp png, png_bytep data, png_size_t size) {
  auto* writing = static_cast<PngWriting*>(png_get_io_ptr(png));
  try {
    writing->out->append(reinterpret_cast<const char*>(data), size);
  } catch (...) {
    writing->outOfMemory = true;
    png_error(png, "out of memory");
  }
}
void Flush(png_structp) {}

// `height` rows of `width` pixels (RGB, or RGBA with `alpha`), `stride` bytes apart, top row first.
bool WriteRows(PngWriting* writing, const unsigned char* rows, size_t stride, int width, int height, bool alpha) {
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, writing, WriteFail, WriteWarn);
  if (!png) return false;
  png_infop info = png_create_info_struct(png);
  if (!info || setjmp(writing->jump)) {
    png_destroy_write_struct(&png, info ? &info : nullptr);
    return false;
  }
  png_set_write_fn(png, writing, Append, Flush);
  png_set_IHDR(png, info, static_cast<png_uint_32>(width), static_cast<png_uint_32>(height), 8,
               alpha ? PNG_COLOR_TYPE_RGB_ALPHA : PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
               PNG_FILTER_TYPE_DEFAULT);
  png_set_compression_level(png, Z_BEST_SPEED);
  png_set_compression_strategy(png, Z_RLE);
  png_set_filter(png, PNG_FILTER_TYPE_BASE, PNG_FILTER_SUB);
  png_write_info(png, info);
  for (int y = 0; y < height; ++y) png_write_row(png, rows + stride * static_cast<size_t>(y));
  png_write_end(png, info);
  png_destroy_write_struct(&png, &info);
  return true;
}

}  // namespace

bool EncodePng(const QImage& picture, std::string& png) {
  png.clear();
  if (picture.isNull()) return false;
  const bool alpha = picture.hasAlphaChannel();
  const QImage::Format format = alpha ? QImage::Format_RGBA8888 : QImage::Format_RGB888;
  const QImage rows = picture.format() == format ? picture : picture.convertToFormat(format);
  if (rows.isNull()) return false;
  PngWriting writing{};
  writing.out = &png;
  if (!WriteRows(&writing, rows.constBits(), static_cast<size_t>(rows.bytesPerLine()), rows.width(), rows.height(),
                 alpha)) {
    png.clear();
    return false;
  }
  return true;
}
