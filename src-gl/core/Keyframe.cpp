#include "Keyframe.h"

float EaseIn(float t) { return static_cast<float>(3.2 * t * t * t + 1.6 * t * t); }

float EaseOut(float t) { return static_cast<float>(3.2 * t * t * t - 11.2 * t * t + 12.8 * t - 3.8); }

namespace {

// Ten halvings, each midpoint rounded to single precision; the answer is the last midpoint,
// not re-centred, so results are reproducible bit for bit.
float Bisect(float (*curve)(float), float u, float lo, float hi) {
  float mid = lo;
  for (int i = 0; i < 10; ++i) {
    mid = lo + (hi - lo) * 0.5f;
    float value = curve(mid);
    if (u > value)
      lo = mid;
    else
      hi = mid;
  }
  return mid;
}

}  // namespace

TimeAndSlope TimeForZoomFraction(float u) {
  if (!(u > 0.0f)) return {0.0f, 0.0f};  // also catches NaN
  if (u >= 1.0f) return {1.0f, 0.0f};
  // The joints are compared in double: single-precision 0.15 and 0.85 both lie above them.
  if (u < 0.15) {
    float t = Bisect(EaseIn, u, 0.0f, 0.25f);
    return {t, static_cast<float>(9.6 * t * t + 3.2 * t)};
  }
  if (u <= 0.85) return {static_cast<float>((u + 0.2) * (1.0 / 1.4)), 1.4f};
  float t = Bisect(EaseOut, u, 0.75f, 1.0f);
  return {t, static_cast<float>(9.6 * t * t - 22.4 * t + 12.8)};
}

TimeAndSlope SteadyTimeForZoomFraction(float u) {
  if (!(u > 0.0f)) return {0.0f, 1.0f};
  return {u < 1.0f ? u : 1.0f, 1.0f};
}
