// How long one picture takes from file to texture, over the real photographs of the test corpus:
// libjpeg decoding alone, decoding plus the faded-border RGBA image, and the whole load with the
// mipmapped GL upload (Mesa's software renderer here). Prints figures and ratios; no pass or fail.
//   load_bench [photo directory] [repetitions]

#include <GL/gl.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "OffscreenGl.h"
#include "image.h"

namespace {

using Clock = std::chrono::steady_clock;

double Milliseconds(Clock::duration d) { return std::chrono::duration<double, std::milli>(d).count(); }

double Median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  return values[values.size() / 2];
}

struct Row {
  std::string name;
  double megapixels = 0;
  double decode = 0, texture = 0, whole = 0;  // milliseconds, medians
};

std::unique_ptr<Image> Named(const std::string& path) {
  auto image = std::make_unique<Image>();
  image->fileName = path;
  image->ResolvePath("");
  return image;
}

}  // namespace

int main(int argc, char** argv) {
  std::string directory = argc > 1 ? argv[1] : TV_PHOTO_DIR;
  int repetitions = argc > 2 ? std::max(1, std::atoi(argv[2])) : 5;
  std::string error;
  if (!MakeOffscreenGlCurrent(64, 64, error)) {
    std::fprintf(stderr, "load_bench: %s\n", error.c_str());
    return 1;
  }
  std::vector<std::string> files;
  for (const auto& entry : std::filesystem::directory_iterator(directory))
    if (entry.path().extension() == ".jpg" || entry.path().extension() == ".jpeg") files.push_back(entry.path());
  std::sort(files.begin(), files.end());
  if (files.empty()) {
    std::fprintf(stderr, "load_bench: no JPEG files in %s\n", directory.c_str());
    return 1;
  }
  const int limit = TextureLimit();

  std::vector<Row> rows;
  for (const std::string& file : files) {
    Row row;
    row.name = std::filesystem::path(file).filename();
    std::vector<double> decode, texture, whole;
    for (int r = 0; r < repetitions; ++r) {
      auto a = Named(file);
      auto t0 = Clock::now();
      a->LoadJpeg();
      decode.push_back(Milliseconds(Clock::now() - t0));
      row.megapixels = a->bitmap.width() * static_cast<double>(a->bitmap.height()) / 1e6;

      auto b = Named(file);
      t0 = Clock::now();
      b->LoadJpeg();
      b->PrepareTexture(limit);
      texture.push_back(Milliseconds(Clock::now() - t0));

      auto c = Named(file);
      t0 = Clock::now();
      c->LoadJpeg();
      bool reduced = false;
      c->CreateTexture(reduced);
      glFinish();
      whole.push_back(Milliseconds(Clock::now() - t0));
    }
    row.decode = Median(decode);
    row.texture = Median(texture);
    row.whole = Median(whole);
    rows.push_back(row);
  }

  std::printf("Picture load, median of %d runs, texture limit %d\n\n", repetitions, limit);
  std::printf("%-28s %7s | %9s %9s %9s | %9s %9s %9s | %6s\n", "picture", "MP", "decode", "+texture", "+upload",
              "dec/MP", "tex/MP", "whole/MP", "whole/dec");
  double mp = 0, decode = 0, texture = 0, whole = 0;
  for (const Row& r : rows) {
    std::printf("%-28s %7.2f | %7.1fms %7.1fms %7.1fms | %9.1f %9.1f %9.1f | %6.2fx\n", r.name.c_str(), r.megapixels,
                r.decode, r.texture, r.whole, r.decode / r.megapixels, r.texture / r.megapixels, r.whole / r.megapixels,
                r.whole / r.decode);
    mp += r.megapixels;
    decode += r.decode;
    texture += r.texture;
    whole += r.whole;
  }
  std::printf("%-28s %7.2f | %7.1fms %7.1fms %7.1fms | %9.1f %9.1f %9.1f | %6.2fx\n", "all", mp, decode, texture, whole,
              decode / mp, texture / mp, whole / mp, whole / decode);

  // The whole set, as a project load does it (decoding and texture images side by side, then
  // the uploads), against the same work one picture after another.
  auto loadSet = [&](bool parallel) {
    std::vector<std::unique_ptr<Image>> images;
    for (const std::string& file : files) images.push_back(Named(file));
    auto start = Clock::now();
    auto prepare = [&](size_t i) {
      images[i]->LoadJpeg();
      images[i]->PrepareTexture(limit);
    };
    if (parallel)
      ForEachParallel(images.size(), prepare);
    else
      for (size_t i = 0; i < images.size(); ++i) prepare(i);
    for (auto& image : images) image->UploadTexture();
    glFinish();
    return Milliseconds(Clock::now() - start);
  };
  std::vector<double> serialRuns, parallelRuns;
  for (int r = 0; r < repetitions; ++r) {
    serialRuns.push_back(loadSet(false));
    parallelRuns.push_back(loadSet(true));
  }
  double serial = Median(serialRuns), parallel = Median(parallelRuns);
  std::printf("\nWhole set: one after another %.1f ms, decoding side by side %.1f ms (%.2fx)\n", serial, parallel,
              serial / parallel);
  return 0;
}
