#pragma once
// Matching a stack's tones picture after picture, each child with its parent as the parent is
// drawn, with progress and cancel. As with the alignment's tasks, each task copies what it needs,
// so the work runs on another thread and the owner applies the results.

#include <atomic>
#include <cstdint>
#include <functional>
#include <vector>

#include "ColourMatch.h"

class ImageStack;

struct ColourTask {
  int element = 0;  // the child, in element - 1, when the task was made
  uint64_t childId = 0, parentId = 0;
  AlignSource parent, child;
  Transform placement;            // the child's in its parent
  ColourCorrection parentColour;  // how the parent is drawn when the task was made
  ColourCorrection childColour;   // how the child is drawn
};

// The task for picture `child` (1 .. pictureCount() - 1), or for every picture from the second on
// when `child` is negative; the first picture keeps its own tones and the target frame has none.
// Anything else gives no task.
std::vector<ColourTask> ColourTasks(const ImageStack& stack, int child = -1);

// Runs the tasks in order. A task whose parent is the child of the task before it is matched with
// the parent as that task's result draws it (when it found one), so a run over the stack chains
// from the first picture. `progress(done, total)` before each task and at the end, `finished(index,
// result)` after each; after a cancel the remaining results are Cancelled (and not passed on).
std::vector<ColourMatchResult> RunColourTasks(const std::vector<ColourTask>& tasks,
                                              const std::function<void(int, int)>& progress = {},
                                              const std::function<void(int, const ColourMatchResult&)>& finished = {},
                                              const std::atomic<bool>* cancel = nullptr);
