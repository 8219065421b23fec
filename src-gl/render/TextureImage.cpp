#include "TextureImage.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>

namespace {

// A picture whose buffer does not hold width x height pixels is left alone rather than read
// past its end.
bool Usable(const RgbaPicture& picture) {
  return !picture.empty() &&
         picture.rgba.size() >= static_cast<size_t>(picture.width) * static_cast<size_t>(picture.height) * 4;
}

// Half the size (sides truncated, at least 1) with a 2 x 2 box; a side of 1 repeats its texel.
// For any longer side the truncation keeps 2x + 1 inside, so only a side of 1 needs the repeat.
RgbaPicture HalveBox(const RgbaPicture& from) {
  RgbaPicture to;
  to.width = std::max(1, from.width / 2);
  to.height = std::max(1, from.height / 2);
  to.rgba.resize(static_cast<size_t>(to.width) * static_cast<size_t>(to.height) * 4);
  const size_t fromStride = static_cast<size_t>(from.width) * 4;
  const size_t toStride = static_cast<size_t>(to.width) * 4;
  const size_t columnStep = from.width > 1 ? 4 : 0;
  const size_t rowStep = from.height > 1 ? fromStride : 0;
  for (int y = 0; y < to.height; ++y) {
    const uint8_t* a = from.rgba.data() + static_cast<size_t>(2 * y) * fromStride;
    const uint8_t* b = a + rowStep;
    uint8_t* out = to.rgba.data() + static_cast<size_t>(y) * toStride;
    for (int x = 0; x < to.width; ++x, a += 8, b += 8, out += 4) {
      for (size_t c = 0; c < 4; ++c) {
        const unsigned sum = a[c] + a[c + columnStep] + b[c] + b[c + columnStep];
        out[c] = static_cast<uint8_t>((sum + 2) >> 2);
      }
    }
  }
  return to;
}

// Area weights of one resampling direction. Weights are fixed point with kWeightBits bits and
// those of one output index sum to exactly 1 << kWeightBits, so a flat picture stays flat.
const int kWeightBits = 12;
const uint32_t kWeightOne = 1u << kWeightBits;

struct Taps {
  std::vector<int> first;      // per output index: first source index
  std::vector<int> count;      // per output index: number of source indices
  std::vector<size_t> offset;  // per output index: where its weights start in `weight`
  std::vector<uint32_t> weight;
};

// Output index i covers [i * from, (i + 1) * from) and source index j covers [j * to, (j + 1) *
// to): both sides measured in units of 1 / (from * to) of the whole length.
Taps AreaTaps(int from, int to) {
  Taps taps;
  taps.first.resize(static_cast<size_t>(to));
  taps.count.resize(static_cast<size_t>(to));
  taps.offset.resize(static_cast<size_t>(to));
  const long long f = from, t = to;
  for (long long i = 0; i < t; ++i) {
    const long long begin = i * f, end = (i + 1) * f;
    const long long j0 = begin / t, j1 = (end + t - 1) / t;  // source indices [j0, j1)
    const size_t start = taps.weight.size();
    uint32_t total = 0;
    size_t largest = start;
    for (long long j = j0; j < j1; ++j) {
      const long long overlap = std::min(end, (j + 1) * t) - std::max(begin, j * t);
      const uint32_t w = static_cast<uint32_t>(overlap * kWeightOne / f);
      taps.weight.push_back(w);
      total += w;
      if (w > taps.weight[largest]) largest = taps.weight.size() - 1;
    }
    taps.weight[largest] += kWeightOne - total;  // what truncation lost
    taps.first[static_cast<size_t>(i)] = static_cast<int>(j0);
    taps.count[static_cast<size_t>(i)] = static_cast<int>(j1 - j0);
    taps.offset[static_cast<size_t>(i)] = start;
  }
  return taps;
}

// Area-weighted resampling to width x height: for each output row, the weighted sum of the
// source rows it covers (per source column), then across columns; rounded once at the end.
RgbaPicture Resample(const RgbaPicture& from, int width, int height) {
  RgbaPicture to;
  to.width = width;
  to.height = height;
  to.rgba.resize(static_cast<size_t>(width) * static_cast<size_t>(height) * 4);
  const Taps columns = AreaTaps(from.width, width);
  const Taps rows = AreaTaps(from.height, height);
  const size_t fromStride = static_cast<size_t>(from.width) * 4;
  // 255 << kWeightBits per channel after the rows, 255 << 2 * kWeightBits after the columns.
  std::vector<uint32_t> rowSum(fromStride);
  for (int y = 0; y < height; ++y) {
    std::fill(rowSum.begin(), rowSum.end(), 0u);
    const size_t ry = static_cast<size_t>(y);
    const uint32_t* rowWeight = rows.weight.data() + rows.offset[ry];
    for (int k = 0; k < rows.count[ry]; ++k) {
      const uint32_t w = rowWeight[k];
      const uint8_t* source = from.rgba.data() + static_cast<size_t>(rows.first[ry] + k) * fromStride;
      for (size_t i = 0; i < fromStride; ++i) rowSum[i] += w * source[i];
    }
    uint8_t* out = to.rgba.data() + ry * static_cast<size_t>(width) * 4;
    for (int x = 0; x < width; ++x, out += 4) {
      const size_t cx = static_cast<size_t>(x);
      const uint32_t* columnWeight = columns.weight.data() + columns.offset[cx];
      const uint32_t* sum = rowSum.data() + static_cast<size_t>(columns.first[cx]) * 4;
      uint32_t r = 0, g = 0, b = 0, a = 0;
      for (int k = 0; k < columns.count[cx]; ++k, sum += 4) {
        const uint32_t w = columnWeight[k];
        r += w * sum[0];
        g += w * sum[1];
        b += w * sum[2];
        a += w * sum[3];
      }
      const uint32_t half = 1u << (2 * kWeightBits - 1);
      out[0] = static_cast<uint8_t>((r + half) >> (2 * kWeightBits));
      out[1] = static_cast<uint8_t>((g + half) >> (2 * kWeightBits));
      out[2] = static_cast<uint8_t>((b + half) >> (2 * kWeightBits));
      out[3] = static_cast<uint8_t>((a + half) >> (2 * kWeightBits));
    }
  }
  return to;
}

}  // namespace

void ReduceToFit(RgbaPicture& picture, int maxSide) {
  if (!Usable(picture)) return;
  maxSide = std::max(maxSide, 1);
  const int longer = std::max(picture.width, picture.height);
  if (longer <= maxSide) return;
  const int shorter = std::min(picture.width, picture.height);
  const int shorterTarget =
      std::max(1, static_cast<int>(static_cast<long long>(shorter) * maxSide / static_cast<long long>(longer)));
  const int width = picture.width >= picture.height ? maxSide : shorterTarget;
  const int height = picture.width >= picture.height ? shorterTarget : maxSide;

  while (std::max(picture.width, picture.height) / 2 >= maxSide) picture = HalveBox(picture);
  if (picture.width != width || picture.height != height) picture = Resample(picture, width, height);
}

void ApplyEdgeFade(RgbaPicture& picture) {
  if (!Usable(picture)) return;
  const int width = picture.width, height = picture.height;
  // Alpha is a non-decreasing function of the distance to the nearest edge, so a pixel's alpha
  // is the smaller of its column's and its row's.
  const float t = static_cast<float>(std::min(width, height)) * 0.1f;
  std::vector<uint8_t> ramp(static_cast<size_t>(std::max(width, height)) + 1);
  for (size_t d = 0; d < ramp.size(); ++d) {
    ramp[d] = static_cast<float>(d) >= t ? 255 : static_cast<uint8_t>(static_cast<float>(d * 255) / t);
  }
  std::vector<uint8_t> columnAlpha(static_cast<size_t>(width));
  for (int x = 0; x < width; ++x)
    columnAlpha[static_cast<size_t>(x)] = ramp[static_cast<size_t>(std::min(x, width - x))];

  for (int y = 0; y < height; ++y) {  // y from the top
    const uint8_t rowAlpha = ramp[static_cast<size_t>(std::min(y, height - y))];
    uint8_t* alpha = picture.rgba.data() + static_cast<size_t>(height - 1 - y) * static_cast<size_t>(width) * 4 + 3;
    for (int x = 0; x < width; ++x, alpha += 4) *alpha = std::min(columnAlpha[static_cast<size_t>(x)], rowAlpha);
  }
}

std::vector<RgbaPicture> BuildMipChain(const RgbaPicture& base) {
  std::vector<RgbaPicture> levels;
  if (!Usable(base)) return levels;
  size_t count = 0;
  for (int side = std::max(base.width, base.height); side > 1; side /= 2) ++count;
  levels.reserve(count);  // `previous` points into `levels`
  const RgbaPicture* previous = &base;
  while (previous->width > 1 || previous->height > 1) {
    levels.push_back(HalveBox(*previous));
    previous = &levels.back();
  }
  return levels;
}
