// Pictures made to hurt: headers claiming gigapixels, thousands of scans, files cut short, a FIFO
// in a picture's place. The real program, run as a child, refuses each of them, names it and
// fails, in bounded memory and without waiting on anything.

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "HostileJpeg.h"
#include "TestFiles.h"

namespace {

struct ProgramRun {
  int status = -1;
  long peakKiB = 0;  // the child's largest resident set
  std::string out, errors;
};

// The program with `arguments`, no display, stopped after a minute (a hang shows as 124).
ProgramRun RunProgram(const TempDir& dir, const std::vector<std::string>& arguments) {
  std::vector<std::string> all = {"timeout", "60", TV_PROGRAM};
  all.insert(all.end(), arguments.begin(), arguments.end());
  const std::string out = dir.File("out.txt"), err = dir.File("err.txt");
  const pid_t child = fork();
  if (child == 0) {
    unsetenv("DISPLAY");
    unsetenv("WAYLAND_DISPLAY");
    unsetenv("QT_QPA_PLATFORM");
    if (!freopen(out.c_str(), "w", stdout) || !freopen(err.c_str(), "w", stderr)) _exit(126);
    std::vector<char*> argv;
    for (std::string& a : all) argv.push_back(a.data());
    argv.push_back(nullptr);
    execvp(argv[0], argv.data());
    _exit(127);
  }
  ProgramRun run;
  rusage usage{};
  // wait4's usage includes the children the child waited for: `timeout`'s child, the program.
  if (wait4(child, &run.status, 0, &usage) == child) run.peakKiB = usage.ru_maxrss;
  run.out = ReadFileBytes(out);
  run.errors = ReadFileBytes(err);
  return run;
}

std::string Project(const std::vector<std::string>& pictures) {
  std::string text = "#Tunnelvista v1.0\nduration 8\nimages " + std::to_string(pictures.size()) + "\n";
  for (const std::string& name : pictures) text += "filename " + name + "\nscale 0.5\ntranslate 0 0\nrotate 0\n";
  return text + "target\nscale 0.5\ntranslate 0 0\nrotate 0\n";
}

bool ExitedWith(const ProgramRun& run, int code) { return WIFEXITED(run.status) && WEXITSTATUS(run.status) == code; }

// Each file is refused and named; the run's peak memory stays near that of the same project of
// good pictures: the refusals are made before the claimed sizes are allocated. Unbounded, the
// first two files alone took some 800 MB each.
TEST(HostilePictures, RefusedInBoundedMemory) {
  TempDir dir;
  struct Crafted {
    const char* name;
    std::string bytes;
    bool tooLarge;
  } crafted[] = {
      {"progressive-16383.jpg", WithDeclaredSize(EncodeJpeg(64, 64, JpegCoding::Progressive), 16383, 16383), true},
      {"arith-65000.jpg", WithDeclaredSize(EncodeJpeg(64, 64, JpegCoding::Arithmetic), 65000, 65000), true},
      {"arith-16383.jpg", WithDeclaredSize(EncodeJpeg(64, 64, JpegCoding::Arithmetic), 16383, 16383), false},
      {"scans.jpg", ManyScansJpeg(4096, 2000), false},
      {"arith-cut.jpg", CutAndClosed(EncodeJpeg(200, 160, JpegCoding::Arithmetic), 5000), false},
      {"progressive-cut.jpg", CutAndClosed(EncodeJpeg(200, 160, JpegCoding::ArithmeticProgressive), 5000), false},
  };
  std::vector<std::string> bad = {"good.jpg"}, good = {"good.jpg"};
  WriteFileBytes(dir.File("good.jpg"), EncodeJpeg(200, 160, JpegCoding::Baseline));
  for (const Crafted& c : crafted) {
    WriteFileBytes(dir.File(c.name), c.bytes);
    bad.push_back(c.name);
    good.push_back("good.jpg");
  }
  WriteFileBytes(dir.File("bad.kx"), Project(bad));
  WriteFileBytes(dir.File("good.kx"), Project(good));
  const std::vector<std::string> frame = {"--render-frame",   "0.5", dir.File("f.png"), "--size", "64x48",
                                          "--texture-budget", "16"};
  std::vector<std::string> arguments = frame;
  arguments.push_back(dir.File("good.kx"));
  const ProgramRun reference = RunProgram(dir, arguments);
  ASSERT_TRUE(ExitedWith(reference, 0)) << reference.status << reference.errors;
  arguments.back() = dir.File("bad.kx");
  const ProgramRun run = RunProgram(dir, arguments);
  EXPECT_TRUE(ExitedWith(run, 1)) << run.status << run.errors;
  for (const Crafted& c : crafted) {
    const size_t at = run.errors.find(c.name);
    ASSERT_NE(at, std::string::npos) << c.name << ": " << run.errors;
    EXPECT_EQ(run.errors.compare(at + std::string(c.name).size(), 12, "  (too large") == 0, c.tooLarge)
        << c.name << ": " << run.errors;
  }
  EXPECT_LT(run.peakKiB, reference.peakKiB + 128 * 1024) << "KiB at peak, against " << reference.peakKiB;
}

// A FIFO in a picture's place fails to load like any file that is not a picture; nothing waits
// for a writer.
TEST(HostilePictures, AFifoIsAPictureThatFailed) {
  TempDir dir;
  WriteFileBytes(dir.File("a.jpg"), EncodeJpeg(200, 160, JpegCoding::Baseline));
  ASSERT_EQ(mkfifo(dir.File("pipe.jpg").c_str(), 0600), 0);
  WriteFileBytes(dir.File("zoom.kx"), Project({"a.jpg", "pipe.jpg"}));
  const std::vector<std::vector<std::string>> commands = {
      {"--render-frame", "0.5", dir.File("f.png"), "--size", "64x48"},
      {"--export-web", dir.File("site")},
      {"--align"},
  };
  for (std::vector<std::string> arguments : commands) {
    arguments.push_back(dir.File("zoom.kx"));
    const ProgramRun run = RunProgram(dir, arguments);
    EXPECT_TRUE(ExitedWith(run, 1)) << arguments[0] << ": " << run.status << run.errors;
    EXPECT_NE(run.errors.find("pipe.jpg"), std::string::npos) << arguments[0] << ": " << run.errors;
  }
}

TEST(HostilePictures, AlignNamesPicturesTooSmallToAlign) {
  TempDir dir;
  WriteFileBytes(dir.File("a.jpg"), EncodeJpeg(200, 160, JpegCoding::Baseline));
  WriteFileBytes(dir.File("tiny.jpg"), EncodeJpeg(16, 16, JpegCoding::Baseline));
  WriteFileBytes(dir.File("zoom.kx"), Project({"a.jpg", "tiny.jpg"}));
  const ProgramRun run = RunProgram(dir, {"--align", dir.File("zoom.kx")});
  EXPECT_TRUE(ExitedWith(run, 1)) << run.status << run.errors;
  EXPECT_NE(run.out.find("picture 2 (tiny.jpg): picture too small to align"), std::string::npos) << run.out;
}

}  // namespace
