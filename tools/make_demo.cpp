// make_demo <output-directory>
//
// Writes the demo project: eight Mandelbrot pictures, each a deeper view inside the one before,
// and demo.kx, which places them so that the zoom plays without a seam. The output is the same,
// byte for byte, on every run, so drawing tests can use it as a reference.

#include <array>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <sstream>
#include <string>
#include <system_error>
#include <vector>

#include "Imagestack.h"
#include "SafeFile.h"
#include "demo_placements.h"
#include "demo_render.h"

namespace {

const int jpegQuality = 92;
// 2 x 2 samples per pixel: fine filaments stay continuous instead of breaking into dots.
const int samplesPerSide = 2;

bool WriteFile(const std::string& path, const std::string& bytes) {
  switch (WriteFileReplacing(path, bytes)) {
    case WriteResult::Ok:
      std::printf("wrote %s (%zu bytes)\n", path.c_str(), bytes.size());
      std::fflush(stdout);
      return true;
    case WriteResult::OpenFailed:
      std::fprintf(stderr, "make_demo: cannot open %s for writing\n", path.c_str());
      return false;
    case WriteResult::WriteFailed:
      std::fprintf(stderr, "make_demo: error writing %s\n", path.c_str());
      return false;
  }
  return false;
}

bool SameTransform(const Transform& a, const Transform& b) {
  return a.scale == b.scale && a.translateX == b.translateX && a.translateY == b.translateY && a.rotate == b.rotate;
}

// The project text; empty if reading it back would not give exactly the placements the pictures
// were rendered with (the zoom would then show seams).
std::string ProjectText(const std::string& path, const std::array<Transform, demoElementCount>& placements) {
  ImageStack stack;
  stack.path = path;
  for (int i = 0; i < demoElementCount; ++i) {
    auto element = std::make_unique<Image>();
    if (i < demoPictureCount) element->fileName = DemoPictureName(i + 1);
    element->transform = placements[static_cast<size_t>(i)];
    element->width = demoPictureWidth;
    element->height = demoPictureHeight;
    stack.images.push_back(std::move(element));
  }
  std::ostringstream out;
  stack.SaveProject(out);
  const std::string text = out.str();

  ImageStack check;
  check.path = path;
  if (!check.ReadProject(text) || check.count() != demoElementCount) return std::string();
  for (int i = 0; i < demoElementCount; ++i) {
    const size_t k = static_cast<size_t>(i);
    if (!SameTransform(check.images[k]->transform, placements[k])) return std::string();
    if (i < demoPictureCount && check.images[k]->fileName != DemoPictureName(i + 1)) return std::string();
  }
  return text;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2 || argv[1][0] == '\0') {
    std::fprintf(stderr, "usage: make_demo <output-directory>\n");
    return 2;
  }
  const auto start = std::chrono::steady_clock::now();
  const std::filesystem::path directory(argv[1]);
  std::error_code failure;
  std::filesystem::create_directories(directory, failure);
  if (failure || !std::filesystem::is_directory(directory)) {
    std::fprintf(stderr, "make_demo: cannot create directory %s%s%s\n", directory.string().c_str(), failure ? ": " : "",
                 failure ? failure.message().c_str() : "");
    return 1;
  }

  const std::array<Transform, demoElementCount> placements = DemoPlacements();
  const std::array<PlaneMap, demoElementCount> maps = DemoPlaneMaps();
  for (int i = 0; i < demoPictureCount; ++i) {
    // Each picture takes a while: say which one is being drawn before drawing it.
    std::printf("[%d/%d] drawing %s\n", i + 1, demoPictureCount, DemoPictureName(i + 1).c_str());
    std::fflush(stdout);
    const std::vector<uint8_t> rgb =
        RenderPicture(maps[static_cast<size_t>(i)], demoPictureWidth, demoPictureHeight, samplesPerSide);
    std::vector<uint8_t> jpeg;
    std::string error;
    const std::string path = (directory / DemoPictureName(i + 1)).string();
    if (!EncodeJpeg(rgb, demoPictureWidth, demoPictureHeight, jpegQuality, jpeg, error)) {
      std::fprintf(stderr, "make_demo: cannot encode %s: %s\n", path.c_str(), error.c_str());
      return 1;
    }
    if (!WriteFile(path, std::string(jpeg.begin(), jpeg.end()))) return 1;
  }

  // Last, so that a project file is never left behind without its pictures.
  const std::string projectPath = (directory / demoProjectName).string();
  const std::string text = ProjectText(projectPath, placements);
  if (text.empty()) {
    std::fprintf(stderr, "make_demo: the placements do not survive a save and load unchanged\n");
    return 1;
  }
  if (!WriteFile(projectPath, text)) return 1;

  const std::chrono::duration<double> elapsed = std::chrono::steady_clock::now() - start;
  std::printf("total %.2f s\n", elapsed.count());
  return 0;
}
