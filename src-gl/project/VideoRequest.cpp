#include "VideoRequest.h"

#include <QDir>
#include <QFile>
#include <filesystem>
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

std::string VideoRequest::Replaced() const {
  VideoFormat format = VideoFormat::Mp4;
  std::string ignored;
  VideoFormatFor(settings.path, format, ignored);
  std::string file = settings.path;
  if (format == VideoFormat::PngSequence) {
    SequenceName name;
    ParseSequenceName(settings.path, name, ignored);
    file = name.Frame(0);
  }
  std::error_code error;
  return std::filesystem::exists(file, error) ? file : std::string();
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
