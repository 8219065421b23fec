#pragma once
// Aligning a stack's pictures one after another, each in the picture before it, with progress
// and cancel. The tasks copy what they need from the stack, so the work can run on another
// thread while the document stays with its owner; the results are applied by the owner.

#include <atomic>
#include <cstdint>
#include <functional>
#include <vector>

#include "AlignPair.h"

class ImageStack;

struct AlignTask {
  int element = 0;  // the child, placed in element - 1, when the task was made
  // The child and its parent by identity: a result belongs to this pair, wherever the pictures
  // have moved since, and to no other.
  uint64_t childId = 0, parentId = 0;
  AlignSource parent, child;
  Transform current;    // its placement when the task was made
  bool hinted = false;  // that placement was set by someone (a new picture's is the identity)
  // ...or guessed (an import's): a start for the refinement, but not a placement to keep.
  bool guessed = false;
  // The child is an endless project's target frame: the first picture, placed in the last.
  bool seam = false;
  // The child shows the very picture its parent shows (the same file, by identity, or the same
  // pixels in memory). A copy of the file under another name is found when the task runs.
  bool samePicture = false;
};

// The task for picture `child` (1 .. pictureCount() - 1), or for every picture from the second
// on when `child` is negative. In an endless project the target frame (`child` pictureCount())
// is aligned too, the first picture in the last, and with every picture after them. Anything
// else gives no task.
std::vector<AlignTask> AlignTasks(const ImageStack& stack, int child = -1);

// A placement no one has set: the identity every new picture gets.
bool IsUnplaced(const Transform& t);

// Runs the tasks in order. A child with a placement someone set (`hinted`, not `guessed`) keeps
// it when it is the same picture as its parent, when nothing better was found and it holds, or
// when what was found is not clearly better by the same measure (AlignStatus::Kept); the same
// picture without one is "no reliable match". `progress(done, total)` is called before each task
// and once at the end, `finished(index, result)` after each; after a cancel the remaining results
// are Cancelled (and not passed to `finished`). Both are called on the running thread.
std::vector<AlignResult> RunAlignTasks(const std::vector<AlignTask>& tasks,
                                       const std::function<void(int, int)>& progress = {},
                                       const std::function<void(int, const AlignResult&)>& finished = {},
                                       const std::atomic<bool>* cancel = nullptr, const AlignOptions& options = {});
