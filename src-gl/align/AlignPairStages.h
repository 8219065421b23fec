#pragma once
// The stages of aligning one pair, shared by the files that make them: grey copies of the two
// pictures (AlignPairGrey.cpp), the features' first placement (AlignPairFeatures.cpp), the search
// by intensity where they find none (AlignPairSearch.cpp) and the intensity refinement
// (AlignPairRefine.cpp); AlignPair.cpp judges what they give. Not for use
// outside this module.

#include <atomic>
#include <opencv2/core.hpp>
#include <vector>

#include "Affine.h"

struct AlignSource;
struct AlignOptions;

namespace align_pair {

// Pictures smaller than this carry too little to align.
constexpr int minSide = 32;
// Local disagreement (parent pixels, see LocalShifts) above which an answer is refused.
constexpr double maxResidual = 1.5;
// The refinement's affine fit may depart this much from a similarity before it is distrusted.
constexpr double maxShear = 0.02;

// A grey copy of a picture at some reduction. A point at edge coordinates (u, v) of the copy
// (the top-left corner of the top-left pixel is (0, 0)) is (fx u, fy v) of the full picture.
struct Grey {
  cv::Mat pixels;  // CV_8U, top row first
  double fx = 1, fy = 1;
};

// The picture reduced `reduction` times (below 1: enlarged). JPEG files are decoded at the
// largest DCT scale that does not go below that size, and resampled from there.
bool LoadGrey(const AlignSource& source, double reduction, Grey& out, const std::atomic<bool>* cancel);
// Both pictures at once, the child on a thread of its own: decoding is most of a pair's time.
bool LoadBoth(const AlignSource& parent, double rp, Grey& gp, const AlignSource& child, double rc, Grey& gc,
              const std::atomic<bool>* cancel);

// OpenCV's pixel-centre coordinates of a copy to the element's frame (Transform.h: centre origin,
// y up, longer side 1).
Affine CopyToElement(const Grey& g, int width, int height);
Affine FromCv(const cv::Mat& m);
cv::Mat ToCv(const Affine& a);
inline Affine Translation(double x, double y) { return {1, 0, 0, 1, x, y}; }

inline bool Cancelled(const std::atomic<bool>* cancel) { return cancel && cancel->load(); }
// A placement that can be a child's: finite, of a sane scale, its centre near the parent.
bool Plausible(const Affine& placement);

// The features' placement of the child in the parent.
struct Coarse {
  bool found = false;
  Affine placement;
  int matches = 0;
  Affine parentPixels;  // the parent's element frame to the features' copy
  // When nothing was found: placements fewer features agree with, and how many do.
  struct Weak {
    int matches = 0;
    Affine placement;
  };
  std::vector<Weak> weak;
};
// Where the features are looked for: the whole parent on a copy about `parentSide` pixels long,
// or, with `near` (a rough placement of the child), the part of the parent around it at the
// density the child's own detail has there.
struct FeatureSearch {
  int parentSide = 1000;
  const Affine* near = nullptr;
};
// The first search, and the one tried after it when it found nothing that held up: around the
// rough placement when there is one, else a copy of the parent twice as long (a child a fifth
// of its parent's size leaves only some 200 pixels of the first copy to match).
FeatureSearch FirstSearch();
// False when the second search would see nothing the first did not.
bool SecondSearch(const AlignSource& parent, const AlignSource& child, const Affine* near, FeatureSearch& out);

// `readable` is cleared when a picture could not be decoded.
Coarse MatchFeatures(const AlignSource& parent, const AlignSource& child, const AlignOptions& options,
                     const FeatureSearch& search, const std::atomic<bool>* cancel, bool& readable);

// Without features: the child laid over a small copy of the parent at a range of sizes and turns,
// the placements where it correlates best, best first, in `weak` (with no matches).
Coarse SearchByIntensity(const AlignSource& parent, const AlignSource& child, const std::atomic<bool>* cancel,
                         bool& readable);

struct Refined {
  bool converged = false;
  Affine placement;
  double correlation = 0;
  double residual = 0;
  double shear = 0;
};
// Refines `start` by correlation, coarse to fine, where the child's pixels are as dense as the
// parent's working copy. `readable` is cleared when a picture could not be decoded.
Refined Refine(const AlignSource& parent, const AlignSource& child, const Affine& start,
               const std::atomic<bool>* cancel, bool& readable);
// The correlation and residual of each of `placements` where it stands, measured as Refine
// measures its end, on the copies the first one needs; `converged` false where the child's
// footprint is too small to measure.
std::vector<Refined> MeasureAt(const AlignSource& parent, const AlignSource& child,
                               const std::vector<Affine>& placements, const std::atomic<bool>* cancel, bool& readable);

}  // namespace align_pair
