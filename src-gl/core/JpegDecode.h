#pragma once
// JPEG decoding for drawing: the header alone, or the picture at a DCT scale (1/1, 1/2, 1/4,
// 1/8) straight into the layout a texture wants (RGBA, bottom row first), so that neither a
// full-size bitmap nor a second copy is ever made.

#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

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

// Reads the header only. False for a missing or unreadable file or anything that is not a JPEG.
bool ReadJpegInfo(const std::string& path, JpegInfo& info);

// The largest DCT scale denominator (1, 2, 4 or 8) whose output still has a longer side of at
// least `wantedSide` pixels; 1 when even the full size is not that large. `wantedSide` <= 0
// asks for the smallest output (8).
int ScaleDenominatorFor(int width, int height, int wantedSide);

// Output size of a width x height picture decoded at 1/denominator: libjpeg rounds up.
int ScaledSide(int side, int denominator);

enum class DecodeResult {
  Ok,        // the whole picture, undamaged
  Failed,    // missing, not a JPEG, or damaged data (warnings that mean corruption count)
  TooLarge,  // the scaled output would exceed `maxPixels`; nothing was allocated
};

// Decodes the file at 1/denominator (1, 2, 4 or 8) into `out` (alpha 255 everywhere); the float
// inverse DCT and block smoothing as the editor always decoded. Greyscale becomes equal red,
// green and blue; CMYK and YCCK (Adobe's inverted or plain) are converted. On anything but Ok,
// `out` is left empty. `maxPixels` bounds what a header may make us allocate.
DecodeResult DecodeJpegRgba(const std::string& path, int denominator, RgbaPicture& out,
                            unsigned long long maxPixels = 1ull << 28);
