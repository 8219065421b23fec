#include "PictureCheckJob.h"
#include "PostCall.h"

PictureCheckJob::PictureCheckJob(Starter starter, QObject* parent) : Job(parent), starter_(std::move(starter)) {}

PictureCheckJob::PictureCheckJob(std::vector<std::string> paths, std::vector<std::optional<CheckedPicture>> known,
                                 QObject* parent)
    : Job(parent) {
  std::vector<std::string> checked;
  for (size_t i = 0; i < paths.size(); ++i) {
    if (i < known.size() && known[i]) {
      known_.emplace_back(i, std::move(*known[i]));
    } else {
      checked.push_back(std::move(paths[i]));
      places_.push_back(i);
    }
  }
  knownCount_ = known_.size();
  starter_ = [checked = std::move(checked)](std::function<void()> wake) mutable {
    return std::make_unique<PictureCheck>(std::move(checked), 0, std::move(wake));
  };
}

// The workers go before the object: a wake-up they post names a job that still exists, and is
// dropped once it has gone.
PictureCheckJob::~PictureCheckJob() { check_.reset(); }

void PictureCheckJob::Start() {
  if (Running() || check_) return;
  MarkStarted();
  check_ = starter_([this] { PostCall(this, [this] { Step(); }); });
  total_ = knownCount_ + check_->Total();
  // Results known already, or a check with nothing to do, come without a wake-up.
  if (knownCount_ > 0 || check_->Finished()) PostCall(this, [this] { Step(); });
}

void PictureCheckJob::Cancel() {
  if (!Running() || !check_) return;
  checked_ = check_->Checked();
  check_.reset();
  PostCall(this, [this] { Finish(false); });
}

std::vector<std::pair<size_t, CheckedPicture>> PictureCheckJob::Take() {
  std::vector<std::pair<size_t, CheckedPicture>> taken = std::move(known_);
  known_.clear();
  if (!check_) return taken;
  for (auto& [index, result] : check_->Take())
    taken.emplace_back(index < places_.size() ? places_[index] : index, std::move(result));
  return taken;
}

void PictureCheckJob::Step() {
  if (!check_) return;
  emit resultsWaiting();
  if (!check_) return;  // cancelled from the owner's slot
  emit progress(static_cast<int>(Checked()), static_cast<int>(total_), QString());
  if (!check_ || !check_->Finished()) return;
  // Every file is checked, so every result is in the check: what came in after the owner took
  // is taken now (its wake-up may have been spared), then the workers stop.
  emit resultsWaiting();
  if (!check_) return;
  checked_ = check_->Checked();
  check_.reset();
  Finish(true);
}
