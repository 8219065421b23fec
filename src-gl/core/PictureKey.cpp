#include "PictureKey.h"

#include <sys/stat.h>

#include <filesystem>
#include <functional>
#include <system_error>

namespace {

size_t Mix(size_t seed, size_t value) { return seed ^ (value + 0x9e3779b97f4a7c15ull + (seed << 6) + (seed >> 2)); }

int64_t Nanoseconds(const timespec& time) { return static_cast<int64_t>(time.tv_sec) * 1000000000 + time.tv_nsec; }

}  // namespace

FileIdentity IdentifyFile(const std::string& path) {
  FileIdentity file;
  struct stat status;
  if (path.empty() || stat(path.c_str(), &status) != 0 || !S_ISREG(status.st_mode)) return file;
  std::error_code failed;
  const std::filesystem::path absolute = std::filesystem::absolute(path, failed);
  if (failed) return file;
  file.path = absolute.lexically_normal().string();
  file.device = static_cast<uint64_t>(status.st_dev);
  file.inode = static_cast<uint64_t>(status.st_ino);
  file.size = static_cast<int64_t>(status.st_size);
  file.modified = Nanoseconds(status.st_mtim);
  file.changed = Nanoseconds(status.st_ctim);
  return file;
}

size_t FileIdentityHash::operator()(const FileIdentity& file) const {
  size_t h = std::hash<std::string>()(file.path);
  for (uint64_t value : {file.device, file.inode, static_cast<uint64_t>(file.size),
                         static_cast<uint64_t>(file.modified), static_cast<uint64_t>(file.changed)})
    h = Mix(h, std::hash<uint64_t>()(value));
  return h;
}

size_t PictureKeyHash::operator()(const PictureKey& key) const {
  return Mix(Mix(FileIdentityHash()(key.file), std::hash<uint64_t>()(key.revision)),
             std::hash<const void*>()(key.element));
}
