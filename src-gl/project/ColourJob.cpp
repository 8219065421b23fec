#include "ColourJob.h"

#include "PostCall.h"

ColourJob::ColourJob(std::vector<ColourTask> tasks, QObject* parent)
    : Job(parent), tasks_(std::move(tasks)), results_(tasks_.size()) {
  for (ColourMatchResult& r : results_) r.status = ColourMatchStatus::Cancelled;
}

ColourJob::~ColourJob() {
  cancel_ = true;
  if (worker_.joinable()) worker_.join();
}

void ColourJob::Start() {
  if (Running() || worker_.joinable()) return;
  MarkStarted();
  worker_ = std::thread([this] {
    RunColourTasks(
        tasks_,
        [this](int done, int total) {
          const QString what = done < total ? ColourStepText(tasks_[static_cast<size_t>(done)]) : QString();
          PostCall(this, [this, done, total, what] { emit progress(done, total, what); });
        },
        [this](int index, const ColourMatchResult& result) {
          PostCall(this, [this, index, result] {
            results_[static_cast<size_t>(index)] = result;
            emit found(index);
          });
        },
        &cancel_);
    PostCall(this, [this] { End(); });
  });
}

void ColourJob::Cancel() { cancel_ = true; }

void ColourJob::End() {
  if (worker_.joinable()) worker_.join();
  Finish(!cancel_);
}

QString ColourStepText(const ColourTask& task) {
  return QStringLiteral("Matching the colours of picture %1 to picture %2...").arg(task.element + 1).arg(task.element);
}
