// How long `tunnelvista --render-frame` takes beyond its start-up, against djpeg beyond its own,
// in the same run. Prints figures and ratios; no pass or fail.
// - One photograph of about 15 and one of about 20 megapixels (made from the corpus's real
//   photographs, see BenchPictures.h), each alone in a project, drawn at t = 0 at 64 x 48 and at
//   1280 x 960; and a project of the five large photographs (5 to 24 megapixels, each at half the
//   size of the one before), drawn at both sizes.
// - Against djpeg (libjpeg-turbo's own decoder, one thread, full size, output to /dev/null) of the
//   same files, summed over a project's files.
// - Start-up: the same commands on a 32 x 24 picture (each output size apart), subtracted from both.
// - Wall time, and processor time (user and system, all threads): on a busy machine the wall time
//   of a process that waits for its workers and its renderer's threads varies far more.
//   render_bench [--program PATH] [photo directory] [repetitions] [work directory]
// PATH is the program to time (default: the one built beside this benchmark).

#include <sys/resource.h>

#include <QImage>
#include <QImageWriter>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "BenchPictures.h"

namespace {

struct Size {
  int width, height;
  std::string Text() const { return std::to_string(width) + "x" + std::to_string(height); }
};
const Size sizes[] = {{64, 48}, {1280, 960}};

struct Times {
  double wall = -1, cpu = -1;  // milliseconds; negative: the command failed
  bool Ok() const { return wall >= 0; }
};

double ChildrenCpu() {
  rusage usage{};
  getrusage(RUSAGE_CHILDREN, &usage);
  return (usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) * 1e3 +
         (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e3;
}

// The times of `command`, medians of `repetitions` runs.
Times Time(const std::vector<std::string>& command, int repetitions) {
  std::vector<double> wall, cpu;
  for (int r = 0; r < repetitions; ++r) {
    const double cpuBefore = ChildrenCpu();
    const auto start = BenchClock::now();
    if (RunProgram(command, true) != 0) return Times();
    wall.push_back(Milliseconds(BenchClock::now() - start));
    cpu.push_back(ChildrenCpu() - cpuBefore);
  }
  return Times{Median(wall), Median(cpu)};
}

Times RenderTime(const std::string& program, const std::string& project, const std::string& output, const Size& size,
                 int repetitions) {
  return Time({program, "--render-frame", "0", "--size", size.Text(), output, project}, repetitions);
}

// Summed over the files.
Times DjpegTime(const std::vector<std::string>& files, int repetitions) {
  Times total{0, 0};
  for (const std::string& file : files) {
    const Times one = Time({"djpeg", "-outfile", "/dev/null", file}, repetitions);
    if (!one.Ok()) return Times();
    total.wall += one.wall;
    total.cpu += one.cpu;
  }
  return total;
}

// Beyond start-up, against djpeg beyond its own; -1 when either failed.
double Ratio(double render, double renderStart, double djpeg, double djpegStart, size_t files) {
  const double djpegBeyond = djpeg - djpegStart * static_cast<double>(files);
  if (render < 0 || renderStart < 0 || djpeg < 0 || djpegStart < 0 || djpegBeyond <= 0) return -1;
  return (render - renderStart) / djpegBeyond;
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<std::string> args(argv + 1, argv + argc);
  std::string program = TV_PROGRAM;
  if (args.size() >= 2 && args[0] == "--program") {
    program = args[1];
    args.erase(args.begin(), args.begin() + 2);
  }
  const std::string photoDirectory = args.size() > 0 ? args[0] : TV_PHOTO_DIR;
  const int repetitions = args.size() > 1 ? std::max(1, std::atoi(args[1].c_str())) : 5;
  WorkDirectory work;
  std::string error;
  if (!work.Open(args.size() > 2 ? args[2] : std::string(), error)) {
    std::fprintf(stderr, "render_bench: %s\n", error.c_str());
    return 1;
  }
  const std::string dir = work.path();
  std::vector<std::string> large;
  if (!WriteLargePhotos(photoDirectory, dir, large, error) || large.size() < 4) {
    std::fprintf(stderr, "render_bench: %s\n", error.c_str());
    return 1;
  }
  QImage tiny(32, 24, QImage::Format_RGB888);
  tiny.fill(Qt::darkCyan);
  const std::string tinyFile = dir + "/tiny.jpg";
  if (!QImageWriter(QString::fromStdString(tinyFile), "jpeg").write(tiny)) {
    std::fprintf(stderr, "render_bench: cannot write %s\n", tinyFile.c_str());
    return 1;
  }
  struct Case {
    std::string name;
    std::vector<std::string> files;
    std::string project;
  };
  std::vector<Case> cases = {{"tiny (start-up)", {tinyFile}, {}},
                             {"photo 15 MP", {large[2]}, {}},
                             {"photo 20 MP", {large[3]}, {}},
                             {"project of 5 (5-24 MP)", large, {}}};
  for (size_t i = 0; i < cases.size(); ++i) {
    cases[i].project = dir + "/case" + std::to_string(i) + ".kx";
    if (!WriteZoomProject(cases[i].project, cases[i].files, false)) {
      std::fprintf(stderr, "render_bench: cannot write %s\n", cases[i].project.c_str());
      return 1;
    }
  }
  const std::string output = dir + "/frame.png";
  std::printf("render_bench: %s, median of %d runs, milliseconds (beyond start-up: less the tiny picture's)\n",
              program.c_str(), repetitions);
  const Times djpegStart = DjpegTime({tinyFile}, repetitions);
  for (const Size& size : sizes) {
    const Times start = RenderTime(program, cases[0].project, output, size, repetitions);
    std::printf("\n--render-frame 0 at %s: start-up %.1f wall, %.1f processor; djpeg's %.1f, %.1f\n",
                size.Text().c_str(), start.wall, start.cpu, djpegStart.wall, djpegStart.cpu);
    std::printf("%-24s %9s %9s %9s %9s %8s | %9s %9s %8s\n", "case", "render", "beyond", "djpeg", "beyond", "ratio",
                "render p.", "djpeg p.", "ratio p.");
    for (size_t i = 1; i < cases.size(); ++i) {
      const Times render = RenderTime(program, cases[i].project, output, size, repetitions);
      const Times djpeg = DjpegTime(cases[i].files, repetitions);
      const size_t n = cases[i].files.size();
      std::printf("%-24s %9.1f %9.1f %9.1f %9.1f %7.2fx | %9.1f %9.1f %7.2fx\n", cases[i].name.c_str(), render.wall,
                  render.wall - start.wall, djpeg.wall, djpeg.wall - djpegStart.wall * static_cast<double>(n),
                  Ratio(render.wall, start.wall, djpeg.wall, djpegStart.wall, n), render.cpu - start.cpu,
                  djpeg.cpu - djpegStart.cpu * static_cast<double>(n),
                  Ratio(render.cpu, start.cpu, djpeg.cpu, djpegStart.cpu, n));
    }
  }
  return 0;
}
