#include "WidestView.h"

#include <algorithm>
#include <cmath>
#include <map>
#include <opencv2/calib3d.hpp>
#include <opencv2/features2d.hpp>
#include <opencv2/imgproc.hpp>
#include <sstream>

#include "AlignPair.h"
#include "AlignPairStages.h"
#include "PictureDecode.h"

namespace {

using namespace align_pair;

// Small copies are enough to see which picture holds the other, and keep a folder's answer
// within a second or so: at a zoom factor of up to four the narrower view still covers some 160
// pixels of the wider one's copy.
constexpr double copySide = 640;
constexpr int maxFeatures = 2000;
constexpr double siftContrast = 0.01;  // low: skies and haze must still give features
constexpr double claheClip = 3.0;
constexpr float ratioTest = 0.8f;
constexpr double ransacThreshold = 3.0;  // pixels of the wider copy
constexpr int minInliers = 15;
// A neighbour must be clearly smaller to count as inside: the same picture twice, or a pair
// matched by chance at about its own size, says nothing about the direction.
constexpr double maxInsideScale = 0.93;
constexpr double minInsideScale = 0.05;

// A picture's features on its small copy, and the map from that copy's pixels to its element
// frame (centre origin, y up, longer side 1).
struct Described {
  bool ok = false;
  std::vector<cv::KeyPoint> points;
  cv::Mat descriptors;
  Affine toElement;
  Extents extents;
};

Described Describe(const std::string& path, const std::atomic<bool>* cancel) {
  Described out;
  PictureInfo info;
  if (ReadPictureInfo(path, info) != PictureFault::None) return out;
  AlignSource source;
  source.path = path;
  source.width = info.width;
  source.height = info.height;
  const double reduction = std::max(1.0, std::max(info.width, info.height) / copySide);
  Grey grey;
  if (!LoadGrey(source, reduction, grey, cancel) || Cancelled(cancel)) return out;
  cv::Mat evened;
  cv::createCLAHE(claheClip, cv::Size(8, 8))->apply(grey.pixels, evened);
  cv::SIFT::create(maxFeatures, 3, siftContrast)->detectAndCompute(evened, cv::noArray(), out.points, out.descriptors);
  out.toElement = CopyToElement(grey, info.width, info.height);
  out.extents = ElementExtents(info.width, info.height);
  out.ok = out.points.size() >= static_cast<size_t>(minInliers);
  return out;
}

// Where `from` lies in `to`, by the similarity most matched features agree with: its size in
// `to`'s (element units) and whether its centre lies inside `to`. Zero when nothing holds up.
struct Fit {
  double scale = 0;
  bool centreInside = false;
};

Fit FitInto(const Described& from, const Described& to) {
  Fit fit;
  std::vector<std::vector<cv::DMatch>> pairs;
  cv::FlannBasedMatcher matcher;
  matcher.knnMatch(from.descriptors, to.descriptors, pairs, 2);
  // One match per point of `to`, the closest: a smooth picture otherwise gathers many points on
  // one and fits a similarity shrunk to it.
  std::map<int, cv::DMatch> best;
  for (const auto& two : pairs) {
    if (two.size() < 2 || two[0].distance > ratioTest * two[1].distance) continue;
    auto [it, added] = best.emplace(two[0].trainIdx, two[0]);
    if (!added && two[0].distance < it->second.distance) it->second = two[0];
  }
  if (best.size() < static_cast<size_t>(minInliers)) return fit;
  std::vector<cv::Point2f> a, b;
  for (const auto& [train, match] : best) {
    a.push_back(from.points[static_cast<size_t>(match.queryIdx)].pt);
    b.push_back(to.points[static_cast<size_t>(train)].pt);
  }
  std::vector<uchar> inliers;
  const cv::Mat m = cv::estimateAffinePartial2D(a, b, inliers, cv::RANSAC, ransacThreshold, 4000, 0.995);
  if (m.empty() || cv::countNonZero(inliers) < minInliers) return fit;
  const Affine element = to.toElement * FromCv(m) * from.toElement.Inverse();
  if (!element.IsFinite()) return fit;
  fit.scale = element.LengthScale();
  double x, y;
  element.Map(0, 0, x, y);
  fit.centreInside = std::fabs(x) <= to.extents.ex / 2 && std::fabs(y) <= to.extents.ey / 2;
  return fit;
}

// +1 when `a`'s view holds `b`'s, -1 when `b`'s holds `a`'s, 0 when the pair does not tell.
// Both ways are fitted; one that contradicts the other makes the pair say nothing.
int PairVote(const Described& a, const Described& b, double& scale) {
  if (!a.ok || !b.ok) return 0;
  auto inside = [](const Fit& f) { return f.centreInside && f.scale >= minInsideScale && f.scale <= maxInsideScale; };
  auto around = [](const Fit& f) { return f.scale >= 1 / maxInsideScale && f.scale <= 1 / minInsideScale; };
  const Fit bInA = FitInto(b, a), aInB = FitInto(a, b);
  const bool aWider = inside(bInA) || around(aInB);
  const bool bWider = inside(aInB) || around(bInA);
  if (aWider == bWider) return 0;
  scale = aWider ? (inside(bInA) ? bInA.scale : 1 / aInB.scale) : (inside(aInB) ? aInB.scale : 1 / bInA.scale);
  return aWider ? 1 : -1;
}

}  // namespace

WidestView FindWidestView(const std::vector<std::string>& paths, const std::atomic<bool>* cancel) {
  WidestView view;
  if (paths.size() < 2) {
    view.why = "a single picture";
    return view;
  }
  const size_t n = paths.size();
  std::vector<std::pair<size_t, size_t>> pairs{{0, 1}};
  if (n > 2) pairs.emplace_back(n - 2, n - 1);
  std::map<size_t, Described> described;
  // FLANN's trees draw the thread's random numbers: the same folder gets the same answer whatever
  // ran before, and the thread's own sequence goes on afterwards.
  const cv::RNG saved = cv::theRNG();
  cv::theRNG() = cv::RNG(0x5eed);
  int ahead = 0, behind = 0;
  double scales = 0;
  for (const auto& [i, j] : pairs) {
    for (size_t k : {i, j})
      if (!described.count(k)) described[k] = Describe(paths[k], cancel);
    if (Cancelled(cancel)) break;
    double scale = 0;
    const int vote = PairVote(described[i], described[j], scale);
    (vote > 0 ? ahead : behind) += vote != 0;
    if (vote != 0) scales += scale;
  }
  cv::theRNG() = saved;
  if (Cancelled(cancel)) {
    view.why = "cancelled";
    return view;
  }
  std::ostringstream why;
  if (ahead > 0 && behind > 0) {
    why << "the first and the last neighbouring pairs disagree about which view is the wider";
  } else if (ahead == 0 && behind == 0) {
    why << "no neighbouring pair shows one picture inside the other";
  } else {
    view.end = ahead > 0 ? WidestEnd::First : WidestEnd::Last;
    view.scale = scales / (ahead + behind);
    why.precision(2);
    why << std::fixed << "each picture lies inside the one " << (ahead > 0 ? "before" : "after") << " it, at about "
        << view.scale << " of its size";
  }
  view.why = why.str();
  return view;
}

bool OutermostIsLast(OutermostChoice choice, const WidestView& widest) {
  return choice == OutermostChoice::Last || (choice == OutermostChoice::Found && widest.end == WidestEnd::Last);
}

std::string OutermostReason(OutermostChoice choice, const WidestView& widest, SequenceOrder order) {
  const std::string end = std::string(OutermostIsLast(choice, widest) ? "the last" : "the first") +
                          (order == SequenceOrder::Date ? " by date" : " by name");
  if (choice != OutermostChoice::Found) return end + ", as asked";
  if (widest.end == WidestEnd::Unknown)
    return end + ", as the files are ordered: the pictures do not tell which is the widest view (" + widest.why + ")";
  return end + ", the widest view: " + widest.why;
}
