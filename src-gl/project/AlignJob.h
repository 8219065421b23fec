#pragma once
// An alignment as a job: the tasks, copied from the project when they were made, run in order on
// a worker thread; each result comes back to the job's own thread (`found`) as soon as it is
// known, for the owner to apply while the project may have changed meanwhile (the tasks name
// their pictures by identity).

#include <QString>
#include <atomic>
#include <thread>
#include <vector>

#include "AlignStack.h"
#include "Job.h"

class AlignJob : public Job {
  Q_OBJECT

 public:
  AlignJob(std::vector<AlignTask> tasks, QObject* parent = nullptr);
  // Cancels and waits for the worker.
  ~AlignJob() override;

  void Start() override;
  void Cancel() override;

  const std::vector<AlignTask>& Tasks() const { return tasks_; }
  // Task `index`'s result: Cancelled until it has been `found`.
  const AlignResult& Result(int index) const { return results_[static_cast<size_t>(index)]; }
  bool Found(int index) const { return found_[static_cast<size_t>(index)]; }

 signals:
  // Task `index` has its result.
  void found(int index);

 private:
  void End();

  std::vector<AlignTask> tasks_;
  std::vector<AlignResult> results_;  // written on the job's thread only
  std::vector<bool> found_;
  std::atomic<bool> cancel_{false};
  std::thread worker_;
};

// "Aligning picture 3 in picture 2...": what the progress names for the task about to run.
QString AlignStepText(const AlignTask& task);
