// How fast a video of the demo is made, at 1920 x 1080 and at 3840 x 2160 (30 fps, MP4: H.264,
// CRF 18, the default speed), in frames a second, against encoding the very same frames alone
// with the same encoder and settings in the same run: the ffmpeg program encodes the video's
// frames again (decoded from the file just made) and the time it takes to only decode them is
// taken off. What stands between the two shows in each stage's busy time per frame (drawing,
// reading back, converting, encoding; the stages run at once on their own threads) and how long
// each stage waited for the others. Wall and processor times both (the machine may be shared),
// the peak memory of the process (VmHWM) after the 3840 x 2160 export, and, as a yardstick kept
// from before, ffmpeg's zoompan making a 1080p zoom of the demo's first picture (one picture a
// frame where the video draws several, and half the detail). Prints figures and ratios; no pass
// or fail.
//   video_bench [demo directory] [seconds at 1080p] [seconds at 2160p]
// Without a directory (or with "") the demo is made in a temporary one first.

#include <stdlib.h>
#include <sys/resource.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <system_error>
#include <vector>

#include "BenchPictures.h"
#include "Imagestack.h"
#include "VideoJob.h"

namespace {

using Clock = std::chrono::steady_clock;

double PerFrame(double seconds, int frames) { return frames > 0 ? 1000.0 * seconds / frames : 0; }

// Processor seconds (user and system) of this process, or of its finished children: on a shared
// machine they say more than the wall time.
double CpuSeconds(int who) {
  rusage usage{};
  getrusage(who, &usage);
  return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
         static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

// The process's peak resident memory in MB (VmHWM), 0 when it cannot be read.
double PeakMegabytes() {
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line))
    if (line.rfind("VmHWM:", 0) == 0) return std::strtod(line.c_str() + 6, nullptr) / 1024;
  return 0;
}

struct Run {
  double wall = 0, cpu = 0;
  bool ok = false;
};

// The command through the shell, timed.
Run Time(const std::string& command) {
  Run run;
  const double cpu = CpuSeconds(RUSAGE_CHILDREN);
  const Clock::time_point start = Clock::now();
  run.ok = std::system(command.c_str()) == 0;
  run.wall = std::chrono::duration<double>(Clock::now() - start).count();
  run.cpu = CpuSeconds(RUSAGE_CHILDREN) - cpu;
  return run;
}

struct Export {
  VideoTimings t;
  double cpu = 0;
};

// The export as the editor makes it; prints its figures.
bool MakeVideo(const ImageStack& stack, const VideoSettings& settings, Export& result) {
  const double cpuBefore = CpuSeconds(RUSAGE_SELF);
  VideoJob job(stack, settings);
  if (!job.Start() || job.Wait() != VideoResult::Ok) {
    std::fprintf(stderr, "video_bench: %s\n", job.Error().c_str());
    return false;
  }
  result.t = job.Timings();
  result.cpu = CpuSeconds(RUSAGE_SELF) - cpuBefore;
  const VideoTimings& t = result.t;
  std::error_code ignored;
  std::printf(
      "video of the demo, %d x %d, %g fps, %g s, %s: %d frames in %.2f s = %.1f frames/s, %.1f processor s "
      "(%.1f MB)\n",
      settings.width, settings.height, settings.fps, settings.duration,
      settings.speed == VideoSpeed::Fast ? "--speed fast" : "default speed", t.frames, t.wall, t.frames / t.wall,
      result.cpu, static_cast<double>(std::filesystem::file_size(settings.path, ignored)) / 1e6);
  // The draw thread reads back too; each stage waited for the others the rest of the time.
  const double drawStage = t.draw + t.readBack;
  std::printf("  per frame: draw %.1f ms, read back %.1f ms, convert %.1f ms, encode %.1f ms (stages overlap)\n",
              PerFrame(t.draw, t.frames), PerFrame(t.readBack, t.frames), PerFrame(t.convert, t.frames),
              PerFrame(t.encode, t.frames));
  std::printf(
      "  waiting for the others: draw thread %.0f %%, convert thread %.0f %%, encode thread %.0f %% of the wall "
      "time\n",
      100 * (1 - drawStage / t.wall), 100 * (1 - t.convert / t.wall), 100 * (1 - t.encode / t.wall));
  return true;
}

// Encoding `video`'s frames again with the x264 settings of the export (decoding them is timed
// apart and taken off).
bool EncodeAlone(const std::string& video, const std::string& preset, Run& encode) {
  const std::string input = "ffmpeg -nostdin -hide_banner -loglevel error -i '" + video + "' ";
  const Run decode = Time(input + "-f null -");
  const Run both = Time(input + "-c:v libx264 -preset " + preset + " -crf 18 -pix_fmt yuv420p -f null -");
  if (!decode.ok || !both.ok) return false;
  encode.wall = both.wall - decode.wall;
  encode.cpu = both.cpu - decode.cpu;
  encode.ok = true;
  std::printf(
      "  encoding the same frames alone (libx264, preset %s, CRF 18): %.2f s, %.1f processor s (decoding "
      "them, taken off: %.2f s)\n",
      preset.c_str(), encode.wall, encode.cpu, decode.wall);
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  WorkDirectory work;
  std::string error;
  if (!work.Open("", error)) {
    std::fprintf(stderr, "video_bench: %s\n", error.c_str());
    return 1;
  }
  const bool given = argc > 1 && *argv[1];  // "" stands for none, so the seconds can follow
  std::string directory = given ? argv[1] : work.path() + "/demo";
  const double seconds = argc > 2 ? std::strtod(argv[2], nullptr) : 10;
  const double seconds4k = argc > 3 ? std::strtod(argv[3], nullptr) : seconds;
  if (!given) {
    const std::string command = std::string(TV_MAKE_DEMO) + " " + directory + " > /dev/null";
    if (std::system(command.c_str()) != 0) {
      std::fprintf(stderr, "video_bench: make_demo failed\n");
      return 1;
    }
  }
  std::unique_ptr<ImageStack> stack = OpenProject(directory + "/demo.kx");
  if (!stack || stack->pictureCount() < 1) return 1;

  struct Size {
    int width, height;
    double seconds;
    const char* name;
  };
  int frames1080 = 0;
  double wall1080 = 0, cpu1080 = 0, alone1080 = 0;
  for (const Size& size : {Size{1920, 1080, seconds, "zoom.mp4"}, Size{3840, 2160, seconds4k, "zoom2160.mp4"}}) {
    VideoSettings settings;
    settings.path = work.path() + "/" + size.name;
    settings.width = size.width;
    settings.height = size.height;
    settings.fps = 30;
    settings.duration = size.seconds;
    Export made;
    if (!MakeVideo(*stack, settings, made)) return 1;
    Run alone;
    if (!EncodeAlone(settings.path, "medium", alone)) {
      std::printf("ffmpeg: could not run (is the ffmpeg program installed?)\n");
      return 0;
    }
    std::printf("  the export against encoding alone: %.2f x the wall time, %.2f x the processor time\n",
                made.t.wall / alone.wall, made.cpu / alone.cpu);
    if (size.height == 1080) {
      frames1080 = made.t.frames;
      wall1080 = made.t.wall;
      cpu1080 = made.cpu;
      alone1080 = alone.wall;
      VideoSettings fast = settings;
      fast.speed = VideoSpeed::Fast;
      fast.path = work.path() + "/fast.mp4";
      Export quick;
      if (!MakeVideo(*stack, fast, quick)) return 1;
    } else {
      std::printf("  peak memory of the process: %.0f MB\n", PeakMegabytes());
    }
  }

  // The yardstick: ffmpeg's zoompan on the first picture, to 10 x over the same number of frames.
  const int frames = frames1080;
  const std::string picture = stack->images[0]->FullPath();
  const std::string command = "ffmpeg -nostdin -hide_banner -loglevel error -y -i '" + picture +
                              "' -vf \"zoompan=z='min(1+on*9/" + std::to_string(frames) +
                              ",10)':x='iw/2-iw/zoom/2':y='ih/2-ih/zoom/2':d=" + std::to_string(frames) +
                              ":s=1920x1080:fps=30\" -frames:v " + std::to_string(frames) +
                              " -c:v libx264 -crf 18 -pix_fmt yuv420p '" + work.path() + "/zoompan.mp4'";
  const Run zoompan = Time(command);
  if (!zoompan.ok) {
    std::printf("ffmpeg zoompan: could not run\n");
    return 0;
  }
  std::printf(
      "ffmpeg zoompan of one picture, 1920 x 1080, same rate and encoder: %d frames in %.2f s = %.1f frames/s, %.1f "
      "processor s\n",
      frames, zoompan.wall, frames / zoompan.wall, zoompan.cpu);
  std::printf("ratio, zoompan to the 1080p video export: %.2f (processor time: %.2f)\n", zoompan.wall / wall1080,
              zoompan.cpu / cpu1080);
  Run zoompanAlone;
  if (EncodeAlone(work.path() + "/zoompan.mp4", "medium", zoompanAlone))
    std::printf("  (zoompan's frames carry less detail: the encoder alone takes %.2f x its time on the demo's)\n",
                zoompanAlone.wall / std::max(1e-9, alone1080));
  return 0;
}
