#pragma once
// The video export as a job: VideoJob's threads, with its reports carried to the job's own thread
// as `progress` and `finished`.

#include <memory>
#include <string>

#include "Job.h"
#include "VideoJob.h"

class VideoExportJob : public Job {
  Q_OBJECT

 public:
  // `textureBudget` in bytes, 0 for the renderer's default. The job draws a copy of `stack`.
  VideoExportJob(const ImageStack& stack, const VideoSettings& settings, size_t textureBudget,
                 QObject* parent = nullptr);
  // Cancels and waits for the threads.
  ~VideoExportJob() override;

  // When the drawing cannot begin (the size is beyond the GL's limits, the file cannot be made),
  // nothing runs and `finished(false)` follows with StartFailed() true.
  void Start() override;
  void Cancel() override;

  bool StartFailed() const { return startFailed_; }
  int TotalFrames() const { return job_->TotalFrames(); }
  // After `finished`: the outcome, what failed, and what the renderer had to say.
  VideoResult Result() const { return result_; }
  const std::string& Error() const { return job_->Error(); }
  int ReducedToLimit() const { return job_->ReducedToLimit(); }
  const std::string& RendererMessage() const { return job_->RendererMessage(); }

 private:
  class Bridge;
  void End();

  std::unique_ptr<Bridge> bridge_;  // declared before the job: it outlives the job's threads
  std::unique_ptr<VideoJob> job_;
  bool startFailed_ = false;
  VideoResult result_ = VideoResult::Failed;
};
