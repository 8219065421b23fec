// How long one playback frame takes, for the demo project and for zooms of 200 and 1000 pictures:
// the renderer's DrawZoom at 200 times spread over the whole zoom (p50 and p99), with the levels
// each frame needs already loaded, in the editor's view size and at full HD, against a frame that
// draws one view-filling picture (Mesa's software renderer here), and the same frames painting
// every picture whole (no overdraw reduction). Also how many pictures are drawn per frame. Prints figures and ratios;
// no pass or fail.
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

#include "BenchPictures.h"
#include "Imagestack.h"
#include "OffscreenGl.h"
#include "Renderer.h"
#include "SafeFile.h"
#include "demo_placements.h"
#include "demo_render.h"

namespace {

using Clock = BenchClock;

const int frames = 200;

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

// Factor by which the first picture must grow to cover the whole of a width x height view.
double CoverFactor(const ImageStack& stack, int width, int height) {
  const Image& first = *stack.images[0];
  const Extents e = ElementExtents(first.width, first.height);
  const ViewGeometry view = ViewGeometry::Fitted(width, height, first.width, first.height);
  return std::max(view.span.halfWidth / (e.ex / 2), view.span.halfHeight / (e.ey / 2)) * 1.01;
}

void ClearAndWait() {
  glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
  glFinish();
}

struct Row {
  int width, height;
  double p50, p99, quad, pictures, maxPictures;  // ms, ms, ms, mean and largest count
  double whole;                                  // p50 painting every picture whole, ms
};

double Percentile(std::vector<double> values, double fraction) {
  std::sort(values.begin(), values.end());
  return values[std::min(values.size() - 1, static_cast<size_t>(fraction * static_cast<double>(values.size())))];
}

Row Measure(Renderer& renderer, ImageStack& stack, ImageStack& single, int width, int height) {
  Row row{width, height, 0, 0, 0, 0, 0, 0};
  const Image& first = *stack.images[0];
  const ViewGeometry view = ViewGeometry::Fitted(width, height, first.width, first.height);
  std::vector<double> times, whole;  // without and with the overdraw
  long drawn = 0;
  for (int k = 0; k < frames; ++k) {
    const double t = static_cast<double>(k) / (frames - 1);
    // The frame is drawn once, untimed, to load every level it needs (a long zoom's levels do
    // not all fit the budget at once): the timed drawing is the drawing alone.
    renderer.DrawZoom(stack, t, view);
    for (bool reduce : {true, false}) {
      renderer.SetReduceOverdraw(reduce);
      ClearAndWait();
      const auto start = Clock::now();
      renderer.DrawZoom(stack, t, view);
      glFinish();
      (reduce ? times : whole).push_back(Milliseconds(Clock::now() - start));
    }
    renderer.SetReduceOverdraw(true);
    drawn += renderer.PicturesDrawn();
    row.maxPictures = std::max(row.maxPictures, static_cast<double>(renderer.PicturesDrawn()));
  }
  row.p50 = Median(times);
  row.whole = Median(whole);
  row.p99 = Percentile(times, 0.99);
  row.pictures = static_cast<double>(drawn) / frames;

  // One picture filling the whole view, blending off: the least a frame can cost.
  Transform cover;
  cover.scale = static_cast<float>(CoverFactor(single, width, height));
  renderer.DrawEditView(single, 0, cover, view);
  times.clear();
  for (int k = 0; k < frames; ++k) {
    ClearAndWait();
    const auto start = Clock::now();
    renderer.DrawEditView(single, 0, cover, view);
    glFinish();
    times.push_back(Milliseconds(Clock::now() - start));
  }
  row.quad = Median(times);
  return row;
}

// A project of `pictures` pictures, the demo's eight in turn, each half the size of the one
// before, slightly off centre and turned: a zoom of 2^pictures.
std::string WriteLongProject(const std::string& directory, int pictures) {
  std::ostringstream text;
  text << "#Tunnelvista v1.0\r\nduration 10.0\r\nimages " << pictures << "\r\n\r\n";
  for (int i = 0; i < pictures; ++i)
    text << "filename " << DemoPictureName(i % demoPictureCount + 1)
         << "\r\nscale 0.5\r\ntranslate 0.04 -0.02\r\nrotate 2\r\n\r\n";
  text << "target\r\nscale 0.5\r\ntranslate 0 0\r\nrotate 0\r\n";
  const std::string path = directory + "/long" + std::to_string(pictures) + ".kx";
  return WriteFileReplacing(path, text.str()) == WriteResult::Ok ? path : std::string();
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

  WorkDirectory generated;
  std::string directory;
  if (argc > 1) {
    directory = argv[1];
  } else {
    if (!generated.Open("", error)) {
      std::fprintf(stderr, "frame_bench: %s\n", error.c_str());
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
  const std::string demo = std::filesystem::absolute(std::filesystem::path(directory) / demoProjectName, failure);
  std::vector<std::string> projects = {demo};
  for (int pictures : {200, 1000}) projects.push_back(WriteLongProject(directory, pictures));

  RendererOptions options;
  options.waitForLevels = true;
  Renderer renderer(options);
  Renderer::SetViewGlState();
  std::unique_ptr<ImageStack> single = OpenProject(WriteLongProject(directory, 1));
  if (!single) return 1;
  std::printf("%-10s %-12s %10s %10s %14s %10s %10s %12s %12s\n", "project", "view", "p50", "p99", "pictures/frame",
              "most", "one quad", "p50/quad", "whole/quad");
  for (const std::string& project : projects) {
    std::unique_ptr<ImageStack> stack = project.empty() ? nullptr : OpenProject(project);
    if (!stack || stack->count() < 2) {
      std::fprintf(stderr, "frame_bench: cannot open %s\n", project.c_str());
      return 1;
    }
    for (const auto& size : sizes) {
      const Row row = Measure(renderer, *stack, *single, size[0], size[1]);
      const std::string view = std::to_string(row.width) + " x " + std::to_string(row.height);
      std::printf("%-10d %-12s %7.3f ms %7.3f ms %14.2f %10.0f %7.3f ms %12.2f %12.2f\n", stack->pictureCount(),
                  view.c_str(), row.p50, row.p99, row.pictures, row.maxPictures, row.quad,
                  row.quad > 0 ? row.p50 / row.quad : 0.0, row.quad > 0 ? row.whole / row.quad : 0.0);
    }
  }
  return 0;
}
