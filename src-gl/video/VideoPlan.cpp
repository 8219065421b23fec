#include "VideoPlan.h"

#include <algorithm>
#include <cctype>
#include <cmath>

namespace {

bool EndsWithIgnoringCase(const std::string& text, const std::string& ending) {
  if (text.size() < ending.size()) return false;
  return std::equal(ending.rbegin(), ending.rend(), text.rbegin(), [](char a, char b) {
    return std::tolower(static_cast<unsigned char>(a)) == std::tolower(static_cast<unsigned char>(b));
  });
}

const char* const supportedNames = "NAME.mp4 (H.264), NAME.webm (VP9) or NAME_%05d.png (a PNG sequence)";

}  // namespace

const char* VideoFormatName(VideoFormat format) {
  switch (format) {
    case VideoFormat::Mp4:
      return "MP4 (H.264)";
    case VideoFormat::WebM:
      return "WebM (VP9)";
    case VideoFormat::PngSequence:
      return "PNG sequence";
  }
  return "";
}

bool VideoFormatFor(const std::string& path, VideoFormat& format, std::string& error) {
  const size_t slash = path.find_last_of('/');
  const std::string base = slash == std::string::npos ? path : path.substr(slash + 1);
  if (EndsWithIgnoringCase(base, ".mp4") && base.size() > 4)
    format = VideoFormat::Mp4;
  else if (EndsWithIgnoringCase(base, ".webm") && base.size() > 5)
    format = VideoFormat::WebM;
  else if (EndsWithIgnoringCase(base, ".png") && base.size() > 4)
    format = VideoFormat::PngSequence;
  else {
    error = "the video's file name \"" + path + "\" must end in .mp4, .webm or .png: " + supportedNames;
    return false;
  }
  return true;
}

bool CheckVideoSettings(const VideoSettings& s, double projectDuration, std::string& error) {
  VideoFormat format;
  if (!VideoFormatFor(s.path, format, error)) return false;
  if (s.width < 2 || s.height < 2 || s.width % 2 != 0 || s.height % 2 != 0) {
    error = "the video's size must be even on both sides (such as 1920 x 1080), not " + std::to_string(s.width) +
            " x " + std::to_string(s.height);
    return false;
  }
  if (!(s.fps > 0 && s.fps <= maxFps)) {
    error =
        "the frame rate must lie above 0 and at most " + std::to_string(static_cast<int>(maxFps)) + " frames a second";
    return false;
  }
  const double duration = s.duration > 0 ? s.duration : projectDuration;
  if (!(duration > 0 && duration <= maxVideoDuration)) {
    error = "the duration of a pass must lie above 0 and at most " +
            std::to_string(static_cast<int>(maxVideoDuration)) + " seconds";
    return false;
  }
  if (PlanFrames(duration, s.fps, s.direction).perPass < 2) {
    error = "the video is too short: a pass needs at least two frames (duration x frame rate of 2 or more)";
    return false;
  }
  const int maxCrf = format == VideoFormat::WebM ? maxCrfVp9 : maxCrfH264;
  if (format != VideoFormat::PngSequence && s.crf != -1 && (s.crf < 0 || s.crf > maxCrf)) {
    error = "the quality (CRF) for " + std::string(VideoFormatName(format)) + " runs from 0 (best) to " +
            std::to_string(maxCrf);
    return false;
  }
  if (s.antialias != 1 && s.antialias != 2) {
    error = "antialiasing takes 1 (off) or 2 (drawn at twice the size)";
    return false;
  }
  SequenceName name;
  if (format == VideoFormat::PngSequence && !ParseSequenceName(s.path, name, error)) return false;
  if (format == VideoFormat::PngSequence && !s.audio.empty()) {
    error = "a PNG sequence has no sound: the sound goes into NAME.mp4 or NAME.webm";
    return false;
  }
  return true;
}

FramePlan PlanFrames(double duration, double fps, VideoDirection direction, bool endless) {
  FramePlan plan;
  plan.endless = endless;
  plan.direction = direction;
  if (endless && direction == VideoDirection::InOut) plan.direction = VideoDirection::In;
  if (endless && direction == VideoDirection::OutIn) plan.direction = VideoDirection::Out;
  const double frames = std::round(duration * fps);
  // Beyond the settings' limits only through a caller that skipped the check: no frames then.
  if (!(frames >= 2 && frames <= maxFps * maxVideoDuration)) return plan;
  plan.perPass = static_cast<int>(frames);
  const bool twoWays = plan.direction == VideoDirection::InOut || plan.direction == VideoDirection::OutIn;
  plan.total = twoWays ? 2 * (plan.perPass - 1) : plan.perPass;
  return plan;
}

double FramePlan::TimeOf(int k) const {
  if (endless && perPass > 0) {
    const double t = static_cast<double>(k) / perPass;
    return direction == VideoDirection::Out ? 1 - t : t;
  }
  const int last = perPass - 1;
  if (last < 1) return 0;
  switch (direction) {
    case VideoDirection::In:
      return static_cast<double>(k) / last;
    case VideoDirection::Out:
      return static_cast<double>(last - k) / last;
    case VideoDirection::InOut:
      return static_cast<double>(k <= last ? k : 2 * last - k) / last;
    case VideoDirection::OutIn:
      return static_cast<double>(k <= last ? last - k : k - last) / last;
  }
  return 0;
}

int FramePlan::DirectionAt(int k) const {
  const bool turned = k >= perPass - 1;  // past the turn of a two-way video
  switch (direction) {
    case VideoDirection::In:
      return 1;
    case VideoDirection::Out:
      return -1;
    case VideoDirection::InOut:
      return turned ? -1 : 1;
    case VideoDirection::OutIn:
      return turned ? 1 : -1;
  }
  return 1;
}

std::string SequenceName::Frame(int k) const {
  std::string number = std::to_string(k);
  if (static_cast<int>(number.size()) < digits) number.insert(0, static_cast<size_t>(digits) - number.size(), '0');
  return prefix + number + suffix;
}

bool ParseSequenceName(const std::string& path, SequenceName& name, std::string& error) {
  const size_t slash = path.find_last_of('/');
  const size_t baseStart = slash == std::string::npos ? 0 : slash + 1;
  const size_t percent = path.find('%', baseStart);
  if (percent == std::string::npos) {
    // "NAME.png": the frames are NAME_00000.png, NAME_00001.png, ...
    name.prefix = path.substr(0, path.size() - 4) + "_";
    name.suffix = path.substr(path.size() - 4);
    name.digits = 5;
    return true;
  }
  size_t i = percent + 1;
  int digits = 1;
  if (i < path.size() && path[i] == '0') {
    ++i;
    if (i < path.size() && path[i] >= '1' && path[i] <= '9') digits = path[i++] - '0';
  } else if (i < path.size() && path[i] >= '1' && path[i] <= '9') {
    digits = path[i++] - '0';
  }
  if (i >= path.size() || path[i] != 'd' || path.find('%', i) != std::string::npos) {
    error = "a PNG sequence's name takes one number field such as %05d (NAME_%05d.png), not \"" + path + "\"";
    return false;
  }
  name.prefix = path.substr(0, percent);
  name.suffix = path.substr(i + 1);
  name.digits = digits;
  return true;
}
