#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "Keyframe.h"

namespace {

TEST(Keyframe, DefaultHasZoomOneAndZeroes) {
  Keyframe k;
  EXPECT_EQ(k.zoom, 1.0f);
  for (float v : {k.logZoom, k.x, k.y, k.rotate, k.time, k.logZoomSlope, k.xSlope, k.ySlope, k.rotateSlope})
    EXPECT_EQ(v, 0.0f);
}

TEST(EasingCurve, PiecesJoinWithEqualValueAndSlope) {
  EXPECT_NEAR(EaseIn(0.0f), 0.0, 1e-7);
  EXPECT_NEAR(EaseIn(0.25f), 0.15, 1e-6);
  EXPECT_NEAR(EaseOut(0.75f), 0.85, 1e-6);
  EXPECT_NEAR(EaseOut(1.0f), 1.0, 1e-6);
  // Slopes at the joints equal the linear piece's 1.4, and vanish at both ends.
  const float h = 1e-3f;
  EXPECT_NEAR((EaseIn(0.25f) - EaseIn(0.25f - h)) / h, 1.4, 5e-3);
  EXPECT_NEAR((EaseOut(0.75f + h) - EaseOut(0.75f)) / h, 1.4, 5e-3);
  EXPECT_NEAR((EaseOut(1.0f) - EaseOut(1.0f - h)) / h, 0.0, 5e-3);
}

TEST(TimeForZoomFraction, EndsAndLinearPiece) {
  struct Case {
    float u, t, slope;
  } cases[] = {
      {0.0f, 0.0f, 0.0f},
      {-0.5f, 0.0f, 0.0f},
      {1.0f, 1.0f, 0.0f},
      {2.0f, 1.0f, 0.0f},
      {0.5f, 0.5f, 1.4f},
      {1.0f / 3.0f, static_cast<float>((1.0f / 3.0f + 0.2) * (1.0 / 1.4)), 1.4f},
      // Single-precision 0.15 lies above the double joint: linear, exactly 0.25.
      {0.15f, 0.25f, 1.4f},
  };
  for (const auto& c : cases) {
    TimeAndSlope r = TimeForZoomFraction(c.u);
    EXPECT_EQ(r.t, c.t) << "u = " << c.u;
    EXPECT_FLOAT_EQ(r.slope, c.slope) << "u = " << c.u;
  }
  EXPECT_NEAR(TimeForZoomFraction(1.0f / 3.0f).t, 8.0 / 21.0, 1e-7);
}

TEST(TimeForZoomFraction, NotANumberGivesStart) {
  TimeAndSlope r = TimeForZoomFraction(std::numeric_limits<float>::quiet_NaN());
  EXPECT_EQ(r.t, 0.0f);
  EXPECT_EQ(r.slope, 0.0f);
  EXPECT_EQ(TimeForZoomFraction(std::numeric_limits<float>::infinity()).t, 1.0f);
}

TEST(TimeForZoomFraction, BisectionGivesTheTenthMidpoint) {
  TimeAndSlope in = TimeForZoomFraction(0.05f);
  EXPECT_EQ(in.t, 633.0f / 4096.0f);
  EXPECT_NEAR(in.slope, 0.724, 1e-3);

  TimeAndSlope out = TimeForZoomFraction(0.9f);
  EXPECT_NEAR(out.t, 0.790, 1e-3);
  EXPECT_NEAR(out.slope, 1.093, 1e-3);
  // A bisection result is always a multiple of 1/4096 in its quarter.
  EXPECT_EQ(std::fmod(out.t * 4096.0f, 1.0f), 0.0f);

  // Single-precision 0.85 lies above the double joint: it takes the ease-out bisection.
  EXPECT_EQ(TimeForZoomFraction(0.85f).t, 0.75f + 1.0f / 4096.0f);
}

TEST(TimeForZoomFraction, InvertsTheCurveEverywhere) {
  for (int i = 1; i < 100; ++i) {
    float t = static_cast<float>(i) / 100.0f;
    float u = t < 0.25f ? EaseIn(t) : t <= 0.75f ? static_cast<float>(1.4 * t - 0.2) : EaseOut(t);
    EXPECT_NEAR(TimeForZoomFraction(u).t, t, 1.0 / 2048) << "t = " << t;
  }
}

}  // namespace
