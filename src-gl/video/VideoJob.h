#pragma once
// A video of the zoom, made on threads of its own: one draws each frame with the offscreen
// renderer and reads it back through pixel buffer objects, one converts its colours, one
// encodes and writes; bounded queues connect them. The job draws a copy of the document, so the
// editor may go on with the original.

#include <atomic>
#include <cstddef>
#include <future>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "VideoPlan.h"
#include "VideoProgress.h"

class ImageStack;
class VideoSink;

enum class VideoResult { Ok, Cancelled, Failed };

class VideoJob {
 public:
  // `progress` (not owned, may be null) must outlive the job's threads (until Wait returns).
  // `textureBudget` in bytes, 0 for the renderer's default.
  VideoJob(const ImageStack& stack, const VideoSettings& settings, VideoProgress* progress = nullptr,
           size_t textureBudget = 0);
  // Cancels and waits.
  ~VideoJob();
  VideoJob(const VideoJob&) = delete;
  VideoJob& operator=(const VideoJob&) = delete;

  // Checks the settings, makes the drawing context (whose limits decide whether the size can be
  // drawn), then the temporary file beside the destination, and starts the threads. False, with
  // Error() for the user and nothing written, when it cannot start.
  bool Start();
  // Stops as soon as the threads notice; the destination is left as it was.
  void Cancel();
  // Waits for the threads; the outcome (Error() says what failed).
  VideoResult Wait();

  const std::string& Error() const { return error_; }
  int TotalFrames() const { return plan_.total; }
  const FramePlan& Plan() const { return plan_; }
  // After Wait: the pictures were larger than the GL limit and drawn reduced (0: they were not),
  // and what else the renderer had to say (empty: nothing).
  int ReducedToLimit() const { return reducedToLimit_; }
  const std::string& RendererMessage() const { return rendererMessage_; }
  VideoTimings Timings() const { return timings_; }

 private:
  struct Stages;
  void Fail(const std::string& error);
  void Draw(std::promise<bool>& ready, std::future<bool> go);
  void Convert();
  void Encode();

  std::unique_ptr<ImageStack> stack_;
  VideoSettings settings_;
  VideoProgress* progress_;
  size_t textureBudget_;
  FramePlan plan_;
  std::unique_ptr<VideoSink> sink_;
  std::unique_ptr<Stages> stages_;
  std::thread drawThread_, convertThread_, encodeThread_;
  std::mutex errorMutex_;
  std::string error_;
  std::atomic<bool> failed_{false};
  std::atomic<bool> cancelled_{false};
  bool started_ = false;
  bool succeeded_ = false;
  int reducedToLimit_ = 0;
  std::string rendererMessage_;
  VideoTimings timings_;
};

// A copy of `stack` for another thread to draw: the pictures' data and placements, not shared.
std::unique_ptr<ImageStack> CopyForDrawing(const ImageStack& stack);
