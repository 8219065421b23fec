#pragma once
// Where converted frames go: H.264 in MP4 or VP9 in WebM through FFmpeg's libraries (with their
// sound, when there is one), or one PNG file per frame. Everything is written beside the
// destination and put in its place only when complete, so a failure or a cancel never leaves a
// file there, nor damages one already there.

extern "C" {
#include <libavutil/frame.h>
#include <libavutil/pixfmt.h>
}

#include <memory>
#include <string>

#include "VideoPlan.h"

class VideoSink {
 public:
  virtual ~VideoSink() = default;
  // The pixel format Write takes.
  virtual AVPixelFormat PixelFormat() const = 0;
  // Makes the temporary file (or folder) beside the destination and prepares the encoder. False,
  // with `error` for the user, when it cannot; nothing is left behind then.
  virtual bool Open(std::string& error) = 0;
  // Frame `index` (0, 1, 2, ... in order), width x height in PixelFormat().
  virtual bool Write(AVFrame& frame, int index, std::string& error) = 0;
  // Ends the file and puts it in place of the destination.
  virtual bool Finish(std::string& error) = 0;
  // Removes whatever was written (a failure elsewhere, a cancel). Harmless after Finish.
  virtual void Discard() = 0;
};

// The sink for the checked `settings` (their format, size, rate, quality and sound) and a video
// of `frames` frames, which its sound lasts.
std::unique_ptr<VideoSink> MakeVideoSink(const VideoSettings& settings, int frames);

// The destination as it will be replaced: a symbolic link's target rather than the link.
std::string VideoDestination(const std::string& path);
