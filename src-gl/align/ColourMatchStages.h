#pragma once
// The fit of a colour match, shared by the files that make it: ColourMatch.cpp samples both
// pictures into pairs and judges the answer, ColourMatchFit.cpp fits the lines and holds them to
// the limits. Not for use outside this module.

#include <cstdint>
#include <vector>

#include "ColourCorrection.h"

namespace colour_match {

// One grid point of the child's core: its file values and the parent's as the parent is drawn
// (0..1).
struct Pair {
  float child[3];
  float parent[3];
};

struct LineFit {
  double gain = 1, offset = 0;
};

// What the fitted lines say of the pairs they were fitted to.
struct FitQuality {
  // The share of the parent's variance (summed over the channels) that the lines explain.
  double explained = 0;
  // The root mean square of the residuals, over the channels, in levels of 255.
  double residual = 0;
  // The root mean square deviation from their means of the parent's and of the child's values,
  // over the channels, in levels of 255.
  double parentSpread = 0, childSpread = 0;
  // A line left the gain's or the offset's range before any limit held it.
  bool pinned = false;
};

// Per channel, the line from the child's values to the parent's over the pairs `kept` marks,
// fitted robustly: twice more without the pairs that disagree, which are unmarked in `kept`.
void FitLines(const std::vector<Pair>& pairs, std::vector<uint8_t>& kept, LineFit fits[3]);

FitQuality Quality(const std::vector<Pair>& pairs, const std::vector<uint8_t>& kept, const LineFit fits[3]);

// The fitted lines held to the limits: the gain's and offset's ranges, and the clipping
// (`unclipped`: per channel, the child's values where the parent is not clipped; reordered).
// `limited` is set when a limit changed a line.
ColourCorrection Limit(const std::vector<Pair>& pairs, const std::vector<uint8_t>& kept, const LineFit fits[3],
                       std::vector<float> unclipped[3], bool& limited);

}  // namespace colour_match
