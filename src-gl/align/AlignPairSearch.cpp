// The search by intensity, for pairs the features cannot place: skies, haze and smooth gradients,
// a child small in its parent. The child is laid over a small copy of the parent at a range of
// sizes and turns, and normalised correlation says where each fits best.

#include <algorithm>
#include <cmath>
#include <opencv2/imgproc.hpp>
#include <vector>

#include "AlignPair.h"
#include "AlignPairStages.h"

namespace align_pair {

namespace {

// The parent's copy is this long; the child's sizes in it run from the smallest that still shows
// something to describe to the largest a zoom's step uses, in steps the refinement closes from
// either side, and its turns likewise.
constexpr int searchParentSide = 256;
constexpr double minSearchScale = 0.12, maxSearchScale = 0.9;
constexpr int minTemplateSide = 24;
constexpr double scaleStep = 1.08;
constexpr double maxSearchTurn = 20, turnStep = 5;
// A template flatter than this (standard deviation, grey levels) correlates with anything.
constexpr double minTemplateDeviation = 3.0;
// The best fits kept, and how far apart two must lie to count as different: their centres a
// quarter of the smaller template's shorter side, or their sizes a fifth.
constexpr size_t keptPlacements = 3;
constexpr double distinctShift = 0.25, distinctScale = 1.2;

struct Fit {
  double score = -1;
  double scale = 0, turn = 0;
  cv::Point2d centre;  // in the parent copy's edge coordinates
  double side = 0;     // the template's shorter side, copy pixels
};

bool Distinct(const Fit& a, const Fit& b) {
  const double ratio = std::max(a.scale, b.scale) / std::min(a.scale, b.scale);
  return ratio > distinctScale || cv::norm(a.centre - b.centre) > distinctShift * std::min(a.side, b.side);
}

}  // namespace

Coarse SearchByIntensity(const AlignSource& parent, const AlignSource& child, const std::atomic<bool>* cancel,
                         bool& readable) {
  Coarse result;
  const double Lp = std::max(parent.width, parent.height), Lc = std::max(child.width, child.height);
  const double rp = std::max(1.0, Lp / searchParentSide);
  // The child at the largest size searched; smaller sizes are made from it.
  const double rc = std::max(1.0, Lc / (maxSearchScale * Lp / rp));
  Grey gp, gc;
  if (!LoadBoth(parent, rp, gp, child, rc, gc, cancel)) {
    readable = false;
    return result;
  }
  cv::Mat p, c;
  cv::GaussianBlur(gp.pixels, p, cv::Size(), 1.0);
  cv::GaussianBlur(gc.pixels, c, cv::Size(), 1.0);
  const double copySide = std::max(p.cols, p.rows);
  const double childAspect = static_cast<double>(c.rows) / c.cols;

  std::vector<Fit> fits;
  for (double s = minSearchScale; s <= maxSearchScale * 1.0001; s *= scaleStep) {
    if (Cancelled(cancel)) return result;
    // The child's longer side is s of the parent's.
    const double longer = s * copySide;
    const int w = static_cast<int>(std::lround(childAspect <= 1 ? longer : longer / childAspect));
    const int h = static_cast<int>(std::lround(childAspect <= 1 ? longer * childAspect : longer));
    if (std::min(w, h) < minTemplateSide || w > c.cols || h > c.rows) continue;
    cv::Mat sized;
    cv::resize(c, sized, cv::Size(w, h), 0, 0, cv::INTER_AREA);
    for (double turn = -maxSearchTurn; turn <= maxSearchTurn + 1e-9; turn += turnStep) {
      // Turned about its centre, then cut to the largest centred rectangle of its shape that lies
      // wholly inside it.
      const double t = std::fabs(turn) * M_PI / 180;
      const double fit = 1 / (std::cos(t) + std::sin(t) * std::max(childAspect, 1 / childAspect));
      const int tw = static_cast<int>(w * fit), th = static_cast<int>(h * fit);
      if (std::min(tw, th) < minTemplateSide || tw >= p.cols || th >= p.rows) continue;
      const int ox = (w - tw) / 2, oy = (h - th) / 2;
      cv::Mat turned;
      const cv::Point2f middle(static_cast<float>((w - 1) / 2.0), static_cast<float>((h - 1) / 2.0));
      cv::warpAffine(sized, turned, cv::getRotationMatrix2D(middle, turn, 1.0), sized.size(), cv::INTER_LINEAR,
                     cv::BORDER_REPLICATE);
      const cv::Mat templ = turned(cv::Rect(ox, oy, tw, th));
      cv::Scalar mean, deviation;
      cv::meanStdDev(templ, mean, deviation);
      if (deviation[0] < minTemplateDeviation) continue;
      cv::Mat scores;
      cv::matchTemplate(p, templ, scores, cv::TM_CCOEFF_NORMED);
      double best = 0;
      cv::Point at;
      cv::minMaxLoc(scores, nullptr, &best, nullptr, &at);
      if (!std::isfinite(best)) continue;
      // The template's top-left pixel lies at `at`; the child's centre is the turned copy's.
      fits.push_back({best, s, turn, cv::Point2d(at.x - ox + w / 2.0, at.y - oy + h / 2.0), std::min(tw, th) * 1.0});
    }
  }
  std::stable_sort(fits.begin(), fits.end(), [](const Fit& a, const Fit& b) { return a.score > b.score; });
  std::vector<Fit> kept;
  for (const Fit& f : fits) {
    if (kept.size() == keptPlacements) break;
    if (std::all_of(kept.begin(), kept.end(), [&](const Fit& k) { return Distinct(f, k); })) kept.push_back(f);
  }
  const Affine toElement = CopyToElement(gp, parent.width, parent.height);
  result.parentPixels = toElement.Inverse();
  for (const Fit& f : kept) {
    double x, y;
    toElement.Map(f.centre.x - 0.5, f.centre.y - 0.5, x, y);
    // The copy's pixels are square to within rounding: its own lengths are the parent's.
    result.weak.push_back({0, Affine::Similarity(f.scale, f.turn, x, y)});
  }
  return result;
}

}  // namespace align_pair
