#include "SafeFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "Messages.h"

namespace {

bool WriteAll(int fd, const std::string& bytes) {
  const char* data = bytes.data();
  size_t left = bytes.size();
  while (left > 0) {
    ssize_t n = ::write(fd, data, left);
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    data += n;
    left -= static_cast<size_t>(n);
  }
  return true;
}

mode_t NewFileMode() {
  mode_t mask = ::umask(0);
  ::umask(mask);
  return 0666 & ~mask;
}

}  // namespace

WriteResult WriteFileReplacing(const std::string& path, const std::string& bytes) {
  std::string target = path;
  if (char* real = ::realpath(path.c_str(), nullptr)) {
    target = real;
    std::free(real);
  }

  struct stat old {};
  const bool exists = ::stat(target.c_str(), &old) == 0;
  if (exists && !S_ISREG(old.st_mode)) {
    int fd = ::open(target.c_str(), O_WRONLY | O_TRUNC | O_CLOEXEC);
    if (fd < 0) return WriteResult::OpenFailed;
    bool ok = WriteAll(fd, bytes);
    ok = (::close(fd) == 0) && ok;
    return ok ? WriteResult::Ok : WriteResult::WriteFailed;
  }

  size_t slash = target.find_last_of('/');
  std::string directory = slash == std::string::npos ? std::string(".") : target.substr(0, slash + 1);
  std::string base = slash == std::string::npos ? target : target.substr(slash + 1);
  std::string pattern = directory + (slash == std::string::npos ? "/." : ".") + base + ".XXXXXX";
  std::vector<char> name(pattern.begin(), pattern.end());
  name.push_back('\0');
  int fd = ::mkstemp(name.data());
  if (fd < 0) return WriteResult::OpenFailed;
  const char* temporary = name.data();

  bool ok = ::fchmod(fd, exists ? (old.st_mode & 07777) : NewFileMode()) == 0;
  ok = ok && WriteAll(fd, bytes);
  ok = ok && ::fsync(fd) == 0;
  ok = (::close(fd) == 0) && ok;
  ok = ok && ::rename(temporary, target.c_str()) == 0;
  if (!ok) {
    ::unlink(temporary);
    return WriteResult::WriteFailed;
  }
  return WriteResult::Ok;
}

bool WriteFileReporting(const std::string& path, const std::string& bytes) {
  switch (WriteFileReplacing(path, bytes)) {
    case WriteResult::Ok:
      return true;
    case WriteResult::OpenFailed:
      ShowPlainMessage("Error opening file " + path + " for writing\n");
      return false;
    case WriteResult::WriteFailed:
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
