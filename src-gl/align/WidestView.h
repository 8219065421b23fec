#pragma once
// Which end of a sequence of pictures is the widest view, told from the pictures before anything
// is aligned. Tools that zoom out number their pictures either way (the widest first, or the
// closest first); a stack built the wrong way round places every child at twice its parent, so
// the import asks the pictures instead of trusting the names. Cheap on purpose: features of small
// copies of the two neighbouring pairs at the ends, no refinement.

#include <atomic>
#include <string>
#include <vector>

#include "PictureSequence.h"

enum class WidestEnd {
  First,    // each picture's view holds the next one's: the order as it is
  Last,     // each picture's view lies inside the next one's: the order turned around
  Unknown,  // the pictures do not tell (unrelated, too flat, the same view, or pairs disagreeing)
};

struct WidestView {
  WidestEnd end = WidestEnd::Unknown;
  // For the user: what the pictures showed ("each picture lies inside the one before it, at about
  // 0.50 of its size"), or why they told nothing.
  std::string why;
  // Of the pairs that told: the narrower view's size in the wider one's (below 1).
  double scale = 0;
};

// Looks at the first and the last neighbouring pairs of `paths` (in the order they would be
// stacked) and says which end holds the widest view; Unknown with fewer than two paths, when
// `cancel` was raised, or when the pairs say nothing clear or disagree. Any thread.
WidestView FindWidestView(const std::vector<std::string>& paths, const std::atomic<bool>* cancel = nullptr);

// Which end of the order the user takes as the outermost picture.
enum class OutermostChoice {
  Found,  // the widest view, as the pictures show it; the first in order when they do not tell
  First,
  Last,
};

// Whether the order is to be turned around so that the outermost picture comes first.
bool OutermostIsLast(OutermostChoice choice, const WidestView& widest);
// Which end was taken and why, for the user: "the last by name, the widest view: each picture
// lies inside the one after it, at about 0.50 of its size".
std::string OutermostReason(OutermostChoice choice, const WidestView& widest, SequenceOrder order);
