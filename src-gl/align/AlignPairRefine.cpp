// The intensity refinement: correlation (ECC), coarse to fine, carries a first placement to a
// fraction of a pixel and measures how far the pictures still disagree locally.

#include <algorithm>
#include <cmath>
#include <opencv2/imgproc.hpp>
#include <opencv2/video/tracking.hpp>
#include <vector>

#include "AlignPair.h"
#include "AlignPairStages.h"

namespace align_pair {

namespace {

// The refinement works on at most about this many pixels of the child's footprint: enough
// for hundredths of a pixel, few enough to stay fast on large photographs.
constexpr double refinePixels = 0.6e6;
constexpr int refineMinSide = 48;  // the coarsest level of the refinement's pyramid
// Sobel's |dx| + |dy| a cell must have on average before a shift is measured in it.
constexpr double minCellGradient = 16.0;

// The typical shift between the template and the parent warped onto it, measured cell by cell, in
// pixels of the template: the median, as cells of sky or haze let a shift drift unnoticed.
// Cells without the texture to measure a shift are skipped.
double LocalShifts(const cv::Mat& templ, const cv::Mat& warped, const cv::Mat& valid) {
  const int cells = 4;
  const int cw = templ.cols / cells, ch = templ.rows / cells;
  if (cw < 16 || ch < 16) return 0;
  std::vector<double> shifts;
  for (int j = 0; j < cells; ++j)
    for (int i = 0; i < cells; ++i) {
      const cv::Rect r(i * cw, j * ch, cw, ch);
      if (cv::countNonZero(valid(r)) < r.area()) continue;
      cv::Mat gx, gy;
      cv::Sobel(templ(r), gx, CV_32F, 1, 0);
      cv::Sobel(templ(r), gy, CV_32F, 0, 1);
      if (cv::mean(cv::abs(gx) + cv::abs(gy))[0] < minCellGradient) continue;  // flat: nothing to measure
      cv::Mat shift = cv::Mat::eye(2, 3, CV_32F);
      try {
        cv::findTransformECC(templ(r), warped(r), shift, cv::MOTION_TRANSLATION,
                             cv::TermCriteria(cv::TermCriteria::COUNT | cv::TermCriteria::EPS, 30, 1e-4), cv::noArray(),
                             3);
      } catch (const cv::Exception&) {
        continue;  // too little texture to converge
      }
      shifts.push_back(std::hypot(shift.at<float>(0, 2), shift.at<float>(1, 2)));
    }
  if (shifts.empty()) return 0;
  std::nth_element(shifts.begin(), shifts.begin() + shifts.size() / 2, shifts.end());
  return shifts[shifts.size() / 2];
}

// The parent's grey levels mapped so that, where the child lies on it, their distribution is the
// child's. Correlation forgives a difference of exposure only while it is a gain and an offset;
// highlights or shadows clipped in one picture and not in the other are not, and would pull the
// placement towards them. Mapping the distributions clips the parent where the child is clipped.
cv::Mat MatchTones(const cv::Mat& input, const cv::Mat& templ, const Affine& warp) {
  cv::Mat seen, valid;
  cv::warpAffine(input, seen, ToCv(warp), templ.size(), cv::INTER_LINEAR | cv::WARP_INVERSE_MAP);
  cv::warpAffine(cv::Mat(input.size(), CV_8U, cv::Scalar(255)), valid, ToCv(warp), templ.size(),
                 cv::INTER_NEAREST | cv::WARP_INVERSE_MAP, cv::BORDER_CONSTANT, cv::Scalar(0));
  double from[256] = {}, to[256] = {};
  double count = 0;
  for (int y = 0; y < templ.rows; ++y) {
    const uchar* s = seen.ptr<uchar>(y);
    const uchar* t = templ.ptr<uchar>(y);
    const uchar* v = valid.ptr<uchar>(y);
    for (int x = 0; x < templ.cols; ++x)
      if (v[x]) {
        ++from[s[x]];
        ++to[t[x]];
        ++count;
      }
  }
  if (count < 1000) return input;
  cv::Mat lut(1, 256, CV_8U);
  double below = 0, target = 0;
  int level = 0;
  for (int i = 0; i < 256; ++i) {
    // The level whose share of the child's pixels below it first reaches the middle of level i's.
    const double middle = below + from[i] / 2;
    while (level < 255 && target + to[level] <= middle) target += to[level++];
    lut.at<uchar>(0, i) = static_cast<uchar>(level);
    below += from[i];
  }
  cv::Mat out;
  cv::LUT(input, lut, out);
  return out;
}

// The part of the parent's copy under the template placed by `warp`, and a margin.
cv::Rect Footprint(const cv::Mat& parent, const cv::Mat& templ, const Affine& warp) {
  std::vector<cv::Point2f> corners;
  for (const auto& [x, y] : {std::pair{0, 0}, {1, 0}, {1, 1}, {0, 1}}) {
    double px, py;
    warp.Map(x * templ.cols, y * templ.rows, px, py);
    corners.emplace_back(static_cast<float>(px), static_cast<float>(py));
  }
  cv::Rect box = cv::boundingRect(corners);
  const int margin = 8 + std::max(box.width, box.height) / 10;
  return cv::Rect(box.x - margin, box.y - margin, box.width + 2 * margin, box.height + 2 * margin) &
         cv::Rect(0, 0, parent.cols, parent.rows);
}

// ECC on pyramids of the template and the input, coarsest level first, from `warp` (template
// pixels into the input's). False when cancelled or when it does not converge; `correlation` is
// the last level's.
bool FitCoarseToFine(const cv::Mat& templ, const cv::Mat& input, Affine& warp, double& correlation,
                     const std::atomic<bool>* cancel) {
  int levels = 0;
  while (levels < 4 && std::min(templ.cols, templ.rows) >> (levels + 1) >= refineMinSide &&
         std::min(input.cols, input.rows) >> (levels + 1) >= refineMinSide)
    ++levels;
  std::vector<cv::Mat> templates{templ}, inputs{input};
  for (int k = 0; k < levels; ++k) {
    cv::Mat t, i;
    cv::pyrDown(templates.back(), t);
    cv::pyrDown(inputs.back(), i);
    templates.push_back(t);
    inputs.push_back(i);
  }
  try {
    for (int k = levels; k >= 0; --k) {
      if (Cancelled(cancel)) return false;
      // pyrDown keeps pixel centres at even positions: level k's (x, y) is level 0's 2^k (x, y).
      const double f = std::ldexp(1.0, k);
      Affine atLevel = warp;
      atLevel.tx /= f;
      atLevel.ty /= f;
      cv::Mat m32;
      ToCv(atLevel).convertTo(m32, CV_32F);
      const cv::TermCriteria criteria(cv::TermCriteria::COUNT | cv::TermCriteria::EPS, k == 0 ? 30 : 50,
                                      k == 0 ? 1e-5 : 1e-4);
      correlation = cv::findTransformECC(templates[static_cast<size_t>(k)], inputs[static_cast<size_t>(k)], m32,
                                         cv::MOTION_AFFINE, criteria, cv::noArray(), k == 0 ? 3 : 5);
      cv::Mat m64;
      m32.convertTo(m64, CV_64F);
      warp = FromCv(m64);
      warp.tx *= f;
      warp.ty *= f;
    }
  } catch (const cv::Exception&) {
    return false;  // did not converge
  }
  return true;
}

// How far an affine map departs from a similarity: its two axes' difference in length or their
// cosine, whichever is larger.
double Shear(const Affine& warp) {
  const double scaleX = std::hypot(warp.a, warp.b), scaleY = std::hypot(warp.c, warp.d);
  return std::max(std::fabs(scaleX - scaleY) / std::max(scaleX, scaleY),
                  std::fabs(warp.a * warp.c + warp.b * warp.d) / (scaleX * scaleY));
}

// LocalShifts between the template and the input warped onto it, in template pixels.
double ResidualShift(const cv::Mat& templ, const cv::Mat& input, const Affine& warp) {
  cv::Mat warped, valid;
  cv::warpAffine(input, warped, ToCv(warp), templ.size(), cv::INTER_LINEAR | cv::WARP_INVERSE_MAP);
  cv::warpAffine(cv::Mat(input.size(), CV_8U, cv::Scalar(255)), valid, ToCv(warp), templ.size(),
                 cv::INTER_NEAREST | cv::WARP_INVERSE_MAP, cv::BORDER_CONSTANT, cv::Scalar(0));
  return LocalShifts(templ, warped, valid);
}

// The copies a refinement or a measure works on: the child at the density of a copy of the
// parent whose share under a child of length scale `s` is about `refinePixels`, less a thin
// border (edges of JPEG blocks and of the resampling), and the maps from them to the elements'
// frames.
struct Working {
  Grey gp, gc;
  cv::Mat templ;
  int bx = 0, by = 0;
  Affine parentToElement, childToElement;

  // Template pixels into the parent copy's, for a placement of the child.
  Affine WarpOf(const Affine& placement) const {
    return parentToElement.Inverse() * placement * childToElement * Translation(bx, by);
  }
  // The placement a warp into the part of the parent's copy at `box` stands for.
  Affine PlacementOf(const Affine& warp, const cv::Rect& box) const {
    return parentToElement * Translation(box.x, box.y) * warp * Translation(-bx, -by) * childToElement.Inverse();
  }
};

// False when there is nothing to work on; `readable` is cleared when a picture could not be
// decoded.
bool Prepare(const AlignSource& parent, const AlignSource& child, double s, const std::atomic<bool>* cancel,
             bool& readable, Working& w) {
  const double Lp = std::max(parent.width, parent.height), Lc = std::max(child.width, child.height);
  if (!(s > 0) || !std::isfinite(s)) return false;
  // The child's footprint in the parent, in full parent pixels.
  const double footprint = s * s * child.width * child.height / (Lc * Lc) * Lp * Lp;
  const double rp = std::max(1.0, std::sqrt(footprint / refinePixels));
  // The child at the same density as that copy of the parent; never enlarged beyond twice.
  const double rc = std::max(0.5, Lc * rp / (s * Lp));
  if (!LoadBoth(parent, rp, w.gp, child, rc, w.gc, cancel)) {
    readable = false;
    return false;
  }
  if (Cancelled(cancel)) return false;
  w.bx = std::max(2, w.gc.pixels.cols / 50);
  w.by = std::max(2, w.gc.pixels.rows / 50);
  const cv::Rect inner(w.bx, w.by, w.gc.pixels.cols - 2 * w.bx, w.gc.pixels.rows - 2 * w.by);
  if (inner.width < refineMinSide || inner.height < refineMinSide) return false;
  w.templ = w.gc.pixels(inner);
  w.parentToElement = CopyToElement(w.gp, parent.width, parent.height);
  w.childToElement = CopyToElement(w.gc, child.width, child.height);
  return true;
}

// The zero-mean normalised correlation of the template and the input warped onto it, where the
// input reaches, both smoothed as ECC smooths them at its finest level, so that it reads as the
// refinement's correlation does.
double CorrelationAt(const cv::Mat& templ, const cv::Mat& input, const Affine& warp) {
  cv::Mat t, i, warped, valid;
  cv::GaussianBlur(templ, t, cv::Size(3, 3), 0, 0);
  cv::GaussianBlur(input, i, cv::Size(3, 3), 0, 0);
  cv::warpAffine(i, warped, ToCv(warp), templ.size(), cv::INTER_LINEAR | cv::WARP_INVERSE_MAP);
  cv::warpAffine(cv::Mat(input.size(), CV_8U, cv::Scalar(255)), valid, ToCv(warp), templ.size(),
                 cv::INTER_NEAREST | cv::WARP_INVERSE_MAP, cv::BORDER_CONSTANT, cv::Scalar(0));
  if (cv::countNonZero(valid) < 1000) return 0;
  cv::Scalar tm, ts, wm, ws;
  cv::meanStdDev(t, tm, ts, valid);
  cv::meanStdDev(warped, wm, ws, valid);
  if (!(ts[0] > 0) || !(ws[0] > 0)) return 0;
  cv::Mat tz, wz;
  t.convertTo(tz, CV_64F, 1, -tm[0]);
  warped.convertTo(wz, CV_64F, 1, -wm[0]);
  cv::Mat product = tz.mul(wz);
  return cv::mean(product, valid)[0] / (ts[0] * ws[0]);
}

}  // namespace

Refined Refine(const AlignSource& parent, const AlignSource& child, const Affine& start,
               const std::atomic<bool>* cancel, bool& readable) {
  Refined out;
  Working w;
  if (!Prepare(parent, child, start.LengthScale(), cancel, readable, w)) return out;
  Affine warp = w.WarpOf(start);

  // The parent, cut to the footprint and a margin.
  const cv::Rect box = Footprint(w.gp.pixels, w.templ, warp);
  if (box.width < refineMinSide || box.height < refineMinSide) return out;
  warp = Translation(-box.x, -box.y) * warp;
  const cv::Mat input = MatchTones(w.gp.pixels(box), w.templ, warp);

  if (!FitCoarseToFine(w.templ, input, warp, out.correlation, cancel)) return out;
  if (!warp.IsFinite()) return out;
  out.shear = Shear(warp);
  // Shifts in template pixels, carried into the parent's working copy and then its full size.
  out.residual = ResidualShift(w.templ, input, warp) * warp.LengthScale() * std::max(w.gp.fx, w.gp.fy);
  out.placement = w.PlacementOf(warp, box);
  out.converged = out.placement.IsFinite();
  return out;
}

std::vector<Refined> MeasureAt(const AlignSource& parent, const AlignSource& child,
                               const std::vector<Affine>& placements, const std::atomic<bool>* cancel, bool& readable) {
  std::vector<Refined> out(placements.size());
  Working w;
  if (placements.empty() || !Prepare(parent, child, placements[0].LengthScale(), cancel, readable, w)) return out;
  for (size_t k = 0; k < placements.size() && !Cancelled(cancel); ++k) {
    Refined& m = out[k];
    m.placement = placements[k];
    if (!placements[k].IsFinite()) continue;
    Affine warp = w.WarpOf(placements[k]);
    const cv::Rect box = Footprint(w.gp.pixels, w.templ, warp);
    if (box.width < refineMinSide || box.height < refineMinSide) continue;
    warp = Translation(-box.x, -box.y) * warp;
    // The tones matched where this placement puts the child, as the refinement matches them.
    const cv::Mat input = MatchTones(w.gp.pixels(box), w.templ, warp);
    m.correlation = CorrelationAt(w.templ, input, warp);
    m.residual = ResidualShift(w.templ, input, warp) * warp.LengthScale() * std::max(w.gp.fx, w.gp.fy);
    m.converged = true;
  }
  return out;
}

}  // namespace align_pair
