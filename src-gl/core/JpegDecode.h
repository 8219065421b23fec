#pragma once
// JPEG decoding for drawing: the header alone, or the picture at a DCT scale (1/1, 1/2, 1/4,
// 1/8) straight into the layout a texture wants (RGBA, bottom row first), so that neither a
// full-size bitmap nor a second copy is ever made.

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "DecodeMemory.h"

// Allocates without zeroing: a picture's pixels are all written by whoever makes it, and
// clearing megabytes first would cost as much as a large part of decoding them.
template <typename T>
struct UninitializedAllocator : std::allocator<T> {
  template <typename U>
  struct rebind {
    using other = UninitializedAllocator<U>;
  };
  UninitializedAllocator() = default;
  template <typename U>
  UninitializedAllocator(const UninitializedAllocator<U>&) {}
  template <typename U>
  void construct(U* p) noexcept {
    ::new (static_cast<void*>(p)) U;
  }
  template <typename U, typename... Args>
  void construct(U* p, Args&&... args) {
    ::new (static_cast<void*>(p)) U(std::forward<Args>(args)...);
  }
};

// Pixels of a picture as a texture takes them: 4 bytes per pixel (red, green, blue, alpha),
// rows bottom-up (row 0 is the picture's bottom row), no padding between rows.
struct RgbaPicture {
  int width = 0;
  int height = 0;
  std::vector<uint8_t, UninitializedAllocator<uint8_t>> rgba;

  bool empty() const { return width <= 0 || height <= 0; }
  size_t bytes() const { return rgba.size(); }
};

struct JpegInfo {
  int width = 0;  // full size, from the header
  int height = 0;
};

// The largest picture the program decodes, in pixels of its declared full size (32768 x 32768,
// or any other shape of a gigapixel). Even at 1/8 a larger one would leave a decode more than
// 64 MiB of output and libjpeg's buffers besides; a header that claims more is refused before
// anything is allocated.
constexpr unsigned long long maxJpegPixels = 1ull << 30;
// The most scans a file may have. libjpeg's standard progression writes 10 (6 for greyscale),
// the most elaborate scan scripts encoders write a few tens; every scan of a progressive file is
// a pass over the whole picture, so a file of thousands of tiny scans costs minutes of work. A
// file with more counts as damaged.
constexpr int maxJpegScans = 100;

// Opens a file for reading only when it is a regular file: a FIFO, a device, a socket or a
// directory gives null (and never blocks, as opening a FIFO with no writer would).
FILE* OpenRegularFile(const std::string& path);
// The whole of a picture file, read only when it is a regular file. False otherwise or on error.
bool ReadPictureFile(const std::string& path, std::string& bytes);

// Reads the header only. False for a missing or unreadable file or anything that is not a JPEG.
bool ReadJpegInfo(const std::string& path, JpegInfo& info);

// The largest DCT scale denominator (1, 2, 4 or 8) whose output still has a longer side of at
// least `wantedSide` pixels; 1 when even the full size is not that large. `wantedSide` <= 0
// asks for the smallest output (8).
int ScaleDenominatorFor(int width, int height, int wantedSide);

// Output size of a width x height picture decoded at 1/denominator: libjpeg rounds up.
int ScaledSide(int side, int denominator);

enum class DecodeResult {
  Ok,         // the whole picture, undamaged
  Failed,     // missing, not a regular file, not a JPEG, or damaged data (warnings that mean
              // corruption count, as do more than maxJpegScans scans)
  TooLarge,   // the declared size is beyond maxJpegPixels, the scaled output beyond `maxPixels`,
              // or decoding would need more than the whole decode memory; nothing was allocated
  Cancelled,  // the cancel flag was raised
};

// What one decode may cost, and where its memory comes from.
struct DecodeLimits {
  unsigned long long maxPixels = 1ull << 28;  // of the scaled output
  // Memory the caller needs besides the output for what it makes of it (a reduced copy, mipmaps):
  // reserved with the decode, so that no one waits for memory half-way through a picture.
  size_t extraBytes = 0;
  // Polled while decoding (and while waiting for memory): raised, the decode stops soon.
  const std::atomic<bool>* cancel = nullptr;
  DecodeMemory* memory = nullptr;  // null: SharedDecodeMemory()
  // Receives the reservation of the output and `extraBytes` (libjpeg's own is given back when
  // it is done); null: that too is given back on return.
  MemoryHold* hold = nullptr;
};

// Decodes the file at 1/denominator (1, 2, 4 or 8) into `out` (alpha 255 everywhere); the float
// inverse DCT and block smoothing as the editor always decoded. Greyscale becomes equal red,
// green and blue; CMYK and YCCK (Adobe's inverted or plain) are converted. On anything but Ok,
// `out` is left empty. The whole decode (libjpeg's coefficient buffers, which progressive and
// multi-scan files keep for the full picture whatever the scale, its row buffers and the output)
// is reserved in the decode memory before anything is allocated.
DecodeResult DecodeJpegRgba(const std::string& path, int denominator, RgbaPicture& out, const DecodeLimits& limits);
// The same with only an output limit.
DecodeResult DecodeJpegRgba(const std::string& path, int denominator, RgbaPicture& out,
                            unsigned long long maxPixels = 1ull << 28);
