#pragma once
// Matching a picture's tones to its parent's: where the child, placed by its placement, lies over
// its parent, the two are sampled at one density and a gain and an offset per channel are fitted
// that carry the child's file values to the parent's values as the parent is drawn. The result is
// the child's whole correction (its parent's included), so matching in stack order chains by
// itself and the first picture's tones run through the zoom.

#include <array>
#include <atomic>
#include <string>

#include "AlignPair.h"
#include "ColourCorrection.h"
#include "Transform.h"

enum class ColourMatchStatus {
  Matched,     // a correction clearly better at the border than the child's own, in a channel or more
  Kept,        // none is clearly better: the child keeps its own
  Unreliable,  // the pictures' values do not follow one line (unrelated pictures): kept
  NoMatch,     // too little overlap to tell: the correction must stay as it was
  Unreadable,  // a picture could not be decoded
  Cancelled,
};

// "matched", "too little overlap", ...
const char* ColourMatchStatusText(ColourMatchStatus status);

struct ColourMatchResult {
  ColourMatchStatus status = ColourMatchStatus::NoMatch;
  // The child's correction from now on: the one found in the channels where it is clearly
  // better, the child's own in the others. Meaningful when Matched or Kept.
  ColourCorrection correction;
  ColourCorrection found;  // the fit's, held to the limits (when Matched or Kept)
  int pairs = 0;           // pixel pairs the fit kept
  // The pictures as drawn where the child's faded border blends into its parent: the mean absolute
  // difference per channel (levels of 255) with the child's correction before, with the one
  // found and with `correction`, over the pixels clipped in neither picture. Zero when the border
  // does not overlap.
  std::array<double, 3> bandBefore{}, bandFound{}, bandAfter{};
  int bandPairs = 0;
  // How well one line per channel carries the child's values to the parent's: the share of the
  // parent's variance it explains and the residuals' root mean square (levels of 255).
  double explained = 0, residual = 0;
  // The fit was held back: a gain or offset at its bound, or a gain lowered so that the corrected
  // child does not clip where the parent does not.
  bool limited = false;
};

// Gains and offsets outside these are not taken (a larger difference is not a change of exposure).
constexpr float minColourGain = 0.5f, maxColourGain = 2.0f;
constexpr float maxColourOffset = 0.2f;

// A channel takes the correction found only when it brings the border's difference down by at
// least this many levels and this share: the difference left by pictures of one exposure (grain,
// compression, resampling) is a level or two and moves either way with a fit.
constexpr double minBorderGain = 1.0, minBorderShare = 0.25;

// Why a picture kept its colours, for the user: "not clearly better at the border (1.3 1.2 1.3 ->
// 1.1 1.0 1.9 levels)", "no reliable match", "too little overlap", ...
std::string ColourKeptReason(const ColourMatchResult& result);

// The correction for `child`, placed in `parent` by `placement`; `parentColour` is how the parent
// is drawn, `childColour` how the child is drawn now (for the border's difference before).
// `cancel` is polled between steps and while decoding.
ColourMatchResult MatchColours(const AlignSource& parent, const ColourCorrection& parentColour,
                               const AlignSource& child, const Transform& placement,
                               const ColourCorrection& childColour, const std::atomic<bool>* cancel = nullptr);
