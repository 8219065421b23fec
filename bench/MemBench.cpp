// How much memory the editor's engine holds: the resident set of a process that opens a stack of
// 10, 200 or 1000 different 1024 x 768 pictures (made from the corpus photographs) and plays it
// at 1280 x 960 through one whole pass and back, drawing every frame with every level it needs.
// Each size runs in a fresh process (this program again); the peak of each phase is reset
// through /proc/self/clear_refs. Mesa's software renderer keeps textures in process memory, so
// they count. Prints figures; no pass or fail.
//   mem_bench [work directory]
// Without a work directory the pictures are made in a temporary one, removed at the end.
// Then: a project of sixteen files of a few kilobytes whose headers claim 16383 x 16383
// (progressive) and 65000 x 65000 (arithmetic-coded) pixels, against one of eight real pictures,
// opened and drawn with a texture budget of 64 MiB: the peak must stay within the budget plus the
// decode memory (DecodeMemory.h) above what the process held before opening, and 512 MiB in all.
// Last: one 1024 x 768 picture alone, and the same file repeated through a stack of 300 levels
// (each at half the size of the one before), each exported as a video of 60 frames at 1280 x 960
// in a fresh process: how often the file was decoded (opening, exporting), the peak, and the
// drawing time per frame against the picture alone.
//   mem_bench --repeated [work directory]   runs only this last part

#include <GL/gl.h>
#include <malloc.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "BenchPictures.h"
#include "DecodeMemory.h"
#include "HostileJpeg.h"
#include "TestFiles.h"
#include "Imagestack.h"
#include "OffscreenGl.h"
#include "Renderer.h"
#include "Timeline.h"
#include "VideoJob.h"

namespace {

const int viewWidth = 1280, viewHeight = 960;
const int framesPerPicture = 4;
const int samplePoints = 10;
const double goalPeakMiB = 1.5 * 1024;
// Growth of what is not textures that still counts as none: the allocator's noise.
const double flatMiB = 32;
const char* const measureFlag = "--measure";
const char* const hostileFlag = "--hostile";
const size_t hostileBudget = size_t(64) << 20;
const double hostileGoalMiB = 512;
const char* const repeatedFlag = "--repeated";
const char* const measureRepeatedFlag = "--measure-repeated";
const int repeatedLevels = 300;
const int repeatedWidth = 1280, repeatedHeight = 960;
const double repeatedSeconds = 2, repeatedFps = 30;  // 60 frames

struct Memory {
  double rss = -1;   // MiB now
  double peak = -1;  // MiB, the most since the process started or the peak was reset
};

double MiB(size_t bytes) { return static_cast<double>(bytes) / (1024.0 * 1024.0); }

Memory ReadMemory() {
  Memory memory;
  std::ifstream status("/proc/self/status");
  std::string key;
  long kib = 0;
  while (status >> key) {
    if (key == "VmRSS:" && status >> kib) memory.rss = static_cast<double>(kib) / 1024;
    if (key == "VmHWM:" && status >> kib) memory.peak = static_cast<double>(kib) / 1024;
  }
  return memory;
}

// Makes the peak the present resident set; false where the kernel does not allow it.
bool ResetPeak() {
  std::ofstream clear("/proc/self/clear_refs");
  clear << "5";
  clear.flush();
  return static_cast<bool>(clear);
}

struct Sample {
  int frame;
  double t;
  Memory memory;
  size_t textures;
};

// The child's part: opens `project`, plays it, prints what it held.
int Measure(const std::string& project) {
  std::string error;
  if (!MakeOffscreenGlCurrent(viewWidth, viewHeight, error)) {
    std::fprintf(stderr, "mem_bench: %s\n", error.c_str());
    return 1;
  }
  RendererOptions options;
  options.waitForLevels = true;
  Renderer renderer(options);
  Renderer::SetViewGlState();
  const Memory before = ReadMemory();
  const bool resets = ResetPeak();

  ImageStack stack;
  stack.path = project;
  if (!stack.LoadProject() || stack.pictureCount() < 1) return 1;
  const Memory opened = ReadMemory();
  size_t thumbnails = 0;
  for (const auto& image : stack.images) thumbnails += static_cast<size_t>(image->bitmap.sizeInBytes());
  const int pictures = stack.pictureCount();

  // One pass forward, then back, `framesPerPicture` frames between the keys of each picture and
  // its child; the samples spread evenly over both ways.
  if (resets) ResetPeak();
  const Timeline& timeline = stack.CurrentTimeline();
  std::vector<double> times;
  for (int j = 0; j + 1 < timeline.count(); ++j)
    for (int q = 0; q < framesPerPicture; ++q)
      times.push_back(timeline.KeyTime(j) + (timeline.KeyTime(j + 1) - timeline.KeyTime(j)) * q / framesPerPicture);
  times.push_back(1.0);
  const int frames = static_cast<int>(times.size());  // each way
  const int total = 2 * frames;
  std::vector<Sample> samples;
  const Image& first = *stack.images[0];
  const ViewGeometry view = ViewGeometry::Fitted(viewWidth, viewHeight, first.width, first.height);
  int next = 0;
  for (int k = 0; k < total; ++k) {
    const bool forward = k < frames;
    const double t = times[static_cast<size_t>(forward ? k : total - 1 - k)];
    renderer.DrawZoom(stack, t, view, forward ? 1 : -1);
    glFinish();
    if (next < samplePoints && k == next * (total - 1) / (samplePoints - 1)) {
      samples.push_back({k, t, ReadMemory(), renderer.Cache().ResidentBytes()});
      ++next;
    }
  }
  const Memory played = ReadMemory();
  const size_t textures = renderer.Cache().ResidentBytes();
  malloc_trim(0);
  const Memory trimmed = ReadMemory();

  std::printf("\n%d pictures of 1024 x 768 (a fresh process)\n", pictures);
  std::printf("  before opening (GL context and renderer made)  %8.1f MiB\n", before.rss);
  std::printf("  opened (LoadProject)                           %8.1f MiB, peak %.1f MiB%s\n", opened.rss, opened.peak,
              resets ? "" : " (peak not resettable here: since the start)");
  std::printf("    of which thumbnails                          %8.1f MiB\n", MiB(thumbnails));
  std::printf(
      "  playing: t 0 -> 1 -> 0 at %d x %d, %d frames each way (%d from each picture's key to the next), every "
      "level each frame needs\n",
      viewWidth, viewHeight, frames, framesPerPicture);
  std::printf("    %6s %7s %9s %12s %12s %16s\n", "frame", "t", "way", "RSS", "textures", "RSS - textures");
  auto rest = [](const Sample& s) { return s.memory.rss - MiB(s.textures); };
  double restGrowth = 0;
  for (const Sample& s : samples) {
    std::printf("    %6d %7.3f %9s %8.1f MiB %8.1f MiB %12.1f MiB\n", s.frame, s.t,
                s.frame < frames ? "forward" : "back", s.memory.rss, MiB(s.textures), rest(s));
    restGrowth = std::max(restGrowth, rest(s) - rest(samples.front()));
  }
  const double peak = std::max({before.peak, opened.peak, played.peak});
  std::printf("  peak while playing %.1f MiB; at the end %.1f MiB, textures %.1f MiB of a budget of %.1f MiB\n",
              played.peak, played.rss, MiB(textures), MiB(renderer.Cache().Budget()));
  std::printf("  growth over the playback, first sample to last: %+.1f MiB, textures %+.1f MiB, the rest %+.1f MiB\n",
              samples.back().memory.rss - samples.front().memory.rss,
              MiB(samples.back().textures) - MiB(samples.front().textures),
              rest(samples.back()) - rest(samples.front()));
  std::printf("  heap freed but still held after playing (malloc_trim gives it back): %.1f MiB (%.1f -> %.1f MiB)\n",
              played.rss - trimmed.rss, played.rss, trimmed.rss);
  std::printf(
      "  goal (set for 1000 pictures): peak within %.1f GiB: %s (%.1f MiB); flat, what is not textures growing by at "
      "most %.0f MiB (textures fill their budget by design): %s (%+.1f MiB)\n",
      goalPeakMiB / 1024, peak <= goalPeakMiB ? "met" : "NOT met", peak, flatMiB,
      restGrowth <= flatMiB ? "met" : "NOT met", restGrowth);
  return 0;
}

// The child's part for the hostile projects: opens `project` as the editor does, draws the pass
// at 1280 x 960 with a texture budget of 64 MiB, and prints the peak.
int MeasureHostile(const std::string& project, const char* what) {
  std::string error;
  if (!MakeOffscreenGlCurrent(viewWidth, viewHeight, error)) {
    std::fprintf(stderr, "mem_bench: %s\n", error.c_str());
    return 1;
  }
  RendererOptions options;
  options.waitForLevels = true;
  options.textureBudget = hostileBudget;
  Renderer renderer(options);
  Renderer::SetViewGlState();
  const Memory before = ReadMemory();
  ImageStack stack;
  stack.path = project;
  if (!stack.LoadProject() || stack.pictureCount() < 1) return 1;
  int loaded = 0;
  for (int i = 0; i < stack.pictureCount(); ++i) loaded += stack.images[static_cast<size_t>(i)]->loaded ? 1 : 0;
  const Image& first = *stack.images[0];
  const ViewGeometry view = ViewGeometry::Fitted(viewWidth, viewHeight, first.width, first.height);
  for (int k = 0; k <= 20; ++k) {
    renderer.DrawZoom(stack, k / 20.0, view, 1);
    glFinish();
  }
  const Memory after = ReadMemory();
  const double limit = before.rss + MiB(hostileBudget) + MiB(decodeMemoryBytes);
  std::printf(
      "  %-44s %2d of %2d loaded; before opening %6.1f MiB, peak %6.1f MiB (%+.1f), decode memory at most "
      "%.1f MiB; goal: peak within budget + %zu MiB over the start and %.0f MiB: %s\n",
      what, loaded, stack.pictureCount(), before.rss, after.peak, after.peak - before.rss,
      MiB(SharedDecodeMemory().HighWater()), decodeMemoryBytes >> 20, hostileGoalMiB,
      after.peak <= limit && after.peak <= hostileGoalMiB ? "met" : "NOT met");
  return 0;
}

// Sixteen crafted files against eight real pictures, each project in a fresh process.
int HostileProjects(const std::string& directory, const std::vector<std::string>& photos) {
  std::vector<std::string> crafted;
  const std::string progressive = WithDeclaredSize(EncodeJpeg(96, 96, JpegCoding::Progressive), 16383, 16383);
  const std::string arithmetic = WithDeclaredSize(EncodeJpeg(96, 96, JpegCoding::Arithmetic), 65000, 65000);
  for (int i = 0; i < 16; ++i) {
    crafted.push_back(directory + "/hostile" + std::to_string(i) + ".jpg");
    WriteFileBytes(crafted.back(), i % 2 ? arithmetic : progressive);
  }
  std::printf("\nHostile headers at a texture budget of %zu MiB (files of %zu and %zu bytes):\n", hostileBudget >> 20,
              progressive.size(), arithmetic.size());
  int failures = 0;
  const std::pair<const char*, std::vector<std::string>> projects[] = {
      {"16 files claiming 16383^2 and 65000^2", crafted},
      {"8 real 1024 x 768 photographs", std::vector<std::string>(photos.begin(), photos.begin() + 8)},
  };
  for (const auto& [what, files] : projects) {
    const std::string project = directory + "/hostile" + std::to_string(files.size()) + ".kx";
    if (!WriteZoomProject(project, files, false)) return 1;
    std::fflush(stdout);
    if (RunProgram({"/proc/self/exe", hostileFlag, project, what}, false) != 0) ++failures;
  }
  return failures;
}

// What one export of a repeated picture measured (the child writes it, the parent reads it).
struct RepeatedFigures {
  unsigned long long openingDecodes = 0, exportDecodes = 0;
  double before = 0, peak = 0;  // MiB: before opening, the peak over the whole run
  double draw = 0, wall = 0;    // milliseconds per frame: the drawing stage, the whole export
  int frames = 0;
};

// The child's part: opens `project` as the command line does, exports the video, writes what it
// measured to `figures`.
int MeasureRepeated(const std::string& project, const std::string& figures) {
  DecodeMemory& memory = SharedDecodeMemory();
  RepeatedFigures f;
  f.before = ReadMemory().rss;
  const unsigned long long start = memory.Decodes();
  std::unique_ptr<ImageStack> stack = OpenProject(project);
  if (!stack || stack->pictureCount() < 1) return 1;
  f.openingDecodes = memory.Decodes() - start;
  VideoSettings settings;
  settings.path = project + ".mp4";
  settings.width = repeatedWidth;
  settings.height = repeatedHeight;
  settings.fps = repeatedFps;
  settings.duration = repeatedSeconds;
  settings.speed = VideoSpeed::Fast;
  VideoJob job(*stack, settings);
  if (!job.Start() || job.Wait() != VideoResult::Ok) {
    std::fprintf(stderr, "mem_bench: %s\n", job.Error().c_str());
    return 1;
  }
  f.exportDecodes = memory.Decodes() - start - f.openingDecodes;
  const VideoTimings t = job.Timings();
  f.frames = t.frames;
  f.draw = t.frames > 0 ? 1000 * t.draw / t.frames : 0;
  f.wall = t.frames > 0 ? 1000 * t.wall / t.frames : 0;
  f.peak = ReadMemory().peak;
  std::ofstream out(figures);
  out << f.openingDecodes << ' ' << f.exportDecodes << ' ' << f.before << ' ' << f.peak << ' ' << f.draw << ' '
      << f.wall << ' ' << f.frames << '\n';
  return out ? 0 : 1;
}

bool RunRepeated(const std::string& project, RepeatedFigures& f) {
  const std::string figures = project + ".figures";
  std::fflush(stdout);
  if (RunProgram({"/proc/self/exe", measureRepeatedFlag, project, figures}, false) != 0) return false;
  std::ifstream in(figures);
  return static_cast<bool>(in >> f.openingDecodes >> f.exportDecodes >> f.before >> f.peak >> f.draw >> f.wall >>
                           f.frames);
}

// The picture alone against the same file repeated through a stack, each in a fresh process.
int RepeatedPicture(const std::string& directory) {
  std::vector<std::string> files;
  std::string error;
  if (!WriteCrops(TV_PHOTO_DIR, directory, 1, files, error)) {
    std::fprintf(stderr, "mem_bench: %s\n", error.c_str());
    return 1;
  }
  const std::string alone = directory + "/alone.kx", repeated = directory + "/repeated.kx";
  if (!WriteZoomProject(alone, files, false) ||
      !WriteZoomProject(repeated, std::vector<std::string>(repeatedLevels, files[0]), false))
    return 1;
  std::printf(
      "\nOne 1024 x 768 picture, alone and repeated through %d levels: a video of %g s at %g fps, %d x %d "
      "(each in a fresh process)\n",
      repeatedLevels, repeatedSeconds, repeatedFps, repeatedWidth, repeatedHeight);
  RepeatedFigures one, many;
  if (!RunRepeated(alone, one) || !RunRepeated(repeated, many)) {
    std::fprintf(stderr, "mem_bench: exporting the repeated picture failed\n");
    return 1;
  }
  std::printf("  %-22s %9s %9s %12s %12s %14s %14s\n", "", "decodes", "", "before", "peak", "draw", "export");
  std::printf("  %-22s %9s %9s %12s %12s %14s %14s\n", "", "opening", "export", "opening", "", "per frame",
              "per frame");
  for (const auto& [what, f] :
       {std::pair<const char*, const RepeatedFigures&>{"the picture alone", one}, {"300 levels of it", many}})
    std::printf("  %-22s %9llu %9llu %8.1f MiB %8.1f MiB %11.2f ms %11.2f ms  (%d frames)\n", what, f.openingDecodes,
                f.exportDecodes, f.before, f.peak, f.draw, f.wall, f.frames);
  std::printf(
      "  300 levels against the picture alone: decodes %llu against %llu, peak %.2f times (%+.1f MiB), "
      "drawing a frame %.2f times, a frame of the export %.2f times\n",
      many.openingDecodes + many.exportDecodes, one.openingDecodes + one.exportDecodes, many.peak / one.peak,
      many.peak - one.peak, many.draw / one.draw, many.wall / one.wall);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 3 && std::string(argv[1]) == measureFlag) return Measure(argv[2]);
  if (argc == 4 && std::string(argv[1]) == hostileFlag) return MeasureHostile(argv[2], argv[3]);
  if (argc == 4 && std::string(argv[1]) == measureRepeatedFlag) return MeasureRepeated(argv[2], argv[3]);
  const bool repeatedOnly = argc > 1 && std::string(argv[1]) == repeatedFlag;
  const int given = repeatedOnly ? 2 : 1;  // where the work directory is, if given
  if (argc > given + 1 || (argc == given + 1 && argv[given][0] == '-')) {
    std::fprintf(stderr, "usage: mem_bench [--repeated] [work directory]\n");
    return 2;
  }

  std::string error;
  WorkDirectory work;
  if (!work.Open(argc > given ? argv[given] : "", error)) {
    std::fprintf(stderr, "mem_bench: %s\n", error.c_str());
    return 1;
  }
  if (repeatedOnly) return RepeatedPicture(work.path());
  const int sizes[] = {10, 200, 1000};
  std::printf("Writing %d pictures of 1024 x 768 into %s ...\n", sizes[2], work.path().c_str());
  std::fflush(stdout);
  const auto start = BenchClock::now();
  std::vector<std::string> files;
  if (!WriteCrops(TV_PHOTO_DIR, work.path(), sizes[2], files, error)) {
    std::fprintf(stderr, "mem_bench: %s\n", error.c_str());
    return 1;
  }
  std::printf("written in %.1f s (not part of any figure)\n", Milliseconds(BenchClock::now() - start) / 1000);
  int failures = 0;
  for (int pictures : sizes) {
    const std::string project = work.path() + "/stack" + std::to_string(pictures) + ".kx";
    const std::vector<std::string> stack(files.begin(), files.begin() + pictures);
    if (!WriteZoomProject(project, stack, true)) {
      std::fprintf(stderr, "mem_bench: cannot write %s\n", project.c_str());
      return 1;
    }
    std::fflush(stdout);
    const int status = RunProgram({"/proc/self/exe", measureFlag, project}, false);
    if (status != 0) {
      std::fprintf(stderr, "mem_bench: measuring %s failed (status %d)\n", project.c_str(), status);
      ++failures;
    }
  }
  failures += HostileProjects(work.path(), files);
  failures += RepeatedPicture(work.path());
  return failures == 0 ? 0 : 1;
}
