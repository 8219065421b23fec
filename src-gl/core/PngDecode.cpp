// PNG through libpng: every colour type and depth becomes 8-bit RGBA, composited over the
// backdrop, reduced by a box of denominator x denominator pixels as the rows arrive.
//
// libpng reports errors through an error function that must not return; we leave with longjmp, as
// the JPEG decoder does. The libpng conversation happens in C-style functions whose frames hold
// plain data only; every buffer lives in the caller's frame and is reached through `PngCalls`.

#include <png.h>
#include <setjmp.h>

#include <cstring>
#include <new>
#include <vector>

#include "PictureDecode.h"
#include "PictureFormats.h"

namespace {

// libpng's own allocations besides the rows: the structures, zlib's inflate state and window, the
// palette and transparency tables, and one ancillary chunk at a time (at most pngChunkBytes: a
// larger one is damage).
const unsigned long long pngChunkBytes = 8ull << 20;
const unsigned long long pngFixedBytes = (1ull << 20) + pngChunkBytes;

struct PngError {
  jmp_buf jump;
};

void PngFail(png_structp png, png_const_charp) { longjmp(static_cast<PngError*>(png_get_error_ptr(png))->jump, 1); }
void PngWarn(png_structp, png_const_charp) {}

// What the caller's frame provides: the reservation, the output and the work buffers.
struct PngCalls {
  DecodeBudget* budget;
  std::vector<unsigned char>* scratch;
  std::vector<unsigned char*>* rows;
  std::vector<uint32_t>* sums;
};

enum { kPngFailed = 0, kPngOk = 1, kPngTooLarge = 2, kPngCancelled = 3 };

int ReserveNoThrow(const PngCalls* calls, unsigned long long work, unsigned long long output) {
  try {
    switch (calls->budget->Reserve(work, output)) {
      case DecodeResult::Ok:
        return kPngOk;
      case DecodeResult::TooLarge:
        return kPngTooLarge;
      case DecodeResult::Cancelled:
        return kPngCancelled;
      default:
        return kPngFailed;
    }
  } catch (...) {
    return kPngFailed;
  }
}

// The work buffers: the decoded rows (one row, or the whole picture when interlaced), the row
// table, and the sums of one output row. False when there is no memory.
bool AllocateWork(const PngCalls* calls, size_t rowBytes, size_t rowCount, size_t sumCount) {
  try {
    calls->scratch->resize(rowBytes * rowCount);
    calls->rows->resize(rowCount);
    calls->sums->assign(sumCount, 0);
  } catch (...) {
    return false;
  }
  for (size_t y = 0; y < rowCount; ++y) (*calls->rows)[y] = calls->scratch->data() + rowBytes * y;
  return true;
}

// Limits and checks that apply to headers and whole decodes alike.
void StartRead(png_structp png, FILE* file) {
  png_init_io(png, file);
  // The program's own limit on the declared size applies, not libpng's default of a million a side.
  png_set_user_limits(png, 0x7fffffff, 0x7fffffff);
  png_set_chunk_malloc_max(png, static_cast<png_alloc_size_t>(pngChunkBytes));
  // A checksum that fails, in any chunk, and image data that is too short or too long are damage.
  png_set_crc_action(png, PNG_CRC_ERROR_QUIT, PNG_CRC_ERROR_QUIT);
  png_set_benign_errors(png, 0);
}

// libpng's reader and its info, reporting into `err`; false, with nothing left, when either
// cannot be made. The caller sets its own jump point: it must outlive every libpng call.
bool CreateReader(PngError& err, png_structp& png, png_infop& info) {
  png = png_create_read_struct(PNG_LIBPNG_VER_STRING, &err, PngFail, PngWarn);
  if (!png) return false;
  info = png_create_info_struct(png);
  if (info) return true;
  png_destroy_read_struct(&png, nullptr, nullptr);
  return false;
}

int ReadPngSize(FILE* file, png_uint_32* width, png_uint_32* height) {
  PngError err;
  png_structp png = nullptr;
  png_infop info = nullptr;
  if (!CreateReader(err, png, info)) return kPngFailed;
  if (setjmp(err.jump)) {
    png_destroy_read_struct(&png, &info, nullptr);
    return kPngFailed;
  }
  StartRead(png, file);
  png_read_info(png, info);
  *width = png_get_image_width(png, info);
  *height = png_get_image_height(png, info);
  png_destroy_read_struct(&png, &info, nullptr);
  return kPngOk;
}

int DecodePngScaled(FILE* file, int denominator, const PngCalls* calls) {
  PngError err;
  png_structp png = nullptr;
  png_infop info = nullptr;
  if (!CreateReader(err, png, info)) return kPngFailed;
  if (setjmp(err.jump)) {
    png_destroy_read_struct(&png, &info, nullptr);
    return kPngFailed;
  }
  StartRead(png, file);
  png_read_info(png, info);
  png_uint_32 width = 0, height = 0;
  int depth = 0, colour = 0, interlace = 0;
  png_get_IHDR(png, info, &width, &height, &depth, &colour, &interlace, nullptr, nullptr);
  int result = kPngOk;
  const unsigned long long pixels = static_cast<unsigned long long>(width) * height;
  const png_uint_32 outWidth = static_cast<png_uint_32>(ScaledSide(static_cast<int>(width), denominator));
  const png_uint_32 outHeight = static_cast<png_uint_32>(ScaledSide(static_cast<int>(height), denominator));
  if (pixels > maxJpegPixels || static_cast<unsigned long long>(outWidth) * outHeight > calls->budget->MaxPixels())
    result = kPngTooLarge;
  const int alpha = (colour & PNG_COLOR_MASK_ALPHA) || png_get_valid(png, info, PNG_INFO_tRNS);
  // Interlaced pictures arrive in seven passes over the whole picture, so all of it is held.
  const int interlaced = interlace != PNG_INTERLACE_NONE;
  const size_t rowBytes = static_cast<size_t>(width) * 4;
  const size_t heldRows = interlaced ? height : (denominator == 1 ? 0 : 1);
  if (result == kPngOk) {
    // Reserved before libpng allocates its rows (png_read_update_info), which a header claiming a
    // huge width would make gigabytes: two rows at up to 16 bits a channel. The sums are 4 words
    // a pixel out.
    const unsigned long long work = pngFixedBytes + 2ull * (static_cast<unsigned long long>(width) * 8 + 64) +
                                    rowBytes * static_cast<unsigned long long>(heldRows) +
                                    sizeof(unsigned char*) * static_cast<unsigned long long>(heldRows) +
                                    static_cast<unsigned long long>(outWidth) * 16;
    result = ReserveNoThrow(calls, work, static_cast<unsigned long long>(outWidth) * outHeight * 4);
  }
  int passes = 1;
  if (result == kPngOk) {
    png_set_expand(png);  // palette to RGB, grey under 8 bits to 8, transparency to alpha
    png_set_scale_16(png);
    png_set_gray_to_rgb(png);
    if (!alpha) png_set_filler(png, 0xFF, PNG_FILLER_AFTER);
    passes = png_set_interlace_handling(png);
    png_read_update_info(png, info);
    if (png_get_rowbytes(png, info) != rowBytes || (passes > 1) != (interlaced != 0)) result = kPngFailed;
  }
  unsigned char* out = nullptr;
  if (result == kPngOk) {
    out = calls->budget->Allocate(static_cast<int>(outWidth), static_cast<int>(outHeight));
    if (!out || !AllocateWork(calls, rowBytes, heldRows, denominator == 1 ? 0 : static_cast<size_t>(outWidth) * 4))
      result = kPngFailed;
  }
  if (result != kPngOk) {
    png_destroy_read_struct(&png, &info, nullptr);
    return result;
  }
  const size_t outRowBytes = static_cast<size_t>(outWidth) * 4;
  // Rows bottom-up in `out`: source row y goes to output row outHeight - 1 - y / denominator.
  if (passes > 1) {
    for (int pass = 0; pass < passes && result == kPngOk; ++pass)
      for (png_uint_32 y = 0; y < height; ++y) {
        if (calls->budget->Cancelled()) {
          result = kPngCancelled;
          break;
        }
        png_read_row(png, (*calls->rows)[y], nullptr);
      }
  }
  for (png_uint_32 y = 0; y < height && result == kPngOk; ++y) {
    unsigned char* target = out + outRowBytes * (outHeight - 1 - y / static_cast<png_uint_32>(denominator));
    unsigned char* row = passes > 1 ? (*calls->rows)[y] : (denominator == 1 ? target : (*calls->rows)[0]);
    if (passes == 1) {
      if (calls->budget->Cancelled()) {
        result = kPngCancelled;
        break;
      }
      png_read_row(png, row, nullptr);
    }
    if (alpha) CompositeOverBackdrop(row, width);
    if (denominator == 1) {
      if (row != target) std::memcpy(target, row, rowBytes);
      continue;
    }
    AddBoxRow(row, width, denominator, calls->sums->data());
    const png_uint_32 inGroup = y % static_cast<png_uint_32>(denominator) + 1;
    if (inGroup == static_cast<png_uint_32>(denominator) || y == height - 1)
      EmitBoxRow(calls->sums->data(), width, denominator, inGroup, target, outWidth);
  }
  // The chunks after the image data, to the end: a file cut short after its pixels is damaged too.
  if (result == kPngOk) png_read_end(png, nullptr);
  png_destroy_read_struct(&png, &info, nullptr);
  return result;
}

}  // namespace

PictureFault ReadPngHeader(FILE* file, PictureInfo& info) {
  png_uint_32 width = 0, height = 0;
  if (ReadPngSize(file, &width, &height) != kPngOk) return PictureFault::Damaged;
  if (width > 0x7fffffff || height > 0x7fffffff) return PictureFault::TooLarge;
  info.width = static_cast<int>(width);
  info.height = static_cast<int>(height);
  return PictureFault::None;
}

DecodeResult DecodePngFile(FILE* file, int denominator, DecodeBudget& budget) {
  std::vector<unsigned char> scratch;
  std::vector<unsigned char*> rows;
  std::vector<uint32_t> sums;
  const PngCalls calls{&budget, &scratch, &rows, &sums};
  switch (DecodePngScaled(file, denominator, &calls)) {
    case kPngOk:
      return DecodeResult::Ok;
    case kPngTooLarge:
      return DecodeResult::TooLarge;
    case kPngCancelled:
      return DecodeResult::Cancelled;
    default:
      return DecodeResult::Failed;
  }
}
