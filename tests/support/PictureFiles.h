#pragma once
// PNG and WebP files made with their own libraries, for tests of the decoders.

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

struct Rgba {
  uint8_t r, g, b, a;
};

// Pixel (x, y), y = 0 at the top.
using RgbaSource = std::function<Rgba(int x, int y)>;

enum class PngLayout {
  Grey,       // 8-bit grey (the red channel)
  GreyAlpha,  // 8-bit grey and alpha
  Rgb,
  Rgba,
  Palette,  // the colours given (at most 256 distinct), with a tRNS chunk when any is not opaque
};

struct PngOptions {
  PngLayout layout = PngLayout::Rgb;
  int depth = 8;  // 8 or 16 (not for Palette)
  bool interlaced = false;
};

std::string EncodePng(int width, int height, const RgbaSource& pixel, const PngOptions& options = {});
// `lossless` false: quality 90. Alpha is kept when any pixel is not opaque.
std::string EncodeWebp(int width, int height, const RgbaSource& pixel, bool lossless);

// A chunk with its length and checksum, to build or patch files.
std::string PngChunk(const char type[4], const std::string& data);

// A zoom as outpainting tools write one: PNG files at `paths`, each width x height, the first the
// whole photograph at `photo` (JPEG, of the pictures' shape), each next one the middle of the one
// before at 1/`factor` of its size (so its exact placement is scale 1/factor, centred, upright),
// resampled from the photograph (area average, or linear where it is enlarged). False when the
// photograph cannot be read.
bool WriteZoomSequence(const std::string& photo, const std::vector<std::string>& paths, int width, int height,
                       double factor);
