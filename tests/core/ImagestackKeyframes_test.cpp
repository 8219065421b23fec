#include <GL/gl.h>
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "Imagestack.h"

namespace {

// A stack of pictures without files or textures, each 400 x 300, then the target frame.
ImageStack MakeStack(const std::vector<Transform>& placements) {
  ImageStack stack;
  for (const Transform& t : placements) {
    auto image = std::make_unique<Image>();
    image->width = 400;
    image->height = 300;
    image->transform = t;
    stack.images.push_back(std::move(image));
  }
  return stack;
}

void Multiply(const double a[16], const double b[16], double out[16]) {
  for (int c = 0; c < 4; ++c)
    for (int r = 0; r < 4; ++r) {
      double sum = 0;
      for (int k = 0; k < 4; ++k) sum += a[k * 4 + r] * b[c * 4 + k];
      out[c * 4 + r] = sum;
    }
}

void ViewMatrix(const ImageStack& stack, float t, double out[16]) {
  glMatrixMode(GL_MODELVIEW);
  glPushMatrix();
  stack.ViewAtTime(t);
  glGetDoublev(GL_MODELVIEW_MATRIX, out);
  glPopMatrix();
}

TEST(BuildKeyframes, ThreeHalvingPictures) {
  Transform half{0.5f, 0.0f, 0.0f, 0.0f};
  ImageStack stack = MakeStack({Transform(), half, half, half});
  stack.BuildKeyframes();
  ASSERT_EQ(stack.keyCount(), 4);
  const float zooms[] = {1, 2, 4, 8};
  const double times[] = {0, 8.0 / 21, 13.0 / 21, 1};
  for (int i = 0; i < 4; ++i) {
    const Keyframe& k = stack.keys[static_cast<size_t>(i)];
    EXPECT_FLOAT_EQ(k.zoom, zooms[i]);
    EXPECT_NEAR(k.logZoom, std::log(zooms[i]), 1e-6);
    EXPECT_NEAR(k.time, times[i], 1e-6);
    EXPECT_EQ(k.x, 0.0f);
    EXPECT_EQ(k.y, 0.0f);
    EXPECT_EQ(k.rotate, 0.0f);
    EXPECT_EQ(k.xSlope, 0.0f);
    EXPECT_EQ(k.ySlope, 0.0f);
    EXPECT_EQ(k.rotateSlope, 0.0f);
  }
  EXPECT_EQ(stack.keys[0].logZoomSlope, 0.0f);
  EXPECT_NEAR(stack.keys[1].logZoomSlope, 1.4 * std::log(8.0), 1e-5);
  EXPECT_NEAR(stack.keys[2].logZoomSlope, 1.4 * std::log(8.0), 1e-5);
  EXPECT_EQ(stack.keys[3].logZoomSlope, 0.0f);
}

TEST(BuildKeyframes, OnePictureIsAPlainSmoothStep) {
  ImageStack stack = MakeStack({Transform(), Transform{0.25f, 0, 0, 0}});
  stack.BuildKeyframes();
  ASSERT_EQ(stack.keyCount(), 2);
  EXPECT_EQ(stack.keys[0].time, 0.0f);
  EXPECT_EQ(stack.keys[1].time, 1.0f);
  EXPECT_EQ(stack.keys[1].logZoomSlope, 0.0f);
  const double total = std::log(4.0);
  for (float s : {0.1f, 0.3f, 0.5f, 0.9f}) {
    ImageStack::View v = stack.ViewValuesAtTime(s);
    EXPECT_NEAR(std::log(v.zoom), total * (3 * s * s - 2 * s * s * s), 1e-5) << "s = " << s;
  }
}

TEST(BuildKeyframes, CentresAndRotationsAccumulate) {
  ImageStack stack = MakeStack({Transform(), Transform{0.5f, 0.1f, 0.05f, 30.0f}, Transform{0.5f, 0.2f, 0.0f, 10.0f}});
  stack.BuildKeyframes();
  ASSERT_EQ(stack.keyCount(), 3);
  EXPECT_FLOAT_EQ(stack.keys[1].rotate, -30.0f);
  EXPECT_FLOAT_EQ(stack.keys[2].rotate, -40.0f);
  EXPECT_FLOAT_EQ(stack.keys[1].x, -0.1f);
  EXPECT_FLOAT_EQ(stack.keys[1].y, -0.05f);
  // The target's centre: (0.1, 0.05) + 0.5 * R(30) * (0.2, 0).
  const double a = 30 * M_PI / 180;
  EXPECT_NEAR(stack.keys[2].x, -(0.1 + 0.1 * std::cos(a)), 1e-6);
  EXPECT_NEAR(stack.keys[2].y, -(0.05 + 0.1 * std::sin(a)), 1e-6);
  // Element matrices: the first is the identity, the others carry the element's centre.
  EXPECT_EQ(stack.images[0]->modelMatrix[12], 0.0);
  EXPECT_NEAR(stack.images[2]->modelMatrix[12], -stack.keys[2].x, 1e-6);
}

TEST(BuildKeyframes, InteriorSlopesPassMonotoneStretchesAndStopAtTurns) {
  // x runs 0 -> -0.1 -> -0.2 (monotone), y runs 0 -> -0.1 -> 0.0 (a turn), rotate stays.
  ImageStack stack = MakeStack(
      {Transform(), Transform{0.5f, 0.1f, 0.1f, 0}, Transform{0.5f, 0.2f, -0.2f, 0}, Transform{0.5f, 0.0f, 0.0f, 0}});
  stack.BuildKeyframes();
  const Keyframe& a = stack.keys[0];
  const Keyframe& k = stack.keys[1];
  const Keyframe& c = stack.keys[2];
  EXPECT_FLOAT_EQ(k.xSlope, (c.x - a.x) / (c.time - a.time));
  EXPECT_EQ(k.ySlope, 0.0f);
  EXPECT_EQ(k.rotateSlope, 0.0f);
  const Keyframe& last = stack.keys.back();
  EXPECT_EQ(last.xSlope, 0.0f);
  EXPECT_EQ(last.ySlope, 0.0f);
  EXPECT_EQ(last.logZoomSlope, 0.0f);
}

TEST(BuildKeyframes, LeavesTheMatrixStackAsFound) {
  ImageStack stack = MakeStack({Transform(), Transform{0.5f, 0.1f, 0.1f, 20}, Transform{0.4f, 0, 0, 0}});
  glMatrixMode(GL_PROJECTION);
  glPushMatrix();
  glLoadIdentity();
  glTranslatef(3, 4, 0);
  GLint depth = 0;
  glGetIntegerv(GL_PROJECTION_STACK_DEPTH, &depth);
  double before[16], after[16];
  glGetDoublev(GL_PROJECTION_MATRIX, before);
  glMatrixMode(GL_MODELVIEW);
  glLoadIdentity();
  glScalef(2, 2, 1);
  double modelviewBefore[16], modelviewAfter[16];
  glGetDoublev(GL_MODELVIEW_MATRIX, modelviewBefore);
  GLint modelviewDepth = 0, depthAfter = 0;
  glGetIntegerv(GL_MODELVIEW_STACK_DEPTH, &modelviewDepth);

  stack.BuildKeyframes();

  glGetDoublev(GL_MODELVIEW_MATRIX, modelviewAfter);
  glGetIntegerv(GL_MODELVIEW_STACK_DEPTH, &depthAfter);
  EXPECT_EQ(depthAfter, modelviewDepth);
  for (int i = 0; i < 16; ++i) EXPECT_EQ(modelviewAfter[i], modelviewBefore[i]);
  GLint mode = 0;
  glGetIntegerv(GL_MATRIX_MODE, &mode);
  EXPECT_EQ(mode, GL_MODELVIEW);
  glMatrixMode(GL_PROJECTION);
  glGetDoublev(GL_PROJECTION_MATRIX, after);
  for (int i = 0; i < 16; ++i) EXPECT_EQ(after[i], before[i]);
  glPopMatrix();
  glMatrixMode(GL_MODELVIEW);
  glLoadIdentity();
  EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
}

TEST(ViewAtTime, StartIsIdentityAndEveryKeyShowsItsElementUpright) {
  ImageStack stack = MakeStack({Transform(), Transform{0.45f, 0.12f, -0.05f, 12.0f},
                                Transform{0.55f, -0.1f, 0.08f, -7.0f}, Transform{0.5f, 0.03f, 0.02f, 3.0f}});
  stack.BuildKeyframes();
  double v[16];
  ViewMatrix(stack, 0.0f, v);
  const double identity[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};
  for (int i = 0; i < 16; ++i) EXPECT_NEAR(v[i], identity[i], 1e-7);

  for (int i = 1; i < stack.count(); ++i) {
    ViewMatrix(stack, stack.keys[static_cast<size_t>(i)].time, v);
    double product[16];
    Multiply(v, stack.images[static_cast<size_t>(i)]->modelMatrix, product);
    for (int j = 0; j < 16; ++j) EXPECT_NEAR(product[j], identity[j], 1e-4) << "element " << i << " entry " << j;
  }
}

TEST(ViewAtTime, AtAKeyTimeGivesThatKeysValues) {
  ImageStack stack =
      MakeStack({Transform(), Transform{0.5f, 0.1f, 0, 10}, Transform{0.5f, 0.1f, 0, 10}, Transform{0.5f, 0, 0, 0}});
  stack.BuildKeyframes();
  for (const Keyframe& k : stack.keys) {
    ImageStack::View v = stack.ViewValuesAtTime(k.time);
    EXPECT_NEAR(v.zoom, k.zoom, 1e-5 * k.zoom);
    EXPECT_NEAR(v.x, k.x, 1e-6);
    EXPECT_NEAR(v.y, k.y, 1e-6);
    EXPECT_NEAR(v.rotate, k.rotate, 1e-5);
  }
}

// Stacks from hand-edited files: whatever their values, every time gives a finite view and the
// build terminates.
TEST(ViewAtTime, DegenerateStacksStayFinite) {
  const float nan = std::numeric_limits<float>::quiet_NaN();
  const float inf = std::numeric_limits<float>::infinity();
  const std::vector<std::vector<Transform>> stacks = {
      {Transform(), Transform(), Transform()},                                                       // total zoom 1
      {Transform(), Transform{2, 0, 0, 0}, Transform{0.5f, 0, 0, 0}},                                // zoom back to 1
      {Transform(), Transform{2, 0.1f, 0, 0}, Transform{0.25f, 0, 0.1f, 0}, Transform{3, 0, 0, 5}},  // mixed
      {Transform(), Transform{0, 0, 0, 0}, Transform{0.5f, 0, 0, 0}},                                // scale 0
      {Transform(), Transform{-0.5f, 0.1f, 0, 0}, Transform{0.5f, 0, 0, 0}},                         // negative
      {Transform(), Transform{nan, nan, nan, nan}, Transform{0.5f, 0, 0, 0}},
      {Transform(), Transform{0.5f, inf, -inf, inf}, Transform{inf, 0, 0, 0}},
      {Transform(), Transform{1e-30f, 0, 0, 0}, Transform{1e30f, 0, 0, 0}, Transform{1e-30f, 0, 0, 0}},
      {Transform{0.5f, 0, 0, 0}},  // target frame only
  };
  for (size_t n = 0; n < stacks.size(); ++n) {
    ImageStack stack = MakeStack(stacks[n]);
    stack.BuildKeyframes();
    for (const Keyframe& k : stack.keys)
      for (float f : {k.zoom, k.logZoom, k.x, k.y, k.rotate, k.time, k.logZoomSlope, k.xSlope, k.ySlope, k.rotateSlope})
        EXPECT_TRUE(std::isfinite(f)) << "stack " << n;
    for (int i = 0; i <= 100; ++i) {
      float t = static_cast<float>(i) / 100.0f;
      ImageStack::View v = stack.ViewValuesAtTime(t);
      EXPECT_TRUE(std::isfinite(v.zoom) && v.zoom > 0 && std::isfinite(v.x) && std::isfinite(v.y) &&
                  std::isfinite(v.rotate))
          << "stack " << n << " t " << t;
      double m[16];
      ViewMatrix(stack, t, m);
      for (double e : m) EXPECT_TRUE(std::isfinite(e)) << "stack " << n << " t " << t;
    }
  }
}

}  // namespace
