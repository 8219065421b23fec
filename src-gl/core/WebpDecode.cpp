// WebP through libwebp: lossy and lossless, with or without alpha, decoded incrementally (so the
// cancel flag is looked at between pieces of the file) straight to the reduced size with libwebp's
// own area scaler, rows flipped to bottom-up by the decoder.

#include <sys/stat.h>
#include <webp/decode.h>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "PictureDecode.h"
#include "PictureFormats.h"

namespace {

// libwebp's structures, tables and Huffman codes besides the buffers counted below.
const unsigned long long webpFixedBytes = 4ull << 20;
// The piece of the file handed to the decoder between looks at the cancel flag.
const size_t webpPieceBytes = 256 * 1024;
// Enough of the file's start for the size and the features in almost every file.
const size_t webpHeadBytes = 64 * 1024;

struct IdecDeleter {
  void operator()(WebPIDecoder* decoder) const { WebPIDelete(decoder); }
};

long long FileSize(FILE* file) {
  struct stat status;
  if (fstat(fileno(file), &status) != 0) return -1;
  return static_cast<long long>(status.st_size);
}

// The features from the file's start; false for damage. Animated files are Unsupported.
PictureFault ReadFeatures(FILE* file, WebPBitstreamFeatures& features, std::string& head) {
  head.resize(webpHeadBytes);
  head.resize(std::fread(&head[0], 1, head.size(), file));
  const VP8StatusCode status = WebPGetFeatures(reinterpret_cast<const uint8_t*>(head.data()), head.size(), &features);
  // A start too short to name the kind of data after a large chunk still gives the canvas size.
  if (status != VP8_STATUS_OK && !(status == VP8_STATUS_NOT_ENOUGH_DATA && head.size() == webpHeadBytes &&
                                   features.width > 0 && features.height > 0))
    return PictureFault::Damaged;
  if (features.has_animation) return PictureFault::Unsupported;
  if (features.width <= 0 || features.height <= 0) return PictureFault::Damaged;
  return PictureFault::None;
}

}  // namespace

PictureFault ReadWebpHeader(FILE* file, PictureInfo& info) {
  WebPBitstreamFeatures features;
  std::string head;
  const PictureFault fault = ReadFeatures(file, features, head);
  if (fault != PictureFault::None) return fault;
  info.width = features.width;
  info.height = features.height;
  return PictureFault::None;
}

namespace {

// Gives the file to `decoder` a piece at a time, reading on as it asks for more: Ok once the
// picture is whole, Failed for damaged data or a file cut short, Cancelled. `bytes` holds what was
// read so far and has room for the whole file, so the decoder can read it in place.
DecodeResult FeedDecoder(WebPIDecoder* decoder, FILE* file, long long fileSize, std::string& bytes,
                         const DecodeBudget& budget) {
  VP8StatusCode status = VP8_STATUS_SUSPENDED;
  size_t given = 0;
  for (;;) {
    if (budget.Cancelled()) return DecodeResult::Cancelled;
    if (given < bytes.size()) {
      // The whole file grows in one buffer, which the decoder reads in place (WebPIUpdate).
      given = std::min(bytes.size(), given + webpPieceBytes);
      status = WebPIUpdate(decoder, reinterpret_cast<const uint8_t*>(bytes.data()), given);
      if (status != VP8_STATUS_SUSPENDED) break;
      continue;
    }
    const size_t before = bytes.size();
    const size_t want = std::min<size_t>(
        webpPieceBytes, static_cast<size_t>(fileSize) - std::min<size_t>(before, static_cast<size_t>(fileSize)));
    if (want == 0) break;
    bytes.resize(before + want);
    bytes.resize(before + std::fread(&bytes[before], 1, want, file));
    if (bytes.size() == before) break;  // the file ended (or shrank): what was given is all there is
  }
  return status == VP8_STATUS_OK ? DecodeResult::Ok : DecodeResult::Failed;
}

// The whole picture (top row first, RGBA) composited and reduced by a box of denominator pixels
// into `out` (outWidth x outHeight, bottom row first).
void ReduceComposited(unsigned char* whole, uint32_t width, uint32_t height, int denominator, uint32_t* sums,
                      unsigned char* out, int outWidth, int outHeight) {
  const uint32_t d = static_cast<uint32_t>(denominator);
  for (uint32_t y = 0; y < height; ++y) {
    unsigned char* row = whole + static_cast<size_t>(y) * width * 4;
    CompositeOverBackdrop(row, width);
    AddBoxRow(row, width, denominator, sums);
    if (y % d == d - 1 || y == height - 1)
      EmitBoxRow(sums, width, denominator, y % d + 1,
                 out + static_cast<size_t>(outHeight - 1 - static_cast<int>(y / d)) * outWidth * 4,
                 static_cast<uint32_t>(outWidth));
  }
}

}  // namespace

DecodeResult DecodeWebpFile(FILE* file, int denominator, DecodeBudget& budget) {
  WebPDecoderConfig config;
  if (!WebPInitDecoderConfig(&config)) return DecodeResult::Failed;
  std::string bytes;
  if (ReadFeatures(file, config.input, bytes) != PictureFault::None) return DecodeResult::Failed;
  const long long fileSize = FileSize(file);
  if (fileSize < static_cast<long long>(bytes.size())) return DecodeResult::Failed;
  const unsigned long long width = static_cast<unsigned long long>(config.input.width);
  const unsigned long long height = static_cast<unsigned long long>(config.input.height);
  const int outWidth = ScaledSide(config.input.width, denominator);
  const int outHeight = ScaledSide(config.input.height, denominator);
  if (width * height > maxJpegPixels ||
      static_cast<unsigned long long>(outWidth) * static_cast<unsigned long long>(outHeight) > budget.MaxPixels())
    return DecodeResult::TooLarge;
  // Lossless data is decoded whole (4 bytes a pixel) before any row comes out, as is an alpha
  // plane (a byte a pixel, or lossless at 4); lossy data needs a few rows of macroblocks, and the
  // scaler a few rows in and out. When the start did not say which, the larger counts.
  const bool lossy = config.input.format == 1;
  unsigned long long work = webpFixedBytes + static_cast<unsigned long long>(fileSize) + width * 96 +
                            static_cast<unsigned long long>(outWidth) * 64;
  if (!lossy) work += width * height * 4;
  if (config.input.has_alpha) work += width * height * (lossy ? 5 : 1);
  // libwebp's scaler averages colour and alpha each on its own, which is not the mean of what the
  // pixels show once composited: a reduced picture with alpha is decoded whole, composited, then
  // reduced here. So is every lossless one, whose header's alpha flag is only a hint.
  const bool reduceHere = (config.input.has_alpha || !lossy) && denominator > 1;
  if (reduceHere) work += width * height * 4 + static_cast<unsigned long long>(outWidth) * 16;
  const DecodeResult reserved =
      budget.Reserve(work, static_cast<unsigned long long>(outWidth) * static_cast<unsigned long long>(outHeight) * 4);
  if (reserved != DecodeResult::Ok) return reserved;
  unsigned char* out = budget.Allocate(outWidth, outHeight);
  if (!out) return DecodeResult::Failed;
  std::vector<unsigned char, UninitializedAllocator<unsigned char>> whole;
  std::vector<uint32_t> sums;
  if (reduceHere) {
    whole.resize(static_cast<size_t>(width * height * 4));
    sums.assign(static_cast<size_t>(outWidth) * 4, 0);
  }

  config.output.colorspace = MODE_RGBA;
  config.output.is_external_memory = 1;
  if (reduceHere) {  // top row first, as the reduction takes the rows
    config.output.u.RGBA.rgba = whole.data();
    config.output.u.RGBA.stride = config.input.width * 4;
    config.output.u.RGBA.size = whole.size();
  } else {
    config.options.flip = 1;  // bottom row first
    if (denominator > 1) {
      config.options.use_scaling = 1;
      config.options.scaled_width = outWidth;
      config.options.scaled_height = outHeight;
    }
    config.output.u.RGBA.rgba = out;
    config.output.u.RGBA.stride = outWidth * 4;
    config.output.u.RGBA.size = static_cast<size_t>(outWidth) * static_cast<size_t>(outHeight) * 4;
  }

  bytes.reserve(static_cast<size_t>(fileSize));
  const std::unique_ptr<WebPIDecoder, IdecDeleter> decoder(WebPIDecode(nullptr, 0, &config));
  if (!decoder) return DecodeResult::Failed;
  const DecodeResult fed = FeedDecoder(decoder.get(), file, fileSize, bytes, budget);
  if (fed != DecodeResult::Ok) return fed;
  if (reduceHere) {
    ReduceComposited(whole.data(), static_cast<uint32_t>(width), static_cast<uint32_t>(height), denominator,
                     sums.data(), out, outWidth, outHeight);
  } else {
    // Even without alpha in the header: a lossless bitstream's alpha flag is only a hint, and the
    // pixels carry whatever alpha their data holds.
    for (int y = 0; y < outHeight; ++y)
      CompositeOverBackdrop(out + static_cast<size_t>(y) * outWidth * 4, static_cast<size_t>(outWidth));
  }
  return DecodeResult::Ok;
}
