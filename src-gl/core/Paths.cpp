#include "Paths.h"

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <system_error>

#include "TextNumbers.h"

void CharReplace(std::string& text, char from, char to) { std::replace(text.begin(), text.end(), from, to); }

std::string CommandLineProjectPath(const std::string& argument, const std::string& currentDirectory) {
  std::string path;
  if (argument.find(':') != std::string::npos || (!argument.empty() && argument[0] == '/')) {
    path = argument;
  } else {
    path = currentDirectory;
    if (path.empty() || path.back() != '/') path += '/';
    path += argument;
  }
  CharReplace(path, '\\', '/');
  return path;
}

namespace {

size_t SkipBlanks(const std::string& text) {
  size_t pos = 0;
  while (pos < text.size() && (text[pos] == ' ' || text[pos] == '\t' || text[pos] == '\n' || text[pos] == '\r' ||
                               text[pos] == '\v' || text[pos] == '\f'))
    ++pos;
  return pos;
}

}  // namespace

double LeadingNumber(const std::string& text) {
  size_t pos = SkipBlanks(text);
  float value = 0.0f;
  return ParseFloatAt(text, pos, value) ? value : 0.0;
}

long LeadingInteger(const std::string& text) {
  size_t pos = SkipBlanks(text);
  long long value = 0;
  if (!ParseLongAt(text, pos, value)) {
    // Too many digits: held at the end of the range in the number's direction.
    const size_t sign = pos < text.size() && (text[pos] == '-' || text[pos] == '+') ? pos + 1 : pos;
    if (sign < text.size() && text[sign] >= '0' && text[sign] <= '9')
      return text[pos] == '-' ? -2147483647L - 1 : 2147483647L;
    return 0;
  }
  if (value > 2147483647LL) return 2147483647L;
  if (value < -2147483648LL) return -2147483647L - 1;
  return static_cast<long>(value);
}

std::string DirectoryPart(const std::string& path) {
  const size_t last = path.find_last_of("/\\");
  if (last == std::string::npos) return std::string();
  if (last == 0) return "/";
  std::string directory = path.substr(0, last);
  CharReplace(directory, '\\', '/');
  return directory;
}

namespace {

std::string Join(const std::string& directory, const std::string& name) {
  if (directory.empty()) return name;
  if (directory.back() == '/') return directory + name;
  return directory + "/" + name;
}

// True only when the file system says that nothing is there.
bool Missing(const std::string& path) {
  std::error_code error;
  return std::filesystem::status(path, error).type() == std::filesystem::file_type::not_found;
}

bool IsFile(const std::string& path) {
  std::error_code error;
  return std::filesystem::is_regular_file(path, error);
}

}  // namespace

MovedPictureFinder::MovedPictureFinder(const std::string& projectPath) : directory_(DirectoryPart(projectPath)) {}

std::string MovedPictureFinder::Find(const std::string& path) const {
  const size_t last = path.find_last_of("/\\");
  const std::string name = last == std::string::npos ? path : path.substr(last + 1);
  if (name.empty() || !Missing(path)) return std::string();
  for (const std::string& place : Places()) {
    const std::string candidate = Join(place, name);
    if (IsFile(candidate)) return candidate;
  }
  return std::string();
}

const std::vector<std::string>& MovedPictureFinder::Places() const {
  std::call_once(listed_, [this] {
    namespace fs = std::filesystem;
    if (!IsWebExportFolder(directory_.empty() ? "." : directory_)) places_.push_back(directory_);
    std::vector<std::string> subdirectories;
    std::error_code error;
    fs::directory_iterator it(directory_.empty() ? fs::path(".") : fs::path(directory_),
                              fs::directory_options::skip_permission_denied, error);
    for (; !error && it != fs::directory_iterator(); it.increment(error)) {
      std::error_code typeError;
      if (it->is_directory(typeError)) subdirectories.push_back(it->path().filename().string());
    }
    std::sort(subdirectories.begin(), subdirectories.end());
    for (const std::string& sub : subdirectories) {
      const std::string place = Join(directory_, sub);
      if (!IsWebExportFolder(place.empty() ? "." : place)) places_.push_back(place);
    }
  });
  return places_;
}

namespace {

bool EndsWithNoCase(const std::string& text, const char* ending) {
  const size_t n = std::char_traits<char>::length(ending);
  if (text.size() <= n) return false;
  for (size_t i = 0; i < n; ++i)
    if (std::tolower(static_cast<unsigned char>(text[text.size() - n + i])) != ending[i]) return false;
  return true;
}

}  // namespace

bool IsWebExportFolder(const std::string& directory) {
  namespace fs = std::filesystem;
  bool page = false, data = false;
  std::error_code error;
  fs::directory_iterator it(directory, fs::directory_options::skip_permission_denied, error);
  for (; !error && it != fs::directory_iterator() && !(page && data); it.increment(error)) {
    std::error_code typeError;
    if (!it->is_regular_file(typeError)) continue;
    const std::string name = it->path().filename().string();
    page = page || EndsWithNoCase(name, ".html") || EndsWithNoCase(name, ".htm");
    data = data || EndsWithNoCase(name, ".kxo");
  }
  return page && data;
}

std::string DataFilePath(const std::string& programDirectory, const std::string& name) {
  return DataFilePath(programDirectory, name, TV_INSTALLED_DATA_FOLDER);
}

std::string DataFilePath(const std::string& programDirectory, const std::string& name,
                         const std::string& installedDataFolder) {
  namespace fs = std::filesystem;
  std::error_code error;
  const fs::path beside = fs::path(programDirectory) / name;
  if (fs::exists(beside, error)) return beside.string();
  const fs::path installed = (fs::path(programDirectory) / installedDataFolder).lexically_normal();
  if (!fs::is_directory(installed, error)) return beside.string();
  return (installed / name).string();
}
