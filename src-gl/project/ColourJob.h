#pragma once
// Matching colours as a job: the tasks, copied from the project when they were made, run in order
// on a worker thread (each child with its parent as the run's result for the parent draws it);
// each result comes back to the job's own thread (`found`) as soon as it is known, for the owner
// to apply while the project may have changed meanwhile (the tasks name their pictures by
// identity).

#include <QString>
#include <atomic>
#include <thread>
#include <vector>

#include "ColourStack.h"
#include "Job.h"

class ColourJob : public Job {
  Q_OBJECT

 public:
  ColourJob(std::vector<ColourTask> tasks, QObject* parent = nullptr);
  // Cancels and waits for the worker.
  ~ColourJob() override;

  void Start() override;
  void Cancel() override;

  const std::vector<ColourTask>& Tasks() const { return tasks_; }
  // Task `index`'s result: Cancelled until it has been `found`.
  const ColourMatchResult& Result(int index) const { return results_[static_cast<size_t>(index)]; }

 signals:
  // Task `index` has its result.
  void found(int index);

 private:
  void End();

  std::vector<ColourTask> tasks_;
  std::vector<ColourMatchResult> results_;  // written on the job's thread only
  std::atomic<bool> cancel_{false};
  std::thread worker_;
};

// "Matching the colours of picture 3 to picture 2...".
QString ColourStepText(const ColourTask& task);
