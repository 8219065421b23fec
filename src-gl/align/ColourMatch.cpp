// The colour match: both pictures sampled on one grid over the child's frame, the pairs that can
// tell (clipped in neither, inside the child's opaque core) fitted per channel, robustly.

#include "ColourMatch.h"

#include <algorithm>
#include <cmath>
#include <opencv2/imgproc.hpp>
#include <thread>
#include <vector>

#include "Affine.h"
#include "ColourMatchStages.h"
#include "EditView.h"
#include "PictureDecode.h"
#include "TextNumbers.h"

using namespace colour_match;

namespace {

// The grid's longer side over the child: some 200 000 samples, of which the core holds most.
constexpr int maxGridSide = 384;
// Under this many pairs the overlap is too small to tell a gain from an offset.
constexpr int minPairs = 3000;
// A channel at or beyond these (of 255) may be clipped: it says nothing of the exposure.
constexpr int clipLow = 5, clipHigh = 250;
// The border's difference is taken over (2 r + 1)^2 samples around each.
constexpr int borderRadius = 2;
// Under this many samples of the border its difference does not say which correction is better.
constexpr int minBorderPairs = 500;
// A fit is trusted when its lines explain this share of the parent's variance, or more of it
// when a line needed a gain or an offset beyond the limits. Pictures of one scene explain 85 % or
// more wherever their values spread; pictures of different scenes 5 % or less.
constexpr double minExplained = 0.5, minExplainedPinned = 0.8;
// An overlap whose values spread by at most this much (root mean square, levels of 255) is
// nearly flat; its residuals must stay within the other.
constexpr double maxFlatSpread = 4.0, maxFlatResidual = 3.0;

// A picture's pixels at some reduction, top row first, with the map from its element frame to the
// copy's pixel centres (OpenCV's coordinates).
struct Copy {
  cv::Mat rgb;  // CV_8UC3
  Affine fromElement;
};

// `source` with at least about `density` pixels per element unit (its longer side), the file
// decoded at the largest DCT scale that gives that and both reduced alike beyond.
bool LoadCopy(const AlignSource& source, double density, Copy& out, const std::atomic<bool>* cancel) {
  if (source.width <= 0 || source.height <= 0) return false;
  const int L = std::max(source.width, source.height);
  cv::Mat rgb;
  if (!source.path.empty()) {
    int denominator = 1;
    for (int d : {8, 4, 2})
      if (L / static_cast<double>(d) >= 0.8 * density) {
        denominator = d;
        break;
      }
    RgbaPicture picture;
    DecodeLimits limits;
    limits.cancel = cancel;
    limits.extraBytes = static_cast<size_t>(ScaledSide(source.width, denominator)) *
                        static_cast<size_t>(ScaledSide(source.height, denominator)) * 3;
    MemoryHold hold;
    limits.hold = &hold;
    if (DecodePictureRgba(source.path, denominator, picture, limits) != DecodeResult::Ok) return false;
    // The file may have changed since its header was read.
    if (ScaledSide(source.width, denominator) != picture.width ||
        ScaledSide(source.height, denominator) != picture.height)
      return false;
    rgb.create(picture.height, picture.width, CV_8UC3);
    const size_t stride = static_cast<size_t>(picture.width) * 4;
    for (int y = 0; y < picture.height; ++y) {
      const uint8_t* in = picture.rgba.data() + stride * static_cast<size_t>(picture.height - 1 - y);
      uint8_t* row = rgb.ptr<uint8_t>(y);
      for (int x = 0; x < picture.width; ++x, in += 4, row += 3) {
        row[0] = in[0];
        row[1] = in[1];
        row[2] = in[2];
      }
    }
  } else {
    if (source.pixels.isNull() || source.pixels.width() != source.width || source.pixels.height() != source.height)
      return false;
    const QImage image = source.pixels.convertToFormat(QImage::Format_RGB888);
    rgb = cv::Mat(image.height(), image.width(), CV_8UC3, const_cast<uchar*>(image.constBits()),
                  static_cast<size_t>(image.bytesPerLine()))
              .clone();
  }
  // Reduced to the density wanted, so that both pictures are averaged over the same area.
  const double have = static_cast<double>(std::max(rgb.cols, rgb.rows));
  if (have > 1.25 * density) {
    const double f = density / have;
    cv::Mat reduced;
    cv::resize(rgb, reduced,
               cv::Size(std::max(1, static_cast<int>(std::lround(rgb.cols * f))),
                        std::max(1, static_cast<int>(std::lround(rgb.rows * f)))),
               0, 0, cv::INTER_AREA);
    rgb = reduced;
  }
  // Element (x, y) -> full pixel edges (x L + W / 2, H / 2 - y L) -> the copy's pixel centres.
  const double fx = static_cast<double>(source.width) / rgb.cols, fy = static_cast<double>(source.height) / rgb.rows;
  out.fromElement = {L / fx, 0, 0, -L / fy, source.width / (2 * fx) - 0.5, source.height / (2 * fy) - 0.5};
  out.rgb = rgb;
  return true;
}

// `copy` sampled at each grid point that `gridToCopy` carries into it; `inside` says where.
cv::Mat Sample(const Copy& copy, const Affine& gridToCopy, cv::Size grid, std::vector<uint8_t>& inside) {
  cv::Mat out;
  const cv::Mat m =
      (cv::Mat_<double>(2, 3) << gridToCopy.a, gridToCopy.c, gridToCopy.tx, gridToCopy.b, gridToCopy.d, gridToCopy.ty);
  cv::warpAffine(copy.rgb, out, m, grid, cv::INTER_LINEAR | cv::WARP_INVERSE_MAP, cv::BORDER_CONSTANT);
  inside.assign(static_cast<size_t>(grid.area()), 0);
  const double maxU = copy.rgb.cols - 1, maxV = copy.rgb.rows - 1;
  for (int j = 0; j < grid.height; ++j)
    for (int i = 0; i < grid.width; ++i) {
      double u, v;
      gridToCopy.Map(i, j, u, v);
      inside[static_cast<size_t>(j) * static_cast<size_t>(grid.width) + static_cast<size_t>(i)] =
          u >= 0 && v >= 0 && u <= maxU && v <= maxV;
    }
  return out;
}

bool Clipped(const uint8_t* p) {
  for (int c = 0; c < 3; ++c)
    if (p[c] <= clipLow || p[c] >= clipHigh) return true;
  return false;
}

// The pairs a grid of both pictures gives: those of the core for the fit, those of the faded
// band (on averages) for the border's difference, and the child's values the clipping limit
// looks at.
struct Samples {
  std::vector<Pair> pairs, border;
  std::vector<float> unclipped[3];  // the child's values where the parent is not clipped
};

Samples CollectPairs(const cv::Mat& c, const cv::Mat& p, const std::vector<uint8_t>& inChild,
                     const std::vector<uint8_t>& inParent, const Affine& gridToChild, const Extents& e,
                     const ColourCorrection& parentColour) {
  const cv::Size grid = c.size();
  Samples samples;
  std::vector<Pair>& pairs = samples.pairs;
  std::vector<Pair>& border = samples.border;
  std::vector<float>* unclipped = samples.unclipped;
  // The opaque core (Image::OpaqueCore): the faded band, a tenth of the shorter side at each edge,
  // blends with the parent and is measured, not fitted.
  const double band = std::min(e.ex, e.ey) * fadeBand;
  const double coreX = e.ex / 2.0 - band, coreY = e.ey / 2.0 - band;
  // The border is measured as the eye sees a ring: on both pictures averaged over a few samples,
  // so that the grain and the last fraction of a pixel of the placement do not count as a tone.
  cv::Mat cSmooth, pSmooth;
  cv::blur(c, cSmooth, cv::Size(2 * borderRadius + 1, 2 * borderRadius + 1));
  cv::blur(p, pSmooth, cv::Size(2 * borderRadius + 1, 2 * borderRadius + 1));
  for (int j = 0; j < grid.height; ++j) {
    const uint8_t* cr = c.ptr<uint8_t>(j);
    const uint8_t* pr = p.ptr<uint8_t>(j);
    const uint8_t* csr = cSmooth.ptr<uint8_t>(j);
    const uint8_t* psr = pSmooth.ptr<uint8_t>(j);
    for (int i = 0; i < grid.width; ++i) {
      const size_t k = static_cast<size_t>(j) * static_cast<size_t>(grid.width) + static_cast<size_t>(i);
      if (!inChild[k]) continue;
      const uint8_t* cp = cr + 3 * i;
      const uint8_t* pp = pr + 3 * i;
      double x, y;
      gridToChild.Map(i, j, x, y);
      const bool core = std::fabs(x) <= coreX && std::fabs(y) <= coreY;
      Pair pair;
      bool parentClipped = !inParent[k];
      for (int ch = 0; ch < 3; ++ch) {
        pair.child[ch] = cp[ch] / 255.0f;
        pair.parent[ch] = parentColour.Apply(ch, pp[ch] / 255.0f);
        // The parent's highlights lifted towards white no longer follow its line.
        if (pair.parent[ch] * 255 >= clipHigh || pair.parent[ch] * 255 <= clipLow ||
            parentColour.Lifts(ch, pp[ch] / 255.0f))
          parentClipped = true;
      }
      if (core && !(inParent[k] && Clipped(pp)) && !parentClipped)
        for (int ch = 0; ch < 3; ++ch)
          if (cp[ch] > clipLow && cp[ch] < clipHigh) unclipped[ch].push_back(pair.child[ch]);
      if (!inParent[k] || parentClipped || Clipped(cp) || Clipped(pp)) continue;
      if (core) {
        pairs.push_back(pair);
      } else if (i >= borderRadius && j >= borderRadius && i < grid.width - borderRadius &&
                 j < grid.height - borderRadius) {
        for (int ch = 0; ch < 3; ++ch) {
          pair.child[ch] = csr[3 * i + ch] / 255.0f;
          pair.parent[ch] = parentColour.Apply(ch, psr[3 * i + ch] / 255.0f);
        }
        border.push_back(pair);
      }
    }
  }
  return samples;
}

// The border's difference with the child's correction before and with the one found.
void MeasureBorder(const std::vector<Pair>& border, const ColourCorrection& childColour, ColourMatchResult& result) {
  result.bandPairs = static_cast<int>(border.size());
  for (const Pair& pair : border)
    for (int ch = 0; ch < 3; ++ch) {
      const size_t u = static_cast<size_t>(ch);
      result.bandBefore[u] += std::fabs(childColour.Apply(ch, pair.child[ch]) - pair.parent[ch]);
      result.bandFound[u] += std::fabs(result.found.Apply(ch, pair.child[ch]) - pair.parent[ch]);
    }
  for (size_t u = 0; u < 3 && !border.empty(); ++u) {
    result.bandBefore[u] *= 255.0 / static_cast<double>(border.size());
    result.bandFound[u] *= 255.0 / static_cast<double>(border.size());
  }
}

// Whether the pictures' values follow one line per channel at all: over pictures of different
// scenes the lines explain little or nothing of the parent's variance, and need a gain or an
// offset beyond what a change of exposure gives. Over a nearly flat overlap the share explained
// says nothing (grain is most of the variance, in related pictures too): there the residuals
// must be as small as grain.
bool Reliable(const FitQuality& quality) {
  if (quality.pinned) return quality.explained >= minExplainedPinned;
  if (std::max(quality.parentSpread, quality.childSpread) <= maxFlatSpread) return quality.residual <= maxFlatResidual;
  return quality.explained >= minExplained;
}

// Takes the correction found in the channels where it is clearly better at the border than the
// child's own; a fit that cannot be trusted changes nothing.
void Judge(const FitQuality& quality, const ColourCorrection& childColour, ColourMatchResult& result) {
  result.correction = childColour;
  result.bandAfter = result.bandBefore;
  if (!Reliable(quality)) {
    result.status = ColourMatchStatus::Unreliable;
    return;
  }
  result.status = ColourMatchStatus::Kept;
  if (result.bandPairs < minBorderPairs) return;
  for (size_t c = 0; c < 3; ++c) {
    const double before = result.bandBefore[c], found = result.bandFound[c];
    if (before - found >= minBorderGain && found <= (1 - minBorderShare) * before) {
      result.correction.gain[c] = result.found.gain[c];
      result.correction.offset[c] = result.found.offset[c];
      result.bandAfter[c] = found;
    }
  }
  if (result.correction != childColour) result.status = ColourMatchStatus::Matched;
}

}  // namespace

const char* ColourMatchStatusText(ColourMatchStatus status) {
  switch (status) {
    case ColourMatchStatus::Matched:
      return "matched";
    case ColourMatchStatus::Kept:
      return "kept";
    case ColourMatchStatus::Unreliable:
      return "no reliable match";
    case ColourMatchStatus::NoMatch:
      return "too little overlap";
    case ColourMatchStatus::Unreadable:
      return "could not be read";
    case ColourMatchStatus::Cancelled:
      return "cancelled";
  }
  return "";
}

std::string ColourKeptReason(const ColourMatchResult& result) {
  const auto three = [](const std::array<double, 3>& v) {
    return FormatFixed(v[0], 1) + " " + FormatFixed(v[1], 1) + " " + FormatFixed(v[2], 1);
  };
  switch (result.status) {
    case ColourMatchStatus::Kept:
      if (result.bandPairs < minBorderPairs) return "kept: too little of the border to tell which colours are better";
      return "kept: the match found is not clearly better at the border (" + three(result.bandBefore) + " -> " +
             three(result.bandFound) + " levels)";
    case ColourMatchStatus::Unreliable:
      return "no reliable match: the pictures' tones do not follow one another (" +
             FormatFixed(100 * std::max(0.0, result.explained), 0) + " % explained)";
    default:
      return ColourMatchStatusText(result.status);
  }
}

ColourMatchResult MatchColours(const AlignSource& parent, const ColourCorrection& parentColour,
                               const AlignSource& child, const Transform& placement,
                               const ColourCorrection& childColour, const std::atomic<bool>* cancel) {
  ColourMatchResult result;
  auto cancelled = [cancel] { return cancel && cancel->load(); };
  const Affine toParent = Affine::Placement(placement);
  const double scale = toParent.LengthScale();
  if (!toParent.IsFinite() || !(scale > 1e-6)) return result;
  if (child.width <= 0 || child.height <= 0 || parent.width <= 0 || parent.height <= 0) {
    result.status = ColourMatchStatus::Unreadable;
    return result;
  }
  const Extents e = ElementExtents(child.width, child.height);
  // One density for both: the coarser picture's where the child lies, at most the grid's cap.
  const double density =
      std::min({static_cast<double>(std::max(child.width, child.height)), scale * std::max(parent.width, parent.height),
                maxGridSide / static_cast<double>(std::max(e.ex, e.ey))});
  Copy parentCopy, childCopy;
  bool childOk = false;
  std::thread other([&] { childOk = LoadCopy(child, density, childCopy, cancel); });
  const bool parentOk = LoadCopy(parent, density / scale, parentCopy, cancel);
  other.join();
  if (cancelled()) {
    result.status = ColourMatchStatus::Cancelled;
    return result;
  }
  if (!parentOk || !childOk) {
    result.status = ColourMatchStatus::Unreadable;
    return result;
  }

  // The grid over the child's frame: point (i, j) at (-ex / 2 + (i + 0.5) s, ey / 2 - (j + 0.5) s).
  const double s = 1 / density;
  const cv::Size grid(std::max(1, static_cast<int>(std::ceil(e.ex / s))),
                      std::max(1, static_cast<int>(std::ceil(e.ey / s))));
  const Affine gridToChild{s, 0, 0, -s, -e.ex / 2.0 + 0.5 * s, e.ey / 2.0 - 0.5 * s};
  std::vector<uint8_t> inChild, inParent;
  const cv::Mat c = Sample(childCopy, childCopy.fromElement * gridToChild, grid, inChild);
  const cv::Mat p = Sample(parentCopy, parentCopy.fromElement * toParent * gridToChild, grid, inParent);
  if (cancelled()) {
    result.status = ColourMatchStatus::Cancelled;
    return result;
  }

  Samples samples = CollectPairs(c, p, inChild, inParent, gridToChild, e, parentColour);
  const std::vector<Pair>& pairs = samples.pairs;
  if (static_cast<int>(pairs.size()) < minPairs) return result;

  std::vector<uint8_t> kept(pairs.size(), 1);
  LineFit fits[3];
  FitLines(pairs, kept, fits);
  result.pairs = static_cast<int>(std::count(kept.begin(), kept.end(), uint8_t(1)));
  if (result.pairs < minPairs) return result;

  const FitQuality quality = Quality(pairs, kept, fits);
  result.explained = quality.explained;
  result.residual = quality.residual;
  result.found = Limit(pairs, kept, fits, samples.unclipped, result.limited);
  MeasureBorder(samples.border, childColour, result);
  Judge(quality, childColour, result);
  return result;
}
