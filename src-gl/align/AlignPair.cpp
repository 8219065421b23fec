// Judging a pair's answer: the stages run in turn, from the hint first when there is one, and
// only an answer that holds up on every count is "aligned".

#include "AlignPair.h"

#include <algorithm>
#include <cmath>
#include <opencv2/core.hpp>
#include <tuple>
#include <vector>

#include "AlignPairStages.h"
#include "image.h"

namespace align_pair {

bool Plausible(const Affine& placement) {
  const double s = placement.LengthScale();
  return placement.IsFinite() && s > 1e-4 && s < 100 && std::fabs(placement.tx) < 10 && std::fabs(placement.ty) < 10;
}

}  // namespace align_pair

using namespace align_pair;

namespace {

// A refined placement that moved the child's corners further than this from the features'
// (in pixels of the features' reduced parent) found something else.
constexpr double maxRefineJump = 4.0;
// A refinement from the hint that ends further than this from the features' placement (in the
// same pixels) is not taken: the features' own placement is refined instead. Their corners are
// good to well under this where enough of them agree.
constexpr double maxHintDisagreement = 1.5;
// The search by intensity places the child to a few pixels of its small copy of the parent (its
// steps of size and turn leave that much at the corners): a refinement may move it this far.
constexpr double maxSearchJump = 8.0;
// Placements few features agree with (Coarse::weak): how many are refined, and the agreeing
// features they count as in the confidence.
constexpr size_t maxWeakTried = 3;
constexpr int minWeakConfirmed = 3;

// The nearest similarity to a near-similar map.
Transform ToPlacement(const Affine& m) {
  const double cs = (m.a + m.d) / 2, sn = (m.b - m.c) / 2;
  Transform t;
  t.scale = static_cast<float>(std::hypot(cs, sn));
  t.rotate = static_cast<float>(std::atan2(sn, cs) * (180.0 / M_PI));
  t.translateX = static_cast<float>(m.tx);
  t.translateY = static_cast<float>(m.ty);
  return t;
}

// The child's corners, mapped by `placement` and then `toPixels`.
std::vector<cv::Point2d> Corners(const Affine& placement, const Affine& toPixels, int width, int height) {
  const Extents e = ElementExtents(width, height);
  std::vector<cv::Point2d> out;
  for (const auto& [x, y] : {std::pair{-1, -1}, {1, -1}, {1, 1}, {-1, 1}}) {
    double px, py;
    (toPixels * placement).Map(x * e.ex / 2.0, y * e.ey / 2.0, px, py);
    out.emplace_back(px, py);
  }
  return out;
}

double LargestCornerMove(const Affine& a, const Affine& b, const Affine& toPixels, int width, int height) {
  const auto ca = Corners(a, toPixels, width, height), cb = Corners(b, toPixels, width, height);
  double worst = 0;
  for (size_t i = 0; i < ca.size(); ++i) worst = std::max(worst, cv::norm(ca[i] - cb[i]));
  return worst;
}

double Clamp01(double v) { return std::clamp(v, 0.0, 1.0); }

// How far the result is to be believed, 0 .. 1.
double Confidence(int matches, bool fromHint, const Refined& r) {
  // Strong correlation over the whole child is the better witness; many agreeing features add
  // to it.
  const double features = fromHint ? 1.0 : std::min(1.0, 0.5 + matches / 40.0);
  const double intensity = Clamp01((r.correlation - 0.4) / 0.5);
  const double agreement = Clamp01(1.0 - r.residual / (2 * maxResidual));
  const double shape = Clamp01(1.0 - r.shear / (2 * maxShear));
  return features * intensity * agreement * shape;
}

}  // namespace

AlignSource AlignSource::Of(const Image& image) {
  AlignSource s;
  if (!image.loaded) return s;
  if (image.fileName.empty()) {
    s.pixels = image.source;
  } else {
    s.path = image.FullPath();
  }
  s.width = image.width;
  s.height = image.height;
  return s;
}

const char* AlignStatusText(AlignStatus status) {
  switch (status) {
    case AlignStatus::Aligned:
      return "aligned";
    case AlignStatus::Kept:
      return "kept";
    case AlignStatus::NoMatch:
      return "no reliable match";
    case AlignStatus::Unreadable:
      return "picture could not be read";
    case AlignStatus::TooSmall:
      return "picture too small to align";
    case AlignStatus::Cancelled:
      return "cancelled";
  }
  return "";
}

namespace {

// Whether a refined placement holds up on every count but its size and agreement with the
// features.
bool HoldsAnySize(const Refined& r, double confidence, const AlignOptions& options) {
  return r.converged && r.residual <= maxResidual && r.shear <= maxShear && confidence >= options.minConfidence &&
         Plausible(r.placement);
}

bool Holds(const Refined& r, double confidence, const AlignOptions& options) {
  return HoldsAnySize(r, confidence, options) && r.placement.LengthScale() < maxChildScale;
}

// The child matched its parent whole: at its size, within a hundredth of the parent's side of its
// centre and half a degree of its turn.
bool Whole(const Refined& r, double confidence, const AlignOptions& options) {
  const Affine& p = r.placement;
  return HoldsAnySize(r, confidence, options) && std::fabs(p.LengthScale() - 1) < 1 - maxChildScale &&
         std::hypot(p.tx, p.ty) < 0.01 && std::fabs(std::atan2(p.b, p.a)) < 0.5 * M_PI / 180;
}

const char* WhyNot(const Refined& r) {
  return !r.converged                                   ? "the refinement did not converge"
         : !(r.placement.LengthScale() < maxChildScale) ? "the child came out as large as its parent or larger"
         : r.residual > maxResidual                     ? "the pictures still disagree locally"
         : r.shear > maxShear                           ? "the refinement distorted the picture"
                                                        : "low confidence";
}

AlignResult Align(const AlignSource& parent, const AlignSource& child, const Transform* hint,
                  const std::atomic<bool>* cancel, const AlignOptions& options) {
  AlignResult result;
  bool readable = true;
  auto accept = [&](const Refined& r, int matches, bool fromHint) {
    result.status = AlignStatus::Aligned;
    result.transform = ToPlacement(r.placement);
    result.correlation = r.correlation;
    result.residual = r.residual;
    result.matches = matches;
    result.fromHint = fromHint;
    result.confidence = Confidence(matches, fromHint, r);
    result.why = "";
    result.whole = false;
    return result;
  };
  // A picture that did not load has no size; one that did may still be too small.
  if (parent.width <= 0 || parent.height <= 0 || child.width <= 0 || child.height <= 0) {
    result.status = AlignStatus::Unreadable;
    return result;
  }
  if (parent.width < minSide || parent.height < minSide || child.width < minSide || child.height < minSide) {
    result.status = AlignStatus::TooSmall;
    result.why = "a picture is under 32 pixels on a side";
    return result;
  }
  auto wanted = [&](const Affine& placement) {
    return Plausible(placement) && placement.LengthScale() < options.maxScale;
  };
  auto stopped = [&] {
    if (Cancelled(cancel)) return result.status = AlignStatus::Cancelled, true;
    if (!readable) return result.status = AlignStatus::Unreadable, true;
    return false;
  };

  // From the hint: the refinement alone, judged as any answer but checked against the features
  // below before it is believed.
  const Affine hintPlacement = hint ? Affine::Placement(*hint) : Affine();
  const bool hinted = hint && Plausible(hintPlacement);
  Refined fromHint;
  bool hintHolds = false;
  if (hinted) {
    fromHint = Refine(parent, child, hintPlacement, cancel, readable);
    // Once more from where that ended: the tones are matched over the right part of the parent
    // only now.
    if (fromHint.converged && readable && !Cancelled(cancel)) {
      const Refined again = Refine(parent, child, fromHint.placement, cancel, readable);
      if (again.converged) fromHint = again;
    }
    if (stopped()) return result;
    hintHolds = Holds(fromHint, Confidence(0, true, fromHint), options);
    result.whole = Whole(fromHint, Confidence(0, true, fromHint), options);
  }

  // The features on the whole parent's copy first; when what they give does not hold up, once
  // more where the child's detail has more pixels of the parent to meet.
  result.status = AlignStatus::NoMatch;
  result.why = "too few features agree";
  bool featuresFound = false;
  FeatureSearch search = FirstSearch();
  const Affine* near = hintHolds ? &fromHint.placement : hinted ? &hintPlacement : nullptr;
  // Placements few features agree with, from either search, with the features' pixels they are
  // in.
  std::vector<std::tuple<int, Affine, Affine>> weak;
  auto refineFrom = [&](const Affine& start, const Affine& toPixels, int matches, double maxJump = maxRefineJump) {
    Refined r = Refine(parent, child, start, cancel, readable);
    if (stopped()) return true;
    // The refinement may only polish what the features found, not wander off to something else.
    if (r.converged && LargestCornerMove(start, r.placement, toPixels, child.width, child.height) > maxJump) {
      result.why = "the refinement left the features' placement";
      return false;
    }
    double confidence = Confidence(matches, false, r);
    // Once more from where that ended, when it came close: the tones are matched over the part of
    // the parent the child covers only now.
    if (r.converged && !Holds(r, confidence, options) && !Cancelled(cancel)) {
      const Refined again = Refine(parent, child, r.placement, cancel, readable);
      if (stopped()) return true;
      if (again.converged &&
          LargestCornerMove(start, again.placement, toPixels, child.width, child.height) <= maxJump) {
        r = again;
        confidence = Confidence(matches, false, r);
      }
    }
    if (Holds(r, confidence, options)) {
      accept(r, matches, false);
      return true;
    }
    result.correlation = r.correlation;
    result.residual = r.residual;
    result.confidence = confidence;
    result.why = WhyNot(r);
    result.whole = result.whole || Whole(r, confidence, options);
    return false;
  };
  for (int pass = 0; pass < 2; ++pass) {
    if (pass == 1 && !SecondSearch(parent, child, near, search)) break;
    const Coarse coarse = MatchFeatures(parent, child, options, search, cancel, readable);
    if (stopped()) return result;
    result.matches = std::max(result.matches, coarse.matches);
    // The second search's first: it sees the child's detail better.
    std::vector<std::tuple<int, Affine, Affine>> found;
    for (const Coarse::Weak& w : coarse.weak) found.emplace_back(w.matches, w.placement, coarse.parentPixels);
    std::stable_sort(found.begin(), found.end(),
                     [](const auto& x, const auto& y) { return std::get<0>(x) > std::get<0>(y); });
    weak.insert(weak.begin(), found.begin(), found.end());
    if (!coarse.found || !wanted(coarse.placement)) continue;
    featuresFound = true;
    // The refinement from the hint stands only where the features put the child too: from a rough
    // hint, correlation can settle in a neighbouring optimum a few pixels off and still look good.
    if (hintHolds && LargestCornerMove(coarse.placement, fromHint.placement, coarse.parentPixels, child.width,
                                       child.height) <= maxHintDisagreement)
      return accept(fromHint, coarse.matches, true);
    if (refineFrom(coarse.placement, coarse.parentPixels, coarse.matches)) return result;
  }
  // Where no search found features that agree, the hint's refinement has nothing to contradict it;
  // without one, the placements few features agree with are refined, the best first, and count as
  // only a few features in the confidence, so that only a close correlation and local agreement
  // carry them.
  if (hintHolds && !featuresFound) return accept(fromHint, 0, true);
  if (!hintHolds) {
    for (size_t k = 0; k < weak.size() && k < maxWeakTried; ++k)
      if (wanted(std::get<1>(weak[k])) && refineFrom(std::get<1>(weak[k]), std::get<2>(weak[k]), minWeakConfirmed))
        return result;
  }
  // Where no features agree at all, the child laid over the parent at a range of sizes and turns,
  // judged as the weakest features' placements are. Not for a seam (a bounded scale): a picture
  // that holds itself holds its copies at every depth, and the search would take any of them.
  if (!featuresFound && options.maxScale >= AlignOptions().maxScale) {
    const Coarse searched = SearchByIntensity(parent, child, cancel, readable);
    if (stopped()) return result;
    for (const Coarse::Weak& w : searched.weak) {
      if (wanted(w.placement) && refineFrom(w.placement, searched.parentPixels, minWeakConfirmed, maxSearchJump))
        return result;
    }
  }
  result.transform = Transform();
  return result;
}

}  // namespace

AlignResult AlignPictures(const AlignSource& parent, const AlignSource& child, const Transform* hint,
                          const std::atomic<bool>* cancel, const AlignOptions& options) {
  try {
    return Align(parent, child, hint, cancel, options);
  } catch (const cv::Exception&) {
    // Pictures of shapes the library refuses (a strip a few pixels high, say) match nothing.
    AlignResult result;
    result.why = "the pictures cannot be compared";
    return result;
  }
}

std::vector<PlacementMeasure> MeasurePlacements(const AlignSource& parent, const AlignSource& child,
                                                const std::vector<Transform>& placements,
                                                const std::atomic<bool>* cancel, bool& readable,
                                                const AlignOptions& options) {
  std::vector<PlacementMeasure> out(placements.size());
  if (parent.width < minSide || parent.height < minSide || child.width < minSide || child.height < minSide) return out;
  // A placement that could never pass is not worth a decode (nor copies at an absurd density).
  std::vector<Affine> sane;
  std::vector<size_t> from;
  for (size_t k = 0; k < placements.size(); ++k) {
    const Affine a = Affine::Placement(placements[k]);
    if (!Plausible(a) || !(a.LengthScale() < maxChildScale)) continue;
    sane.push_back(a);
    from.push_back(k);
  }
  std::vector<Refined> measured;
  try {
    measured = MeasureAt(parent, child, sane, cancel, readable);
  } catch (const cv::Exception&) {
    return out;
  }
  for (size_t j = 0; j < measured.size(); ++j) {
    const Refined& r = measured[j];
    PlacementMeasure& m = out[from[j]];
    m.measured = r.converged;
    m.correlation = r.correlation;
    m.residual = r.residual;
    // Judged as an answer from a hint is, which no features vouch for.
    m.confidence = r.converged ? Confidence(0, true, r) : 0;
    m.holds = Holds(r, m.confidence, options);
  }
  return out;
}
