#include "VideoRequest.h"

#include <QDir>
#include <QFile>
#include <filesystem>
#include <limits>
#include <system_error>

#include "Messages.h"
#include "Paths.h"

namespace {

// A typed name, '\' as '/', beside the project when relative (or in the current directory).
std::string BesideProject(std::string typed, const std::string& projectPath) {
  CharReplace(typed, '\\', '/');
  if (!typed.empty() && typed[0] != '/') {
    const size_t slash = projectPath.find_last_of('/');
    const std::string base = slash == std::string::npos ? QFile::encodeName(QDir::currentPath()).toStdString()
                                                        : projectPath.substr(0, slash);
    typed = base + "/" + typed;
  }
  return typed;
}

}  // namespace

void VideoRequest::SetTypedPath(std::string typed, const std::string& projectPath) {
  settings.path = BesideProject(std::move(typed), projectPath);
}

void VideoRequest::SetTypedAudio(std::string typed, const std::string& projectPath) {
  settings.audio = BesideProject(std::move(typed), projectPath);
}

VideoRefusal VideoRequest::Check(double projectDuration, std::string& error) const {
  if (settings.path.empty()) {
    error = "the video needs a file name";
    return VideoRefusal::NoFile;
  }
  if (ownDuration && !(settings.duration > 0)) return VideoRefusal::Duration;
  return CheckVideoSettings(settings, projectDuration, error) ? VideoRefusal::None : VideoRefusal::Settings;
}

namespace {

// Anything at `path`: a file, a folder, a symbolic link whether or not it leads anywhere.
bool Taken(const std::string& path) {
  std::error_code error;
  const std::filesystem::file_type type = std::filesystem::symlink_status(path, error).type();
  return type != std::filesystem::file_type::not_found && type != std::filesystem::file_type::none;
}

// The lowest-numbered frame of `name` that is there already; empty when there is none. Every
// frame counts: frames of an older, longer sequence would otherwise be left among the new ones.
std::string ExistingFrame(const SequenceName& name) {
  if (Taken(name.Frame(0))) return name.Frame(0);
  const size_t slash = name.prefix.find_last_of('/');
  const std::string folder = slash == std::string::npos ? "." : name.prefix.substr(0, slash + 1);
  const std::string stem = slash == std::string::npos ? name.prefix : name.prefix.substr(slash + 1);
  long long lowest = -1;
  std::error_code error;
  std::filesystem::directory_iterator it(folder, std::filesystem::directory_options::skip_permission_denied, error);
  for (; !error && it != std::filesystem::directory_iterator(); it.increment(error)) {
    const std::string file = it->path().filename().string();
    if (file.size() <= stem.size() + name.suffix.size() || file.compare(0, stem.size(), stem) != 0 ||
        file.compare(file.size() - name.suffix.size(), name.suffix.size(), name.suffix) != 0)
      continue;
    const std::string number = file.substr(stem.size(), file.size() - stem.size() - name.suffix.size());
    if (number.size() > 10 || number.find_first_not_of("0123456789") != std::string::npos) continue;
    const long long k = std::stoll(number);
    // Only the name the sequence gives that frame: "f_7.png" is no frame of "f_%05d.png".
    if (k > std::numeric_limits<int>::max() ||
        name.Frame(static_cast<int>(k)) != name.prefix.substr(0, slash + 1) + file)
      continue;
    if (lowest < 0 || k < lowest) lowest = k;
  }
  return lowest < 0 ? std::string() : name.Frame(static_cast<int>(lowest));
}

}  // namespace

std::string VideoRequest::Replaced() const {
  VideoFormat format = VideoFormat::Mp4;
  std::string ignored;
  VideoFormatFor(settings.path, format, ignored);
  if (format != VideoFormat::PngSequence) return Taken(settings.path) ? settings.path : std::string();
  SequenceName name;
  if (!ParseSequenceName(settings.path, name, ignored)) return std::string();
  return ExistingFrame(name);
}

bool ConfirmVideoExport(const VideoRequest& request, double projectDuration) {
  std::string error;
  switch (request.Check(projectDuration, error)) {
    case VideoRefusal::NoFile:
      ShowPlainMessage("Please choose a file for the video.");
      return false;
    case VideoRefusal::Duration:
      ShowPlainMessage("The duration must be a number of seconds above 0.");
      return false;
    case VideoRefusal::Settings:
      ShowPlainMessage("The video cannot be made: " + error + ".");
      return false;
    case VideoRefusal::None:
      break;
  }
  const std::string replaced = request.Replaced();
  return replaced.empty() ||
         AskOkCancel("The file\n\n    " + replaced + "\n\nalready exists. Would you like to replace it?", "Warning");
}
