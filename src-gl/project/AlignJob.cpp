#include "AlignJob.h"
#include "PostCall.h"

AlignJob::AlignJob(std::vector<AlignTask> tasks, QObject* parent)
    : Job(parent), tasks_(std::move(tasks)), results_(tasks_.size()), found_(tasks_.size(), false) {
  for (AlignResult& r : results_) r.status = AlignStatus::Cancelled;
}

AlignJob::~AlignJob() {
  cancel_ = true;
  if (worker_.joinable()) worker_.join();
}

void AlignJob::Start() {
  if (Running() || worker_.joinable()) return;
  MarkStarted();
  worker_ = std::thread([this] {
    RunAlignTasks(
        tasks_,
        [this](int done, int total) {
          const QString what = done < total ? AlignStepText(tasks_[static_cast<size_t>(done)]) : QString();
          PostCall(this, [this, done, total, what] { emit progress(done, total, what); });
        },
        [this](int index, const AlignResult& result) {
          PostCall(this, [this, index, result] {
            results_[static_cast<size_t>(index)] = result;
            found_[static_cast<size_t>(index)] = true;
            emit found(index);
          });
        },
        &cancel_);
    PostCall(this, [this] { End(); });
  });
}

void AlignJob::Cancel() { cancel_ = true; }

void AlignJob::End() {
  if (worker_.joinable()) worker_.join();
  Finish(!cancel_);
}

QString AlignStepText(const AlignTask& task) {
  if (task.seam) return QStringLiteral("Aligning picture 1 in picture %1...").arg(task.element);
  return QStringLiteral("Aligning picture %1 in picture %2...").arg(task.element + 1).arg(task.element);
}
