// How sharp the exported frames are: a zoom into one photograph (the first picture; the target
// frame a fifth of it about its centre, so the view goes from the photograph filling a 1920 x 1080
// frame to five times closer), drawn as the video draws it, against the exact view of the photograph at full resolution
// (area averaging where the view is smaller than the photograph, Lanczos where it is larger). For each way of drawing:
// the PSNR (RGB, the frame's border of 8 pixels left out), the sharpness (gradient energy of the frame over the
// truth's) and the processor time per frame (drawing and reading back, all of the process's threads, once the levels
// are resident).
//   sharp_bench [photo] [frames] [another LOD bias to try]
// Without a photograph, a 15-megapixel one is made from the corpus (BenchPictures).

#include <sys/resource.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <opencv2/core.hpp>
#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>
#include <string>
#include <vector>

#include "BenchPictures.h"
#include "FrameFill.h"
#include "Imagestack.h"
#include "OffscreenTarget.h"
#include "Renderer.h"
#include "SafeFile.h"

namespace {

double CpuSeconds() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
         static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

// The first picture's frame into view units at time t.
Affine FirstToView(ImageStack& stack, double t) {
  const Timeline& timeline = stack.CurrentTimeline();
  const RelativeView relative = timeline.ViewAt(t);
  Affine firstToView = relative.toView;
  for (int i = std::min(relative.anchor, timeline.count() - 1); i >= 1; --i)
    firstToView = firstToView * timeline.Placement(i).Inverse();
  return firstToView;
}

// The exact view of `photo` (BGR, full resolution) in `view` at time t, as an upright BGR frame.
// `footprint` gets the photograph's pixels per frame pixel (along a side).
cv::Mat Truth(const cv::Mat& photo, const Affine& firstToView, const ViewGeometry& view, double& footprint) {
  const double pw = photo.cols, ph = photo.rows;
  const Extents e = ElementExtents(photo.cols, photo.rows);
  const Affine back = firstToView.Inverse();
  // Frame pixel (x, r) (r from the top, pixel centres at integers) to the photograph's pixel
  // coordinates (OpenCV's: centres at integers, top row first).
  auto map = [&](double x, double r, double& u, double& v) {
    const double wx = x + 0.5, wy = view.height - r - 0.5;
    double vx, vy, px, py;
    view.WindowToView(wx, wy, vx, vy);
    back.Map(vx, vy, px, py);
    u = (0.5 + px / e.ex) * pw - 0.5;
    v = (0.5 - py / e.ey) * ph - 0.5;
  };
  double u0, v0, u1, v1, u2, v2;
  map(0, 0, u0, v0);
  map(1, 0, u1, v1);
  map(0, 1, u2, v2);
  // Photograph pixels per frame pixel.
  const double f = std::sqrt(std::fabs((u1 - u0) * (v2 - v0) - (u2 - u0) * (v1 - v0)));
  footprint = f;
  cv::Mat source = photo;
  double sx = 1, sy = 1;  // photograph pixels per source pixel
  if (f > 1) {
    const int w = std::max(1, static_cast<int>(std::lround(pw / f)));
    const int h = std::max(1, static_cast<int>(std::lround(ph / f)));
    cv::resize(photo, source, cv::Size(w, h), 0, 0, cv::INTER_AREA);
    sx = pw / w;
    sy = ph / h;
  }
  // Into the source: x' = (u + 0.5) / s - 0.5.
  auto into = [](double u, double s) { return (u + 0.5) / s - 0.5; };
  cv::Mat m = (cv::Mat_<double>(2, 3) << into(u1, sx) - into(u0, sx), into(u2, sx) - into(u0, sx), into(u0, sx),
               into(v1, sy) - into(v0, sy), into(v2, sy) - into(v0, sy), into(v0, sy));
  cv::Mat out;
  cv::warpAffine(source, out, m, cv::Size(view.width, view.height), cv::INTER_LANCZOS4 | cv::WARP_INVERSE_MAP,
                 cv::BORDER_REFLECT);
  return out;
}

double Psnr(const cv::Mat& a, const cv::Mat& b, int border) {
  const cv::Rect inside(border, border, a.cols - 2 * border, a.rows - 2 * border);
  return cv::PSNR(a(inside), b(inside));
}

double GradientEnergy(const cv::Mat& bgr, int border) {
  cv::Mat grey, gx, gy;
  cv::cvtColor(bgr, grey, cv::COLOR_BGR2GRAY);
  grey.convertTo(grey, CV_32F);
  cv::Sobel(grey, gx, CV_32F, 1, 0);
  cv::Sobel(grey, gy, CV_32F, 0, 1);
  const cv::Rect inside(border, border, grey.cols - 2 * border, grey.rows - 2 * border);
  return cv::mean(gx(inside).mul(gx(inside)) + gy(inside).mul(gy(inside)))[0];
}

struct Way {
  const char* name;
  int antialias;
  double lodBias;
};

// Over all frames ([0]) and over those where the photograph is reduced ([1]: more than one of its
// pixels to a frame pixel, where the choice of mipmap levels matters).
struct Figures {
  double psnr[2] = {0, 0}, sharpness[2] = {0, 0}, cpuPerFrame = 0;
  int reduced = 0;
  bool ok = false;
};

Figures Measure(ImageStack& stack, const std::vector<cv::Mat>& truths, const std::vector<double>& footprints,
                const std::vector<double>& times, const Way& way, int width, int height) {
  Figures figures;
  OffscreenTarget target;
  std::string error;
  if (!target.Create(width * way.antialias, height * way.antialias, error) ||
      !target.CreateReadBack(width, height, 1, error)) {
    std::fprintf(stderr, "sharp_bench: %s\n", error.c_str());
    return figures;
  }
  RendererOptions options;
  options.waitForLevels = true;
  options.lodBias = way.lodBias;
  Renderer renderer(options);
  Renderer::SetViewGlState();
  const Image& first = *stack.images[0];
  const ViewGeometry fitted =
      ViewGeometry::Fitted(width * way.antialias, height * way.antialias, first.width, first.height);
  std::vector<uint8_t> rgba(target.FrameBytes());
  auto draw = [&](size_t k) {
    target.BeginFrame();
    renderer.DrawZoom(stack, times[k], FrameView(stack, times[k], fitted, VideoFrame::Fill));
    target.StartReadBack(0);
    target.TakeReadBack(0, rgba.data());
  };
  // A first pass decodes the levels (the same for every way of drawing); the second is timed.
  for (size_t k = 0; k < times.size(); ++k) draw(k);
  double psnr[2] = {0, 0}, energy[2] = {0, 0}, truthEnergy[2] = {0, 0}, cpu = 0;
  for (size_t k = 0; k < times.size(); ++k) {
    const double c0 = CpuSeconds();
    draw(k);
    cpu += CpuSeconds() - c0;
    cv::Mat frame(height, width, CV_8UC4, rgba.data()), bgr;
    cv::cvtColor(frame, bgr, cv::COLOR_RGBA2BGR);
    cv::flip(bgr, bgr, 0);  // GL's rows run bottom up
    const double p = Psnr(bgr, truths[k], 8), e = GradientEnergy(bgr, 8), te = GradientEnergy(truths[k], 8);
    for (int band = 0; band < 2; ++band) {
      if (band == 1 && footprints[k] <= 1) continue;
      psnr[band] += p;
      energy[band] += e;
      truthEnergy[band] += te;
    }
    if (footprints[k] > 1) ++figures.reduced;
  }
  const double n = static_cast<double>(times.size());
  for (int band = 0; band < 2; ++band) {
    const double frames = band == 0 ? n : std::max(1, figures.reduced);
    figures.psnr[band] = psnr[band] / frames;
    figures.sharpness[band] = truthEnergy[band] > 0 ? energy[band] / truthEnergy[band] : 0;
  }
  figures.cpuPerFrame = 1000 * cpu / n;
  figures.ok = true;
  return figures;
}

// Draws the zoom into `photoPath` every way and prints the figures; false when it cannot.
bool Compare(const std::string& photoPath, const std::string& directory, int frames, double extraBias) {
  const int width = 1920, height = 1080;
  const std::string project = directory + "/sharp.kx";
  const std::string text = "#Tunnelvista v1.0\r\nduration 10.0\r\nimages 1\r\n\r\nfilename " + photoPath +
                           "\r\nscale 1\r\ntranslate 0 0\r\nrotate 0\r\n\r\ntarget\r\nscale 0.2\r\ntranslate 0 "
                           "0\r\nrotate 0\r\n";
  std::unique_ptr<ImageStack> stack;
  if (WriteFileReplacing(project, text) != WriteResult::Ok || !(stack = OpenProject(project)) ||
      stack->pictureCount() != 1 || !stack->images[0]->loaded) {
    std::fprintf(stderr, "sharp_bench: cannot open a project of %s\n", photoPath.c_str());
    return false;
  }
  const cv::Mat photo = cv::imread(photoPath, cv::IMREAD_COLOR);
  if (photo.empty()) return false;

  // The frames at times spread evenly over the zoom (the last a little short of the target).
  std::vector<double> times;
  std::vector<cv::Mat> truths;
  std::vector<double> footprints;
  const Image& first = *stack->images[0];
  const ViewGeometry fitted = ViewGeometry::Fitted(width, height, first.width, first.height);
  for (int k = 0; k < frames; ++k) {
    const double t = 0.98 * k / (frames - 1);
    times.push_back(t);
    const ViewGeometry view = FrameView(*stack, t, fitted, VideoFrame::Fill);
    double footprint = 0;
    truths.push_back(Truth(photo, FirstToView(*stack, t), view, footprint));
    footprints.push_back(footprint);
  }
  std::printf("%s (%d x %d) filling a %d x %d frame, then 5 times closer, %d frames:\n", photoPath.c_str(), photo.cols,
              photo.rows, width, height, frames);

  std::vector<Way> ways = {
      {"trilinear, no bias (until now)", 1, 0},
      {"LOD bias -0.25", 1, -0.25},
      {"LOD bias -0.5", 1, -0.5},
      {"LOD bias -0.75", 1, -0.75},
      {"LOD bias -1", 1, -1},
      {"--antialias 2, no bias", 2, 0},
      {"--antialias 2, LOD bias -0.5", 2, -0.5},
  };
  if (extraBias != 0) ways.push_back({"the LOD bias given", 1, extraBias});
  Figures before;
  for (const Way& way : ways) {
    const Figures f = Measure(*stack, truths, footprints, times, way, width, height);
    if (!f.ok) return false;
    if (&way == &ways.front()) before = f;
    std::printf(
        "  %-30s PSNR %.2f dB, sharpness %.3f of the truth's; where reduced (%d frames): %.2f dB, %.3f; %.1f ms "
        "processor a frame (%.2f x)\n",
        way.name, f.psnr[0], f.sharpness[0], f.reduced, f.psnr[1], f.sharpness[1], f.cpuPerFrame,
        f.cpuPerFrame / before.cpuPerFrame);
  }
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  const int frames = argc > 2 ? std::max(2, std::atoi(argv[2])) : 16;
  const double extraBias = argc > 3 ? std::strtod(argv[3], nullptr) : 0;
  WorkDirectory work;
  std::string error;
  if (!work.Open("", error)) {
    std::fprintf(stderr, "sharp_bench: %s\n", error.c_str());
    return 1;
  }
  std::vector<std::string> photos;
  if (argc > 1 && *argv[1]) {
    photos.push_back(std::filesystem::absolute(argv[1]).string());
  } else {
    // Pictures larger than the frame, as most are: their levels are decoded at 1/2 and then at
    // full size, and drawn at 1 to 2 texels a pixel before the view passes their resolution. A
    // camera's photograph at its own resolution is soft at the scale of its pixels; a generated
    // picture or a photograph reduced before use is sharp to the pixel: the 24-megapixel one
    // reduced to half its sides by area stands for those.
    std::vector<std::string> large;
    if (!WriteLargePhotos(TV_PHOTO_DIR, work.path(), large, error) || large.size() < 5) {
      std::fprintf(stderr, "sharp_bench: %s\n", error.c_str());
      return 1;
    }
    photos.push_back(large[2]);
    const cv::Mat big = cv::imread(large[4], cv::IMREAD_COLOR);
    cv::Mat half;
    cv::resize(big, half, cv::Size(big.cols / 2, big.rows / 2), 0, 0, cv::INTER_AREA);
    const std::string crisp =
        work.path() + "/crisp-" + std::to_string(half.cols) + "x" + std::to_string(half.rows) + ".jpg";
    if (half.empty() || !cv::imwrite(crisp, half, {cv::IMWRITE_JPEG_QUALITY, 95})) return 1;
    photos.push_back(crisp);
  }
  for (const std::string& photo : photos)
    if (!Compare(photo, work.path(), frames, extraBias)) return 1;
  return 0;
}
