#include "PictureFiles.h"

#include <png.h>
#include <webp/encode.h>
#include <zlib.h>

#include "PictureDecode.h"
#include "TestFiles.h"

#include <algorithm>
#include <cmath>
#include <map>
#include <stdexcept>
#include <vector>

namespace {

void Append(png_structp png, png_bytep data, png_size_t length) {
  static_cast<std::string*>(png_get_io_ptr(png))->append(reinterpret_cast<const char*>(data), length);
}

void Fail(png_structp, png_const_charp message) { throw std::runtime_error(message); }

}  // namespace

std::string EncodePng(int width, int height, const RgbaSource& pixel, const PngOptions& o) {
  std::string bytes;
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, Fail, nullptr);
  png_infop info = png_create_info_struct(png);
  int type = PNG_COLOR_TYPE_RGB, channels = 3;
  switch (o.layout) {
    case PngLayout::Grey:
      type = PNG_COLOR_TYPE_GRAY, channels = 1;
      break;
    case PngLayout::GreyAlpha:
      type = PNG_COLOR_TYPE_GRAY_ALPHA, channels = 2;
      break;
    case PngLayout::Rgb:
      break;
    case PngLayout::Rgba:
      type = PNG_COLOR_TYPE_RGB_ALPHA, channels = 4;
      break;
    case PngLayout::Palette:
      type = PNG_COLOR_TYPE_PALETTE, channels = 1;
      break;
  }
  const int depth = o.layout == PngLayout::Palette ? 8 : o.depth;
  const int sampleBytes = depth / 8;
  std::vector<std::vector<png_byte>> rows(static_cast<size_t>(height),
                                          std::vector<png_byte>(static_cast<size_t>(width * channels * sampleBytes)));
  std::map<uint32_t, int> palette;
  std::vector<png_color> colours;
  std::vector<png_byte> alphas;
  bool translucent = false;
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x) {
      const Rgba p = pixel(x, y);
      png_byte* out = rows[static_cast<size_t>(y)].data() + static_cast<size_t>(x * channels * sampleBytes);
      if (o.layout == PngLayout::Palette) {
        const uint32_t key = p.r | p.g << 8 | p.b << 16 | static_cast<uint32_t>(p.a) << 24;
        auto [it, added] = palette.try_emplace(key, static_cast<int>(colours.size()));
        if (added) {
          colours.push_back(png_color{p.r, p.g, p.b});
          alphas.push_back(p.a);
          translucent = translucent || p.a != 255;
        }
        *out = static_cast<png_byte>(it->second);
        continue;
      }
      const uint8_t samples[4] = {p.r, p.g, p.b, p.a};
      const uint8_t grey[2] = {p.r, p.a};
      const uint8_t* from = channels <= 2 ? grey : samples;
      for (int c = 0; c < channels; ++c)
        for (int k = 0; k < sampleBytes; ++k) *out++ = from[c];  // 16 bits: the byte repeated, v * 257
    }
  png_set_write_fn(png, &bytes, Append, nullptr);
  png_set_IHDR(png, info, static_cast<png_uint_32>(width), static_cast<png_uint_32>(height), depth, type,
               o.interlaced ? PNG_INTERLACE_ADAM7 : PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
               PNG_FILTER_TYPE_DEFAULT);
  if (o.layout == PngLayout::Palette) {
    png_set_PLTE(png, info, colours.data(), static_cast<int>(colours.size()));
    if (translucent) png_set_tRNS(png, info, alphas.data(), static_cast<int>(alphas.size()), nullptr);
  }
  std::vector<png_bytep> pointers;
  for (auto& row : rows) pointers.push_back(row.data());
  png_set_rows(png, info, pointers.data());
  png_write_png(png, info, PNG_TRANSFORM_IDENTITY, nullptr);
  png_destroy_write_struct(&png, &info);
  return bytes;
}

std::string EncodeWebp(int width, int height, const RgbaSource& pixel, bool lossless) {
  std::vector<uint8_t> rgba(static_cast<size_t>(width * height * 4));
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x) {
      const Rgba p = pixel(x, y);
      uint8_t* out = rgba.data() + static_cast<size_t>((y * width + x) * 4);
      out[0] = p.r, out[1] = p.g, out[2] = p.b, out[3] = p.a;
    }
  uint8_t* encoded = nullptr;
  const size_t size = lossless ? WebPEncodeLosslessRGBA(rgba.data(), width, height, width * 4, &encoded)
                               : WebPEncodeRGBA(rgba.data(), width, height, width * 4, 90, &encoded);
  std::string bytes(reinterpret_cast<const char*>(encoded), size);
  WebPFree(encoded);
  return bytes;
}

std::string PngChunk(const char type[4], const std::string& data) {
  std::string chunk;
  const uint32_t length = static_cast<uint32_t>(data.size());
  for (int shift : {24, 16, 8, 0}) chunk += static_cast<char>((length >> shift) & 0xFF);
  chunk.append(type, 4);
  chunk += data;
  const uLong crc = crc32(0, reinterpret_cast<const Bytef*>(chunk.data() + 4), static_cast<uInt>(chunk.size() - 4));
  for (int shift : {24, 16, 8, 0}) chunk += static_cast<char>((crc >> shift) & 0xFF);
  return chunk;
}

namespace {

struct Tap {
  int source;
  float weight;
};

// For each of `outputs` samples over [start, start + length) of a line of `sources` pixels: the
// source pixels and weights, pixel i covering [i, i + 1).
std::vector<std::vector<Tap>> ResampleTaps(int outputs, double start, double length, int sources) {
  std::vector<std::vector<Tap>> taps(static_cast<size_t>(outputs));
  const double step = length / outputs;
  for (int o = 0; o < outputs; ++o) {
    std::vector<Tap>& line = taps[static_cast<size_t>(o)];
    if (step >= 1.0) {  // the area each output pixel covers
      const double from = start + o * step, to = from + step;
      for (int s = static_cast<int>(std::floor(from)); s < to; ++s) {
        const double covered = std::min<double>(to, s + 1) - std::max<double>(from, s);
        if (covered > 0) line.push_back({std::clamp(s, 0, sources - 1), static_cast<float>(covered / step)});
      }
    } else {  // linear between the two pixel centres around the output's
      const double centre = start + (o + 0.5) * step - 0.5;
      const int left = static_cast<int>(std::floor(centre));
      const double t = centre - left;
      line.push_back({std::clamp(left, 0, sources - 1), static_cast<float>(1 - t)});
      line.push_back({std::clamp(left + 1, 0, sources - 1), static_cast<float>(t)});
    }
  }
  return taps;
}

}  // namespace

bool WriteZoomSequence(const std::string& photo, const std::vector<std::string>& paths, int width, int height,
                       double factor) {
  RgbaPicture picture;
  if (DecodePictureRgba(photo, 1, picture) != DecodeResult::Ok) return false;
  const int w = picture.width, h = picture.height;
  double region = 1.0;
  for (const std::string& path : paths) {
    const double rw = w * region, rh = h * region;
    const auto across = ResampleTaps(width, (w - rw) / 2, rw, w);
    const auto down = ResampleTaps(height, (h - rh) / 2, rh, h);
    // Rows first (every source row, the output's columns), then columns; the decode is bottom row first.
    std::vector<float> rows(static_cast<size_t>(h) * width * 3);
    for (int y = 0; y < h; ++y)
      for (int x = 0; x < width; ++x)
        for (const Tap& tap : across[static_cast<size_t>(x)])
          for (int c = 0; c < 3; ++c)
            rows[(static_cast<size_t>(y) * width + x) * 3 + c] +=
                tap.weight * picture.rgba[(static_cast<size_t>(h - 1 - y) * w + tap.source) * 4 + c];
    std::vector<uint8_t> out(static_cast<size_t>(width) * height * 3);
    for (int y = 0; y < height; ++y)
      for (int x = 0; x < width; ++x)
        for (int c = 0; c < 3; ++c) {
          float sum = 0;
          for (const Tap& tap : down[static_cast<size_t>(y)])
            sum += tap.weight * rows[(static_cast<size_t>(tap.source) * width + x) * 3 + c];
          out[(static_cast<size_t>(y) * width + x) * 3 + c] = static_cast<uint8_t>(std::clamp(sum + 0.5f, 0.f, 255.f));
        }
    WriteFileBytes(path, EncodePng(width, height, [&out, width](int x, int y) {
                     const uint8_t* p = &out[(static_cast<size_t>(y) * width + x) * 3];
                     return Rgba{p[0], p[1], p[2], 255};
                   }));
    region /= factor;
  }
  return true;
}
