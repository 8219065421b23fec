#include "AlignPair.h"

#include <algorithm>
#include <cmath>
#include <opencv2/calib3d.hpp>
#include <opencv2/core.hpp>
#include <opencv2/features2d.hpp>
#include <opencv2/imgproc.hpp>
#include <opencv2/video/tracking.hpp>
#include <iterator>
#include <thread>
#include <vector>

#include "Affine.h"
#include "JpegDecode.h"
#include "image.h"

namespace {

// Longer side of the parent's reduced copy the features are found on. The child's copy is half
// as long, as its content appears smaller in the parent: at the scales a zoom uses (a fifth to
// four fifths) the two then show the scene at sizes within a factor of about two and a half.
// When that finds nothing, a copy a quarter as long is tried, for children small in the parent.
constexpr int featureParentSide = 1000;
constexpr double featureChildRatios[] = {0.5, 0.25};
constexpr double minFeatureChildSide = 400;  // below this, too little is left to describe
constexpr int maxFeatures = 4000;
// Well below the usual threshold: skies, haze and smooth gradients must still give features.
constexpr double siftContrast = 0.01;
constexpr float ratioTest = 0.9f;
constexpr double claheClip = 3.0;
constexpr double ransacThreshold = 2.5;  // pixels of the parent's reduced copy
constexpr int minMatches = 6;
// The refinement works on at most about this many pixels of the child's footprint: enough
// for hundredths of a pixel, few enough to stay fast on large photographs.
constexpr double refinePixels = 0.6e6;
constexpr int refineMinSide = 48;  // the coarsest level of the refinement's pyramid
// Pictures smaller than this carry too little to align.
constexpr int minSide = 32;
// A refined placement that moved the child's corners further than this from the features'
// (in pixels of the features' reduced parent) found something else.
constexpr double maxRefineJump = 4.0;
// Local disagreement (parent pixels, see LocalShifts) above which an answer is refused.
constexpr double maxResidual = 1.5;
// Sobel's |dx| + |dy| a cell must have on average before a shift is measured in it.
constexpr double minCellGradient = 16.0;
// The refinement's affine fit may depart this much from a similarity before it is distrusted.
constexpr double maxShear = 0.02;

// A grey copy of a picture at some reduction. A point at edge coordinates (u, v) of the copy
// (the top-left corner of the top-left pixel is (0, 0)) is (fx u, fy v) of the full picture.
struct Grey {
  cv::Mat pixels;  // CV_8U, top row first
  double fx = 1, fy = 1;
};

cv::Mat GreyFromRgbaBottomUp(const RgbaPicture& picture) {
  cv::Mat grey(picture.height, picture.width, CV_8U);
  const size_t stride = static_cast<size_t>(picture.width) * 4;
  for (int y = 0; y < picture.height; ++y) {
    const uint8_t* in = picture.rgba.data() + stride * static_cast<size_t>(picture.height - 1 - y);
    uint8_t* out = grey.ptr<uint8_t>(y);
    for (int x = 0; x < picture.width; ++x, in += 4)
      out[x] = static_cast<uint8_t>((77 * in[0] + 150 * in[1] + 29 * in[2] + 128) >> 8);
  }
  return grey;
}

// The picture reduced `reduction` times (below 1: enlarged). JPEG files are decoded at the
// largest DCT scale that does not go below that size, and resampled from there.
bool LoadGrey(const AlignSource& source, double reduction, Grey& out, const std::atomic<bool>* cancel) {
  if (source.width < minSide || source.height < minSide) return false;
  cv::Mat grey;
  int denominator = 1;
  if (!source.path.empty()) {
    for (int d : {8, 4, 2})
      if (d <= reduction) {
        denominator = d;
        break;
      }
    RgbaPicture rgba;
    // The grey copy and its resampling are made while the decoded picture is held.
    DecodeLimits limits;
    limits.cancel = cancel;
    limits.extraBytes = static_cast<size_t>(ScaledSide(source.width, denominator)) *
                        static_cast<size_t>(ScaledSide(source.height, denominator)) / 2;
    MemoryHold hold;
    limits.hold = &hold;
    if (DecodeJpegRgba(source.path, denominator, rgba, limits) != DecodeResult::Ok) return false;
    // The file may have changed since its header was read: the size it has now counts.
    if (ScaledSide(source.width, denominator) != rgba.width || ScaledSide(source.height, denominator) != rgba.height)
      return false;
    grey = GreyFromRgbaBottomUp(rgba);
  } else {
    if (source.pixels.isNull() || source.pixels.width() != source.width || source.pixels.height() != source.height)
      return false;
    const QImage g = source.pixels.convertToFormat(QImage::Format_Grayscale8);
    grey =
        cv::Mat(g.height(), g.width(), CV_8U, const_cast<uchar*>(g.constBits()), static_cast<size_t>(g.bytesPerLine()))
            .clone();
  }
  const int w = std::max(1, static_cast<int>(std::lround(source.width / reduction)));
  const int h = std::max(1, static_cast<int>(std::lround(source.height / reduction)));
  out.fx = static_cast<double>(denominator) * grey.cols / w;
  out.fy = static_cast<double>(denominator) * grey.rows / h;
  if (w == grey.cols && h == grey.rows)
    out.pixels = grey;
  else
    cv::resize(grey, out.pixels, cv::Size(w, h), 0, 0, w < grey.cols ? cv::INTER_AREA : cv::INTER_LINEAR);
  return true;
}

// Both pictures at once, the child on a thread of its own: decoding is most of a pair's time.
bool LoadBoth(const AlignSource& parent, double rp, Grey& gp, const AlignSource& child, double rc, Grey& gc,
              const std::atomic<bool>* cancel) {
  bool okC = false;
  std::thread other([&] { okC = LoadGrey(child, rc, gc, cancel); });
  const bool okP = LoadGrey(parent, rp, gp, cancel);
  other.join();
  return okP && okC;
}

// OpenCV's pixel-centre coordinates of a copy to the element's frame (Transform.h: centre origin,
// y up, longer side 1).
Affine CopyToElement(const Grey& g, int width, int height) {
  const double L = std::max(width, height);
  return {g.fx / L, 0, 0, -g.fy / L, (0.5 * g.fx - width / 2.0) / L, (height / 2.0 - 0.5 * g.fy) / L};
}

Affine FromCv(const cv::Mat& m) {
  return {m.at<double>(0, 0), m.at<double>(1, 0), m.at<double>(0, 1),
          m.at<double>(1, 1), m.at<double>(0, 2), m.at<double>(1, 2)};
}

cv::Mat ToCv(const Affine& a) { return (cv::Mat_<double>(2, 3) << a.a, a.c, a.tx, a.b, a.d, a.ty); }

Affine Translation(double x, double y) { return {1, 0, 0, 1, x, y}; }

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

bool Cancelled(const std::atomic<bool>* cancel) { return cancel && cancel->load(); }

struct Coarse {
  bool found = false;
  Affine placement;
  int matches = 0;
  Affine parentPixels;  // the parent's element frame to the features' copy
};

bool Plausible(const Affine& placement) {
  const double s = placement.LengthScale();
  return placement.IsFinite() && s > 1e-4 && s < 100 && std::fabs(placement.tx) < 10 && std::fabs(placement.ty) < 10;
}

// A copy of `g` reduced by `factor` (above 1) more.
Grey Reduced(const Grey& g, double factor) {
  Grey out;
  const int w = std::max(1, static_cast<int>(std::lround(g.pixels.cols / factor)));
  const int h = std::max(1, static_cast<int>(std::lround(g.pixels.rows / factor)));
  cv::resize(g.pixels, out.pixels, cv::Size(w, h), 0, 0, cv::INTER_AREA);
  out.fx = g.fx * g.pixels.cols / w;
  out.fy = g.fy * g.pixels.rows / h;
  return out;
}

Coarse MatchFeatures(const AlignSource& parent, const AlignSource& child, const AlignOptions& options,
                     const std::atomic<bool>* cancel, bool& readable) {
  Coarse result;
  const double rp = std::max(1.0, std::max(parent.width, parent.height) / static_cast<double>(featureParentSide));
  const double parentSide = std::max(parent.width, parent.height) / rp;
  const double childSide = std::max(child.width, child.height);
  auto childReduction = [&](double ratio) {
    return std::max(1.0, childSide / std::max(minFeatureChildSide, ratio * parentSide));
  };
  const double rc = childReduction(featureChildRatios[0]);
  Grey gp, gc;
  if (!LoadBoth(parent, rp, gp, child, rc, gc, cancel)) {
    readable = false;
    return result;
  }
  cv::Ptr<cv::Feature2D> detector;
  int norm = cv::NORM_L2;
  if (options.features == AlignFeatures::Akaze) {
    detector = cv::AKAZE::create(cv::AKAZE::DESCRIPTOR_MLDB, 0, 3, 0.0005f);
    norm = cv::NORM_HAMMING;
  } else {
    detector = cv::SIFT::create(maxFeatures, 3, siftContrast);
  }
  // Local contrast evened out: hazy skies and smooth gradients give features too, and the two
  // exposures look more alike.
  const cv::Ptr<cv::CLAHE> clahe = cv::createCLAHE(claheClip, cv::Size(8, 8));
  clahe->apply(gp.pixels, gp.pixels);
  std::vector<cv::KeyPoint> kp;
  cv::Mat dp;
  detector->detectAndCompute(gp.pixels, cv::noArray(), kp, dp);
  if (kp.size() < 2) return result;
  // Approximate nearest neighbours for SIFT's float descriptors: the ratio test only needs the
  // two best, and an exhaustive search over thousands costs more than the detection.
  cv::Ptr<cv::DescriptorMatcher> matcher;
  if (norm == cv::NORM_L2)
    matcher = cv::makePtr<cv::FlannBasedMatcher>(cv::makePtr<cv::flann::KDTreeIndexParams>(4),
                                                 cv::makePtr<cv::flann::SearchParams>(64));
  else
    matcher = cv::makePtr<cv::BFMatcher>(norm);
  matcher->add(dp);
  matcher->train();
  const Affine parentToElement = CopyToElement(gp, parent.width, parent.height);
  result.parentPixels = parentToElement.Inverse();

  for (size_t attempt = 0; attempt < std::size(featureChildRatios); ++attempt) {
    Grey copy = gc;
    if (attempt > 0) {
      const double further = childReduction(featureChildRatios[attempt]) / rc;
      if (further < 1.2) continue;  // hardly different from the copy that failed
      copy = Reduced(gc, further);
    }
    cv::Mat pixels;
    clahe->apply(copy.pixels, pixels);
    std::vector<cv::KeyPoint> kc;
    cv::Mat dc;
    detector->detectAndCompute(pixels, cv::noArray(), kc, dc);
    if (kc.size() < 2) continue;
    std::vector<std::vector<cv::DMatch>> pairs;
    matcher->knnMatch(dc, pairs, 2);
    std::vector<cv::Point2f> from, to;
    for (const auto& m : pairs)
      if (m.size() == 2 && m[0].distance < ratioTest * m[1].distance) {
        from.push_back(kc[static_cast<size_t>(m[0].queryIdx)].pt);
        to.push_back(kp[static_cast<size_t>(m[0].trainIdx)].pt);
      }
    if (static_cast<int>(from.size()) < minMatches) continue;
    std::vector<uchar> inliers;
    const cv::Mat m = cv::estimateAffinePartial2D(from, to, inliers, cv::RANSAC, ransacThreshold, 20000, 0.999, 10);
    if (m.empty()) continue;
    const int matches = static_cast<int>(std::count(inliers.begin(), inliers.end(), uchar(1)));
    const Affine placement = parentToElement * FromCv(m) * CopyToElement(copy, child.width, child.height).Inverse();
    if (matches < minMatches || !Plausible(placement)) {
      result.matches = std::max(result.matches, matches);
      continue;
    }
    result.matches = matches;
    result.placement = placement;
    result.found = true;
    return result;
  }
  return result;
}

struct Refined {
  bool converged = false;
  Affine placement;
  double correlation = 0;
  double residual = 0;
  double shear = 0;
};

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

// Refines `start` by correlation, coarse to fine, where the child's pixels are as dense as the
// parent's working copy.
Refined Refine(const AlignSource& parent, const AlignSource& child, const Affine& start,
               const std::atomic<bool>* cancel, bool& readable) {
  Refined out;
  const double s = start.LengthScale();
  const double Lp = std::max(parent.width, parent.height), Lc = std::max(child.width, child.height);
  if (!(s > 0) || !std::isfinite(s)) return out;
  // The child's footprint in the parent, in full parent pixels.
  const double footprint = s * s * child.width * child.height / (Lc * Lc) * Lp * Lp;
  const double rp = std::max(1.0, std::sqrt(footprint / refinePixels));
  // The child at the same density as that copy of the parent; never enlarged beyond twice.
  const double rc = std::max(0.5, Lc * rp / (s * Lp));
  Grey gp, gc;
  if (!LoadBoth(parent, rp, gp, child, rc, gc, cancel)) {
    readable = false;
    return out;
  }
  if (Cancelled(cancel)) return out;

  // The template is the child less a thin border (edges of JPEG blocks and of the resampling).
  const int bx = std::max(2, gc.pixels.cols / 50), by = std::max(2, gc.pixels.rows / 50);
  const cv::Rect inner(bx, by, gc.pixels.cols - 2 * bx, gc.pixels.rows - 2 * by);
  if (inner.width < refineMinSide || inner.height < refineMinSide) return out;
  const cv::Mat templ = gc.pixels(inner);
  const Affine parentToElement = CopyToElement(gp, parent.width, parent.height);
  const Affine childToElement = CopyToElement(gc, child.width, child.height);
  Affine warp = parentToElement.Inverse() * start * childToElement * Translation(bx, by);

  // The parent, cut to the footprint and a margin.
  std::vector<cv::Point2f> corners;
  for (const auto& [x, y] : {std::pair{0, 0}, {1, 0}, {1, 1}, {0, 1}}) {
    double px, py;
    warp.Map(x * templ.cols, y * templ.rows, px, py);
    corners.emplace_back(static_cast<float>(px), static_cast<float>(py));
  }
  cv::Rect box = cv::boundingRect(corners);
  const int margin = 8 + std::max(box.width, box.height) / 10;
  box = cv::Rect(box.x - margin, box.y - margin, box.width + 2 * margin, box.height + 2 * margin) &
        cv::Rect(0, 0, gp.pixels.cols, gp.pixels.rows);
  if (box.width < refineMinSide || box.height < refineMinSide) return out;
  warp = Translation(-box.x, -box.y) * warp;
  const cv::Mat input = MatchTones(gp.pixels(box), templ, warp);

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
      if (Cancelled(cancel)) return out;
      // pyrDown keeps pixel centres at even positions: level k's (x, y) is level 0's 2^k (x, y).
      const double f = std::ldexp(1.0, k);
      Affine atLevel = warp;
      atLevel.tx /= f;
      atLevel.ty /= f;
      cv::Mat m32;
      ToCv(atLevel).convertTo(m32, CV_32F);
      const cv::TermCriteria criteria(cv::TermCriteria::COUNT | cv::TermCriteria::EPS, k == 0 ? 30 : 50,
                                      k == 0 ? 1e-5 : 1e-4);
      out.correlation = cv::findTransformECC(templates[static_cast<size_t>(k)], inputs[static_cast<size_t>(k)], m32,
                                             cv::MOTION_AFFINE, criteria, cv::noArray(), k == 0 ? 3 : 5);
      cv::Mat m64;
      m32.convertTo(m64, CV_64F);
      warp = FromCv(m64);
      warp.tx *= f;
      warp.ty *= f;
    }
  } catch (const cv::Exception&) {
    return out;  // did not converge
  }
  if (!warp.IsFinite()) return out;
  const double scaleX = std::hypot(warp.a, warp.b), scaleY = std::hypot(warp.c, warp.d);
  out.shear = std::max(std::fabs(scaleX - scaleY) / std::max(scaleX, scaleY),
                       std::fabs(warp.a * warp.c + warp.b * warp.d) / (scaleX * scaleY));

  cv::Mat warped, valid;
  cv::warpAffine(input, warped, ToCv(warp), templ.size(), cv::INTER_LINEAR | cv::WARP_INVERSE_MAP);
  cv::warpAffine(cv::Mat(input.size(), CV_8U, cv::Scalar(255)), valid, ToCv(warp), templ.size(),
                 cv::INTER_NEAREST | cv::WARP_INVERSE_MAP, cv::BORDER_CONSTANT, cv::Scalar(0));
  // Shifts in template pixels, carried into the parent's working copy and then its full size.
  out.residual = LocalShifts(templ, warped, valid) * warp.LengthScale() * std::max(gp.fx, gp.fy);
  out.placement = parentToElement * Translation(box.x, box.y) * warp * Translation(-bx, -by) * childToElement.Inverse();
  out.converged = out.placement.IsFinite();
  return out;
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
