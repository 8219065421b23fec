#pragma once
// Which pictures an alignment places: one child in its parent, or every picture from the second
// on. The editor's Align Automatically and Align All and the command line's --align ask here
// whether the project allows it and get their tasks from here.

#include <vector>

#include "AlignStack.h"

class ImageStack;

enum class AlignRefusal {
  None,
  NoSuchChild,     // the child is not a picture with a picture before it (nor an endless seam)
  TooFewPictures,  // every picture was asked for, and there are fewer than two
};

struct AlignRequest {
  int child = -1;  // the element placed in the one before it; -1: every picture from the second on
  // The placements are first guesses (a sequence just imported, each picture centred at the
  // factor): the refinement starts from them, but none is kept for being as good.
  bool guessed = false;

  AlignRefusal Check(const ImageStack& stack) const;
  // The tasks, copied from the project (none when Check refuses).
  std::vector<AlignTask> Tasks(const ImageStack& stack) const;
};
