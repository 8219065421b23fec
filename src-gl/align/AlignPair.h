#pragma once
// Finding where a picture lies inside its parent from the two pictures themselves: scale-invariant
// features on reduced copies and a robust similarity fit give a first placement, which an
// intensity refinement (correlation, so indifferent to exposure) carries to a fraction of a
// pixel where the child's detail is. The answer is judged; a doubtful one is "no match", never a
// wild placement.

#include <QImage>
#include <atomic>
#include <string>
#include <vector>

#include "Transform.h"

class Image;

// A picture to align: its JPEG file, decoded at the size each stage needs, or pixels held in
// memory (pictures made by generators and tests).
struct AlignSource {
  std::string path;  // empty: `pixels`
  QImage pixels;
  int width = 0;  // full size in pixels
  int height = 0;

  // The element's file, or its in-memory picture. A picture that did not load gives a source
  // with no size, which aligns to AlignStatus::Unreadable.
  static AlignSource Of(const Image& image);
};

enum class AlignStatus {
  Aligned,
  // The child keeps the placement it had, and it is a good one: the child is the same picture as
  // its parent (nothing in the pixels can say where it lies in itself), or what was found is not
  // clearly better by the same measure. `why` says which.
  Kept,
  NoMatch,     // no reliable match: the placement must stay as it was
  Unreadable,  // a picture could not be decoded
  TooSmall,    // a picture is too small to align (under 32 pixels on a side)
  Cancelled,
};

// "aligned", "no reliable match", ...
const char* AlignStatusText(AlignStatus status);

enum class AlignFeatures { Sift, Akaze };

struct AlignOptions {
  AlignFeatures features = AlignFeatures::Sift;
  // Below this confidence the answer is "no reliable match".
  double minConfidence = 0.5;
  // The features' placements at this length scale or larger are not taken up. An endless seam
  // sets it: a picture that holds itself also matches itself whole, which leads nowhere.
  double maxScale = 100;
};

// A child is smaller than its parent: an answer at this length scale or larger is "no reliable
// match". Found as large as its parent, or larger, the picture matched itself whole (a picture
// saved again comes out at 0.9999 or so, not 1) or the two were taken in the wrong order; a zoom
// step under 1 % goes nowhere either.
constexpr double maxChildScale = 0.99;

struct AlignResult {
  AlignStatus status = AlignStatus::NoMatch;
  // The child's frame in the parent's frame (Transform.h); meaningful only when Aligned.
  Transform transform;
  double confidence = 0;   // 0 .. 1, from the agreeing features and the refined correlation
  double correlation = 0;  // of the two pictures' intensities where they overlap, after refinement
  int matches = 0;         // features that agree with the placement (0 when refined from the hint alone)
  // How far the pictures still disagree, in parent pixels: the median of the local shifts
  // measured between the placed child and the parent, cell by cell where there is texture.
  double residual = 0;
  bool fromHint = false;  // the hint was close enough for the refinement alone
  // No match, as the child matched its parent whole, at its size and where it stands: the same
  // picture (saved again, perhaps), whose pixels cannot say where it lies inside itself.
  bool whole = false;
  const char* why = "";  // for anything but Aligned: what failed, in a few words
};

// Places `child` inside `parent`. With a `hint` (the child's current placement, when the user
// has put it roughly in place), the refinement starts from it and the features are consulted
// only when that fails. `cancel` is polled between stages.
AlignResult AlignPictures(const AlignSource& parent, const AlignSource& child, const Transform* hint = nullptr,
                          const std::atomic<bool>* cancel = nullptr, const AlignOptions& options = {});

// How well a placement holds, judged as an answer is but where it stands, without refining it.
struct PlacementMeasure {
  bool measured = false;  // false: the child's footprint is too small or off the parent
  double correlation = 0;
  double residual = 0;  // parent pixels, as AlignResult's
  double confidence = 0;
  bool holds = false;  // it would pass as an answer
};
// Measures each of `placements` of `child` in `parent`, all on the same copies of the two
// pictures (at the density the first one needs), so that they compare. `readable` is cleared
// when a picture could not be decoded; a cancel leaves the rest unmeasured.
std::vector<PlacementMeasure> MeasurePlacements(const AlignSource& parent, const AlignSource& child,
                                                const std::vector<Transform>& placements,
                                                const std::atomic<bool>* cancel, bool& readable,
                                                const AlignOptions& options = {});
