// The real program in a child process, driven through the test run's X server.

#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "EditorFixture.h"
#include "X11Driver.h"

extern char** environ;

namespace {

class Program {
 public:
  explicit Program(std::vector<std::string> arguments, std::vector<std::string> extraEnvironment = {}) {
    arguments.insert(arguments.begin(), TV_PROGRAM);
    std::vector<char*> argv;
    for (auto& a : arguments) argv.push_back(a.data());
    argv.push_back(nullptr);
    // The program keeps its window's size and recent projects in a folder of the test's own.
    static const TempDir config;
    std::vector<std::string> environment{"XDG_CONFIG_HOME=" + config.path()};
    for (char** e = environ; *e; ++e)
      if (std::strncmp(*e, "XDG_CONFIG_HOME=", 16) != 0) environment.emplace_back(*e);
    for (auto& e : extraEnvironment) environment.push_back(e);
    std::vector<char*> envp;
    for (auto& e : environment) envp.push_back(e.data());
    envp.push_back(nullptr);
    if (posix_spawn(&pid_, TV_PROGRAM, nullptr, nullptr, argv.data(), envp.data()) != 0) pid_ = -1;
  }
  ~Program() {
    if (pid_ > 0 && !finished_) {
      kill(pid_, SIGKILL);
      waitpid(pid_, nullptr, 0);
    }
  }
  bool Started() const { return pid_ > 0; }
  long Pid() const { return pid_; }
  // The exit status, or -1 when the program did not end normally within `timeoutMs`.
  int WaitForExit(int timeoutMs) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (std::chrono::steady_clock::now() < deadline) {
      int status = 0;
      if (waitpid(pid_, &status, WNOHANG) == pid_) {
        finished_ = true;
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return -1;
  }

 private:
  pid_t pid_ = -1;
  bool finished_ = false;
};

// Also with the editor's own options and Qt's before the project, which is opened all the same.
TEST(Program, ClosingTheWindowEndsWithStatusZero) {
  X11Driver x;
  ASSERT_TRUE(x.Connected()) << "needs an X server (run under xvfb-run)";
  ProjectFiles project;
  for (const std::vector<std::string>& arguments :
       {std::vector<std::string>{project.path},
        std::vector<std::string>{"-style", "fusion", "--texture-budget", "64", "--", project.path}}) {
    Program program(arguments);
    ASSERT_TRUE(program.Started());
    // The title names the open project.
    const unsigned long window = x.WaitForWindow("project.kx - Tunnelvista Editor", program.Pid(), 20000);
    ASSERT_NE(window, 0u) << arguments[0];
    x.RequestClose(window);
    EXPECT_EQ(program.WaitForExit(20000), 0);
  }
}

TEST(Program, ExitOnControlXEndsWithStatusZero) {
  X11Driver x;
  ASSERT_TRUE(x.Connected()) << "needs an X server (run under xvfb-run)";
  Program program({});
  ASSERT_TRUE(program.Started());
  const unsigned long window = x.WaitForWindow("Tunnelvista Editor", program.Pid(), 20000);
  ASSERT_NE(window, 0u);
  // Keys typed before the window has taken the focus are lost: typed again until it ends.
  int status = -1;
  for (int attempt = 0; attempt < 20 && status < 0; ++attempt) {
    x.ControlKey(window, "x");
    status = program.WaitForExit(1000);
  }
  EXPECT_EQ(status, 0);
}

TEST(Program, WithoutOpenGLItSaysSoAndEndsWithStatusOne) {
  X11Driver x;
  ASSERT_TRUE(x.Connected()) << "needs an X server (run under xvfb-run)";
  // Without Qt's GL integration for X no context can be made.
  Program program({}, {"QT_XCB_GL_INTEGRATION=none"});
  ASSERT_TRUE(program.Started());
  const unsigned long box = x.WaitForWindow("Error creating OpenGL context", program.Pid(), 20000);
  ASSERT_NE(box, 0u);
  x.RequestClose(box);
  EXPECT_EQ(program.WaitForExit(20000), 1);
}

}  // namespace
