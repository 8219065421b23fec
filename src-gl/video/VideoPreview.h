#pragma once
// One frame of a video as its settings would make it, drawn on a thread of its own by the
// export's renderer (the same frame plan, the same view), small enough to follow a slider.

#include <QImage>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "VideoPlan.h"

class ImageStack;

// The longest side a preview is drawn at.
constexpr int previewSide = 360;

class VideoPreview {
 public:
  // `ready` is called on the preview's thread with each frame drawn, or a null image and what
  // failed; the one who made the preview hands it on to its own thread.
  using Ready = std::function<void(int serial, const QImage& frame, const std::string& error)>;
  explicit VideoPreview(Ready ready, size_t textureBudget = 0);
  // Stops, and waits for a drawing under way.
  ~VideoPreview();
  VideoPreview(const VideoPreview&) = delete;
  VideoPreview& operator=(const VideoPreview&) = delete;

  // The pictures to draw from now on: a copy of `stack`, so its owner may go on editing.
  void SetStack(const ImageStack& stack);
  // Asks for the frame at `fraction` (0..1) of a video of `settings`, `width` x `height` pixels
  // (at most previewSide each); a request not yet begun gives way to a newer one. `serial` comes
  // back with the frame.
  void Request(const VideoSettings& settings, double fraction, int width, int height, int serial);

 private:
  struct Asked {
    VideoSettings settings;
    double fraction = 0;
    int width = 0, height = 0, serial = 0;
  };
  void Run();

  Ready ready_;
  size_t textureBudget_;
  std::mutex mutex_;
  std::condition_variable wake_;
  std::unique_ptr<ImageStack> newStack_;  // taken by the thread at its next drawing
  std::unique_ptr<Asked> asked_;
  bool stopping_ = false;
  std::thread thread_;
};

// The size of a preview of a width x height video: the same shape, previewSide on its longer side
// (or the video's own size when smaller).
void PreviewSize(int width, int height, int& previewWidth, int& previewHeight);

// The time along a pass (0..1) that `fraction` of a video's frames reaches: the frame there, as
// the plan of `settings` for a project of `projectDuration` seconds places it.
double PreviewTime(const VideoSettings& settings, double projectDuration, bool endless, double fraction);
