// How long one playback frame of the demo project takes: DrawAtTime at 200 times spread over the
// whole zoom, in the editor's view size and at full HD, against a frame that draws one
// view-filling textured quad (Mesa's software renderer here). Also how many pictures the
// coverage test lets through per frame. Prints figures and ratios; no pass or fail.
//   frame_bench [demo directory]
// Without a directory the demo is rendered into a temporary one first (several seconds).

#include <GL/gl.h>
#include <stdlib.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <sstream>
#include <string>
#include <system_error>
#include <vector>

#include "Imagestack.h"
#include "OffscreenGl.h"
#include "SafeFile.h"
#include "demo_placements.h"
#include "demo_render.h"

namespace {

using Clock = std::chrono::steady_clock;

const int frames = 200;

double Milliseconds(Clock::duration d) { return std::chrono::duration<double, std::milli>(d).count(); }

double Median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  return values[values.size() / 2];
}

// A fresh directory under the system's temporary directory, removed with its contents.
class TemporaryDirectory {
 public:
  bool Create() {
    std::string pattern = (std::filesystem::temp_directory_path() / "frame_bench.XXXXXX").string();
    std::vector<char> name(pattern.begin(), pattern.end());
    name.push_back('\0');
    if (!mkdtemp(name.data())) return false;
    path_ = name.data();
    return true;
  }
  ~TemporaryDirectory() {
    std::error_code ignored;
    if (!path_.empty()) std::filesystem::remove_all(path_, ignored);
  }
  const std::string& path() const { return path_; }

 private:
  std::string path_;
};

// The demo project as make_demo writes it: the same pictures, samples and JPEG quality.
bool WriteDemo(const std::string& directory) {
  const auto placements = DemoPlacements();
  const auto maps = DemoPlaneMaps();
  ImageStack project;
  project.path = directory + "/" + demoProjectName;
  for (int i = 0; i < demoElementCount; ++i) {
    auto element = std::make_unique<Image>();
    element->transform = placements[static_cast<size_t>(i)];
    element->width = demoPictureWidth;
    element->height = demoPictureHeight;
    if (i < demoPictureCount) {
      element->fileName = DemoPictureName(i + 1);
      const std::vector<uint8_t> rgb =
          RenderPicture(maps[static_cast<size_t>(i)], demoPictureWidth, demoPictureHeight, 2);
      std::vector<uint8_t> jpeg;
      std::string error;
      if (!EncodeJpeg(rgb, demoPictureWidth, demoPictureHeight, 92, jpeg, error)) {
        std::fprintf(stderr, "frame_bench: cannot encode %s: %s\n", element->fileName.c_str(), error.c_str());
        return false;
      }
      const std::string path = directory + "/" + element->fileName;
      if (WriteFileReplacing(path, std::string(jpeg.begin(), jpeg.end())) != WriteResult::Ok) {
        std::fprintf(stderr, "frame_bench: cannot write %s\n", path.c_str());
        return false;
      }
    }
    project.images.push_back(std::move(element));
  }
  std::ostringstream text;
  project.SaveProject(text);
  if (WriteFileReplacing(project.path, text.str()) != WriteResult::Ok) {
    std::fprintf(stderr, "frame_bench: cannot write %s\n", project.path.c_str());
    return false;
  }
  return true;
}

// The view state the main window keeps for a W x H view: projection fitted to the first picture.
// Returns the factor by which the first picture must grow to cover the whole view.
double SetUpView(const ImageStack& stack, int width, int height) {
  glViewport(0, 0, width, height);
  glMatrixMode(GL_PROJECTION);
  glLoadIdentity();
  const Extents e = ElementExtents(stack.images[0]->width, stack.images[0]->height);
  const double ex = e.ex, ey = e.ey, w = width, h = height;
  double halfWidth, halfHeight;
  if (ex / ey > w / h) {
    halfWidth = ex / 2;
    halfHeight = ex * h / w / 2;
  } else {
    halfWidth = ey * w / h / 2;
    halfHeight = ey / 2;
  }
  glOrtho(-halfWidth, halfWidth, -halfHeight, halfHeight, -1, 1);
  glMatrixMode(GL_MODELVIEW);
  glLoadIdentity();
  glDisable(GL_DEPTH_TEST);
  glDisable(GL_LIGHTING);
  glEnable(GL_TEXTURE_2D);
  glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
  glClearColor(0.25f, 0.25f, 0.25f, 1.0f);
  return std::max(halfWidth / (ex / 2), halfHeight / (ey / 2)) * 1.01;
}

// The pictures DrawAtTime draws at time t, by the same decision: every picture but those whose
// successor's opaque core covers the view. Needs built keys.
int PicturesDrawn(const ImageStack& stack, float t) {
  glMatrixMode(GL_MODELVIEW);
  glPushMatrix();
  stack.ViewAtTime(t);
  double view[16];
  glGetDoublev(GL_MODELVIEW_MATRIX, view);
  glPopMatrix();
  const int pictures = stack.count() - 1;
  int drawn = 0;
  for (int j = 0; j < pictures; ++j)
    if (j + 1 == pictures || !stack.images[static_cast<size_t>(j + 1)]->CoversView(view)) ++drawn;
  return drawn;
}

void ClearAndWait() {
  glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
  glFinish();
}

struct Row {
  int width, height;
  double frame, quad, pictures;  // median ms, median ms, mean count
};

Row Measure(ImageStack& stack, int width, int height) {
  Row row{width, height, 0, 0, 0};
  const double cover = SetUpView(stack, width, height);
  ClearAndWait();
  stack.DrawAtTime(0);  // builds the keys, outside the timing
  glFinish();

  std::vector<double> times;
  long drawn = 0;
  for (int k = 0; k < frames; ++k) {
    const float t = static_cast<float>(k) / (frames - 1);
    ClearAndWait();
    const auto start = Clock::now();
    stack.DrawAtTime(t);
    glFinish();
    times.push_back(Milliseconds(Clock::now() - start));
    drawn += PicturesDrawn(stack, t);
  }
  row.frame = Median(times);
  row.pictures = static_cast<double>(drawn) / frames;

  times.clear();
  for (int k = 0; k < frames; ++k) {
    ClearAndWait();
    const auto start = Clock::now();
    glLoadIdentity();
    glScaled(cover, cover, 1);
    glColor4f(1, 1, 1, 1);
    glDisable(GL_BLEND);
    DrawElementQuad(*stack.images[0]);
    glFinish();
    times.push_back(Milliseconds(Clock::now() - start));
  }
  row.quad = Median(times);
  return row;
}

}  // namespace

int main(int argc, char** argv) {
  const int sizes[][2] = {{441, 338}, {1920, 1080}};
  std::string error;
  // One context for the process, as large as the largest view; smaller views use its corner.
  if (!MakeOffscreenGlCurrent(1920, 1080, error)) {
    std::fprintf(stderr, "frame_bench: %s\n", error.c_str());
    return 1;
  }

  TemporaryDirectory generated;
  std::string directory;
  if (argc > 1) {
    directory = argv[1];
  } else {
    if (!generated.Create()) {
      std::fprintf(stderr, "frame_bench: cannot create a temporary directory\n");
      return 1;
    }
    directory = generated.path();
    std::printf("rendering the demo into %s ...\n", directory.c_str());
    std::fflush(stdout);
    const auto start = Clock::now();
    if (!WriteDemo(directory)) return 1;
    std::printf("rendered in %.1f s\n", Milliseconds(Clock::now() - start) / 1000);
  }

  std::error_code failure;
  const std::string project = std::filesystem::absolute(std::filesystem::path(directory) / demoProjectName, failure);
  std::unique_ptr<ImageStack> stack = failure ? nullptr : OpenProject(project);
  if (!stack || stack->count() < 2) {
    std::fprintf(stderr, "frame_bench: cannot open %s\n", project.c_str());
    return 1;
  }

  std::printf("%s: %d pictures, %d frames over t = 0 .. 1 per view size\n", project.c_str(), stack->count() - 1,
              frames);
  std::printf("%-12s %14s %16s %14s %12s\n", "view", "frame (median)", "pictures/frame", "one quad", "frame/quad");
  for (const auto& size : sizes) {
    const Row row = Measure(*stack, size[0], size[1]);
    const std::string view = std::to_string(row.width) + " x " + std::to_string(row.height);
    std::printf("%-12s %11.3f ms %16.2f %11.3f ms %12.2f\n", view.c_str(), row.frame, row.pictures, row.quad,
                row.quad > 0 ? row.frame / row.quad : 0.0);
  }
  return 0;
}
