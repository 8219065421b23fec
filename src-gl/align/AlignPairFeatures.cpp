// The first placement, from scale-invariant features on reduced copies of the two pictures and a
// robust similarity fit.

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <iterator>
#include <map>
#include <opencv2/calib3d.hpp>
#include <opencv2/features2d.hpp>
#include <opencv2/imgproc.hpp>
#include <vector>

#include "AlignPair.h"
#include "AlignPairStages.h"

namespace align_pair {

namespace {

// Longer side of the parent's reduced copy the features are first looked for on. The child's copy
// is half as long, as its content appears smaller in the parent: at the scales a zoom uses (a
// fifth to four fifths) the two then show the scene at sizes within a factor of about two and a
// half. When that finds nothing, a copy a quarter as long is tried, for children small in the
// parent.
constexpr int featureParentSide = 1000;
constexpr double featureChildRatios[] = {0.5, 0.25};
constexpr double minFeatureChildSide = 400;  // below this, too little is left to describe
// The second search over the whole parent: a copy this long, when the parent has the pixels.
constexpr int detailedParentSide = 2000;
// Around a rough placement, the part of the parent searched reaches this many times the
// footprint's longer side beyond it on every side, and is worth searching only when it comes
// this many times denser than the first copy.
constexpr double nearMargin = 0.75;
constexpr double minDenser = 1.25;
// Features kept on a copy of the parent of featurePixels or less; larger copies keep more, in
// proportion, so a small part of them still has its share.
constexpr int maxFeatures = 4000;
constexpr double featurePixels = 0.75e6;
// Well below the usual threshold: skies, haze and smooth gradients must still give features.
constexpr double siftContrast = 0.01;
constexpr float ratioTest = 0.9f;
constexpr double claheClip = 3.0;
constexpr double ransacThreshold = 2.5;  // pixels of the parent's reduced copy
constexpr int minMatches = 6;
// Fewer agreeing features still make a placement worth refining when nothing better is found:
// the refinement and its judgement decide, and it must not stray from it.
constexpr int minWeakMatches = 3;

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

// SIFT, or AKAZE when asked for, with the norm that compares its descriptors.
cv::Ptr<cv::Feature2D> Detector(AlignFeatures features, int most, int& norm) {
  if (features == AlignFeatures::Akaze) {
    norm = cv::NORM_HAMMING;
    return cv::AKAZE::create(cv::AKAZE::DESCRIPTOR_MLDB, 0, 3, 0.0005f);
  }
  norm = cv::NORM_L2;
  return cv::SIFT::create(most, 3, siftContrast);
}

// The child's footprint under `near`, and a margin, in the full parent's edge coordinates (y down),
// cut to the parent.
cv::Rect2d NearRegion(const AlignSource& parent, const AlignSource& child, const Affine& near) {
  const double Lp = std::max(parent.width, parent.height);
  const Extents e = ElementExtents(child.width, child.height);
  double x0 = 1e300, y0 = 1e300, x1 = -1e300, y1 = -1e300;
  for (const auto& [sx, sy] : {std::pair{-1, -1}, {1, -1}, {1, 1}, {-1, 1}}) {
    double x, y;
    near.Map(sx * e.ex / 2.0, sy * e.ey / 2.0, x, y);
    const double px = parent.width / 2.0 + x * Lp, py = parent.height / 2.0 - y * Lp;
    x0 = std::min(x0, px), y0 = std::min(y0, py), x1 = std::max(x1, px), y1 = std::max(y1, py);
  }
  const double margin = nearMargin * std::max(x1 - x0, y1 - y0);
  const cv::Rect2d box(x0 - margin, y0 - margin, x1 - x0 + 2 * margin, y1 - y0 + 2 * margin);
  return box & cv::Rect2d(0, 0, parent.width, parent.height);
}

// Approximate nearest neighbours for SIFT's float descriptors: the ratio test only needs the
// two best, and an exhaustive search over thousands costs more than the detection.
cv::Ptr<cv::DescriptorMatcher> Matcher(int norm) {
  if (norm == cv::NORM_L2)
    return cv::makePtr<cv::FlannBasedMatcher>(cv::makePtr<cv::flann::KDTreeIndexParams>(4),
                                              cv::makePtr<cv::flann::SearchParams>(64));
  return cv::makePtr<cv::BFMatcher>(norm);
}

// The approximate matcher's trees are built from OpenCV's random numbers, the calling thread's
// (cv::theRNG()). Every search starts them from the same seed, so a pair gives the same answer
// whatever ran before on the thread, and the thread's own sequence goes on afterwards as it was.
class SeededRandom {
 public:
  SeededRandom() : saved_(cv::theRNG()) { cv::theRNG() = cv::RNG(seed); }
  ~SeededRandom() { cv::theRNG() = saved_; }
  SeededRandom(const SeededRandom&) = delete;
  SeededRandom& operator=(const SeededRandom&) = delete;

 private:
  static constexpr uint64_t seed = 0x5eed;
  cv::RNG saved_;
};

// One copy of the child against the parent's features (`kp`, trained into `matcher`): the
// similarity from the copy's pixels to the parent copy's that most matches agree with, and how
// many do. Empty when too few matches pass the ratio test.
cv::Mat FitCopy(const cv::Mat& pixels, cv::Feature2D& detector, cv::DescriptorMatcher& matcher,
                const std::vector<cv::KeyPoint>& kp, int& matches) {
  matches = 0;
  std::vector<cv::KeyPoint> kc;
  cv::Mat dc;
  detector.detectAndCompute(pixels, cv::noArray(), kc, dc);
  if (kc.size() < 2) return cv::Mat();
  std::vector<std::vector<cv::DMatch>> pairs;
  matcher.knnMatch(dc, pairs, 2);
  // One match per point of the parent, the closest: in smooth pictures many of the child's
  // features find the same few of the parent's, and a similarity shrunk to a point fits them all.
  std::map<std::pair<int, int>, cv::DMatch> best;
  for (const auto& m : pairs)
    if (m.size() == 2 && m[0].distance < ratioTest * m[1].distance) {
      const cv::Point2f& p = kp[static_cast<size_t>(m[0].trainIdx)].pt;
      const std::pair<int, int> at{static_cast<int>(std::lround(p.x)), static_cast<int>(std::lround(p.y))};
      const auto it = best.find(at);
      if (it == best.end() || m[0].distance < it->second.distance) best[at] = m[0];
    }
  std::vector<cv::Point2f> from, to;
  for (const auto& [at, m] : best) {
    from.push_back(kc[static_cast<size_t>(m.queryIdx)].pt);
    to.push_back(kp[static_cast<size_t>(m.trainIdx)].pt);
  }
  if (static_cast<int>(from.size()) < minMatches) return cv::Mat();
  std::vector<uchar> inliers;
  const cv::Mat m = cv::estimateAffinePartial2D(from, to, inliers, cv::RANSAC, ransacThreshold, 20000, 0.999, 10);
  if (!m.empty()) matches = static_cast<int>(std::count(inliers.begin(), inliers.end(), uchar(1)));
  return m;
}

}  // namespace

FeatureSearch FirstSearch() { return {}; }

bool SecondSearch(const AlignSource& parent, const AlignSource& child, const Affine* near, FeatureSearch& out) {
  const double firstReduction = std::max(1.0, std::max(parent.width, parent.height) / double(featureParentSide));
  if (near && Plausible(*near)) {
    const cv::Rect2d region = NearRegion(parent, child, *near);
    const double reduction = std::max(1.0, std::max(region.width, region.height) / featureParentSide);
    if (firstReduction / reduction >= minDenser) {
      out = {featureParentSide, near};
      return true;
    }
  }
  const double reduction = std::max(1.0, std::max(parent.width, parent.height) / double(detailedParentSide));
  out = {detailedParentSide, nullptr};
  return firstReduction / reduction >= minDenser;
}

Coarse MatchFeatures(const AlignSource& parent, const AlignSource& child, const AlignOptions& options,
                     const FeatureSearch& search, const std::atomic<bool>* cancel, bool& readable) {
  const SeededRandom seeded;
  Coarse result;
  const double Lp = std::max(parent.width, parent.height);
  const double childSide = std::max(child.width, child.height);
  cv::Rect2d region(0, 0, parent.width, parent.height);
  if (search.near) region = NearRegion(parent, child, *search.near);
  if (region.width < minSide || region.height < minSide) return result;
  const double rp = std::max(1.0, std::max(region.width, region.height) / search.parentSide);
  // Where the placement is known roughly, the child's copy is as dense as the parent's; else it is
  // a share of the parent's copy, as the child's size in it is not known.
  std::vector<double> childSides;
  if (search.near) {
    childSides.push_back(search.near->LengthScale() * Lp / rp);
  } else {
    for (double ratio : featureChildRatios) childSides.push_back(ratio * Lp / rp);
  }
  auto childReduction = [&](double side) { return std::max(1.0, childSide / std::max(minFeatureChildSide, side)); };
  const double rc = childReduction(childSides[0]);
  Grey gp, gc;
  if (!LoadBoth(parent, rp, gp, child, rc, gc, cancel)) {
    readable = false;
    return result;
  }
  // The part searched, in the copy's pixels, rounded outwards.
  const cv::Rect part = cv::Rect(cv::Point(static_cast<int>(std::floor(region.x / gp.fx)),
                                           static_cast<int>(std::floor(region.y / gp.fy))),
                                 cv::Point(static_cast<int>(std::ceil(region.br().x / gp.fx)),
                                           static_cast<int>(std::ceil(region.br().y / gp.fy)))) &
                        cv::Rect(0, 0, gp.pixels.cols, gp.pixels.rows);
  if (part.width < minSide || part.height < minSide) return result;
  const cv::Mat parentPixels = gp.pixels(part).clone();
  int norm = cv::NORM_L2;
  const int most = static_cast<int>(maxFeatures * std::max(1.0, parentPixels.total() / featurePixels));
  const cv::Ptr<cv::Feature2D> detector = Detector(options.features, most, norm);
  // Local contrast evened out: hazy skies and smooth gradients give features too, and the two
  // exposures look more alike.
  const cv::Ptr<cv::CLAHE> clahe = cv::createCLAHE(claheClip, cv::Size(8, 8));
  clahe->apply(parentPixels, parentPixels);
  std::vector<cv::KeyPoint> kp;
  cv::Mat dp;
  detector->detectAndCompute(parentPixels, cv::noArray(), kp, dp);
  if (kp.size() < 2) return result;
  const cv::Ptr<cv::DescriptorMatcher> matcher = Matcher(norm);
  matcher->add(dp);
  matcher->train();
  const Affine parentToElement = CopyToElement(gp, parent.width, parent.height) * Translation(part.x, part.y);
  result.parentPixels = parentToElement.Inverse();

  for (size_t attempt = 0; attempt < childSides.size(); ++attempt) {
    if (Cancelled(cancel)) return result;
    Grey copy = gc;
    if (attempt > 0) {
      const double further = childReduction(childSides[attempt]) / rc;
      if (further < 1.2) continue;  // hardly different from the copy that failed
      copy = Reduced(gc, further);
    }
    cv::Mat pixels;
    clahe->apply(copy.pixels, pixels);
    int matches = 0;
    const cv::Mat m = FitCopy(pixels, *detector, *matcher, kp, matches);
    if (m.empty()) continue;
    const Affine placement = parentToElement * FromCv(m) * CopyToElement(copy, child.width, child.height).Inverse();
    if (!Plausible(placement)) continue;
    result.matches = std::max(result.matches, matches);
    if (matches >= minMatches) {
      result.matches = matches;
      result.placement = placement;
      result.found = true;
      return result;
    }
    if (matches >= minWeakMatches) result.weak.push_back({matches, placement});
  }
  return result;
}

}  // namespace align_pair
