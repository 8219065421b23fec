#include <gtest/gtest.h>

#include <cmath>

#include "Affine.h"
#include "Transform.h"

namespace {

struct Point {
  double x, y;
};

Point Through(const Affine& m, Point p) {
  Point out{};
  m.Map(p.x, p.y, out.x, out.y);
  return out;
}

TEST(Extents, LongerSideIsOneUnit) {
  struct Case {
    int w, h;
    float ex, ey;
  } cases[] = {{800, 600, 1.0f, 0.75f}, {600, 800, 0.75f, 1.0f}, {512, 512, 1.0f, 1.0f}, {32, 20, 1.0f, 0.625f}};
  for (const auto& c : cases) {
    Extents e = ElementExtents(c.w, c.h);
    EXPECT_FLOAT_EQ(e.ex, c.ex) << c.w << "x" << c.h;
    EXPECT_FLOAT_EQ(e.ey, c.ey) << c.w << "x" << c.h;
  }
}

TEST(Extents, EmptyElementStaysFinite) {
  Extents e = ElementExtents(0, 0);
  EXPECT_TRUE(std::isfinite(e.ex) && std::isfinite(e.ey));
}

TEST(Transform, DefaultIsIdentityPlacement) {
  Transform t;
  EXPECT_EQ(t.scale, 1.0f);
  EXPECT_EQ(t.translateX, 0.0f);
  EXPECT_EQ(t.translateY, 0.0f);
  EXPECT_EQ(t.rotate, 0.0f);
}

TEST(Transform, PlacementIsTranslateScaleRotate) {
  Transform t{0.5f, 0.25f, 0.0f, 90.0f};
  Point p = Through(Affine::Placement(t), {0.5, 0.0});
  EXPECT_NEAR(p.x, 0.25, 1e-15);
  EXPECT_NEAR(p.y, 0.25, 1e-15);
}

TEST(Transform, PlacementsComposeInnermostFirst) {
  // Two nested placements: the grandchild's point goes through the grandchild's placement first.
  Transform child{0.5f, 0.1f, 0.2f, 90.0f};
  Transform grandchild{0.5f, 0.2f, 0.0f, 0.0f};
  Point p = Through(Affine::Placement(child) * Affine::Placement(grandchild), {0.0, 0.0});
  EXPECT_NEAR(p.x, 0.1f, 1e-15);
  EXPECT_NEAR(p.y, 0.2f + 0.5 * 0.2f, 1e-15);
}

TEST(Transform, ViewTransformIsScaleThenTranslateAndIgnoresRotation) {
  Transform view{2.0f, 0.1f, 0.0f, 45.0f};
  Point origin = Through(Affine::ViewTransform(view), {0.0, 0.0});
  EXPECT_NEAR(origin.x, 2 * 0.1f, 1e-15);
  EXPECT_NEAR(origin.y, 0.0, 1e-15);
  Point p = Through(Affine::ViewTransform(view), {0.0, 1.0});
  EXPECT_NEAR(p.x, 2 * 0.1f, 1e-15);
  EXPECT_NEAR(p.y, 2.0, 1e-15);
}

TEST(Affine, InverseUndoesASimilarityAndADegenerateOneIsNotFinite) {
  const Affine m = Affine::Similarity(0.37, 123.4, -0.2, 0.7) * Affine::Placement({1e-3f, 3, -4, -17});
  EXPECT_NEAR(m.LengthScale(), 0.37 * 1e-3f, 1e-16);
  for (const Point q : {Point{0, 0}, Point{1, -2}, Point{-0.5, 0.25}}) {
    const Point back = Through(m.Inverse(), Through(m, q));
    EXPECT_NEAR(back.x, q.x, 1e-9);
    EXPECT_NEAR(back.y, q.y, 1e-9);
  }
  EXPECT_TRUE(m.IsFinite());
  EXPECT_FALSE(Affine::Similarity(0, 10, 1, 1).Inverse().IsFinite());
}

}  // namespace

namespace {

TEST(FittedViewSpan, FirstPictureFillsItsConstrainingAxis) {
  // 800 x 600 in a square view: it fills the width; 600 x 800 in 441 x 338: it fills the height.
  ViewSpan a = FittedViewSpan(800, 600, 400, 400);
  EXPECT_DOUBLE_EQ(a.halfWidth, 0.5);
  EXPECT_DOUBLE_EQ(a.halfHeight, 0.5);
  ViewSpan b = FittedViewSpan(600, 800, 441, 338);
  EXPECT_NEAR(b.halfWidth, 441.0 / 338.0 / 2, 1e-7);
  EXPECT_DOUBLE_EQ(b.halfHeight, 0.5);
  ViewSpan c = FittedViewSpan(800, 600, 800, 600);  // the same aspect: both fit
  EXPECT_NEAR(c.halfWidth, 0.5, 1e-7);
  EXPECT_NEAR(c.halfHeight, 0.375, 1e-7);
}

}  // namespace
