#include "Job.h"

Job::~Job() = default;

void Job::Finish(bool completed) {
  if (!running_) return;
  running_ = false;
  emit finished(completed);
}
