// JPEG decoding at a DCT scale into bottom-up RGBA.
//
// libjpeg reports fatal errors through error_exit, which must not return; we leave with longjmp,
// and do the same when it warns that the file ended early, and from its progress monitor when
// the decode is cancelled or the file has too many scans.
// That is only safe when no C++ object with a destructor lives in the frames it jumps over, so
// each libjpeg conversation happens in one C-style function below whose frame holds plain data
// only; the output picture is allocated by a callback into the caller's frame, and that callback
// lets no exception out.

#include "JpegDecode.h"

#include <fcntl.h>
#include <setjmp.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstddef>
#include <cstdio>
#include <cstring>
#include <new>

// jpeglib.h needs size_t and FILE declared first.
#include <jpeglib.h>
#include <jerror.h>

namespace {

// libjpeg's buffers besides the coefficients, beyond what the rows need: tables, the entropy
// decoder's state, the pools' own overhead.
const unsigned long long libjpegFixedBytes = 2ull << 20;

struct ErrorManager {
  jpeg_error_mgr pub;
  jmp_buf jump;
  int corrupt;    // a warning said the data is damaged
  int cancelled;  // left because the cancel flag was raised
  // Arithmetic coding: the first row of MCUs (of the scan then read) decoded after the data met a
  // marker; total_iMCU_rows when that never happened.
  JDIMENSION zeroFilledFrom;
  jpeg_progress_mgr progress;
  const std::atomic<bool>* cancel;
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

// Called by libjpeg before each row of MCUs it reads from a multi-scan file and before each call
// of jpeg_read_scanlines, so often enough to stop any decode within milliseconds.
void ProgressMonitor(j_common_ptr common) {
  ErrorManager* err = reinterpret_cast<ErrorManager*>(common->err);
  if (err->cancel && err->cancel->load(std::memory_order_relaxed)) {
    err->cancelled = 1;
    longjmp(err->jump, 1);
  }
  const jpeg_decompress_struct* cinfo = reinterpret_cast<const jpeg_decompress_struct*>(common);
  if (cinfo->input_scan_number > maxJpegScans) longjmp(err->jump, 1);
  // Huffman decoding warns (JWRN_HIT_MARKER) when the data ends before the scan does. In
  // sequential arithmetic coding meeting a marker is allowed: the decoder goes on with zeros, since an
  // encoder drops the last bytes of a scan when they are zeros. Where the rest of the scan holds
  // next to no information (a flat area) those zeros may cover many rows; in a file cut short they
  // stand for real data and decode to made-up pixels. Where it began is noted here and the
  // decoded rows are judged as they come (FlatFrom). Restart markers end an interval, not the data.
  // (In a progressive file a scan may carry next to nothing anywhere; its completeness is judged
  // by the coefficients every scan together brought.)
  const int marker = cinfo->unread_marker;
  if (cinfo->arith_code && !cinfo->progressive_mode && marker != 0 &&
      !(marker >= JPEG_RST0 && marker <= JPEG_RST0 + 7) && cinfo->input_iMCU_row < err->zeroFilledFrom)
    err->zeroFilledFrom = cinfo->input_iMCU_row;
}

// Whether the rows from `first` (top-down) to `end` are all alike, each within a level or two of
// the one above: what an arithmetic-coded scan decodes from the zeros an encoder left
// out, which carry no information, gives that; zeros standing in for a lost part of the file do
// not.
int FlatFrom(JSAMPARRAY rows, JDIMENSION first, JDIMENSION end, JDIMENSION width) {
  for (JDIMENSION y = first + 1; y < end; ++y) {
    const unsigned char* above = rows[y - 1];
    const unsigned char* row = rows[y];
    for (JDIMENSION i = 0; i < width * 4; ++i)
      if (above[i] > row[i] + 2 || row[i] > above[i] + 2) return 0;
  }
  return 1;
}

void StartErrorManager(jpeg_decompress_struct* cinfo, ErrorManager* err) {
  cinfo->err = jpeg_std_error(&err->pub);
  err->pub.error_exit = ErrorExit;
  err->pub.emit_message = EmitMessage;
  err->pub.output_message = OutputMessage;
  err->corrupt = 0;
  err->cancelled = 0;
  err->cancel = nullptr;
  err->zeroFilledFrom = static_cast<JDIMENSION>(-1);
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

enum { kFailed = 0, kOk = 1, kTooLarge = 2, kCancelled = 3 };

// Reserves libjpeg's memory plus the output's (and whatever the caller adds): kOk, kTooLarge
// when it could never fit, kCancelled.
typedef int (*ReserveMemory)(void* context, unsigned long long libjpegBytes, unsigned long long outputBytes);

struct DecodeCalls {
  AllocateRgba allocate;
  ReserveMemory reserve;
  void* context;
  const std::atomic<bool>* cancel;
};

// What libjpeg will allocate for this decode, with the output size already calculated: the
// whole-picture coefficient buffers of a progressive or multi-scan file (full size, whatever the
// scale: 2 bytes a coefficient, 64 a block, each component padded to whole MCUs), and a
// generous bound on its row buffers (a few row groups of every component at the output width).
unsigned long long LibjpegBytes(jpeg_decompress_struct* cinfo) {
  unsigned long long bytes = libjpegFixedBytes;
  if (jpeg_has_multiple_scans(cinfo) || cinfo->progressive_mode) {
    for (int c = 0; c < cinfo->num_components; ++c) {
      const jpeg_component_info& component = cinfo->comp_info[c];
      const unsigned long long h = static_cast<unsigned long long>(component.h_samp_factor);
      const unsigned long long v = static_cast<unsigned long long>(component.v_samp_factor);
      const unsigned long long columns = (component.width_in_blocks + h - 1) / h * h;
      const unsigned long long rows = (component.height_in_blocks + v - 1) / v * v;
      bytes += columns * rows * sizeof(JBLOCK);
    }
  }
  bytes += static_cast<unsigned long long>(cinfo->output_width) *
           static_cast<unsigned long long>(cinfo->num_components) *
           static_cast<unsigned long long>(cinfo->max_v_samp_factor) * DCTSIZE * 8;
  return bytes;
}

// Decodes at 1/denominator into the rows `calls.allocate` returns, bottom row first. Plain data
// only in this frame.
// DecodeScaled's steps: libjpeg may longjmp out of them, so they hold nothing that needs destroying.

// Output in RGBA (CMYK converted by us) at 1/denominator of the size, with libjpeg's best quality.
void ChooseOutput(jpeg_decompress_struct* cinfo, bool cmyk, int denominator) {
  // JCS_EXT_RGBA writes alpha 255 itself, so RGB and greyscale need no pass of our own.
  cinfo->out_color_space = cmyk ? JCS_CMYK : JCS_EXT_RGBA;
  cinfo->scale_num = 1;
  cinfo->scale_denom = static_cast<unsigned int>(denominator);
  cinfo->dct_method = JDCT_FLOAT;
  cinfo->do_block_smoothing = TRUE;
  jpeg_calc_output_dimensions(cinfo);
}

// A progressive file that ends before every coefficient of every component has come to its last
// bit was cut short (between scans, or within one and closed with a marker, which arithmetic
// coding does not warn of). The standard would allow an encoder to stop refining early, but
// encoders send every bit; the picture would be coarse, and be taken for the real one.
bool ProgressiveCutShort(const jpeg_decompress_struct& cinfo) {
  if (!cinfo.progressive_mode || !cinfo.coef_bits) return false;
  for (int c = 0; c < cinfo.num_components; ++c)
    for (int k = 0; k < DCTSIZE2; ++k)
      if (cinfo.coef_bits[c][k] != 0) return true;
  return false;
}

// Scanline y (top first) goes to row height - 1 - y of `pixels`. The row table comes from
// libjpeg's own pool, freed with the decompressor even on longjmp.
JSAMPARRAY BottomUpRows(jpeg_decompress_struct* cinfo, unsigned char* pixels) {
  const JDIMENSION height = cinfo->output_height;
  const size_t rowBytes = static_cast<size_t>(cinfo->output_width) * 4;
  JSAMPARRAY rows = static_cast<JSAMPARRAY>(
      (*cinfo->mem->alloc_small)(reinterpret_cast<j_common_ptr>(cinfo), JPOOL_IMAGE, sizeof(JSAMPROW) * height));
  for (JDIMENSION y = 0; y < height; ++y) rows[y] = pixels + rowBytes * (height - 1 - y);
  return rows;
}

// Reads the scanlines into `rows`. A damaged file would be decoded to its end in grey; this stops
// at the first sign instead (marking `err` corrupt).
void ReadScanlines(jpeg_decompress_struct* cinfo, ErrorManager* err, JSAMPARRAY rows, bool cmyk) {
  const JDIMENSION height = cinfo->output_height;
  JDIMENSION judged = 0;  // the rows from here down are judged as decoded from zeros (FlatFrom)
  while (cinfo->output_scanline < height && !err->corrupt) {
    JDIMENSION first = cinfo->output_scanline;
    JDIMENSION n = jpeg_read_scanlines(cinfo, rows + first, height - first);
    if (n == 0) break;
    if (cmyk)
      for (JDIMENSION y = first; y < first + n; ++y)
        CmykRowToRgba(rows[y], cinfo->output_width, cinfo->saw_Adobe_marker);
    if (err->zeroFilledFrom < cinfo->total_iMCU_rows) {
      // From the row of MCUs after the one where zeros began (upsampling reaches one row group
      // into the next), in output rows; judged as they come, so made-up rows stop the decode.
      const unsigned long long zeros =
          (static_cast<unsigned long long>(err->zeroFilledFrom) + 1) * height / cinfo->total_iMCU_rows;
      if (judged < zeros) judged = static_cast<JDIMENSION>(zeros < height ? zeros : height);
      if (judged < cinfo->output_scanline) {
        if (!FlatFrom(rows, judged, cinfo->output_scanline, cinfo->output_width)) err->corrupt = 1;
        judged = cinfo->output_scanline - 1;
      }
    }
  }
}

int DecodeScaled(FILE* file, int denominator, unsigned long long maxPixels, const DecodeCalls* calls) {
  jpeg_decompress_struct cinfo;
  ErrorManager err;
  std::memset(&cinfo, 0, sizeof cinfo);
  StartErrorManager(&cinfo, &err);
  if (setjmp(err.jump)) {
    jpeg_destroy_decompress(&cinfo);
    return err.cancelled ? kCancelled : kFailed;
  }
  jpeg_create_decompress(&cinfo);
  err.cancel = calls->cancel;
  err.progress.progress_monitor = ProgressMonitor;
  cinfo.progress = &err.progress;
  jpeg_stdio_src(&cinfo, file);
  if (jpeg_read_header(&cinfo, TRUE) != JPEG_HEADER_OK) {
    jpeg_destroy_decompress(&cinfo);
    return kFailed;
  }
  if (static_cast<unsigned long long>(cinfo.image_width) * cinfo.image_height > maxJpegPixels) {
    jpeg_destroy_decompress(&cinfo);
    return kTooLarge;
  }
  const bool cmyk = cinfo.jpeg_color_space == JCS_CMYK || cinfo.jpeg_color_space == JCS_YCCK;
  ChooseOutput(&cinfo, cmyk, denominator);
  const unsigned long long outputPixels = static_cast<unsigned long long>(cinfo.output_width) * cinfo.output_height;
  if (outputPixels > maxPixels) {
    jpeg_destroy_decompress(&cinfo);
    return kTooLarge;
  }
  const unsigned long long libjpegBytes = LibjpegBytes(&cinfo);
  const int reserved = calls->reserve(calls->context, libjpegBytes, outputPixels * 4);
  if (reserved != kOk) {
    jpeg_destroy_decompress(&cinfo);
    return reserved;
  }
  // libjpeg itself gives up (it has no backing store) rather than take more than was reserved.
  cinfo.mem->max_memory_to_use = static_cast<long>(libjpegBytes);
  // Multi-scan files are read completely here; damage found now spares the output allocation.
  jpeg_start_decompress(&cinfo);
  if (err.corrupt || ProgressiveCutShort(cinfo) || cinfo.output_components != 4) {
    jpeg_destroy_decompress(&cinfo);
    return kFailed;
  }
  const JDIMENSION height = cinfo.output_height;
  unsigned char* pixels =
      calls->allocate(calls->context, static_cast<int>(cinfo.output_width), static_cast<int>(cinfo.output_height));
  if (!pixels) {
    jpeg_destroy_decompress(&cinfo);
    return kFailed;
  }
  ReadScanlines(&cinfo, &err, BottomUpRows(&cinfo, pixels), cmyk);
  int complete = cinfo.output_scanline == height && !err.corrupt;
  if (complete) jpeg_finish_decompress(&cinfo);
  complete = complete && !err.corrupt;
  jpeg_destroy_decompress(&cinfo);
  return complete ? kOk : kFailed;
}

// The caller's side of one decode: where the picture goes and what it holds of the memory.
struct DecodeContext {
  RgbaPicture* picture;
  DecodeMemory* memory;
  size_t extraBytes;
  const std::atomic<bool>* cancel;
  MemoryHold hold;
  size_t outputBytes = 0;  // of the reservation, what stays after libjpeg is done
};

// Called from within libjpeg's frames: no exception may leave.
int ReserveForDecode(void* context, unsigned long long libjpegBytes, unsigned long long outputBytes) {
  DecodeContext* c = static_cast<DecodeContext*>(context);
  const unsigned long long total = libjpegBytes + outputBytes + c->extraBytes;
  if (total > c->memory->Capacity()) {
    return kTooLarge;
  }
  try {
    if (!c->memory->Reserve(static_cast<size_t>(total), c->cancel)) return kCancelled;
  } catch (...) {
    return kFailed;
  }
  c->hold = MemoryHold(c->memory, static_cast<size_t>(total));
  c->memory->CountDecode();
  c->outputBytes = static_cast<size_t>(outputBytes) + c->extraBytes;
  return kOk;
}

// Called from within libjpeg's frames: no exception may leave.
unsigned char* AllocatePicture(void* context, int width, int height) {
  RgbaPicture* picture = static_cast<DecodeContext*>(context)->picture;
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

FILE* OpenRegularFile(const std::string& path) {
  // O_NONBLOCK: opening a FIFO without a writer would wait for one.
  const int fd = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
  if (fd < 0) return nullptr;
  struct stat status;
  if (fstat(fd, &status) != 0 || !S_ISREG(status.st_mode)) {
    close(fd);
    return nullptr;
  }
  const int flags = fcntl(fd, F_GETFL);
  if (flags != -1) fcntl(fd, F_SETFL, flags & ~O_NONBLOCK);
  FILE* file = fdopen(fd, "rb");
  if (!file) close(fd);
  return file;
}

bool ReadPictureFile(const std::string& path, std::string& bytes) {
  FILE* file = OpenRegularFile(path);
  if (!file) return false;
  bytes.clear();
  char chunk[65536];
  size_t n;
  while ((n = std::fread(chunk, 1, sizeof chunk, file)) > 0) bytes.append(chunk, n);
  const bool ok = !std::ferror(file);
  std::fclose(file);
  return ok;
}

bool ReadJpegInfo(const std::string& path, JpegInfo& info) {
  FILE* file = OpenRegularFile(path);
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

DecodeResult DecodeJpegRgba(const std::string& path, int denominator, RgbaPicture& out, const DecodeLimits& limits) {
  out = RgbaPicture();
  if (limits.hold) limits.hold->Reset();
  if (denominator != 1 && denominator != 2 && denominator != 4 && denominator != 8) return DecodeResult::Failed;
  FILE* file = OpenRegularFile(path);
  if (!file) return DecodeResult::Failed;
  RgbaPicture decoded;
  DecodeContext context{&decoded, limits.memory ? limits.memory : &SharedDecodeMemory(), limits.extraBytes,
                        limits.cancel, MemoryHold()};
  const DecodeCalls calls{AllocatePicture, ReserveForDecode, &context, limits.cancel};
  const int result = DecodeScaled(file, denominator, limits.maxPixels, &calls);
  std::fclose(file);
  if (result != kOk) {
    decoded = RgbaPicture();  // before the hold goes: the memory is given back once it is free
    context.hold.Reset();
  }
  if (result == kTooLarge) return DecodeResult::TooLarge;
  if (result == kCancelled) return DecodeResult::Cancelled;
  if (result != kOk) return DecodeResult::Failed;
  context.hold.ShrinkTo(context.outputBytes);
  out = std::move(decoded);
  if (limits.hold) *limits.hold = std::move(context.hold);
  return DecodeResult::Ok;
}

DecodeResult DecodeJpegRgba(const std::string& path, int denominator, RgbaPicture& out, unsigned long long maxPixels) {
  DecodeLimits limits;
  limits.maxPixels = maxPixels;
  return DecodeJpegRgba(path, denominator, out, limits);
}
