#pragma once
// Checking picture files as a job (a project's pictures while it opens, the files the image list
// adds): the core's PictureCheck on worker threads, its wake-ups brought to the job's thread. The
// owner takes the results (`Take`, or from `Check()`) whenever `resultsWaiting` says some wait; the
// job ends once every file is checked and taken, after its workers have stopped.

#include <functional>
#include <memory>
#include <optional>
#include <utility>
#include <vector>

#include "Job.h"
#include "PictureCheck.h"

class PictureCheckJob : public Job {
  Q_OBJECT

 public:
  // Makes the check when the job starts, given the wake-up the check must call (so every way of
  // starting one, ImageStack::StartCheck with its search for moved pictures among them, serves).
  using Starter = std::function<std::unique_ptr<PictureCheck>(std::function<void()> wake)>;
  explicit PictureCheckJob(Starter starter, QObject* parent = nullptr);
  // Checks `paths`, except those whose result is `known` already (the same place in both lists):
  // they are not read again, and are taken first.
  PictureCheckJob(std::vector<std::string> paths, std::vector<std::optional<CheckedPicture>> known,
                  QObject* parent = nullptr);
  // Stops the workers (a decode in hand at once) and waits for them.
  ~PictureCheckJob() override;

  void Start() override;
  // The workers stop and are joined before this returns; nothing is checked or taken after it.
  void Cancel() override;

  // The running check, whose results the owner takes (PictureCheck::Take, ImageStack::ApplyChecks);
  // null before the start and once the job has ended or was cancelled.
  PictureCheck* Check() const { return check_.get(); }
  // The results finished since the last call, as (index in the list, result).
  std::vector<std::pair<size_t, CheckedPicture>> Take();
  size_t Total() const { return total_; }
  size_t Checked() const { return knownCount_ + (check_ ? check_->Checked() : checked_); }

 signals:
  // Results wait in Check(); emitted once more when the last file is checked, before the end.
  void resultsWaiting();

 private:
  void Step();

  Starter starter_;
  std::unique_ptr<PictureCheck> check_;
  size_t total_ = 0;
  size_t checked_ = 0;  // what the check counted when it went
  // With known results: those not taken yet, and the place in the list of each file checked.
  std::vector<std::pair<size_t, CheckedPicture>> known_;
  size_t knownCount_ = 0;
  std::vector<size_t> places_;
};
