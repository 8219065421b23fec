#include "SafeFile.h"

#include <fcntl.h>
#include <limits.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <vector>

#include "Messages.h"
#include "PartFiles.h"

namespace {

std::atomic<bool> unnamedTemporaries{true};

// What became of a save; a file that is not regular is told apart only in the message.
enum class Outcome { Ok, OpenFailed, WriteFailed, NotRegularFile };

// One way of writing through a temporary file.
enum class Step { Done, Failed, NoTemporary, Unsupported };

bool WriteAll(int fd, const char* data, size_t left) {
  while (left > 0) {
    ssize_t n = ::write(fd, data, left);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;  // EFBIG past the size limit, ENOSPC, EIO; 0 would never progress
    data += n;
    left -= static_cast<size_t>(n);
  }
  return true;
}

bool WriteAll(int fd, const std::string& bytes) { return WriteAll(fd, bytes.data(), bytes.size()); }

bool WriteAllAt(int fd, const std::string& bytes) {
  return ::lseek(fd, 0, SEEK_SET) == 0 && WriteAll(fd, bytes.data(), bytes.size());
}

bool ReadAll(int fd, std::string& bytes) {
  bytes.clear();
  if (::lseek(fd, 0, SEEK_SET) != 0) return false;
  std::vector<char> chunk(65536);
  for (;;) {
    ssize_t n = ::read(fd, chunk.data(), chunk.size());
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return false;
    if (n == 0) return true;
    bytes.append(chunk.data(), static_cast<size_t>(n));
  }
}

// The process's umask as the kernel reports it (Linux 4.7 on): umask() can only be read by
// setting it, which would briefly change it for files other threads create meanwhile. Where the
// kernel does not say, the usual 022.
mode_t ProcessUmask() {
  std::string status;
  if (ReadWholeFile("/proc/self/status", status)) {
    const size_t at = status.find("\nUmask:");
    if (at != std::string::npos) {
      size_t i = at + 7;
      while (i < status.size() && (status[i] == ' ' || status[i] == '\t')) ++i;
      mode_t mask = 0;
      size_t digits = 0;
      for (; i < status.size() && status[i] >= '0' && status[i] <= '7' && digits < 4; ++i, ++digits)
        mask = static_cast<mode_t>(mask * 8 + static_cast<mode_t>(status[i] - '0'));
      if (digits > 0) return mask & 0777;
    }
  }
  return 022;
}

mode_t NewFileMode() { return 0666 & ~ProcessUmask(); }

// The file `path` stands for: symbolic links in its last component are followed, also to a
// file that does not exist yet. False for a loop of links or a link that cannot be read.
bool FollowLinks(const std::string& path, std::string& target) {
  target = path;
  for (int hops = 0; hops < 40; ++hops) {
    struct stat st {};
    if (::lstat(target.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) return true;
    std::vector<char> link(256);
    ssize_t n;
    while ((n = ::readlink(target.c_str(), link.data(), link.size())) == static_cast<ssize_t>(link.size()))
      link.resize(link.size() * 2);
    if (n <= 0) return false;
    std::string next(link.data(), static_cast<size_t>(n));
    size_t slash = target.find_last_of('/');
    target = next[0] == '/' || slash == std::string::npos ? next : target.substr(0, slash + 1) + next;
  }
  return false;
}

std::string RandomSuffix() {
  static const char letters[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
  std::random_device random;
  std::uniform_int_distribution<size_t> pick(0, sizeof letters - 2);
  std::string suffix;
  for (int i = 0; i < 6; ++i) suffix += letters[pick(random)];
  return suffix;
}

// The bytes go to a file without a name that gets one only when it is complete, and that name
// is then moved over the target.
Step ReplaceThroughUnnamed(const std::string& directory, const std::string& target, mode_t mode,
                           const std::string& bytes) {
  int fd = ::open(directory.empty() ? "." : directory.c_str(), O_TMPFILE | O_WRONLY | O_CLOEXEC, 0600);
  if (fd < 0) return errno == EOPNOTSUPP || errno == EISDIR || errno == EINVAL ? Step::Unsupported : Step::NoTemporary;
  if (::fchmod(fd, mode) != 0 || !WriteAll(fd, bytes) || ::fsync(fd) != 0) {
    ::close(fd);  // the file goes with its descriptor
    return Step::Failed;
  }
  const std::string self = "/proc/self/fd/" + std::to_string(fd);
  std::string temporary;
  int linked = -1;
  for (int attempt = 0; attempt < 100 && linked != 0; ++attempt) {
    temporary = PartStem(target) + RandomSuffix();
    linked = ::linkat(AT_FDCWD, self.c_str(), AT_FDCWD, temporary.c_str(), AT_SYMLINK_FOLLOW);
    if (linked != 0 && errno != EEXIST) break;
  }
  const bool closed = ::close(fd) == 0;
  if (linked != 0) return Step::Unsupported;  // no /proc, or a file system that cannot link it
  if (!closed || ::rename(temporary.c_str(), target.c_str()) != 0) {
    ::unlink(temporary.c_str());
    return Step::Failed;
  }
  return Step::Done;
}

Step ReplaceThroughNamed(const std::string& target, mode_t mode, const std::string& bytes) {
  std::string pattern = PartStem(target) + "XXXXXX";
  std::vector<char> name(pattern.begin(), pattern.end());
  name.push_back('\0');
  int fd = ::mkostemp(name.data(), O_CLOEXEC);
  if (fd < 0) return Step::NoTemporary;
  const char* temporary = name.data();

  bool ok = ::fchmod(fd, mode) == 0;
  ok = ok && WriteAll(fd, bytes);
  ok = ok && ::fsync(fd) == 0;
  ok = (::close(fd) == 0) && ok;
  ok = ok && ::rename(temporary, target.c_str()) == 0;
  if (!ok) {
    ::unlink(temporary);
    return Step::Failed;
  }
  return Step::Done;
}

// For a file in a directory that takes no new files. Room for the new bytes is taken before the
// old ones are touched, so that a full disk or the size limit leaves the file as it was; a
// write that fails later puts the old bytes back.
Outcome RewriteInPlace(const std::string& target, const std::string& bytes) {
  int fd = ::open(target.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return Outcome::OpenFailed;
  struct stat st {};
  std::string old;
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || !ReadAll(fd, old)) {
    ::close(fd);
    return Outcome::OpenFailed;
  }
  if (bytes.size() > old.size() && ::posix_fallocate(fd, 0, static_cast<off_t>(bytes.size())) != 0) {
    if (::fstat(fd, &st) == 0 && static_cast<size_t>(st.st_size) != old.size())
      (void)::ftruncate(fd, static_cast<off_t>(old.size()));
    ::close(fd);
    return Outcome::WriteFailed;
  }
  bool ok = WriteAllAt(fd, bytes) && ::ftruncate(fd, static_cast<off_t>(bytes.size())) == 0 && ::fsync(fd) == 0;
  if (!ok && WriteAllAt(fd, old) && ::ftruncate(fd, static_cast<off_t>(old.size())) == 0) (void)::fsync(fd);
  ok = (::close(fd) == 0) && ok;
  return ok ? Outcome::Ok : Outcome::WriteFailed;
}

// A character device (/dev/null, a terminal) is written to as it is. It is opened without
// blocking, so that a pipe put in its place in the meantime is refused rather than waited on.
Outcome WriteToDevice(const std::string& target, const std::string& bytes) {
  int fd = ::open(target.c_str(), O_WRONLY | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return Outcome::OpenFailed;
  struct stat st {};
  if (::fstat(fd, &st) != 0 || !S_ISCHR(st.st_mode)) {
    ::close(fd);
    return Outcome::NotRegularFile;
  }
  int flags = ::fcntl(fd, F_GETFL);
  bool ok = flags >= 0 && ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) == 0;
  ok = ok && WriteAll(fd, bytes);
  ok = (::close(fd) == 0) && ok;
  return ok ? Outcome::Ok : Outcome::WriteFailed;
}

Outcome Replace(const std::string& path, const std::string& bytes) {
  std::string target;
  if (!FollowLinks(path, target)) return Outcome::OpenFailed;

  struct stat old {};
  const bool exists = ::stat(target.c_str(), &old) == 0;
  if (exists && S_ISDIR(old.st_mode)) return Outcome::OpenFailed;
  if (exists && S_ISCHR(old.st_mode)) return WriteToDevice(target, bytes);
  if (exists && !S_ISREG(old.st_mode)) return Outcome::NotRegularFile;  // never opened: a pipe would block

  size_t slash = target.find_last_of('/');
  std::string directory = slash == std::string::npos ? std::string() : target.substr(0, slash + 1);
  std::string base = target.substr(directory.size());
  if (base.empty()) return Outcome::OpenFailed;
  const mode_t mode = exists ? (old.st_mode & 07777) : NewFileMode();

  RemoveStaleParts(target);  // what saves killed before their rename left
  Step step = unnamedTemporaries ? ReplaceThroughUnnamed(directory, target, mode, bytes) : Step::Unsupported;
  if (step == Step::Unsupported) step = ReplaceThroughNamed(target, mode, bytes);
  switch (step) {
    case Step::Done:
      return Outcome::Ok;
    case Step::Failed:
      return Outcome::WriteFailed;
    case Step::NoTemporary:
    case Step::Unsupported:
      break;
  }
  return exists ? RewriteInPlace(target, bytes) : Outcome::OpenFailed;
}

}  // namespace

WriteResult WriteFileReplacing(const std::string& path, const std::string& bytes) {
  switch (Replace(path, bytes)) {
    case Outcome::Ok:
      return WriteResult::Ok;
    case Outcome::OpenFailed:
    case Outcome::NotRegularFile:
      return WriteResult::OpenFailed;
    case Outcome::WriteFailed:
      return WriteResult::WriteFailed;
  }
  return WriteResult::WriteFailed;
}

bool WriteFileReporting(const std::string& path, const std::string& bytes) {
  switch (Replace(path, bytes)) {
    case Outcome::Ok:
      return true;
    case Outcome::OpenFailed:
      ShowPlainMessage("Error opening file " + path + " for writing\n");
      return false;
    case Outcome::NotRegularFile:
      ShowPlainMessage("Cannot write to " + path + ": it is not a regular file.\n");
      return false;
    case Outcome::WriteFailed:
      ShowPlainMessage("Error writing file " + path + "\n");
      return false;
  }
  return false;
}

bool ReadWholeFile(const std::string& path, std::string& bytes) {
  FILE* file = std::fopen(path.c_str(), "rb");
  if (!file) return false;
  bytes.clear();
  char chunk[65536];
  size_t n;
  while ((n = std::fread(chunk, 1, sizeof chunk, file)) > 0) bytes.append(chunk, n);
  bool ok = !std::ferror(file);
  std::fclose(file);
  return ok;
}

void IgnoreFileSizeSignal() { std::signal(SIGXFSZ, SIG_IGN); }

void UseUnnamedTemporaryFiles(bool use) { unnamedTemporaries = use; }
