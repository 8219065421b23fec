// JPEG decoding at a DCT scale into bottom-up RGBA.
//
// libjpeg reports fatal errors through error_exit, which must not return; we leave with longjmp,
// and do the same when it warns that the file ended early.
// That is only safe when no C++ object with a destructor lives in the frames it jumps over, so
// each libjpeg conversation happens in one C-style function below whose frame holds plain data
// only; the output picture is allocated by a callback into the caller's frame, and that callback
// lets no exception out.

#include "JpegDecode.h"

#include <setjmp.h>

#include <algorithm>
#include <cstddef>
#include <cstdio>
#include <cstring>
#include <new>

// jpeglib.h needs size_t and FILE declared first.
#include <jpeglib.h>
#include <jerror.h>

namespace {

// libjpeg keeps whole-picture coefficient buffers for progressive and multi-scan files, sized by
// the full picture whatever the output scale. Beyond this many bytes it gives up (it has no
// backing store) instead of letting a header of a few bytes take gigabytes. Enough for a
// progressive 4:4:4 photograph of 150 megapixels.
const long libjpegMemoryLimit = 1L << 30;

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
// result is not the picture, so the decode counts as failed.
void EmitMessage(j_common_ptr cinfo, int msgLevel) {
  if (msgLevel >= 0) return;  // trace messages
  ErrorManager* err = reinterpret_cast<ErrorManager*>(cinfo->err);
  err->pub.num_warnings++;
  switch (err->pub.msg_code) {
    case JWRN_JPEG_EOF:
      // The file ended early: refused whatever follows. libjpeg would go on handing out a
      // made-up end marker, two bytes and one read call at a time, for as many bytes as the
      // segment in hand claims (a marker's length says up to 64 KiB), before failing anyway.
      longjmp(err->jump, 1);
    case JWRN_ARITH_BAD_CODE:
    case JWRN_BOGUS_PROGRESSION:
    case JWRN_HIT_MARKER:
    case JWRN_HUFF_BAD_CODE:
    case JWRN_MUST_RESYNC:
    case JWRN_NOT_SEQUENTIAL:
      err->corrupt = 1;
      break;
    default:
      break;
  }
}

void OutputMessage(j_common_ptr) {}  // libjpeg would print to stderr

void StartErrorManager(jpeg_decompress_struct* cinfo, ErrorManager* err) {
  cinfo->err = jpeg_std_error(&err->pub);
  err->pub.error_exit = ErrorExit;
  err->pub.emit_message = EmitMessage;
  err->pub.output_message = OutputMessage;
  err->corrupt = 0;
}

// Returns width * height * 4 bytes for the output, or nullptr when there is no memory.
typedef unsigned char* (*AllocateRgba)(void* context, int width, int height);

// In place: each pixel's 4 bytes are CMYK on entry and RGBA (alpha 255) on return. Adobe
// applications write CMYK inverted (0 = full ink), and libjpeg hands the values back as stored;
// plain CMYK files store ink amounts directly.
void CmykRowToRgba(unsigned char* pixel, JDIMENSION width, int inverted) {
  for (JDIMENSION x = 0; x < width; ++x, pixel += 4) {
    unsigned c = pixel[0], m = pixel[1], y = pixel[2], k = pixel[3];
    if (!inverted) {
      c = 255 - c;
      m = 255 - m;
      y = 255 - y;
      k = 255 - k;
    }
    pixel[0] = static_cast<unsigned char>((c * k + 127) / 255);
    pixel[1] = static_cast<unsigned char>((m * k + 127) / 255);
    pixel[2] = static_cast<unsigned char>((y * k + 127) / 255);
    pixel[3] = 255;
  }
}

// 1 with the full size in width and height; 0 for anything that is not a readable JPEG header.
int ReadHeader(FILE* file, JDIMENSION* width, JDIMENSION* height) {
  jpeg_decompress_struct cinfo;
  ErrorManager err;
  std::memset(&cinfo, 0, sizeof cinfo);
  StartErrorManager(&cinfo, &err);
  if (setjmp(err.jump)) {
    jpeg_destroy_decompress(&cinfo);
    return 0;
  }
  jpeg_create_decompress(&cinfo);
  jpeg_stdio_src(&cinfo, file);
  int ok = jpeg_read_header(&cinfo, TRUE) == JPEG_HEADER_OK;
  *width = cinfo.image_width;
  *height = cinfo.image_height;
  jpeg_destroy_decompress(&cinfo);
  return ok;
}

enum { kFailed = 0, kOk = 1, kTooLarge = 2 };

// Decodes at 1/denominator into the rows `allocate` returns, bottom row first. Plain data only
// in this frame.
int DecodeScaled(FILE* file, int denominator, unsigned long long maxPixels, AllocateRgba allocate, void* context) {
  jpeg_decompress_struct cinfo;
  ErrorManager err;
  std::memset(&cinfo, 0, sizeof cinfo);
  StartErrorManager(&cinfo, &err);
  if (setjmp(err.jump)) {
    jpeg_destroy_decompress(&cinfo);
    return kFailed;
  }
  jpeg_create_decompress(&cinfo);
  cinfo.mem->max_memory_to_use = libjpegMemoryLimit;
  jpeg_stdio_src(&cinfo, file);
  if (jpeg_read_header(&cinfo, TRUE) != JPEG_HEADER_OK) {
    jpeg_destroy_decompress(&cinfo);
    return kFailed;
  }
  int cmyk = cinfo.jpeg_color_space == JCS_CMYK || cinfo.jpeg_color_space == JCS_YCCK;
  // JCS_EXT_RGBA writes alpha 255 itself, so RGB and greyscale need no pass of our own.
  cinfo.out_color_space = cmyk ? JCS_CMYK : JCS_EXT_RGBA;
  cinfo.scale_num = 1;
  cinfo.scale_denom = static_cast<unsigned int>(denominator);
  cinfo.dct_method = JDCT_FLOAT;
  cinfo.do_block_smoothing = TRUE;
  jpeg_calc_output_dimensions(&cinfo);
  if (static_cast<unsigned long long>(cinfo.output_width) * cinfo.output_height > maxPixels) {
    jpeg_destroy_decompress(&cinfo);
    return kTooLarge;
  }
  // Multi-scan files are read completely here; damage found now spares the output allocation.
  jpeg_start_decompress(&cinfo);
  if (err.corrupt || cinfo.output_components != 4) {
    jpeg_destroy_decompress(&cinfo);
    return kFailed;
  }

  const JDIMENSION height = cinfo.output_height;
  unsigned char* pixels =
      allocate(context, static_cast<int>(cinfo.output_width), static_cast<int>(cinfo.output_height));
  if (!pixels) {
    jpeg_destroy_decompress(&cinfo);
    return kFailed;
  }
  // Scanline y (top first) goes to row height - 1 - y. The row table comes from libjpeg's own
  // pool, freed with the decompressor even on longjmp.
  const size_t rowBytes = static_cast<size_t>(cinfo.output_width) * 4;
  JSAMPARRAY rows = static_cast<JSAMPARRAY>(
      (*cinfo.mem->alloc_small)(reinterpret_cast<j_common_ptr>(&cinfo), JPOOL_IMAGE, sizeof(JSAMPROW) * height));
  for (JDIMENSION y = 0; y < height; ++y) rows[y] = pixels + rowBytes * (height - 1 - y);

  // A damaged file would be decoded to its end in grey; stop at the first sign instead.
  while (cinfo.output_scanline < height && !err.corrupt) {
    JDIMENSION first = cinfo.output_scanline;
    JDIMENSION n = jpeg_read_scanlines(&cinfo, rows + first, height - first);
    if (n == 0) break;
    if (cmyk) {
      for (JDIMENSION y = first; y < first + n; ++y) CmykRowToRgba(rows[y], cinfo.output_width, cinfo.saw_Adobe_marker);
    }
  }
  int complete = cinfo.output_scanline == height && !err.corrupt;
  if (complete) jpeg_finish_decompress(&cinfo);
  complete = complete && !err.corrupt;
  jpeg_destroy_decompress(&cinfo);
  return complete ? kOk : kFailed;
}

// Called from within libjpeg's frames: no exception may leave.
unsigned char* AllocatePicture(void* context, int width, int height) {
  RgbaPicture* picture = static_cast<RgbaPicture*>(context);
  try {
    picture->rgba.resize(static_cast<size_t>(width) * static_cast<size_t>(height) * 4);
  } catch (...) {
    return nullptr;
  }
  picture->width = width;
  picture->height = height;
  return picture->rgba.data();
}

}  // namespace

bool ReadJpegInfo(const std::string& path, JpegInfo& info) {
  FILE* file = std::fopen(path.c_str(), "rb");
  if (!file) return false;
  JDIMENSION width = 0, height = 0;
  const bool ok = ReadHeader(file, &width, &height) == 1;
  std::fclose(file);
  if (!ok) return false;
  info.width = static_cast<int>(width);
  info.height = static_cast<int>(height);
  return true;
}

int ScaledSide(int side, int denominator) {
  if (side <= 0) return 0;
  if (denominator <= 1) return side;
  return static_cast<int>((static_cast<long long>(side) + denominator - 1) / denominator);
}

int ScaleDenominatorFor(int width, int height, int wantedSide) {
  const int longer = std::max(width, height);
  for (int denominator : {8, 4, 2})
    if (ScaledSide(longer, denominator) >= wantedSide) return denominator;
  return 1;
}

DecodeResult DecodeJpegRgba(const std::string& path, int denominator, RgbaPicture& out, unsigned long long maxPixels) {
  out = RgbaPicture();
  if (denominator != 1 && denominator != 2 && denominator != 4 && denominator != 8) return DecodeResult::Failed;
  FILE* file = std::fopen(path.c_str(), "rb");
  if (!file) return DecodeResult::Failed;
  RgbaPicture decoded;
  const int result = DecodeScaled(file, denominator, maxPixels, AllocatePicture, &decoded);
  std::fclose(file);
  if (result == kTooLarge) return DecodeResult::TooLarge;
  if (result != kOk) return DecodeResult::Failed;
  out = std::move(decoded);
  return DecodeResult::Ok;
}
