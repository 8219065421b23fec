// How long pictures take from file to the first sharp frame, over the real photographs of the test
// corpus: libjpeg's full decode on one thread (the reference), the check every opened picture gets,
// and a project of all of them opened and drawn at 1280 x 960 with every level it needs (Mesa's
// software renderer here). Prints figures and ratios; no pass or fail.
//   load_bench [photo directory] [repetitions]

#include <GL/gl.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "Imagestack.h"
#include "JpegDecode.h"
#include "OffscreenGl.h"
#include "Renderer.h"
#include "SafeFile.h"
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
  double decode = 0, check = 0;  // milliseconds, medians
};

std::unique_ptr<Image> Named(const std::string& path) {
  auto image = std::make_unique<Image>();
  image->fileName = path;
  image->ResolvePath("");
  return image;
}

// Opens `project` and draws its first frame with every level it needs: the time to the first
// frame, which is also the time until everything that frame shows is loaded.
double FirstFrame(const std::string& project, Renderer& renderer) {
  const auto start = Clock::now();
  std::unique_ptr<ImageStack> stack = OpenProject(project);
  if (!stack || stack->count() < 2) return -1;
  const Image& first = *stack->images[0];
  renderer.DrawZoom(*stack, 0.0, ViewGeometry::Fitted(1280, 960, first.width, first.height));
  glFinish();
  return Milliseconds(Clock::now() - start);
}

}  // namespace

int main(int argc, char** argv) {
  std::string directory = argc > 1 ? argv[1] : TV_PHOTO_DIR;
  int repetitions = argc > 2 ? std::max(1, std::atoi(argv[2])) : 5;
  std::string error;
  if (!MakeOffscreenGlCurrent(1280, 960, error)) {
    std::fprintf(stderr, "load_bench: %s\n", error.c_str());
    return 1;
  }
  std::vector<std::string> files;
  for (const auto& entry : std::filesystem::directory_iterator(directory))
    if (entry.path().extension() == ".jpg" || entry.path().extension() == ".jpeg")
      files.push_back(std::filesystem::absolute(entry.path()));
  std::sort(files.begin(), files.end());
  if (files.empty()) {
    std::fprintf(stderr, "load_bench: no JPEG files in %s\n", directory.c_str());
    return 1;
  }

  std::vector<Row> rows;
  for (const std::string& file : files) {
    Row row;
    row.name = std::filesystem::path(file).filename();
    std::vector<double> decode, check;
    for (int r = 0; r < repetitions; ++r) {
      RgbaPicture full;
      auto t0 = Clock::now();
      DecodeJpegRgba(file, 1, full);
      decode.push_back(Milliseconds(Clock::now() - t0));
      row.megapixels = full.width * static_cast<double>(full.height) / 1e6;
      auto image = Named(file);
      t0 = Clock::now();
      image->LoadJpeg();
      check.push_back(Milliseconds(Clock::now() - t0));
    }
    row.decode = Median(decode);
    row.check = Median(check);
    rows.push_back(row);
  }

  std::printf("Pictures, median of %d runs\n\n", repetitions);
  std::printf("%-28s %7s | %12s %12s | %10s\n", "picture", "MP", "full decode", "check", "check/full");
  double mp = 0, decode = 0, check = 0;
  for (const Row& r : rows) {
    std::printf("%-28s %7.2f | %10.1fms %10.1fms | %9.2fx\n", r.name.c_str(), r.megapixels, r.decode, r.check,
                r.check / r.decode);
    mp += r.megapixels;
    decode += r.decode;
    check += r.check;
  }
  std::printf("%-28s %7.2f | %10.1fms %10.1fms | %9.2fx\n", "all", mp, decode, check, check / decode);

  // All of them as one project, each inside the one before, opened and drawn: against the full
  // decode of every file on one thread.
  const std::string project = (std::filesystem::temp_directory_path() / "load_bench_project.kx").string();
  std::string text = "#Tunnelvista v1.0\r\nduration 10.0\r\nimages " + std::to_string(files.size()) + "\r\n\r\n";
  for (const std::string& file : files)
    text += "filename " + file + "\r\nscale 0.5\r\ntranslate 0 0\r\nrotate 0\r\n\r\n";
  text += "target\r\nscale 0.5\r\ntranslate 0 0\r\nrotate 0\r\n";
  if (WriteFileReplacing(project, text) != WriteResult::Ok) return 1;
  std::vector<double> frames;
  for (int r = 0; r < repetitions; ++r) {
    RendererOptions options;
    options.waitForLevels = true;
    Renderer renderer(options);
    Renderer::SetViewGlState();
    frames.push_back(FirstFrame(project, renderer));
  }
  std::remove(project.c_str());
  const double frame = Median(frames);
  std::printf(
      "\nProject of all %zu pictures: first sharp frame %.1f ms; full decode of every file on one thread "
      "%.1f ms (%.2fx)\n",
      files.size(), frame, decode, frame / decode);
  return 0;
}
