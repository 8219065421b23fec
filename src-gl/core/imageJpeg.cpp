// JPEG decoding with libjpeg.
//
// libjpeg reports fatal errors through error_exit, which must not return; we leave with longjmp.
// That is only safe when no C++ object with a destructor lives in the frames it jumps over, so
// the whole libjpeg conversation happens in DecodeJpeg below, a C-style function whose frame
// holds plain data only; the output picture is allocated by a callback into the caller's frame.

#include <setjmp.h>

#include <cstddef>
#include <cstdio>
#include <cstring>

// jpeglib.h needs size_t and FILE declared first.
#include <jpeglib.h>
#include <jerror.h>

#include "image.h"

namespace {

// Pictures above this many pixels are refused before any pixel memory is allocated: a header
// of a few bytes could otherwise ask for gigabytes.
const unsigned long long maxPixels = 1ull << 28;

struct ErrorManager {
  jpeg_error_mgr pub;
  jmp_buf jump;
  int corrupt;  // a warning said the data is damaged
};

void ErrorExit(j_common_ptr cinfo) {
  ErrorManager* err = reinterpret_cast<ErrorManager*>(cinfo->err);
  longjmp(err->jump, 1);
}

// Warnings that mean the picture data is damaged: the decoder goes on and fills in grey, but the
// result is not the picture, so the load counts as failed.
void EmitMessage(j_common_ptr cinfo, int msgLevel) {
  if (msgLevel >= 0) return;  // trace messages
  ErrorManager* err = reinterpret_cast<ErrorManager*>(cinfo->err);
  err->pub.num_warnings++;
  switch (err->pub.msg_code) {
    case JWRN_ARITH_BAD_CODE:
    case JWRN_BOGUS_PROGRESSION:
    case JWRN_HIT_MARKER:
    case JWRN_HUFF_BAD_CODE:
    case JWRN_JPEG_EOF:
    case JWRN_MUST_RESYNC:
    case JWRN_NOT_SEQUENTIAL:
      err->corrupt = 1;
      break;
    default:
      break;
  }
}

void OutputMessage(j_common_ptr) {}  // libjpeg would print to stderr

// Returns a pointer to `height` rows of `width` RGB pixels, `stride` bytes apart, or nullptr.
typedef unsigned char* (*AllocateRgb)(void* context, int width, int height, size_t* stride);

// Adobe applications write CMYK inverted (0 = full ink), and libjpeg hands the values back as
// stored; plain CMYK files store ink amounts directly.
void CmykRowToRgb(const unsigned char* cmyk, unsigned char* rgb, JDIMENSION width, int inverted) {
  for (JDIMENSION x = 0; x < width; ++x, cmyk += 4, rgb += 3) {
    unsigned c = cmyk[0], m = cmyk[1], y = cmyk[2], k = cmyk[3];
    if (!inverted) {
      c = 255 - c;
      m = 255 - m;
      y = 255 - y;
      k = 255 - k;
    }
    rgb[0] = static_cast<unsigned char>((c * k + 127) / 255);
    rgb[1] = static_cast<unsigned char>((m * k + 127) / 255);
    rgb[2] = static_cast<unsigned char>((y * k + 127) / 255);
  }
}

// 1 when the whole picture was decoded without damage. Plain data only in this frame.
int DecodeJpeg(FILE* file, AllocateRgb allocate, void* context) {
  jpeg_decompress_struct cinfo;
  ErrorManager err;
  std::memset(&cinfo, 0, sizeof cinfo);
  cinfo.err = jpeg_std_error(&err.pub);
  err.pub.error_exit = ErrorExit;
  err.pub.emit_message = EmitMessage;
  err.pub.output_message = OutputMessage;
  err.corrupt = 0;
  if (setjmp(err.jump)) {
    jpeg_destroy_decompress(&cinfo);
    return 0;
  }
  jpeg_create_decompress(&cinfo);
  jpeg_stdio_src(&cinfo, file);
  if (jpeg_read_header(&cinfo, TRUE) != JPEG_HEADER_OK) {
    jpeg_destroy_decompress(&cinfo);
    return 0;
  }
  if (static_cast<unsigned long long>(cinfo.image_width) * cinfo.image_height > maxPixels) {
    jpeg_destroy_decompress(&cinfo);
    return 0;
  }
  int cmyk = cinfo.jpeg_color_space == JCS_CMYK || cinfo.jpeg_color_space == JCS_YCCK;
  cinfo.out_color_space = cmyk ? JCS_CMYK : JCS_RGB;
  cinfo.scale_num = 1;
  cinfo.scale_denom = 1;
  cinfo.dct_method = JDCT_FLOAT;
  cinfo.do_block_smoothing = TRUE;
  jpeg_start_decompress(&cinfo);

  size_t stride = 0;
  unsigned char* rows =
      allocate(context, static_cast<int>(cinfo.output_width), static_cast<int>(cinfo.output_height), &stride);
  if (!rows) {
    jpeg_destroy_decompress(&cinfo);
    return 0;
  }
  if (cmyk) {
    // One row of CMYK from libjpeg's own pool, freed with the decompressor even on longjmp.
    JSAMPARRAY buffer =
        (*cinfo.mem->alloc_sarray)(reinterpret_cast<j_common_ptr>(&cinfo), JPOOL_IMAGE, cinfo.output_width * 4, 1);
    while (cinfo.output_scanline < cinfo.output_height) {
      unsigned char* out = rows + stride * cinfo.output_scanline;
      if (jpeg_read_scanlines(&cinfo, buffer, 1) != 1) break;
      CmykRowToRgb(buffer[0], out, cinfo.output_width, cinfo.saw_Adobe_marker);
    }
  } else {
    JSAMPROW batch[16];
    while (cinfo.output_scanline < cinfo.output_height) {
      JDIMENSION first = cinfo.output_scanline;
      JDIMENSION n = cinfo.output_height - first;
      if (n > 16) n = 16;
      for (JDIMENSION r = 0; r < n; ++r) batch[r] = rows + stride * (first + r);
      if (jpeg_read_scanlines(&cinfo, batch, n) == 0) break;
    }
  }
  int complete = cinfo.output_scanline == cinfo.output_height;
  if (complete) jpeg_finish_decompress(&cinfo);
  jpeg_destroy_decompress(&cinfo);
  return complete && !err.corrupt;
}

unsigned char* AllocateBitmap(void* context, int width, int height, size_t* stride) {
  QImage* bitmap = static_cast<QImage*>(context);
  *bitmap = QImage(width, height, QImage::Format_RGB888);
  if (bitmap->isNull()) return nullptr;
  *stride = static_cast<size_t>(bitmap->bytesPerLine());
  return bitmap->bits();
}

}  // namespace

bool Image::LoadJpeg() {
  if (fileName.empty()) return false;
  bool ok = false;
  QImage decoded;
  if (FILE* file = std::fopen(FullPath().c_str(), "rb")) {
    ok = DecodeJpeg(file, AllocateBitmap, &decoded) == 1;
    std::fclose(file);
  }
  if (ok) {
    bitmap = std::move(decoded);
  } else {
    bitmap = QImage(32, 20, QImage::Format_RGB888);
    bitmap.fill(Qt::white);
  }
  return ok;
}
