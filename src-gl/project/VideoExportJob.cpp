#include "VideoExportJob.h"
#include "PostCall.h"

#include <QPointer>

// Carries the job's reports from its threads to the job's thread.
class VideoExportJob::Bridge : public VideoProgress {
 public:
  explicit Bridge(VideoExportJob* job) : job_(job) {}
  void FramesDone(int done, int total) override {
    QPointer<VideoExportJob> job = job_;
    PostCall(job_, [job, done, total] {
      if (job) emit job->progress(done, total, QString());
    });
  }
  void Finished() override {
    QPointer<VideoExportJob> job = job_;
    PostCall(job_, [job] {
      if (job) job->End();
    });
  }

 private:
  VideoExportJob* job_;
};

VideoExportJob::VideoExportJob(const ImageStack& stack, const VideoSettings& settings, size_t textureBudget,
                               QObject* parent)
    : Job(parent),
      bridge_(std::make_unique<Bridge>(this)),
      job_(std::make_unique<VideoJob>(stack, settings, bridge_.get(), textureBudget)) {}

VideoExportJob::~VideoExportJob() { job_.reset(); }

void VideoExportJob::Start() {
  if (Running()) return;
  MarkStarted();
  if (!job_->Start()) {
    startFailed_ = true;
    PostCall(this, [this] { Finish(false); });
  }
}

void VideoExportJob::Cancel() {
  if (Running() && !startFailed_) job_->Cancel();
}

void VideoExportJob::End() {
  if (!Running()) return;
  result_ = job_->Wait();
  Finish(result_ == VideoResult::Ok);
}
