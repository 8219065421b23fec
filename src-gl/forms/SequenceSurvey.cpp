#include "SequenceSurvey.h"

#include <utility>

#include "PictureCheck.h"
#include "PostCall.h"

SequenceSurvey::SequenceSurvey(QObject* context, std::vector<std::string> ordered, std::vector<std::string> thumbnails,
                               int side, std::function<void(const WidestView&)> found,
                               std::function<void(const std::string&, const QImage&)> thumbnail)
    : shared_(std::make_shared<Shared>()) {
  thread_ = std::thread([context, ordered = std::move(ordered), thumbnails = std::move(thumbnails), side,
                         found = std::move(found), thumbnail = std::move(thumbnail), shared = shared_] {
    const WidestView widest = FindWidestView(ordered, &shared->cancel);
    {
      std::lock_guard<std::mutex> lock(shared->mutex);
      shared->widest = widest;
      shared->done = true;
    }
    shared->known.notify_all();
    // A call that arrives after the survey was replaced or ended is not for the window any more;
    // the flag is raised on the window's thread, where the calls run.
    PostCall(context, [shared, found, widest] {
      if (!shared->cancel) found(widest);
    });
    for (const std::string& path : thumbnails) {
      if (shared->cancel) return;
      const CheckedPicture checked = CheckPicture(path, side, &shared->cancel);
      if (!checked.ok) continue;
      PostCall(context, [shared, thumbnail, path, image = checked.thumbnail] {
        if (!shared->cancel) thumbnail(path, image);
      });
    }
  });
}

SequenceSurvey::~SequenceSurvey() {
  shared_->cancel = true;
  thread_.join();
}

WidestView SequenceSurvey::Widest() const {
  std::unique_lock<std::mutex> lock(shared_->mutex);
  shared_->known.wait(lock, [this] { return shared_->done; });
  return shared_->widest;
}
