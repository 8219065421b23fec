// The program's --export-web, run as a child process without a display. The program is copied
// into a folder of its own, with a player beside it, as an installation lays them out.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "TestFiles.h"
#include "WebExport.h"

namespace {

namespace fs = std::filesystem;

struct ExportWebCommand : ::testing::Test {
  TempDir install, project, out;
  std::string program;

  ExportWebCommand() {
    program = install.File("tunnelvista");
    fs::copy_file(TV_PROGRAM, program);
    fs::create_directories(install.File("web/player"));
    for (const char* name : webPlayerFiles) WriteFileBytes(install.File("web/player/") + name, name);
    WriteJpeg(project.File("a.jpg"), 640, 480, [](int x, int) { return Rgb{static_cast<uint8_t>(x), 9, 9}; });
    WriteJpeg(project.File("b.jpg"), 320, 240, [](int, int y) { return Rgb{9, static_cast<uint8_t>(y), 9}; });
    WriteFileBytes(project.File("zoom.kx"),
                   "#Tunnelvista v1.0\nduration 8\nimages 2\nfilename a.jpg\nscale 1\ntranslate 0 0\nrotate 0\n"
                   "filename b.jpg\nscale 0.5\ntranslate 0 0\nrotate 0\ntarget\nscale 0.5\ntranslate 0 0\nrotate 0\n");
  }

  // Runs the program with `arguments` and no display; returns the exit status, stderr in `errors`.
  int Run(const std::string& arguments, std::string& errors) {
    const std::string errorFile = install.File("stderr.txt");
    const std::string command = "env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM " + program + " " + arguments +
                                " >/dev/null 2>" + errorFile;
    const int status = std::system(command.c_str());
    errors = ReadFileBytes(errorFile);
    fs::remove(errorFile);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }
};

TEST_F(ExportWebCommand, ExportsWithoutADisplayAndReplacesOnlyWhenForced) {
  const std::string site = out.File("new/site");
  std::string errors;
  ASSERT_EQ(Run("--export-web " + site + " " + project.File("zoom.kx"), errors), 0) << errors;
  EXPECT_EQ(errors, "");
  for (const char* name :
       {"index.html", "default.kxo", "default.kxo.js", "a.jpg", "a.jpg.js", "b.jpg.js", "tunnelvista-player/player.js"})
    EXPECT_TRUE(fs::exists(site + "/" + name)) << name;
  const std::string page = ReadFileBytes(site + "/index.html");
  EXPECT_NE(page.find("\"width\": 320, \"height\": 240, \"duration\": 8,"), std::string::npos) << page;
  EXPECT_NE(page.find("\"sizes\": [[640, 480], [320, 240]]"), std::string::npos) << page;
  EXPECT_NE(page.find(", \"fill\": true});"), std::string::npos) << page;
  const std::string data = ReadFileBytes(site + "/default.kxo");

  WriteFileBytes(site + "/index.html", "kept");
  EXPECT_NE(Run("--export-web " + site + " " + project.File("zoom.kx"), errors), 0);
  EXPECT_NE(errors.find(site + "/index.html"), std::string::npos) << errors;
  EXPECT_EQ(ReadFileBytes(site + "/index.html"), "kept");
  // A fixed page of any size up to 7680 x 4320; the play settings for this run only.
  const std::string projectText = ReadFileBytes(project.File("zoom.kx"));
  ASSERT_EQ(Run("--export-web " + site + " --force --picture-size 1024 --size 1920x1080 --play endless --pace steady " +
                    project.File("zoom.kx"),
                errors),
            0)
      << errors;
  const std::string fixed = ReadFileBytes(site + "/index.html");
  EXPECT_NE(fixed.find("\"width\": 1920, \"height\": 1080"), std::string::npos) << fixed;
  EXPECT_NE(fixed.find("], \"play\": \"endless\", \"pace\": \"steady\"});"), std::string::npos) << fixed;
  EXPECT_EQ(ReadFileBytes(project.File("zoom.kx")), projectText);
  ASSERT_EQ(Run("--export-web " + site + " --force --size fill --play back " + project.File("zoom.kx"), errors), 0);
  EXPECT_EQ(ReadFileBytes(site + "/default.kxo"), data);
}

// Values the options do not take stop the run before anything is read or written.
TEST_F(ExportWebCommand, PlaySettingsAndPageSizesOutsideTheirWordsAreRefused) {
  const std::string zoom = project.File("zoom.kx");
  const std::string site = out.File("site");
  struct Case {
    std::string arguments, said;
  } cases[] = {
      {"--export-web " + site + " --play sideways " + zoom, "--play takes endless or back"},
      {"--export-web " + site + " --pace fast " + zoom, "--pace takes eased or steady"},
      {"--export-web " + site + " --size 7681x4320 " + zoom, "50x50 to 7680x4320, or fill"},
      {"--export-web " + site + " --player applet --size 801x600 " + zoom, "50x50 to 800x600"},
      {"--export-web " + site + " --player applet --size fill " + zoom, "fixed box"},
      {"--render-frame 0.5 " + out.File("f.png") + " --size fill " + zoom, "--size takes WIDTHxHEIGHT"},
      {"--export-video " + out.File("v.mp4") + " --play forever " + zoom, "--play takes endless or back"},
      {"--export-web " + site + " --player= " + zoom, "--player takes html5 or applet, not \"\""},
  };
  for (const Case& c : cases) {
    std::string errors;
    EXPECT_EQ(Run(c.arguments, errors), 2) << c.arguments;
    EXPECT_NE(errors.find(c.said), std::string::npos) << errors;
  }
  EXPECT_FALSE(fs::exists(site));
  EXPECT_FALSE(fs::exists(out.File("f.png")));
}

// The editor's unsaved changes of the project are neither offered, nor read, nor removed.
TEST_F(ExportWebCommand, LeavesTheEditorsRecoveryFileAlone) {
  const std::string recovery = project.File("zoom.kx.recovery");
  WriteFileBytes(recovery, "#Tunnelvista v1.0\nduration 3\nimages 0\ntarget\nscale 1\ntranslate 0 0\nrotate 0\n");
  fs::last_write_time(recovery, fs::last_write_time(project.File("zoom.kx")) + std::chrono::hours(1));
  std::string errors;
  ASSERT_EQ(Run("--export-web " + out.File("site") + " " + project.File("zoom.kx"), errors), 0) << errors;
  EXPECT_EQ(errors, "");
  EXPECT_NE(ReadFileBytes(out.File("site/index.html")).find("\"duration\": 8,"), std::string::npos);
  EXPECT_TRUE(fs::exists(recovery));
}

TEST_F(ExportWebCommand, FailuresSaySoAndWriteNothing) {
  WriteFileBytes(out.File("index.html"), "kept");
  struct Case {
    std::string arguments;
    std::string target;
  } cases[] = {
      {"--export-web /proc/tunnelvista-site " + project.File("zoom.kx"), "/proc/tunnelvista-site"},
      {"--export-web " + out.path() + " " + project.File("zoom.kx"), out.path()},
      {"--export-web " + out.File("site") + " " + project.File("missing.kx"), out.File("site")},
      {"--export-web " + out.File("site") + " --player flash " + project.File("zoom.kx"), out.File("site")},
  };
  for (const Case& c : cases) {
    std::string errors;
    EXPECT_NE(Run(c.arguments, errors), 0) << c.arguments;
    EXPECT_NE(errors, "") << c.arguments;
    EXPECT_FALSE(fs::exists(c.target + "/default.kxo")) << c.arguments;
  }
  EXPECT_EQ(ReadFileBytes(out.File("index.html")), "kept");
  EXPECT_FALSE(fs::exists(out.File("site")));
}

TEST_F(ExportWebCommand, RefusalNamesLinksAndForceReplacesThemNotTheirTargets) {
  const std::string site = out.File("site");
  fs::create_directory(site);
  WriteFileBytes(out.File("mine"), "mine");
  fs::create_symlink(out.File("mine"), site + "/index.html");
  fs::create_symlink(out.File("gone.txt"), site + "/a.jpg");
  std::string errors;
  EXPECT_EQ(Run("--export-web " + site + " " + project.File("zoom.kx"), errors), 1);
  EXPECT_NE(errors.find(site + "/index.html (a symbolic link to " + out.File("mine") + ")"), std::string::npos)
      << errors;
  EXPECT_NE(errors.find(site + "/a.jpg (a symbolic link to " + out.File("gone.txt") + ")"), std::string::npos);
  ASSERT_EQ(Run("--export-web " + site + " --force " + project.File("zoom.kx"), errors), 0) << errors;
  EXPECT_EQ(ReadFileBytes(out.File("mine")), "mine");
  EXPECT_FALSE(fs::exists(out.File("gone.txt")));
  EXPECT_FALSE(fs::is_symlink(site + "/index.html"));
}

// SIGTERM mid-way: the export stops, removes what it wrote and leaves the folder as it was. The
// applet archive beside the program is a pipe fed without end, so only the signal can stop the
// export.
TEST_F(ExportWebCommand, TerminatedExportLeavesTheFolderAsItWas) {
  ASSERT_EQ(mkfifo(install.File("kx.jar").c_str(), 0600), 0);
  const std::string site = out.File("site");
  fs::create_directory(site);
  WriteFileBytes(site + "/index.html", "kept");
  const std::string errorFile = install.File("stderr.txt");
  const pid_t child = fork();
  if (child == 0) {
    const int fd = open(errorFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    dup2(fd, 2);
    execl("/usr/bin/env", "env", "-u", "DISPLAY", "-u", "WAYLAND_DISPLAY", "-u", "QT_QPA_PLATFORM", program.c_str(),
          "--export-web", site.c_str(), "--player", "applet", "--force", project.File("zoom.kx").c_str(), nullptr);
    _exit(127);
  }
  ASSERT_GT(child, 0);
  // The signal goes once the export has opened the archive, mid-way. The feed is bounded, so an
  // export that ignored the signal would wait for more rather than finish.
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(240);
  int status = 0;
  pid_t ended = 0;
  int feed = -1;
  while (feed < 0 && ended == 0 && std::chrono::steady_clock::now() < deadline) {
    feed = open(install.File("kx.jar").c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);  // ENXIO until read
    if (feed < 0) ended = waitpid(child, &status, WNOHANG);
    if (feed < 0 && ended == 0) std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  EXPECT_GE(feed, 0) << "the export never opened its archive";
  kill(child, SIGTERM);
  void (*const previousPipe)(int) = std::signal(SIGPIPE, SIG_IGN);  // the export may close it first
  const std::vector<char> chunk(65536, 'k');
  size_t fed = 0;
  while (ended == 0 && std::chrono::steady_clock::now() < deadline) {
    if (feed >= 0 && fed < (size_t{64} << 20)) {
      const ssize_t n = write(feed, chunk.data(), chunk.size());
      if (n > 0) fed += static_cast<size_t>(n);
    }
    ended = waitpid(child, &status, WNOHANG);
    if (ended == 0) std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  if (feed >= 0) close(feed);
  std::signal(SIGPIPE, previousPipe);
  if (ended == 0) kill(child, SIGKILL);
  ASSERT_EQ(ended == 0 ? waitpid(child, &status, 0) : ended, child);
  ASSERT_NE(ended, 0) << "the export did not stop";
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 1) << status;
  EXPECT_NE(ReadFileBytes(errorFile).find("interrupted"), std::string::npos) << ReadFileBytes(errorFile);
  std::vector<std::string> left;
  for (const auto& entry : fs::directory_iterator(site)) left.push_back(entry.path().filename().string());
  EXPECT_EQ(left, std::vector<std::string>{"index.html"});
  EXPECT_EQ(ReadFileBytes(site + "/index.html"), "kept");
}

// A mistyped or unknown option stops the run with its name, before Qt's platform is loaded: the
// same with a display as without one (where the editor would otherwise open, or abort for want
// of one). `timeout` bounds an editor that opened by mistake.
TEST(CommandLineMistakes, UnknownOptionsAreNamedWithOrWithoutADisplay) {
  TempDir dir;
  const std::string zoom = dir.File("zoom.kx"), video = dir.File("x.mp4");
  struct Case {
    std::string arguments, said;
  } cases[] = {
      {"--export-vidoe " + video + " " + zoom, "unknown option --export-vidoe; did you mean --export-video?"},
      {"--export-vidoe=" + video + " " + zoom, "unknown option --export-vidoe; did you mean --export-video?"},
      {"-export-video " + video + " " + zoom, "unknown option -export-video; did you mean --export-video?"},
      {"--texture-budget 64 --match-colors " + zoom, "unknown option --match-colors; did you mean --match-colours?"},
      {"--frobnicate " + zoom, "unknown option --frobnicate (see --help)"},
      {"--fps 30 " + zoom, "--fps goes with one of the works"},
  };
  for (const char* display : {"env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM", "env QT_QPA_PLATFORM=offscreen"})
    for (const Case& c : cases) {
      const std::string command = std::string("timeout -s KILL 120 ") + display + " " TV_PROGRAM " " + c.arguments +
                                  " >/dev/null 2>" + dir.File("err.txt");
      const int status = std::system(command.c_str());
      const std::string errors = ReadFileBytes(dir.File("err.txt"));
      EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 2) << display << " " << c.arguments << ": " << status;
      EXPECT_NE(errors.find("tunnelvista: " + c.said), std::string::npos) << c.arguments << ": " << errors;
      EXPECT_FALSE(fs::exists(video));
    }
}

}  // namespace
