// Judging a pair's answer: the stages run in turn, from the hint first when there is one, and
// only an answer that holds up on every count is "aligned".

#include "AlignPair.h"

#include <algorithm>
#include <cmath>
#include <opencv2/core.hpp>
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

AlignResult Align(const AlignSource& parent, const AlignSource& child, const Transform* hint,
                  const std::atomic<bool>* cancel, const AlignOptions& options) {
  AlignResult result;
  bool readable = true;
  auto finish = [&](const Refined& r, int matches, bool fromHint) {
    result.correlation = r.correlation;
    result.residual = r.residual;
    result.matches = matches;
    result.fromHint = fromHint;
    result.confidence = Confidence(matches, fromHint, r);
    if (r.residual <= maxResidual && r.shear <= maxShear && result.confidence >= options.minConfidence &&
        Plausible(r.placement)) {
      result.status = AlignStatus::Aligned;
      result.transform = ToPlacement(r.placement);
      return true;
    }
    return false;
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

  if (hint && Plausible(Affine::Placement(*hint))) {
    Refined r = Refine(parent, child, Affine::Placement(*hint), cancel, readable);
    // Once more from where that ended: the tones are matched over the right part of the parent
    // only now.
    if (r.converged && readable && !Cancelled(cancel)) {
      const Refined again = Refine(parent, child, r.placement, cancel, readable);
      if (again.converged) r = again;
    }
    if (Cancelled(cancel)) return result.status = AlignStatus::Cancelled, result;
    if (!readable) return result.status = AlignStatus::Unreadable, result;
    if (r.converged && finish(r, 0, true)) return result;
  }

  const Coarse coarse = MatchFeatures(parent, child, options, cancel, readable);
  if (Cancelled(cancel)) return result.status = AlignStatus::Cancelled, result;
  if (!readable) return result.status = AlignStatus::Unreadable, result;
  result.status = AlignStatus::NoMatch;
  result.matches = coarse.matches;
  if (!coarse.found || !Plausible(coarse.placement)) return result.why = "too few features agree", result;
  const Refined r = Refine(parent, child, coarse.placement, cancel, readable);
  if (Cancelled(cancel)) return result.status = AlignStatus::Cancelled, result;
  if (!readable) return result.status = AlignStatus::Unreadable, result;
  if (!r.converged) return result.why = "the refinement did not converge", result;
  // The refinement may only polish what the features found, not wander off to something else.
  if (LargestCornerMove(coarse.placement, r.placement, coarse.parentPixels, child.width, child.height) > maxRefineJump)
    return result.why = "the refinement left the features' placement", result;
  if (!finish(r, coarse.matches, false)) {
    result.status = AlignStatus::NoMatch;
    result.transform = Transform();
    result.why = r.residual > maxResidual ? "the pictures still disagree locally"
                 : r.shear > maxShear     ? "the refinement distorted the picture"
                                          : "low confidence";
  }
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
