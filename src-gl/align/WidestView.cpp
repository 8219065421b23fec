#include "WidestView.h"

#include <algorithm>
#include <cmath>
#include <map>
#include <opencv2/calib3d.hpp>
#include <opencv2/features2d.hpp>
#include <opencv2/imgproc.hpp>

#include "AlignPair.h"
#include "AlignPairStages.h"
#include "PictureDecode.h"
#include "TextNumbers.h"

namespace {

using namespace align_pair;

// Small copies are enough to see which picture holds the other, and keep a folder's answer
// within a second or so. A narrower view a fifth of the wider one's size covers only some 130
// pixels of the wider copy: it is also described on a copy a third as long, which shows its
// scene at about the size the wider copy does.
constexpr double copySide = 800;
constexpr double smallCopyRatio = 1.0 / 3;
constexpr int maxFeatures = 2000;
constexpr double siftContrast = 0.01;  // low: skies and haze must still give features
constexpr double claheClip = 3.0;
constexpr float ratioTest = 0.85f;
constexpr double ransacThreshold = 3.0;  // pixels of the wider copy
constexpr int minInliers = 8;
// A neighbour must be clearly smaller to count as inside: the same picture twice, or a pair
// matched by chance at about its own size, says nothing about the direction.
constexpr double maxInsideScale = 0.93;
constexpr double minInsideScale = 0.05;
constexpr size_t maxPairs = 4;

// Features of one copy of a picture, and the map from that copy's pixels to the picture's element
// frame (centre origin, y up, longer side 1).
struct Features {
  std::vector<cv::KeyPoint> points;
  cv::Mat descriptors;
  Affine toElement;
  bool Usable() const { return points.size() >= static_cast<size_t>(minInliers); }
};

struct Described {
  bool ok = false;
  Features large, small;
  Extents extents;
};

Features Detect(const Grey& grey, int width, int height) {
  Features out;
  cv::Mat evened;
  cv::createCLAHE(claheClip, cv::Size(8, 8))->apply(grey.pixels, evened);
  cv::SIFT::create(maxFeatures, 3, siftContrast)->detectAndCompute(evened, cv::noArray(), out.points, out.descriptors);
  out.toElement = CopyToElement(grey, width, height);
  return out;
}

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
  out.large = Detect(grey, info.width, info.height);
  Grey small;
  const int w = std::max(1, static_cast<int>(std::lround(grey.pixels.cols * smallCopyRatio)));
  const int h = std::max(1, static_cast<int>(std::lround(grey.pixels.rows * smallCopyRatio)));
  cv::resize(grey.pixels, small.pixels, cv::Size(w, h), 0, 0, cv::INTER_AREA);
  small.fx = grey.fx * grey.pixels.cols / w;
  small.fy = grey.fy * grey.pixels.rows / h;
  out.small = Detect(small, info.width, info.height);
  out.extents = ElementExtents(info.width, info.height);
  out.ok = out.large.Usable();
  return out;
}

// Where `from` lies in `to`, by the similarity most matched features agree with: its size in
// `to`'s (element units), and whether its centre lies inside `to` and `to`'s inside it. Zero
// when nothing holds up.
struct Fit {
  double scale = 0;
  bool centreInside = false;
  bool holdsCentre = false;
};

Fit FitCopy(const Features& from, const Features& to, const Extents& fromExtents, const Extents& toExtents) {
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
  fit.centreInside = std::fabs(x) <= toExtents.ex / 2 && std::fabs(y) <= toExtents.ey / 2;
  element.Inverse().Map(0, 0, x, y);
  fit.holdsCentre = std::fabs(x) <= fromExtents.ex / 2 && std::fabs(y) <= fromExtents.ey / 2;
  return fit;
}

// Its large copy first; its small one when that found nothing inside `to`.
Fit FitInto(const Described& from, const Described& to) {
  const Fit large = FitCopy(from.large, to.large, from.extents, to.extents);
  if ((large.centreInside && large.scale <= maxInsideScale) || !from.small.Usable()) return large;
  const Fit small = FitCopy(from.small, to.large, from.extents, to.extents);
  return small.centreInside && small.scale <= maxInsideScale ? small : large;
}

// +1 when `a`'s view holds `b`'s, -1 when `b`'s holds `a`'s, 0 when the pair does not tell.
// Both ways are fitted; one that contradicts the other makes the pair say nothing.
int PairVote(const Described& a, const Described& b, double& scale) {
  if (!a.ok || !b.ok) return 0;
  auto inside = [](const Fit& f) { return f.centreInside && f.scale >= minInsideScale && f.scale <= maxInsideScale; };
  auto around = [](const Fit& f) {
    return f.holdsCentre && f.scale >= 1 / maxInsideScale && f.scale <= 1 / minInsideScale;
  };
  const Fit bInA = FitInto(b, a), aInB = FitInto(a, b);
  const bool aWider = inside(bInA) || around(aInB);
  const bool bWider = inside(aInB) || around(bInA);
  if (aWider == bWider) return 0;
  scale = aWider ? (inside(bInA) ? bInA.scale : 1 / aInB.scale) : (inside(aInB) ? aInB.scale : 1 / bInA.scale);
  return aWider ? 1 : -1;
}

// The neighbouring pairs to look at, in turn: the two at the ends, then inward from both ends;
// the inner ones only while none has told (a pair far apart in size can show too little).
std::vector<std::pair<size_t, size_t>> PairsFromTheEnds(size_t n) {
  std::vector<std::pair<size_t, size_t>> pairs;
  for (size_t k = 0; k + 1 < n && pairs.size() < maxPairs; ++k)
    for (size_t first : {k, n - 2 - k}) {
      const std::pair<size_t, size_t> pair{first, first + 1};
      if (first + 1 < n && pairs.size() < maxPairs && std::find(pairs.begin(), pairs.end(), pair) == pairs.end())
        pairs.push_back(pair);
    }
  return pairs;
}

}  // namespace

WidestView FindWidestView(const std::vector<std::string>& paths, const std::atomic<bool>* cancel) {
  WidestView view;
  if (paths.size() < 2) {
    view.why = "a single picture";
    return view;
  }
  const std::vector<std::pair<size_t, size_t>> pairs = PairsFromTheEnds(paths.size());
  std::map<size_t, Described> described;
  // FLANN's trees draw the thread's random numbers: the same folder gets the same answer whatever
  // ran before, and the thread's own sequence goes on afterwards.
  const cv::RNG saved = cv::theRNG();
  cv::theRNG() = cv::RNG(0x5eed);
  int ahead = 0, behind = 0;
  double scales = 0;
  for (size_t p = 0; p < pairs.size() && !(p >= 2 && ahead + behind > 0); ++p) {
    const auto [i, j] = pairs[p];
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
  if (ahead > 0 && behind > 0) {
    view.why = "neighbouring pairs disagree about which view is the wider";
  } else if (ahead == 0 && behind == 0) {
    view.why = "no neighbouring pair shows one picture inside the other";
  } else {
    view.end = ahead > 0 ? WidestEnd::First : WidestEnd::Last;
    view.scale = scales / (ahead + behind);
    view.why = std::string("each picture lies inside the one ") + (ahead > 0 ? "before" : "after") + " it, at about " +
               FormatFixed(view.scale, 2) + " of its size";
  }
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
