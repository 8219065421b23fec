// The colour match's fit: a line per channel from the child's values to the parent's, robust to
// what moved between the shots, then held to the limits.

#include <algorithm>
#include <cmath>

#include "ColourMatch.h"
#include "ColourMatchStages.h"

namespace colour_match {

namespace {

// Pairs whose residual lies beyond this many robust deviations disagree (something moved).
constexpr double outlierDeviations = 3.0;
// The least deviation the outlier test assumes (a level of 255), so that pictures made alike do
// not lose their pairs to rounding.
constexpr double minDeviation = 1.0 / 255;
// The share of the child's pixels the correction may newly clip where its parent is not clipped.
constexpr double maxClippedShare = 0.02;

LineFit FitChannel(const std::vector<Pair>& pairs, const std::vector<uint8_t>& kept, int c) {
  double n = 0, sx = 0, sy = 0;
  for (size_t k = 0; k < pairs.size(); ++k)
    if (kept[k]) {
      n += 1;
      sx += pairs[k].child[c];
      sy += pairs[k].parent[c];
    }
  LineFit f;
  if (n < 1) return f;
  const double mx = sx / n, my = sy / n;
  double sxx = 0, syy = 0, sxy = 0;
  for (size_t k = 0; k < pairs.size(); ++k)
    if (kept[k]) {
      const double dx = pairs[k].child[c] - mx, dy = pairs[k].parent[c] - my;
      sxx += dx * dx;
      syy += dy * dy;
      sxy += dx * dy;
    }
  // Over a nearly flat overlap a slope cannot be told from an offset: a gain alone then.
  if (sxx / n < (2.0 / 255) * (2.0 / 255)) {
    f.gain = mx > 0 ? my / mx : 1;
    f.offset = 0;
  } else {
    // Both sides are noisy (the file's compression, the resampling, the last fraction of a pixel
    // of the placement): least squares of one on the other would flatten the slope by the share of
    // the variance that noise is. The reduced major axis treats both alike; it assumes the noise
    // grows with the gain as the signal does, which is how an exposure scales both.
    f.gain = sxy > 0 ? std::sqrt(syy / sxx) : sxy / sxx;
    f.offset = my - f.gain * mx;
  }
  return f;
}

double Median(std::vector<double>& values) {
  if (values.empty()) return 0;
  const auto middle = values.begin() + static_cast<std::ptrdiff_t>(values.size() / 2);
  std::nth_element(values.begin(), middle, values.end());
  return *middle;
}

// Leaves out the pairs whose residual in any channel lies beyond a few robust deviations of
// that channel's residuals.
void DropOutliers(const std::vector<Pair>& pairs, std::vector<uint8_t>& kept, const LineFit fits[3]) {
  double limit[3];
  std::vector<double> residuals;
  residuals.reserve(pairs.size());
  for (int c = 0; c < 3; ++c) {
    residuals.clear();
    for (size_t k = 0; k < pairs.size(); ++k)
      if (kept[k]) residuals.push_back(pairs[k].parent[c] - (fits[c].gain * pairs[k].child[c] + fits[c].offset));
    const double median = Median(residuals);
    for (double& r : residuals) r = std::fabs(r - median);
    limit[c] = outlierDeviations * std::max(1.4826 * Median(residuals), minDeviation);
  }
  for (size_t k = 0; k < pairs.size(); ++k) {
    if (!kept[k]) continue;
    for (int c = 0; c < 3; ++c)
      if (std::fabs(pairs[k].parent[c] - (fits[c].gain * pairs[k].child[c] + fits[c].offset)) > limit[c]) {
        kept[k] = 0;
        break;
      }
  }
}

// The value below which `share` of `values` lie.
float Quantile(std::vector<float>& values, double share) {
  if (values.empty()) return 0;
  const size_t at = std::min(values.size() - 1, static_cast<size_t>(share * static_cast<double>(values.size())));
  std::nth_element(values.begin(), values.begin() + static_cast<std::ptrdiff_t>(at), values.end());
  return values[at];
}

}  // namespace

void FitLines(const std::vector<Pair>& pairs, std::vector<uint8_t>& kept, LineFit fits[3]) {
  // Fitted, then again without the pairs that disagree (twice: a moved object's pairs pull the
  // first fit towards themselves).
  for (int round = 0; round < 3; ++round) {
    for (int ch = 0; ch < 3; ++ch) fits[ch] = FitChannel(pairs, kept, ch);
    if (round < 2) DropOutliers(pairs, kept, fits);
  }
}

FitQuality Quality(const std::vector<Pair>& pairs, const std::vector<uint8_t>& kept, const LineFit fits[3]) {
  FitQuality q;
  double n = 0, meanX[3] = {0, 0, 0}, meanY[3] = {0, 0, 0};
  for (size_t k = 0; k < pairs.size(); ++k)
    if (kept[k]) {
      n += 1;
      for (int ch = 0; ch < 3; ++ch) {
        meanX[ch] += pairs[k].child[ch];
        meanY[ch] += pairs[k].parent[ch];
      }
    }
  if (n < 1) return q;
  for (int ch = 0; ch < 3; ++ch) {
    meanX[ch] /= n;
    meanY[ch] /= n;
  }
  double spreadX = 0, spreadY = 0, residual = 0;
  for (size_t k = 0; k < pairs.size(); ++k)
    if (kept[k])
      for (int ch = 0; ch < 3; ++ch) {
        const double x = pairs[k].child[ch], y = pairs[k].parent[ch];
        const double r = y - (fits[ch].gain * x + fits[ch].offset);
        spreadX += (x - meanX[ch]) * (x - meanX[ch]);
        spreadY += (y - meanY[ch]) * (y - meanY[ch]);
        residual += r * r;
      }
  q.explained = spreadY > 0 ? 1 - residual / spreadY : 0;
  q.residual = 255 * std::sqrt(residual / (3 * n));
  q.parentSpread = 255 * std::sqrt(spreadY / (3 * n));
  q.childSpread = 255 * std::sqrt(spreadX / (3 * n));
  for (int ch = 0; ch < 3; ++ch)
    q.pinned = q.pinned || !(fits[ch].gain >= minColourGain && fits[ch].gain <= maxColourGain) ||
               !(std::fabs(fits[ch].offset) <= maxColourOffset);
  return q;
}

ColourCorrection Limit(const std::vector<Pair>& pairs, const std::vector<uint8_t>& kept, const LineFit fits[3],
                       std::vector<float> unclipped[3], bool& limited) {
  ColourCorrection correction;
  for (int ch = 0; ch < 3; ++ch) {
    double gain = fits[ch].gain, offset = fits[ch].offset;
    if (!(gain >= minColourGain && gain <= maxColourGain)) {
      gain = std::clamp(std::isfinite(gain) ? gain : 1.0, double(minColourGain), double(maxColourGain));
      // The offset that keeps the means together with the gain held at its bound.
      double n = 0, sx = 0, sy = 0;
      for (size_t k = 0; k < pairs.size(); ++k)
        if (kept[k]) {
          n += 1;
          sx += pairs[k].child[ch];
          sy += pairs[k].parent[ch];
        }
      offset = (sy - gain * sx) / n;
      limited = true;
    }
    if (std::fabs(offset) > maxColourOffset) {
      offset = std::clamp(offset, -double(maxColourOffset), double(maxColourOffset));
      limited = true;
    }
    // Clipping: the corrected child may reach white only where its parent is white too, give or
    // take a small share of its pixels; beyond that the gain is lowered until it is so (detail
    // the parent shows is never burnt out). Likewise the offset is raised for black.
    std::vector<float>& values = unclipped[ch];
    if (!values.empty()) {
      const float high = Quantile(values, 1 - maxClippedShare);
      if (gain * high + offset > 1 && high > 0) {
        gain = std::max(double(minColourGain), (1 - offset) / high);
        limited = true;
      }
      const float low = Quantile(values, maxClippedShare);
      if (gain * low + offset < 0) {
        offset = std::min(double(maxColourOffset), -gain * low);
        limited = true;
      }
    }
    correction.gain[static_cast<size_t>(ch)] = static_cast<float>(gain);
    correction.offset[static_cast<size_t>(ch)] = static_cast<float>(offset);
  }

  return correction;
}

}  // namespace colour_match
