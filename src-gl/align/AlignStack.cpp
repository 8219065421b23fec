#include "AlignStack.h"

#include "Imagestack.h"

namespace {

// The largest scale a seam is taken at (a zoom of about 5 % a pass).
constexpr float maxSeamScale = 0.95f;

}  // namespace

bool IsUnplaced(const Transform& t) {
  return t.scale == 1.0f && t.translateX == 0.0f && t.translateY == 0.0f && t.rotate == 0.0f;
}

std::vector<AlignTask> AlignTasks(const ImageStack& stack, int child) {
  std::vector<AlignTask> tasks;
  const int pictures = stack.pictureCount();
  // An endless project's seam is aligned as a picture: its child is the target frame, which
  // shows the first picture.
  const bool endless = stack.playSettings.play == PlayMode::Endless && pictures >= 1;
  const int lastChild = endless ? pictures : pictures - 1;
  const int first = child < 0 ? 1 : child, last = child < 0 ? lastChild : child;
  if (child > lastChild || child == 0) return tasks;
  for (int c = first; c <= last; ++c) {
    AlignTask t;
    t.element = c;
    t.seam = c == pictures;
    t.childId = stack.images[static_cast<size_t>(c)]->id;
    t.parentId = stack.images[static_cast<size_t>(c - 1)]->id;
    t.parent = AlignSource::Of(*stack.images[static_cast<size_t>(c - 1)]);
    t.child = AlignSource::Of(*stack.images[t.seam ? size_t(0) : static_cast<size_t>(c)]);
    t.current = stack.images[static_cast<size_t>(c)]->transform;
    t.hinted = !IsUnplaced(t.current);
    tasks.push_back(std::move(t));
  }
  return tasks;
}

std::vector<AlignResult> RunAlignTasks(const std::vector<AlignTask>& tasks,
                                       const std::function<void(int, int)>& progress,
                                       const std::function<void(int, const AlignResult&)>& finished,
                                       const std::atomic<bool>* cancel, const AlignOptions& options) {
  std::vector<AlignResult> results(tasks.size());
  const int total = static_cast<int>(tasks.size());
  for (int i = 0; i < total; ++i) {
    if (progress) progress(i, total);
    if (cancel && cancel->load()) {
      for (int j = i; j < total; ++j) results[static_cast<size_t>(j)].status = AlignStatus::Cancelled;
      return results;
    }
    const AlignTask& t = tasks[static_cast<size_t>(i)];
    AlignResult& r = results[static_cast<size_t>(i)];
    AlignOptions own = options;
    if (t.seam) own.maxScale = maxSeamScale;
    r = AlignPictures(t.parent, t.child, t.hinted ? &t.current : nullptr, cancel, own);
    // The seam must lead inward: a first picture found about as large as the last, or larger,
    // would make a zoom that hardly goes anywhere, and is what a picture that holds itself gives
    // when it matches itself whole.
    if (t.seam && r.status == AlignStatus::Aligned && !(r.transform.scale < maxSeamScale)) {
      r.status = AlignStatus::NoMatch;
      r.why = "the first picture was not found inside the last";
    }
    if (r.status == AlignStatus::Cancelled) {
      for (int j = i + 1; j < total; ++j) results[static_cast<size_t>(j)].status = AlignStatus::Cancelled;
      return results;
    }
    if (finished) finished(i, r);
  }
  if (progress) progress(total, total);
  return results;
}
