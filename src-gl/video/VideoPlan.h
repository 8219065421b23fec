#pragma once
// What a video export makes, before anything is drawn: the format the file name asks for, the
// checked settings, which moment of the zoom each frame shows, and the names of a PNG sequence's
// frames. No GL and no encoder in here.

#include <string>

enum class VideoFormat { Mp4, WebM, PngSequence };
// In and out runs inward, then back; out and in outward, then back.
enum class VideoDirection { In, Out, InOut, OutIn };
// How the zoom meets the video's frame: scaled just enough that the pictures cover all of it, or
// fitted as the editor shows it (the first picture whole, the background beside it).
enum class VideoFrame { Fill, Fit };
// How hard the encoder works for each bit: faster, or a smaller file at the same quality.
enum class VideoSpeed { Fast, Balanced, Small };

struct VideoSettings {
  std::string path;  // the destination: NAME.mp4, NAME.webm or NAME_%05d.png
  int width = 1920;  // pixels, even
  int height = 1080;
  double fps = 30;
  VideoDirection direction = VideoDirection::In;
  double duration = 0;  // seconds of one pass; 0: the project's duration
  int crf = -1;         // constant quality; -1: the format's default
  int antialias = 1;    // 1, or 2: drawn at twice the size and filtered down
  VideoSpeed speed = VideoSpeed::Balanced;
  VideoFrame frame = VideoFrame::Fill;
  std::string audio;  // a sound file for the video (not a PNG sequence); empty: silent
};

constexpr int defaultCrfH264 = 18;
constexpr int defaultCrfVp9 = 31;  // VP9's scale runs to 63; 31 is its usual choice for HD
constexpr int maxCrfH264 = 51;
constexpr int maxCrfVp9 = 63;
constexpr double maxFps = 240;
constexpr double maxVideoDuration = 3600;  // seconds of one pass

// The format the name's extension asks for (.mp4, .webm, .png; any case). False, with `error`
// naming the supported ones, for any other.
bool VideoFormatFor(const std::string& path, VideoFormat& format, std::string& error);

// The settings' own limits (not the GL's, which only the drawing context knows): the format, an
// even size of at least 2 x 2, a frame rate above 0 and up to maxFps, a pass of at least two
// frames, the quality and antialiasing in range, a usable sequence name. `projectDuration`
// stands in for a duration of 0. False with `error` for the user.
bool CheckVideoSettings(const VideoSettings& settings, double projectDuration, std::string& error);

// The frames of a video: `perPass` = round(duration x fps) frames per pass.
// There and back again, frame k of a pass shows the zoom at k / (perPass - 1), so the first frame
// is the first picture and the last the target frame. "In and out" goes there and back without
// repeating either end, so that the video loops without a seam: 2 (perPass - 1) frames; "out and
// in" is the same from the other end.
// Endless, the perPass frames cover exactly one pass, frame k at k / perPass: the frame after the
// last is the next pass's first, which looks as the first does, so a player that loops the video
// dives on without a repeated frame or a jump. Inward runs 0, 1/n, ...; outward the same frames
// backwards from the seam, 1, (n-1)/n, ... "In and out" is inward there and "out and in" outward:
// an endless video loops already, and turning back would stop the dive once a pass.
struct FramePlan {
  int perPass = 0;
  int total = 0;
  VideoDirection direction = VideoDirection::In;
  bool endless = false;
  // The zoom's time (0..1 along the pass) of frame k, 0 <= k < total.
  double TimeOf(int k) const;
  // Where the zoom moves at frame k: +1 inward, -1 outward (for the renderer's prefetching).
  int DirectionAt(int k) const;
};
// A plan of fewer than two frames per pass has perPass < 2; CheckVideoSettings refuses those.
FramePlan PlanFrames(double duration, double fps, VideoDirection direction, bool endless = false);

// The frames of a PNG sequence: the name's one number field (%d or %0Nd, N up to 9) replaced by
// the frame's number, counted from 0; a name without a field gets "_%05d" before ".png". The
// number is never cut to the field's width.
struct SequenceName {
  std::string prefix, suffix;
  int digits = 5;
  std::string Frame(int k) const;
};
// False, with `error`, when the name has a '%' that is not one such field, or more than one.
bool ParseSequenceName(const std::string& path, SequenceName& name, std::string& error);

// "MP4 (H.264)", for messages.
const char* VideoFormatName(VideoFormat format);
