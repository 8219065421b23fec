#include "SafeFile.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "RecordingReporter.h"
#include "TestFiles.h"

namespace {

namespace fs = std::filesystem;

std::vector<std::string> Names(const std::string& directory) {
  std::vector<std::string> names;
  for (const auto& entry : fs::directory_iterator(directory)) names.push_back(entry.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

// Runs `write` in a child process that may write files of at most `limit` bytes, with the
// signal ignored as the program does; returns the child's WriteResult, or -1 when the child
// did not exit normally (killed by the signal, for instance).
int WriteResultUnderSizeLimit(rlim_t limit, const std::function<WriteResult()>& write) {
  pid_t child = fork();
  if (child == 0) {
    struct rlimit small {};
    getrlimit(RLIMIT_FSIZE, &small);
    small.rlim_cur = limit;
    if (setrlimit(RLIMIT_FSIZE, &small) != 0) _exit(100);
    IgnoreFileSizeSignal();
    _exit(static_cast<int>(write()));
  }
  int status = 0;
  if (child < 0 || waitpid(child, &status, 0) != child || !WIFEXITED(status)) return -1;
  return WEXITSTATUS(status);
}

TEST(SafeFile, NewAndReplacedFilesLeaveNothingElseBehind) {
  for (bool unnamed : {true, false}) {
    SCOPED_TRACE(unnamed ? "unnamed temporary" : "named temporary");
    UseUnnamedTemporaryFiles(unnamed);
    TempDir dir;
    const std::string longName(250, 'n');  // the temporary's name must still be a valid one
    for (const std::string& name : {std::string("p.kx"), longName}) {
      ASSERT_EQ(WriteFileReplacing(dir.File(name), "first"), WriteResult::Ok);
      ASSERT_EQ(chmod(dir.File(name).c_str(), 0640), 0);
      ASSERT_EQ(WriteFileReplacing(dir.File(name), "second"), WriteResult::Ok);
      EXPECT_EQ(ReadFileBytes(dir.File(name)), "second");
      struct stat st {};
      ASSERT_EQ(stat(dir.File(name).c_str(), &st), 0);
      EXPECT_EQ(st.st_mode & 07777, 0640u);
    }
    EXPECT_EQ(Names(dir.path()), (std::vector<std::string>{longName, "p.kx"}));
  }
  UseUnnamedTemporaryFiles(true);
}

// A new file gets the usual permissions less the process's umask, which is read, never changed.
TEST(SafeFile, NewFilesFollowTheUmask) {
  const mode_t before = umask(027);
  TempDir dir;
  ASSERT_EQ(WriteFileReplacing(dir.File("new.kx"), "x"), WriteResult::Ok);
  struct stat st {};
  ASSERT_EQ(stat(dir.File("new.kx").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0640u);
  EXPECT_EQ(umask(before), 027u);
}

// The PID of a process that has ended (PIDs come back only after the whole range was used).
std::string EndedProcess() {
  const pid_t child = fork();
  if (child == 0) _exit(0);
  waitpid(child, nullptr, 0);
  return std::to_string(child);
}

TEST(SafeFile, TemporariesOfKilledSavesGoWithTheNextSave) {
  for (bool unnamed : {true, false}) {
    SCOPED_TRACE(unnamed ? "unnamed temporary" : "named temporary");
    UseUnnamedTemporaryFiles(unnamed);
    TempDir dir, outside;
    const std::string dead = EndedProcess(), alive = std::to_string(getpid());
    WriteFileBytes(outside.File("kept"), "kept");
    WriteFileBytes(dir.File(".p.kx.part-" + dead + "-aB3xYz"), "a killed save");
    fs::create_directory(dir.File(".p.kx.part-" + dead + "-7"));  // a killed export's folder
    fs::create_symlink(outside.File("kept"), dir.File(".p.kx.part-" + dead + "-7/link"));
    // What is not a dead process's temporary of p.kx stays.
    const std::vector<std::string> others = {".p.kx.part-" + alive + "-aB3xYz", ".p.kx.part-" + dead,
                                             ".p.kx.part-" + dead + "-a.b",     ".q.kx.part-" + dead + "-aB3xYz",
                                             "p.kx.part-" + dead + "-1",        ".p.kx.part-x" + dead + "-1"};
    for (const std::string& name : others) WriteFileBytes(dir.File(name), "other");
    ASSERT_EQ(WriteFileReplacing(dir.File("p.kx"), "saved"), WriteResult::Ok);
    std::vector<std::string> expected = others;
    expected.push_back("p.kx");
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(Names(dir.path()), expected);
    EXPECT_EQ(ReadFileBytes(outside.File("kept")), "kept");
  }
  UseUnnamedTemporaryFiles(true);
}

TEST(SafeFile, FileSizeLimitFailsTheSaveAndKeepsTheOldFile) {
  TempDir dir;
  const std::string path = dir.File("p.kx");
  WriteFileBytes(path, "old");
  EXPECT_EQ(WriteResultUnderSizeLimit(100, [&] { return WriteFileReplacing(path, std::string(1000, 'x')); }),
            static_cast<int>(WriteResult::WriteFailed));
  EXPECT_EQ(ReadFileBytes(path), "old");
  EXPECT_EQ(Names(dir.path()), std::vector<std::string>{"p.kx"});
}

TEST(SafeFile, SymbolicLinksStayAndTheirTargetsAreWritten) {
  TempDir dir;
  fs::create_directory(dir.File("real"));
  WriteFileBytes(dir.File("real/old.kx"), "old");
  fs::create_symlink("real/old.kx", dir.File("old.kx"));            // relative, to a file
  fs::create_symlink(dir.File("real/new.kx"), dir.File("new.kx"));  // dangling
  fs::create_symlink("new.kx", dir.File("chain.kx"));               // to the dangling link

  ASSERT_EQ(WriteFileReplacing(dir.File("old.kx"), "replaced"), WriteResult::Ok);
  ASSERT_EQ(WriteFileReplacing(dir.File("chain.kx"), "created"), WriteResult::Ok);
  for (const char* link : {"old.kx", "new.kx", "chain.kx"}) EXPECT_TRUE(fs::is_symlink(dir.File(link))) << link;
  EXPECT_EQ(ReadFileBytes(dir.File("real/old.kx")), "replaced");
  EXPECT_EQ(ReadFileBytes(dir.File("real/new.kx")), "created");
  EXPECT_EQ(Names(dir.File("real")), (std::vector<std::string>{"new.kx", "old.kx"}));

  fs::create_symlink("loop.kx", dir.File("loop.kx"));
  EXPECT_EQ(WriteFileReplacing(dir.File("loop.kx"), "x"), WriteResult::OpenFailed);
  EXPECT_TRUE(fs::is_symlink(dir.File("loop.kx")));
}

TEST(SafeFile, PipesAreRefusedWithoutWaiting) {
  TempDir dir;
  const std::string pipe = dir.File("pipe.kx");
  ASSERT_EQ(mkfifo(pipe.c_str(), 0644), 0);
  fs::create_symlink("pipe.kx", dir.File("link.kx"));

  RecordingReporter reporter;
  alarm(20);  // opening the pipe for writing would wait for a reader forever: end the test program
  EXPECT_FALSE(WriteFileReporting(pipe, "bytes"));
  EXPECT_FALSE(WriteFileReporting(dir.File("link.kx"), "bytes"));
  alarm(0);
  EXPECT_EQ(reporter.Texts(),
            (std::vector<std::string>{"Cannot write to " + pipe + ": it is not a regular file.\n",
                                      "Cannot write to " + dir.File("link.kx") + ": it is not a regular file.\n"}));
  EXPECT_TRUE(fs::is_fifo(pipe));
  EXPECT_TRUE(fs::is_symlink(dir.File("link.kx")));
}

// Makes a directory refuse new files while the files in it stay writable: without write
// permission, or for root, which permissions do not stop, with the immutable attribute.
class RefusingDirectory {
 public:
  explicit RefusingDirectory(const std::string& path) : path_(path) {
    if (geteuid() != 0) {
      refusing_ = chmod(path.c_str(), 0555) == 0;
      return;
    }
    fd_ = open(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    int flags = 0;
    if (fd_ >= 0 && ioctl(fd_, FS_IOC_GETFLAGS, &flags) == 0) {
      flags |= FS_IMMUTABLE_FL;
      refusing_ = ioctl(fd_, FS_IOC_SETFLAGS, &flags) == 0;
    }
  }
  ~RefusingDirectory() {
    if (fd_ >= 0) {
      int flags = 0;
      if (ioctl(fd_, FS_IOC_GETFLAGS, &flags) == 0) {
        flags &= ~FS_IMMUTABLE_FL;
        ioctl(fd_, FS_IOC_SETFLAGS, &flags);
      }
      close(fd_);
    } else {
      chmod(path_.c_str(), 0755);
    }
  }
  RefusingDirectory(const RefusingDirectory&) = delete;
  RefusingDirectory& operator=(const RefusingDirectory&) = delete;
  bool refusing() const { return refusing_; }

 private:
  std::string path_;
  int fd_ = -1;
  bool refusing_ = false;
};

TEST(SafeFile, DirectoryWithoutRoomForATemporaryFileIsWrittenInPlace) {
  TempDir dir;
  const std::string path = dir.File("p.kx");
  WriteFileBytes(path, "the old project");
  ASSERT_EQ(chmod(path.c_str(), 0644), 0);
  struct stat before {};
  ASSERT_EQ(stat(path.c_str(), &before), 0);
  RefusingDirectory refusing(dir.path());
  if (!refusing.refusing()) GTEST_SKIP() << "cannot make a directory refuse new files here";

  EXPECT_EQ(WriteResultUnderSizeLimit(100, [&] { return WriteFileReplacing(path, std::string(1000, 'x')); }),
            static_cast<int>(WriteResult::WriteFailed));
  EXPECT_EQ(ReadFileBytes(path), "the old project");

  EXPECT_EQ(WriteFileReplacing(path, "a longer new project"), WriteResult::Ok);
  EXPECT_EQ(ReadFileBytes(path), "a longer new project");
  EXPECT_EQ(WriteFileReplacing(path, "short"), WriteResult::Ok);
  EXPECT_EQ(ReadFileBytes(path), "short");
  struct stat after {};
  ASSERT_EQ(stat(path.c_str(), &after), 0);
  EXPECT_EQ(after.st_ino, before.st_ino);
  EXPECT_EQ(after.st_mode, before.st_mode);

  EXPECT_EQ(WriteFileReplacing(dir.File("new.kx"), "x"), WriteResult::OpenFailed);
  EXPECT_EQ(Names(dir.path()), std::vector<std::string>{"p.kx"});
}

}  // namespace
