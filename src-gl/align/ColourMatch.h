#pragma once
// Matching a picture's tones to its parent's: where the child, placed by its placement, lies over
// its parent, the two are sampled at one density and a gain and an offset per channel are fitted
// that carry the child's file values to the parent's values as the parent is drawn. The result is
// the child's whole correction (its parent's included), so matching in stack order chains by
// itself and the first picture's tones run through the zoom.

#include <array>
#include <atomic>

#include "AlignPair.h"
#include "ColourCorrection.h"
#include "Transform.h"

enum class ColourMatchStatus {
  Matched,
  NoMatch,     // too little overlap to tell: the correction must stay as it was
  Unreadable,  // a picture could not be decoded
  Cancelled,
};

// "matched", "too little overlap", ...
const char* ColourMatchStatusText(ColourMatchStatus status);

struct ColourMatchResult {
  ColourMatchStatus status = ColourMatchStatus::NoMatch;
  ColourCorrection correction;  // the child's, meaningful only when Matched
  int pairs = 0;                // pixel pairs the fit kept
  // The pictures as drawn where the child's faded border blends into its parent: the mean absolute
  // difference per channel (levels of 255) with the child's correction before and with the one
  // found, over the pixels clipped in neither picture. Zero when the border does not overlap.
  std::array<double, 3> bandBefore{}, bandAfter{};
  int bandPairs = 0;
  // The fit was held back: a gain or offset at its bound, or a gain lowered so that the corrected
  // child does not clip where the parent does not.
  bool limited = false;
};

// Gains and offsets outside these are not taken (a larger difference is not a change of exposure).
constexpr float minColourGain = 0.5f, maxColourGain = 2.0f;
constexpr float maxColourOffset = 0.2f;

// The correction for `child`, placed in `parent` by `placement`; `parentColour` is how the parent
// is drawn, `childColour` how the child is drawn now (for the border's difference before).
// `cancel` is polled between steps and while decoding.
ColourMatchResult MatchColours(const AlignSource& parent, const ColourCorrection& parentColour,
                               const AlignSource& child, const Transform& placement,
                               const ColourCorrection& childColour, const std::atomic<bool>* cancel = nullptr);
