// load_bench's PNG and WebP part: the large photographs written as PNG and as lossy WebP, our full
// decode and our check against each library's own whole decode to RGBA on one thread, in the same
// run.

#include "LoadBenchKinds.h"

#include <png.h>
#include <webp/decode.h>
#include <webp/encode.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <memory>

#include "BenchPictures.h"
#include "PictureDecode.h"
#include "image.h"

namespace {

using Clock = BenchClock;

// libpng's simplified reader to 8-bit RGBA: what an application that only wants the pixels does.
bool LibpngDecode(const std::string& file) {
  png_image image{};
  image.version = PNG_IMAGE_VERSION;
  if (!png_image_begin_read_from_file(&image, file.c_str())) return false;
  image.format = PNG_FORMAT_RGBA;
  std::unique_ptr<png_byte[]> pixels(new png_byte[PNG_IMAGE_SIZE(image)]);
  const bool ok = png_image_finish_read(&image, nullptr, pixels.get(), 0, nullptr) != 0;
  png_image_free(&image);
  return ok;
}

bool LibwebpDecode(const std::string& file) {
  std::string bytes;
  if (!ReadPictureFile(file, bytes)) return false;
  int width = 0, height = 0;
  uint8_t* pixels = WebPDecodeRGBA(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size(), &width, &height);
  WebPFree(pixels);
  return pixels != nullptr;
}

bool WritePng(const std::string& path, const RgbaPicture& picture) {
  png_image image{};
  image.version = PNG_IMAGE_VERSION;
  image.width = static_cast<png_uint_32>(picture.width);
  image.height = static_cast<png_uint_32>(picture.height);
  image.format = PNG_FORMAT_RGB;
  std::vector<uint8_t> rgb(static_cast<size_t>(picture.width) * picture.height * 3);
  for (int y = 0; y < picture.height; ++y)  // bottom-up RGBA to top-down RGB
    for (int x = 0; x < picture.width; ++x)
      for (int c = 0; c < 3; ++c)
        rgb[(static_cast<size_t>(y) * picture.width + x) * 3 + c] =
            picture.rgba[(static_cast<size_t>(picture.height - 1 - y) * picture.width + x) * 4 + c];
  return png_image_write_to_file(&image, path.c_str(), 0, rgb.data(), 0, nullptr) != 0;
}

bool WriteWebp(const std::string& path, const RgbaPicture& picture) {
  uint8_t* encoded = nullptr;
  // Bottom-up rows: start at the last and step back.
  const uint8_t* top = picture.rgba.data() + static_cast<size_t>(picture.height - 1) * picture.width * 4;
  const size_t size = WebPEncodeRGBA(top, picture.width, picture.height, -picture.width * 4, 90, &encoded);
  if (size == 0) return false;
  FILE* file = std::fopen(path.c_str(), "wb");
  const bool ok = file && std::fwrite(encoded, 1, size, file) == size;
  if (file) std::fclose(file);
  WebPFree(encoded);
  return ok;
}

double Time(const std::function<bool()>& run) {
  const auto start = Clock::now();
  return run() ? Milliseconds(Clock::now() - start) : -1;
}

// Medians of `repetitions` rounds, each timing every one of `runs` in turn, so that a machine
// busy with other work slows them all alike. -1 for a run that failed.
std::vector<double> Interleaved(int repetitions, const std::vector<std::function<bool()>>& runs) {
  std::vector<std::vector<double>> times(runs.size());
  for (int r = 0; r < repetitions; ++r)
    for (size_t i = 0; i < runs.size(); ++i) times[i].push_back(Time(runs[i]));
  std::vector<double> medians;
  for (const std::vector<double>& t : times)
    medians.push_back(*std::min_element(t.begin(), t.end()) < 0 ? -1 : Median(t));
  return medians;
}

}  // namespace

void MeasureOtherKinds(const std::vector<std::string>& photographs, const std::string& work, int repetitions) {
  std::printf(
      "\nPNG and WebP (the large photographs written as PNG and as lossy WebP, quality 90), median of %d "
      "rounds (the three runs in turn), all on one thread; the library's own: libpng's simplified reader, "
      "WebPDecodeRGBA\n\n",
      repetitions);
  std::printf("%-28s %7s | %12s %12s %12s | %10s %11s\n", "picture", "MP", "library", "full decode", "check",
              "full/lib", "check/lib");
  double library = 0, ours = 0, checks = 0;
  for (const std::string& photograph : photographs) {
    RgbaPicture picture;
    if (DecodeJpegRgba(photograph, 1, picture) != DecodeResult::Ok) continue;
    const std::string stem = work + "/" + std::filesystem::path(photograph).stem().string();
    const double megapixels = picture.width * static_cast<double>(picture.height) / 1e6;
    const struct {
      std::string file;
      bool written;
      std::function<bool(const std::string&)> reference;
    } kinds[] = {
        {stem + ".png", WritePng(stem + ".png", picture), LibpngDecode},
        {stem + ".webp", WriteWebp(stem + ".webp", picture), LibwebpDecode},
    };
    picture = RgbaPicture();
    for (const auto& kind : kinds) {
      if (!kind.written) {
        std::printf("%-28s cannot be written\n", kind.file.c_str());
        continue;
      }
      const std::vector<double> t =
          Interleaved(repetitions, {[&] { return kind.reference(kind.file); },
                                    [&] {
                                      RgbaPicture decoded;
                                      return DecodePictureRgba(kind.file, 1, decoded) == DecodeResult::Ok;
                                    },
                                    [&] {
                                      Image image;
                                      image.fileName = kind.file;
                                      image.ResolvePath("");
                                      return image.LoadJpeg();
                                    }});
      const double lib = t[0], full = t[1], check = t[2];
      std::printf("%-28s %7.2f | %10.1fms %10.1fms %10.1fms | %9.2fx %10.2fx\n",
                  std::filesystem::path(kind.file).filename().c_str(), megapixels, lib, full, check, full / lib,
                  check / lib);
      std::fflush(stdout);
      library += lib;
      ours += full;
      checks += check;
    }
  }
  if (library > 0)
    std::printf(
        "%-28s %7s | %10.1fms %10.1fms %10.1fms | %9.2fx %10.2fx\nGoal: full decode within 1.00x the "
        "library's own: %s\n",
        "all", "", library, ours, checks, ours / library, checks / library, ours <= library ? "met" : "NOT met");
}
