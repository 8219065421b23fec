// The first placement, from scale-invariant features on reduced copies of the two pictures and a
// robust similarity fit.

#include <algorithm>
#include <cmath>
#include <iterator>
#include <opencv2/calib3d.hpp>
#include <opencv2/features2d.hpp>
#include <opencv2/imgproc.hpp>
#include <vector>

#include "AlignPair.h"
#include "AlignPairStages.h"

namespace align_pair {

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
cv::Ptr<cv::Feature2D> Detector(AlignFeatures features, int& norm) {
  if (features == AlignFeatures::Akaze) {
    norm = cv::NORM_HAMMING;
    return cv::AKAZE::create(cv::AKAZE::DESCRIPTOR_MLDB, 0, 3, 0.0005f);
  }
  norm = cv::NORM_L2;
  return cv::SIFT::create(maxFeatures, 3, siftContrast);
}

// Approximate nearest neighbours for SIFT's float descriptors: the ratio test only needs the
// two best, and an exhaustive search over thousands costs more than the detection.
cv::Ptr<cv::DescriptorMatcher> Matcher(int norm) {
  if (norm == cv::NORM_L2)
    return cv::makePtr<cv::FlannBasedMatcher>(cv::makePtr<cv::flann::KDTreeIndexParams>(4),
                                              cv::makePtr<cv::flann::SearchParams>(64));
  return cv::makePtr<cv::BFMatcher>(norm);
}

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
  std::vector<cv::Point2f> from, to;
  for (const auto& m : pairs)
    if (m.size() == 2 && m[0].distance < ratioTest * m[1].distance) {
      from.push_back(kc[static_cast<size_t>(m[0].queryIdx)].pt);
      to.push_back(kp[static_cast<size_t>(m[0].trainIdx)].pt);
    }
  if (static_cast<int>(from.size()) < minMatches) return cv::Mat();
  std::vector<uchar> inliers;
  const cv::Mat m = cv::estimateAffinePartial2D(from, to, inliers, cv::RANSAC, ransacThreshold, 20000, 0.999, 10);
  if (!m.empty()) matches = static_cast<int>(std::count(inliers.begin(), inliers.end(), uchar(1)));
  return m;
}

}  // namespace

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
  int norm = cv::NORM_L2;
  const cv::Ptr<cv::Feature2D> detector = Detector(options.features, norm);
  // Local contrast evened out: hazy skies and smooth gradients give features too, and the two
  // exposures look more alike.
  const cv::Ptr<cv::CLAHE> clahe = cv::createCLAHE(claheClip, cv::Size(8, 8));
  clahe->apply(gp.pixels, gp.pixels);
  std::vector<cv::KeyPoint> kp;
  cv::Mat dp;
  detector->detectAndCompute(gp.pixels, cv::noArray(), kp, dp);
  if (kp.size() < 2) return result;
  const cv::Ptr<cv::DescriptorMatcher> matcher = Matcher(norm);
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
    int matches = 0;
    const cv::Mat m = FitCopy(pixels, *detector, *matcher, kp, matches);
    if (m.empty()) continue;
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

}  // namespace align_pair
