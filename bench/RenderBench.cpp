// How long `tunnelvista --render-frame` takes beyond its start-up, against djpeg beyond its own,
// in the same run. Prints figures and ratios; no pass or fail.
// - One photograph of about 15 and one of about 20 megapixels (made from the corpus's real
//   photographs, see BenchPictures.h), each alone in a project, drawn at t = 0 at 64 x 48 and at
//   1280 x 960; and a project of the five large photographs (5 to 24 megapixels, each at half the
//   size of the one before), drawn at both sizes.
// - Against djpeg (libjpeg-turbo's own decoder, one thread, full size, output to /dev/null) of the
//   same files, summed over a project's files.
// - Start-up: the same commands on a 32 x 24 picture (each output size apart), subtracted from both.
//   render_bench [--program PATH] [photo directory] [repetitions] [work directory]
// PATH is the program to time (default: the one built beside this benchmark).

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

// Wall time of `command` in milliseconds, median of `repetitions` runs; -1 when it fails.
double Time(const std::vector<std::string>& command, int repetitions) {
  std::vector<double> times;
  for (int r = 0; r < repetitions; ++r) {
    const auto start = BenchClock::now();
    if (RunProgram(command, true) != 0) return -1;
    times.push_back(Milliseconds(BenchClock::now() - start));
  }
  return Median(times);
}

double RenderTime(const std::string& program, const std::string& project, const std::string& output, const Size& size,
                  int repetitions) {
  return Time({program, "--render-frame", "0", "--size", size.Text(), output, project}, repetitions);
}

double DjpegTime(const std::vector<std::string>& files, int repetitions) {
  double total = 0;
  for (const std::string& file : files) {
    const double ms = Time({"djpeg", "-outfile", "/dev/null", file}, repetitions);
    if (ms < 0) return -1;
    total += ms;
  }
  return total;
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
  const double djpegStart = DjpegTime({tinyFile}, repetitions);
  for (const Size& size : sizes) {
    const double start = RenderTime(program, cases[0].project, output, size, repetitions);
    std::printf("\n--render-frame 0 at %s: start-up %.1f, djpeg's %.1f\n", size.Text().c_str(), start, djpegStart);
    std::printf("%-24s %10s %10s %10s %10s %8s\n", "case", "render", "beyond", "djpeg", "beyond", "ratio");
    for (size_t i = 1; i < cases.size(); ++i) {
      const double render = RenderTime(program, cases[i].project, output, size, repetitions);
      const double djpeg = DjpegTime(cases[i].files, repetitions);
      const double djpegBeyond = djpeg - djpegStart * static_cast<double>(cases[i].files.size());
      const double beyond = render - start;
      std::printf("%-24s %10.1f %10.1f %10.1f %10.1f %7.2fx\n", cases[i].name.c_str(), render, beyond, djpeg,
                  djpegBeyond, render >= 0 && djpeg >= 0 && djpegBeyond > 0 ? beyond / djpegBeyond : -1.0);
    }
  }
  return 0;
}
