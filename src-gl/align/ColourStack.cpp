#include "ColourStack.h"

#include "Imagestack.h"

std::vector<ColourTask> ColourTasks(const ImageStack& stack, int child) {
  std::vector<ColourTask> tasks;
  const int pictures = stack.pictureCount();
  if (child == 0 || child >= pictures) return tasks;
  const int first = child < 0 ? 1 : child, last = child < 0 ? pictures - 1 : child;
  for (int c = first; c <= last; ++c) {
    const Image& parent = *stack.images[static_cast<size_t>(c - 1)];
    const Image& picture = *stack.images[static_cast<size_t>(c)];
    ColourTask t;
    t.element = c;
    t.childId = picture.id;
    t.parentId = parent.id;
    t.parent = AlignSource::Of(parent);
    t.child = AlignSource::Of(picture);
    t.placement = picture.transform;
    t.parentColour = parent.colour;
    t.childColour = picture.colour;
    tasks.push_back(std::move(t));
  }
  return tasks;
}

std::vector<ColourMatchResult> RunColourTasks(const std::vector<ColourTask>& tasks,
                                              const std::function<void(int, int)>& progress,
                                              const std::function<void(int, const ColourMatchResult&)>& finished,
                                              const std::atomic<bool>* cancel) {
  std::vector<ColourMatchResult> results(tasks.size());
  const int total = static_cast<int>(tasks.size());
  auto cancelFrom = [&results, total](int from) {
    for (int j = from; j < total; ++j) results[static_cast<size_t>(j)].status = ColourMatchStatus::Cancelled;
  };
  for (int i = 0; i < total; ++i) {
    if (progress) progress(i, total);
    if (cancel && cancel->load()) {
      cancelFrom(i);
      return results;
    }
    const ColourTask& t = tasks[static_cast<size_t>(i)];
    ColourCorrection parentColour = t.parentColour;
    if (i > 0) {
      const ColourTask& before = tasks[static_cast<size_t>(i - 1)];
      const ColourMatchResult& found = results[static_cast<size_t>(i - 1)];
      if (before.childId == t.parentId && found.status == ColourMatchStatus::Matched) parentColour = found.correction;
    }
    ColourMatchResult& r = results[static_cast<size_t>(i)];
    r = MatchColours(t.parent, parentColour, t.child, t.placement, t.childColour, cancel);
    if (r.status == ColourMatchStatus::Cancelled) {
      cancelFrom(i + 1);
      return results;
    }
    if (finished) finished(i, r);
  }
  if (progress) progress(total, total);
  return results;
}
