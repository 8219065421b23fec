// How fast a video of the demo is made: a 1920 x 1080, 30 fps, 10 s MP4 (H.264, CRF 18), in
// frames a second, with the time of each stage per frame (drawing, reading back, converting,
// encoding; the stages run at once on their own threads, so they add up to more than the wall
// time), the peak memory, and the same run of the ffmpeg program making a 10 s 1080p zoom of the
// demo's first picture with its zoompan filter (same encoder and quality), as a yardstick: it
// draws one picture per frame where the video draws several. Wall and processor times both (the
// machine may be shared), and what the encoder alone costs on each video's frames. Prints figures
// and ratios; no pass or fail.
//   video_bench [demo directory] [seconds]
// Without a directory the demo is made in a temporary one first.

#include <stdlib.h>
#include <sys/resource.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
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

}  // namespace

int main(int argc, char** argv) {
  WorkDirectory work;
  std::string error;
  if (!work.Open("", error)) {
    std::fprintf(stderr, "video_bench: %s\n", error.c_str());
    return 1;
  }
  std::string directory = argc > 1 ? argv[1] : work.path() + "/demo";
  const double seconds = argc > 2 ? std::strtod(argv[2], nullptr) : 10;
  if (argc <= 1) {
    const std::string command = std::string(TV_MAKE_DEMO) + " " + directory + " > /dev/null";
    if (std::system(command.c_str()) != 0) {
      std::fprintf(stderr, "video_bench: make_demo failed\n");
      return 1;
    }
  }
  std::unique_ptr<ImageStack> stack = OpenProject(directory + "/demo.kx");
  if (!stack || stack->pictureCount() < 1) return 1;

  VideoSettings settings;
  settings.path = work.path() + "/zoom.mp4";
  settings.width = 1920;
  settings.height = 1080;
  settings.fps = 30;
  settings.duration = seconds;
  // The export as the editor makes it, at one encoder speed: its timings and processor seconds.
  struct Export {
    VideoTimings t;
    double cpu = 0;
  };
  auto exportAt = [&](VideoSpeed speed, const std::string& name, Export& result) {
    settings.speed = speed;
    settings.path = work.path() + "/" + name;
    const double cpuBefore = CpuSeconds(RUSAGE_SELF);
    VideoJob job(*stack, settings);
    if (!job.Start() || job.Wait() != VideoResult::Ok) {
      std::fprintf(stderr, "video_bench: %s\n", job.Error().c_str());
      return false;
    }
    result.t = job.Timings();
    result.cpu = CpuSeconds(RUSAGE_SELF) - cpuBefore;
    std::error_code ignored;
    std::printf(
        "video of the demo, 1920 x 1080, 30 fps, %g s, %s: %d frames in %.2f s = %.1f frames/s, %.1f "
        "processor s (%.1f MB)\n",
        seconds, speed == VideoSpeed::Fast ? "--speed fast" : "default speed", result.t.frames, result.t.wall,
        result.t.frames / result.t.wall, result.cpu,
        static_cast<double>(std::filesystem::file_size(settings.path, ignored)) / 1e6);
    std::printf("  per frame: draw %.1f ms, read back %.1f ms, convert %.1f ms, encode %.1f ms (stages overlap)\n",
                PerFrame(result.t.draw, result.t.frames), PerFrame(result.t.readBack, result.t.frames),
                PerFrame(result.t.convert, result.t.frames), PerFrame(result.t.encode, result.t.frames));
    return true;
  };
  Export balanced, fast;
  if (!exportAt(VideoSpeed::Balanced, "zoom.mp4", balanced) || !exportAt(VideoSpeed::Fast, "fast.mp4", fast)) return 1;
  const VideoTimings t = balanced.t;
  const double cpu = balanced.cpu;
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  std::printf("  peak memory of the process: %.0f MB\n", static_cast<double>(usage.ru_maxrss) / 1024);

  // The yardstick: ffmpeg's zoompan on the first picture, to 10 x over the same number of frames.
  const int frames = t.frames;
  const std::string picture = stack->images[0]->FullPath();
  const std::string command = "ffmpeg -nostdin -hide_banner -loglevel error -y -i '" + picture +
                              "' -vf \"zoompan=z='min(1+on*9/" + std::to_string(frames) +
                              ",10)':x='iw/2-iw/zoom/2':y='ih/2-ih/zoom/2':d=" + std::to_string(frames) +
                              ":s=1920x1080:fps=30\" -frames:v " + std::to_string(frames) +
                              " -c:v libx264 -crf 18 -pix_fmt yuv420p '" + work.path() + "/zoompan.mp4'";
  const Run zoompan = Time(command);
  if (!zoompan.ok) {
    std::printf("ffmpeg zoompan: could not run (is the ffmpeg program installed?)\n");
    return 0;
  }
  std::printf(
      "ffmpeg zoompan of one picture, same size, rate and encoder: %d frames in %.2f s = %.1f frames/s, %.1f "
      "processor s\n",
      frames, zoompan.wall, frames / zoompan.wall, zoompan.cpu);
  std::printf("ratio, video export to zoompan: %.2f (processor time: %.2f)\n", zoompan.wall / t.wall,
              zoompan.cpu / cpu);
  std::printf("ratio, video export with --speed fast to zoompan: %.2f (processor time: %.2f)\n",
              zoompan.wall / fast.t.wall, zoompan.cpu / fast.cpu);
  // What the encoder alone costs on each video's frames: the demo's sharp pictures against one
  // magnified picture.
  for (const char* name : {"zoom.mp4", "zoompan.mp4"}) {
    const Run encode = Time("ffmpeg -nostdin -hide_banner -loglevel error -i '" + work.path() + "/" + name +
                            "' -c:v libx264 -crf 18 -f null -");
    if (encode.ok)
      std::printf("  encoding %s's frames again alone: %.2f s, %.1f processor s\n", name, encode.wall, encode.cpu);
  }
  return 0;
}
