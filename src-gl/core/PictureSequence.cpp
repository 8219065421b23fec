#include "PictureSequence.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <dirent.h>
#include <sys/stat.h>

#include "Imagestack.h"
#include "Paths.h"
#include "PictureDecode.h"

namespace {

bool IsDigit(char c) { return c >= '0' && c <= '9'; }
char Folded(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

// The sign of the comparison of the digit runs a[i..) and b[j..), which end at ia and jb.
int CompareNumbers(const std::string& a, size_t i, size_t ia, const std::string& b, size_t j, size_t jb) {
  // Leading zeros carry no value; any length of number compares without overflow.
  while (i < ia && a[i] == '0') ++i;
  while (j < jb && b[j] == '0') ++j;
  if (ia - i != jb - j) return ia - i < jb - j ? -1 : 1;
  for (; i < ia; ++i, ++j)
    if (a[i] != b[j]) return a[i] < b[j] ? -1 : 1;
  return 0;
}

bool HasPictureExtension(const std::string& name) {
  const size_t dot = name.rfind('.');
  if (dot == std::string::npos) return false;
  std::string extension = name.substr(dot + 1);
  std::transform(extension.begin(), extension.end(), extension.begin(), Folded);
  return extension == "jpg" || extension == "jpeg" || extension == "png" || extension == "webp";
}

bool IsPictureKind(PictureKind kind) {
  return kind == PictureKind::Jpeg || kind == PictureKind::Png || kind == PictureKind::Webp;
}

// The file's time when it is a regular file (following links); false otherwise.
bool RegularFile(const std::string& path, int64_t& modified) {
  struct stat info;
  if (stat(path.c_str(), &info) != 0 || !S_ISREG(info.st_mode)) return false;
  modified = static_cast<int64_t>(info.st_mtim.tv_sec) * 1000000000 + info.st_mtim.tv_nsec;
  return true;
}

std::string BaseName(const std::string& path) {
  const size_t slash = path.rfind('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

}  // namespace

int NaturalCompare(const std::string& a, const std::string& b) {
  size_t i = 0, j = 0;
  int leadingZeros = 0;  // the first difference in zeros before equal numbers
  while (i < a.size() && j < b.size()) {
    if (IsDigit(a[i]) && IsDigit(b[j])) {
      size_t ia = i, jb = j;
      while (ia < a.size() && IsDigit(a[ia])) ++ia;
      while (jb < b.size() && IsDigit(b[jb])) ++jb;
      const int numbers = CompareNumbers(a, i, ia, b, j, jb);
      if (numbers != 0) return numbers;
      if (leadingZeros == 0 && ia - i != jb - j) leadingZeros = ia - i < jb - j ? -1 : 1;
      i = ia;
      j = jb;
      continue;
    }
    const char x = Folded(a[i]), y = Folded(b[j]);
    if (x != y) return static_cast<unsigned char>(x) < static_cast<unsigned char>(y) ? -1 : 1;
    ++i;
    ++j;
  }
  if (i < a.size() || j < b.size()) return i < a.size() ? 1 : -1;
  if (leadingZeros != 0) return leadingZeros;
  return a.compare(b) < 0 ? -1 : a.compare(b) > 0 ? 1 : 0;
}

std::vector<SequenceFile> OrderSequence(std::vector<SequenceFile> files, SequenceOrder order, bool reversed) {
  auto byName = [](const SequenceFile& x, const SequenceFile& y) {
    const int names = NaturalCompare(x.name, y.name);
    return names != 0 ? names < 0 : x.path < y.path;
  };
  if (order == SequenceOrder::Date)
    std::stable_sort(files.begin(), files.end(), [&byName](const SequenceFile& x, const SequenceFile& y) {
      return x.modified != y.modified ? x.modified < y.modified : byName(x, y);
    });
  else
    std::stable_sort(files.begin(), files.end(), byName);
  if (reversed) std::reverse(files.begin(), files.end());
  return files;
}

bool SequenceFolder(const std::string& directory, std::vector<SequenceFile>& files, std::string& error) {
  files.clear();
  DIR* folder = opendir(directory.c_str());
  if (!folder) {
    error = std::strerror(errno);
    return false;
  }
  const std::string prefix = directory.empty() || directory.back() == '/' ? directory : directory + "/";
  while (const dirent* entry = readdir(folder)) {
    const std::string name = entry->d_name;
    if (name == "." || name == "..") continue;
    SequenceFile file{prefix + name, name, 0};
    if (!RegularFile(file.path, file.modified)) continue;
    if (HasPictureExtension(name) || IsPictureKind(SniffPictureFile(file.path))) files.push_back(std::move(file));
  }
  closedir(folder);
  return true;
}

std::vector<SequenceFile> SequenceFiles(const std::vector<std::string>& paths) {
  std::vector<SequenceFile> files;
  files.reserve(paths.size());
  for (const std::string& path : paths) {
    SequenceFile file{path, BaseName(path), 0};
    if (!RegularFile(path, file.modified)) file.modified = 0;
    files.push_back(std::move(file));
  }
  return files;
}

bool SequenceFactorUsable(double factor) { return std::isfinite(factor) && factor > 1.0; }

std::unique_ptr<ImageStack> BuildSequenceStack(const std::vector<std::string>& paths, double factor,
                                               const std::string& projectPath) {
  if (paths.empty() || !SequenceFactorUsable(factor)) return nullptr;
  std::string inside = DirectoryPart(projectPath);
  if (!inside.empty() && inside.back() != '/') inside += '/';
  auto stack = std::make_unique<ImageStack>();
  stack->path = projectPath;
  for (size_t i = 0; i < paths.size(); ++i) {
    auto picture = std::make_unique<Image>();
    const std::string& path = paths[i];
    const bool under = !inside.empty() && path.size() > inside.size() && path.compare(0, inside.size(), inside) == 0;
    picture->fileName = under ? path.substr(inside.size()) : path;
    picture->ResolvePath(projectPath);
    if (i > 0) picture->transform.scale = static_cast<float>(1.0 / factor);
    stack->images.push_back(std::move(picture));
  }
  // A new project's target frame: half of the last picture, centred; it takes that picture's
  // size once the picture has been checked.
  auto target = std::make_unique<Image>();
  target->transform.scale = 0.5f;
  stack->images.push_back(std::move(target));
  stack->dirty = true;
  return stack;
}
