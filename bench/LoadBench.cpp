// How long pictures take from file to the first sharp frame (Mesa's software renderer here).
// Prints figures and ratios; no pass or fail.
// - The real photographs of the test corpus: libjpeg's full decode on one thread, the check every
//   opened picture gets, and a project of all of them opened and drawn at 1280 x 960 with every
//   level it needs.
// - Large photographs made from them (about 5 to 24 megapixels): djpeg, libjpeg-turbo's own
//   decoder run as a process on one thread (the reference), against our full decode on one
//   thread and our check. The same photographs as PNG and WebP: our decode and check against
//   libpng's and libwebp's own whole decode, in the same run (LoadBenchKinds.cpp).
// - Projects of those large photographs and of 1000 different 1024 x 768 pictures, opened the
//   way the editor opens them: the project read, its pictures checked on worker threads and taken
//   in as they come, until the first frame (t = 0, 1280 x 960) is drawn with every level it
//   needs and nothing waits, and until every picture is checked; against djpeg on every file.
//   load_bench [photo directory] [repetitions] [work directory]
// Without a work directory the pictures are made in a temporary one, removed at the end.

#include <GL/gl.h>

#include <algorithm>
#include <condition_variable>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <mutex>
#include <string>
#include <system_error>
#include <vector>

#include "BenchPictures.h"
#include "Imagestack.h"
#include "JpegDecode.h"
#include "LoadBenchKinds.h"
#include "OffscreenGl.h"
#include "Renderer.h"
#include "image.h"

namespace {

using Clock = BenchClock;

const int viewWidth = 1280, viewHeight = 960;
// The 1000-picture project's djpeg time is that of every `sampleStep`-th file, scaled.
const size_t sampleStep = 10;

struct Row {
  std::string name;
  double megapixels = 0;
  double decode = 0, check = 0;  // milliseconds, medians
  double djpeg = -1;             // milliseconds, median; negative: djpeg did not run
};

std::unique_ptr<Image> Named(const std::string& path) {
  auto image = std::make_unique<Image>();
  image->fileName = path;
  image->ResolvePath("");
  return image;
}

// Our full decode on one thread and the check, medians of `repetitions` runs.
Row Measure(const std::string& file, int repetitions) {
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
  return row;
}

// djpeg's wall time for `args` (output to /dev/null), median of `repetitions` runs; -1 when it
// cannot run or fails.
double Djpeg(const std::vector<std::string>& args, int repetitions) {
  std::vector<std::string> command = {"djpeg"};
  command.insert(command.end(), args.begin(), args.end());
  std::vector<double> times;
  for (int r = 0; r < repetitions; ++r) {
    const auto start = Clock::now();
    if (RunProgram(command, true) != 0) return -1;
    times.push_back(Milliseconds(Clock::now() - start));
  }
  return Median(times);
}

double DjpegDecode(const std::string& file, int repetitions) {
  return Djpeg({"-outfile", "/dev/null", file}, repetitions);
}

// The checks' wake-up, as the editor's event loop gets it.
class Wakeup {
 public:
  void Notify() {
    {
      std::lock_guard<std::mutex> hold(lock_);
      pending_ = true;
    }
    woken_.notify_one();
  }
  void Wait() {
    std::unique_lock<std::mutex> hold(lock_);
    woken_.wait(hold, [this] { return pending_; });
    pending_ = false;
  }

 private:
  std::mutex lock_;
  std::condition_variable woken_;
  bool pending_ = false;
};

// Opens `project` and draws its first frame with every level it needs: the time to the first
// frame, which is also the time until everything that frame shows is loaded.
double FirstFrame(const std::string& project, Renderer& renderer) {
  const auto start = Clock::now();
  std::unique_ptr<ImageStack> stack = OpenProject(project);
  if (!stack || stack->count() < 2) return -1;
  const Image& first = *stack->images[0];
  renderer.DrawZoom(*stack, 0.0, ViewGeometry::Fitted(viewWidth, viewHeight, first.width, first.height));
  glFinish();
  return Milliseconds(Clock::now() - start);
}

struct Opening {
  double firstFrame = -1;  // ms to the first frame with nothing waiting and every level sharp
  double everything = -1;  // ms until every picture is checked and taken in, first frame drawn
  int drawn = 0;           // pictures in that first frame
  int drawnComplete = 0;   // pictures in the first frame once every picture is known
};

// Opens `project` as the editor does, a fresh renderer each time.
Opening OpenAsTheEditor(const std::string& project) {
  Opening result;
  RendererOptions options;
  options.waitForLevels = true;
  Renderer renderer(options);
  Renderer::SetViewGlState();
  Wakeup wakeup;
  const auto start = Clock::now();
  ImageStack stack;
  stack.path = project;
  if (!stack.ReadProjectFile() || stack.pictureCount() < 1) return result;
  const std::unique_ptr<PictureCheck> check = stack.StartCheck([&wakeup] { wakeup.Notify(); });
  auto drawFirstFrame = [&] {
    const Image& first = *stack.images[0];
    renderer.DrawZoom(stack, 0.0, ViewGeometry::Fitted(viewWidth, viewHeight, first.width, first.height));
    glFinish();
    return renderer.PicturesWaiting() == 0 && renderer.PicturesDrawn() > 0;
  };
  for (;;) {
    // Read before taking the results in, so that none finished by then is left behind.
    const bool finished = check->Finished();
    stack.ApplyChecks(*check);
    if (result.firstFrame < 0 && drawFirstFrame()) {
      result.firstFrame = Milliseconds(Clock::now() - start);
      result.drawn = renderer.PicturesDrawn();
    }
    if (finished) break;
    wakeup.Wait();
  }
  if (result.firstFrame < 0) return result;  // the first frame never came
  result.everything = Milliseconds(Clock::now() - start);
  drawFirstFrame();
  result.drawnComplete = renderer.PicturesDrawn();
  return result;
}

// value / reference as "0.42x"; "-" without a reference.
std::string Ratio(double value, double reference) {
  if (value < 0 || reference <= 0) return "-";
  const double ratio = value / reference;
  std::string text(static_cast<size_t>(std::snprintf(nullptr, 0, "%.2fx", ratio)), '\0');
  std::snprintf(text.data(), text.size() + 1, "%.2fx", ratio);
  return text;
}

std::string Met(bool met) { return met ? "met" : "NOT met"; }

}  // namespace

int main(int argc, char** argv) {
  if (argc > 4 || (argc > 1 && argv[1][0] == '-')) {
    std::fprintf(stderr, "usage: load_bench [photo directory] [repetitions] [work directory]\n");
    return 2;
  }
  const std::string photos = argc > 1 ? argv[1] : TV_PHOTO_DIR;
  const int repetitions = argc > 2 ? std::max(1, std::atoi(argv[2])) : 5;
  std::string error;
  WorkDirectory work;
  if (!work.Open(argc > 3 ? argv[3] : "", error)) {
    std::fprintf(stderr, "load_bench: %s\n", error.c_str());
    return 1;
  }
  if (!MakeOffscreenGlCurrent(viewWidth, viewHeight, error)) {
    std::fprintf(stderr, "load_bench: %s\n", error.c_str());
    return 1;
  }
  std::vector<std::string> files;
  for (const auto& entry : std::filesystem::directory_iterator(photos))
    if (entry.path().extension() == ".jpg" || entry.path().extension() == ".jpeg")
      files.push_back(std::filesystem::absolute(entry.path()));
  std::sort(files.begin(), files.end());
  if (files.empty()) {
    std::fprintf(stderr, "load_bench: no JPEG files in %s\n", photos.c_str());
    return 1;
  }

  std::vector<Row> rows;
  for (const std::string& file : files) rows.push_back(Measure(file, repetitions));

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
  const std::string project = work.path() + "/corpus.kx";
  if (!WriteZoomProject(project, files, false)) {
    std::fprintf(stderr, "load_bench: cannot write %s\n", project.c_str());
    return 1;
  }
  std::vector<double> frames;
  for (int r = 0; r < repetitions; ++r) {
    RendererOptions options;
    options.waitForLevels = true;
    Renderer renderer(options);
    Renderer::SetViewGlState();
    frames.push_back(FirstFrame(project, renderer));
    if (frames.back() < 0) {
      std::fprintf(stderr, "load_bench: cannot open %s\n", project.c_str());
      return 1;
    }
  }
  const double frame = Median(frames);
  std::printf(
      "\nProject of all %zu pictures: first sharp frame %.1f ms; full decode of every file on one thread "
      "%.1f ms (%.2fx)\n",
      files.size(), frame, decode, frame / decode);
  std::fflush(stdout);

  // The generated pictures.
  const int crops = 1000;
  std::printf("\nWriting large photographs and %d pictures of 1024 x 768 into %s ...\n", crops, work.path().c_str());
  std::fflush(stdout);
  auto start = Clock::now();
  std::vector<std::string> large, small;
  if (!WriteLargePhotos(photos, work.path(), large, error) || !WriteCrops(photos, work.path(), crops, small, error)) {
    std::fprintf(stderr, "load_bench: %s\n", error.c_str());
    return 1;
  }
  std::printf("written in %.1f s (not part of any figure)\n", Milliseconds(Clock::now() - start) / 1000);

  const int djpegRuns = std::max(3, repetitions);
  const double processStart = Djpeg({"-version"}, djpegRuns);
  if (processStart < 0)
    std::printf("\ndjpeg does not run (package libjpeg-turbo-progs): no ratios to it\n");
  else
    std::printf(
        "\ndjpeg: libjpeg-turbo's decoder as a process, output to /dev/null, median of %d runs; starting the "
        "process alone (djpeg -version) takes %.1f ms\n",
        djpegRuns, processStart);

  std::printf("\nLarge photographs (mosaics of one corpus photograph each), ours median of %d runs\n\n", repetitions);
  std::printf("%-28s %7s %8s | %10s %12s %12s | %10s %11s\n", "picture", "MP", "bits/px", "djpeg", "full decode",
              "check", "full/djpeg", "check/djpeg");
  Row sum;
  sum.name = "all";
  sum.djpeg = 0;
  auto print = [](const Row& r, double bitsPerPixel) {
    std::printf("%-28s %7.2f %8.2f | %8.1fms %10.1fms %10.1fms | %10s %11s\n", r.name.c_str(), r.megapixels,
                bitsPerPixel, r.djpeg, r.decode, r.check, Ratio(r.decode, r.djpeg).c_str(),
                Ratio(r.check, r.djpeg).c_str());
    std::fflush(stdout);
  };
  double bytes = 0;
  for (const std::string& file : large) {
    Row r = Measure(file, repetitions);
    r.djpeg = DjpegDecode(file, djpegRuns);
    std::error_code failure;
    const double size = static_cast<double>(std::filesystem::file_size(file, failure));
    print(r, failure ? 0 : size * 8 / (r.megapixels * 1e6));
    sum.megapixels += r.megapixels;
    sum.decode += r.decode;
    sum.check += r.check;
    sum.djpeg = r.djpeg < 0 || sum.djpeg < 0 ? -1 : sum.djpeg + r.djpeg;
    bytes += failure ? 0 : size;
  }
  print(sum, bytes * 8 / (sum.megapixels * 1e6));
  const double largeDjpeg = sum.djpeg;
  MeasureOtherKinds(large, work.path(), repetitions);

  // djpeg on a sample of the small pictures, scaled to all of them.
  double smallDjpeg = 0;
  size_t sampled = 0;
  for (size_t i = 0; i < small.size() && smallDjpeg >= 0; i += sampleStep, ++sampled) {
    const double ms = DjpegDecode(small[i], djpegRuns);
    smallDjpeg = ms < 0 ? -1 : smallDjpeg + ms;
  }
  if (smallDjpeg > 0) smallDjpeg *= static_cast<double>(small.size()) / static_cast<double>(sampled);

  struct Project {
    std::string name, file;
    const std::vector<std::string>& pictures;
    double djpeg;
    std::string djpegNote;
    double first = -1, all = -1;
  };
  Project projects[] = {
      {"large photographs", "large.kx", large, largeDjpeg, "every file"},
      {std::to_string(small.size()) + " pictures 1024 x 768", "small.kx", small, smallDjpeg,
       std::to_string(sampled) + " files timed, x" + std::to_string(sampleStep)},
  };
  std::printf(
      "\nProjects opened as the editor opens them (each picture at half the size of the one before, turned "
      "slightly), median of %d openings:\nfirst frame: t = 0 at %d x %d, every level it needs, no picture waiting; "
      "all loaded: every picture checked and that frame drawn\n\n",
      repetitions, viewWidth, viewHeight);
  std::printf("%-26s %8s | %11s %11s | %11s %-24s | %11s %11s | %s\n", "project", "pictures", "first frame",
              "all loaded", "djpeg all", "", "first/djpeg", "all/djpeg", "pictures in first frame");
  for (Project& p : projects) {
    const std::string path = work.path() + "/" + p.file;
    if (!WriteZoomProject(path, p.pictures, true)) {
      std::fprintf(stderr, "load_bench: cannot write %s\n", path.c_str());
      return 1;
    }
    std::vector<double> first, all;
    Opening opening;
    for (int r = 0; r < repetitions; ++r) {
      opening = OpenAsTheEditor(path);
      if (opening.firstFrame < 0) {
        std::fprintf(stderr, "load_bench: %s never showed a first frame\n", path.c_str());
        return 1;
      }
      first.push_back(opening.firstFrame);
      all.push_back(opening.everything);
    }
    p.first = Median(first);
    p.all = Median(all);
    std::printf("%-26s %8zu | %9.1fms %9.1fms | %9.1fms %-24s | %11s %11s | %d (%d with all checked)\n", p.name.c_str(),
                p.pictures.size(), p.first, p.all, p.djpeg, ("(" + p.djpegNote + ")").c_str(),
                Ratio(p.first, p.djpeg).c_str(), Ratio(p.all, p.djpeg).c_str(), opening.drawn, opening.drawnComplete);
    std::fflush(stdout);
  }
  std::printf("\nGoals:\n");
  for (const Project& p : projects)
    std::printf("  %s: all loaded within 1.00x djpeg on one thread: %s (%s)\n", p.name.c_str(),
                p.djpeg > 0 ? Met(p.all <= p.djpeg).c_str() : "-", Ratio(p.all, p.djpeg).c_str());
  std::printf("  %s: first frame within 1 s: %s (%.0f ms)\n", projects[1].name.c_str(),
              Met(projects[1].first <= 1000).c_str(), projects[1].first);
  return 0;
}
