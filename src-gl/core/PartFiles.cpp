#include "PartFiles.h"

#include <dirent.h>
#include <limits.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <system_error>
#include <vector>

namespace {

// Room for ".part-", a PID of up to ten digits, '-' and N, within one file name.
constexpr size_t longestBase = NAME_MAX - 32;

void Split(const std::string& path, std::string& directory, std::string& base) {
  const size_t slash = path.find_last_of('/');
  directory = slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
  base = path.substr(directory.size());
}

std::string Prefix(const std::string& base) { return "." + base.substr(0, longestBase) + ".part-"; }

bool AllOf(const std::string& text, bool digitsOnly) {
  if (text.empty()) return false;
  for (char c : text) {
    const bool digit = c >= '0' && c <= '9';
    const bool letter = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
    if (!digit && (digitsOnly || !letter)) return false;
  }
  return true;
}

// The PID of a name "PREFIX<pid>-<N>", or 0 when the rest is not of that form.
pid_t PidOf(const std::string& rest) {
  const size_t dash = rest.find('-');
  if (dash == std::string::npos || dash > 10 || !AllOf(rest.substr(0, dash), true) ||
      !AllOf(rest.substr(dash + 1), false))
    return 0;
  const long pid = std::strtol(rest.substr(0, dash).c_str(), nullptr, 10);
  return pid > 0 && pid <= INT_MAX ? static_cast<pid_t>(pid) : 0;
}

bool Running(pid_t pid) { return pid == ::getpid() || ::kill(pid, 0) == 0 || errno != ESRCH; }

}  // namespace

std::string PartStem(const std::string& path) {
  std::string directory, base;
  Split(path, directory, base);
  return directory + Prefix(base) + std::to_string(::getpid()) + "-";
}

void RemoveStaleParts(const std::string& path) {
  std::string directory, base;
  Split(path, directory, base);
  if (base.empty()) return;
  const std::string prefix = Prefix(base);
  DIR* folder = ::opendir(directory.empty() ? "." : directory.c_str());
  if (!folder) return;
  std::vector<std::string> names;  // removed once the listing is done
  while (const dirent* entry = ::readdir(folder)) {
    const std::string name = entry->d_name;
    if (name.compare(0, prefix.size(), prefix) == 0) names.push_back(name);
  }
  ::closedir(folder);
  for (const std::string& name : names) {
    const pid_t pid = PidOf(name.substr(prefix.size()));
    if (pid == 0 || Running(pid)) continue;
    const std::string found = directory + name;
    struct stat st {};
    if (::lstat(found.c_str(), &st) != 0 || st.st_uid != ::geteuid()) continue;
    std::error_code ignored;
    if (S_ISREG(st.st_mode))
      ::unlink(found.c_str());
    else if (S_ISDIR(st.st_mode))
      std::filesystem::remove_all(found, ignored);  // links inside are removed, not followed
  }
}
