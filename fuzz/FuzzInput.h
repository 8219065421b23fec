#pragma once
// The fuzzed input as a file: the decoders read files by name. The input is kept in an anonymous
// file in memory (memfd) and named by its /proc path: a temporary file on disk, truncated and
// rewritten for every input, had the file system write it back each time, which cost more than
// everything else.

#include <sys/mman.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

class InputFile {
 public:
  // `name` names the target in messages and the memfd.
  explicit InputFile(const char* name) : name_(name) {
    fd_ = memfd_create(name, 0);
    if (fd_ < 0) Die("memfd_create");
    path = "/proc/self/fd/" + std::to_string(fd_);
  }
  ~InputFile() { close(fd_); }
  InputFile(const InputFile&) = delete;
  InputFile& operator=(const InputFile&) = delete;

  void Store(const uint8_t* data, size_t size) {
    size_t done = 0;
    while (done < size) {
      const ssize_t n = pwrite(fd_, data + done, size - done, static_cast<off_t>(done));
      if (n <= 0) Die("writing the input");
      done += static_cast<size_t>(n);
    }
    if (ftruncate(fd_, static_cast<off_t>(size)) != 0) Die("ftruncate");
  }

  std::string path;

 private:
  [[noreturn]] void Die(const char* what) const {
    std::fprintf(stderr, "%s: ", name_);
    std::perror(what);
    std::abort();
  }
  const char* name_;
  int fd_ = -1;
};
