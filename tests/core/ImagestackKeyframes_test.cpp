#include <GL/gl.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <fstream>
#include <limits>
#include <random>
#include <sstream>
#include <string>

#include "Imagestack.h"

namespace {

// A stack of pictures without files, each 400 x 300, then the target frame.
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

// An element's modelMatrix as a plane map.
Affine Model(const Image& image) {
  const double* m = image.modelMatrix;
  return {m[0], m[1], m[4], m[5], m[12], m[13]};
}

// The view of the keyframe table at time t, in the first picture's frame: R(rotate) * S(zoom) *
// T(x, y), as the table's data file describes it.
Affine TableView(const ImageStack& stack, float t) {
  const ImageStack::View v = stack.ViewValuesAtTime(t);
  return Affine::Similarity(v.zoom, v.rotate, 0, 0) * Affine{1, 0, 0, 1, v.x, v.y};
}

// Entry by entry within `tolerance`.
::testing::AssertionResult Near(const Affine& p, const Affine& q, double tolerance) {
  const double a[6] = {p.a, p.b, p.c, p.d, p.tx, p.ty}, b[6] = {q.a, q.b, q.c, q.d, q.tx, q.ty};
  for (int k = 0; k < 6; ++k)
    if (!(std::fabs(a[k] - b[k]) <= tolerance))
      return ::testing::AssertionFailure() << "entry " << k << ": " << a[k] << " vs " << b[k];
  return ::testing::AssertionSuccess();
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

// The data file stores what OpenGL's single-precision matrix stack made of the placements; the
// table is built without GL and must give the very same numbers.
TEST(BuildKeyframes, ElementMatricesAreExactlyTheGlMatrixStacks) {
  std::mt19937 random(20261207);
  std::uniform_real_distribution<float> scale(0.05f, 0.95f), offset(-0.5f, 0.5f), angle(-180.0f, 180.0f);
  for (int run = 0; run < 20; ++run) {
    std::vector<Transform> placements = {Transform()};
    for (int i = 0; i < 40; ++i) {
      // Now and then a round angle or none, whose sine and cosine are special.
      const float turn = i % 7 == 3 ? 90.0f * static_cast<float>(i % 4) : i % 5 == 1 ? 0.0f : angle(random);
      placements.push_back(Transform{scale(random), offset(random), offset(random), turn});
    }
    ImageStack stack = MakeStack(placements);
    stack.BuildKeyframes();

    glMatrixMode(GL_MODELVIEW);
    glPushMatrix();
    glLoadIdentity();
    for (int i = 1; i < stack.count(); ++i) {
      const Transform& t = placements[static_cast<size_t>(i)];
      glTranslatef(t.translateX, t.translateY, 0.0f);
      glScalef(t.scale, t.scale, 1.0f);
      glRotatef(t.rotate, 0.0f, 0.0f, 1.0f);
      double gl[16];
      glGetDoublev(GL_MODELVIEW_MATRIX, gl);
      for (int k = 0; k < 16; ++k)
        ASSERT_EQ(stack.images[static_cast<size_t>(i)]->modelMatrix[k], gl[k])
            << "run " << run << " element " << i << " entry " << k;
      ASSERT_EQ(stack.keys[static_cast<size_t>(i)].x, static_cast<float>(-gl[12]));
      ASSERT_EQ(stack.keys[static_cast<size_t>(i)].y, static_cast<float>(-gl[13]));
    }
    glPopMatrix();
  }
  EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
}

TEST(ViewAtTime, StartIsIdentityAndEveryKeyShowsItsElementUpright) {
  ImageStack stack = MakeStack({Transform(), Transform{0.45f, 0.12f, -0.05f, 12.0f},
                                Transform{0.55f, -0.1f, 0.08f, -7.0f}, Transform{0.5f, 0.03f, 0.02f, 3.0f}});
  stack.BuildKeyframes();
  EXPECT_TRUE(Near(TableView(stack, 0.0f), Affine(), 1e-7));
  for (int i = 1; i < stack.count(); ++i)
    EXPECT_TRUE(
        Near(TableView(stack, stack.keys[static_cast<size_t>(i)].time) * Model(*stack.images[static_cast<size_t>(i)]),
             Affine(), 1e-4))
        << "element " << i;
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

// The keyframe tables of tests/data/keyframe-views.txt, which the web player's and the applet's
// tests read too, give the views written beside them.
TEST(ViewAtTime, SharedKeyframeTablesGiveTheirViews) {
  std::ifstream in(TV_TEST_DATA_DIR "/keyframe-views.txt");
  ASSERT_TRUE(in) << "keyframe-views.txt is missing";
  ImageStack stack;
  std::string line, table;
  int tables = 0, views = 0;
  while (std::getline(in, line)) {
    std::istringstream words(line);
    std::string kind;
    if (!(words >> kind) || kind[0] == '#') continue;
    if (kind == "table") {
      words >> table;
      stack.keys.clear();
      ++tables;
    } else if (kind == "key") {
      Keyframe k;
      words >> k.zoom >> k.logZoom >> k.x >> k.y >> k.rotate >> k.time >> k.logZoomSlope >> k.xSlope >> k.ySlope >>
          k.rotateSlope;
      ASSERT_TRUE(words) << line;
      stack.keys.push_back(k);
    } else {
      ASSERT_EQ(kind, "view") << line;
      float t = 0, want[4] = {};
      words >> t >> want[0] >> want[1] >> want[2] >> want[3];
      ASSERT_TRUE(words) << line;
      const ImageStack::View v = stack.ViewValuesAtTime(t);
      const float got[4] = {v.zoom, v.x, v.y, v.rotate};
      for (int c = 0; c < 4; ++c)
        EXPECT_NEAR(got[c], want[c], 1e-6 * std::max(1.0f, std::fabs(want[c])))
            << table << " t " << t << " channel " << c;
      ++views;
    }
  }
  EXPECT_EQ(tables, 5);
  EXPECT_GE(views, 110);
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
      EXPECT_TRUE(stack.CurrentTimeline().ViewAt(t).toView.IsFinite()) << "stack " << n << " t " << t;
    }
  }
}

// The anchor's view carried back to the first picture's frame: toView * P(anchor)^-1 * ... * P(1)^-1.
Affine FromFirstPicture(const Timeline& timeline, const RelativeView& view) {
  Affine m = view.toView;
  for (int i = view.anchor; i >= 1; --i) m = m * timeline.Placement(i).Inverse();
  return m;
}

// For stacks the keyframe table holds well, the relative timeline shows what the table shows.
TEST(Timeline, AgreesWithTheKeyframeTable) {
  const Transform half{0.5f, 0, 0, 0};
  const std::vector<std::vector<Transform>> stacks = {
      {Transform(), half, half, half},
      {Transform(), Transform{0.45f, 0.12f, -0.05f, 12.0f}, Transform{0.55f, -0.1f, 0.08f, -7.0f},
       Transform{0.5f, 0.03f, 0.02f, 3.0f}, Transform{0.3f, -0.2f, -0.1f, 170.0f}, Transform{0.6f, 0.1f, 0.1f, -45}},
  };
  for (size_t n = 0; n < stacks.size(); ++n) {
    ImageStack stack = MakeStack(stacks[n]);
    const Timeline& timeline = stack.CurrentTimeline();
    EXPECT_FALSE(stack.dirty);
    ASSERT_EQ(stack.keyCount(), stack.count());
    ASSERT_EQ(timeline.count(), stack.count());
    for (int k = 0; k <= 200; ++k) {
      const float t = static_cast<float>(k) / 200.0f;
      const Affine table = TableView(stack, t);
      EXPECT_TRUE(Near(FromFirstPicture(timeline, timeline.ViewAt(t)), table, 1e-4 * table.LengthScale()))
          << "stack " << n << " t " << t;
    }
  }
}

TEST(Timeline, AnEditedStackIsRebuiltAtItsNextUse) {
  const Transform half{0.5f, 0, 0, 0};
  ImageStack stack = MakeStack({Transform(), half, half, half});
  const Timeline& timeline = stack.CurrentTimeline();
  EXPECT_NEAR(FromFirstPicture(timeline, timeline.ViewAt(1.0)).LengthScale(), 8, 1e-9);
  stack.images[1]->transform.scale = 0.25f;  // as a drag step leaves it
  stack.dirty = true;
  const Timeline& rebuilt = stack.CurrentTimeline();
  EXPECT_NEAR(FromFirstPicture(rebuilt, rebuilt.ViewAt(1.0)).LengthScale(), 16, 1e-9);
  EXPECT_FLOAT_EQ(stack.keys.back().zoom, 16.0f);
  EXPECT_FALSE(stack.dirty);
}

// 2^1000 is beyond doubles, let alone the table's floats; relative to its anchor the view is as
// exact at the end as at the start.
TEST(Timeline, AThousandHalvingsStayExact) {
  std::vector<Transform> placements(1001, Transform{0.5f, 0.1f, 0.05f, 3.0f});
  placements[0] = Transform();
  ImageStack stack = MakeStack(placements);
  const Timeline& timeline = stack.CurrentTimeline();
  for (const double t : {0.0, 0.3, 0.5, 0.9, 0.999, 1.0}) {
    const RelativeView view = timeline.ViewAt(t);
    EXPECT_TRUE(view.toView.IsFinite() && view.toView.LengthScale() > 0.1 && view.toView.LengthScale() < 10)
        << "t " << t;
  }
  // At element i's key time, element i fills the view upright: its frame is the view's.
  for (int i = 0; i < timeline.count(); ++i) {
    const RelativeView view = timeline.ViewAt(timeline.KeyTime(i));
    ASSERT_LE(view.anchor, i);
    Affine m = view.toView;
    for (int j = view.anchor + 1; j <= i; ++j) m = m * timeline.Placement(j);
    ASSERT_TRUE(Near(m, Affine(), 1e-9)) << "element " << i << " anchor " << view.anchor;
  }
}

const std::vector<Transform> turningLoop = {Transform(), Transform{0.45f, 0.12f, -0.05f, 12.0f},
                                            Transform{0.25f, -0.1f, 0.08f, -7.0f}, Transform{0.5f, 0.03f, 0.02f, 3.0f},
                                            Transform{0.6f, 0.1f, -0.1f, 20.0f}};

double TotalLogZoom(const std::vector<Transform>& placements) {
  double total = 0;
  for (size_t i = 1; i < placements.size(); ++i) total -= std::log(static_cast<double>(placements[i].scale));
  return total;
}

// Steady, the logarithm of the zoom grows at one rate from the start to the end (there and back
// as endlessly), and the keyframe table of the data file describes the same views.
TEST(Timeline, SteadyPaceTakesEveryDoublingInTheSameTime) {
  const double total = TotalLogZoom(turningLoop);
  for (const PlayMode play : {PlayMode::ThereAndBack, PlayMode::Endless}) {
    ImageStack stack = MakeStack(turningLoop);
    stack.playSettings = {play, Pace::Steady};
    const Timeline& timeline = stack.CurrentTimeline();
    for (int k = 0; k < 200; ++k) {
      const double t = k / 200.0;
      const Affine view = FromFirstPicture(timeline, timeline.ViewAt(t));
      EXPECT_NEAR(std::log(view.LengthScale()), t * total, 1e-9) << "t " << t;
      const Affine table = TableView(stack, static_cast<float>(t));
      EXPECT_TRUE(Near(view, table, 1e-4 * table.LengthScale())) << "t " << t;
    }
  }
}

// An endless zoom runs on through the seam. Each step of time adds the same zoom across it; the
// view of the picture at the seam (the target frame, which is the next pass's first picture)
// arrives at the first frame and moves on at the speed it arrived with, turning and sliding as
// well as zooming; a pass thousands of passes on shows the same views.
TEST(Timeline, AnEndlessZoomRunsOnThroughTheSeam) {
  ImageStack stack = MakeStack(turningLoop);
  stack.playSettings.play = PlayMode::Endless;  // and so steady, whatever the pace says
  const Timeline& timeline = stack.CurrentTimeline();
  const double total = TotalLogZoom(turningLoop);
  const auto logZoom = [&](double t) {
    return std::floor(t) * total + std::log(FromFirstPicture(timeline, timeline.ViewAt(t)).LengthScale());
  };
  for (int k = 0; k < 40; ++k) {
    const double t = 0.9 + 0.005 * k;
    EXPECT_NEAR(logZoom(t + 0.005) - logZoom(t), 0.005 * total, 1e-9) << "t " << t;
  }

  const int seam = timeline.count() - 1;
  const auto seamView = [&](double t) {
    const RelativeView view = timeline.ViewAt(t);
    if (t >= 1) return FromFirstPicture(timeline, view);
    Affine m = view.toView;
    for (int j = view.anchor + 1; j <= seam; ++j) m = m * timeline.Placement(j);
    return m;
  };
  const double h = 1e-6;
  const Affine before = seamView(1 - h), at = seamView(1), after = seamView(1 + h);
  EXPECT_TRUE(Near(at, Affine(), 1e-12));
  const double b[6] = {before.a, before.b, before.c, before.d, before.tx, before.ty};
  const double a[6] = {after.a, after.b, after.c, after.d, after.tx, after.ty};
  const double s[6] = {at.a, at.b, at.c, at.d, at.tx, at.ty};
  for (int e = 0; e < 6; ++e) {
    const double arriving = (s[e] - b[e]) / h, leaving = (a[e] - s[e]) / h;
    EXPECT_NEAR(arriving, leaving, 1e-3 * (1 + std::fabs(arriving))) << "entry " << e;
  }
  EXPECT_GT(std::fabs((after.tx - at.tx) / h), 1e-3);  // the loop does slide through the seam

  for (const double t : {0.0, 0.3, 0.77, 0.999}) {
    const RelativeView near = timeline.ViewAt(t), far = timeline.ViewAt(t + 5000);
    EXPECT_EQ(near.anchor, far.anchor);
    EXPECT_TRUE(Near(near.toView, far.toView, 1e-9)) << "t " << t;
  }
}

// The timeline needs the placements only: built from them alone it is the stack's own.
TEST(Timeline, BuiltFromThePlacementsAloneIsTheStacks) {
  const std::vector<Transform> placements = {Transform(), Transform{0.45f, 0.12f, -0.05f, 12.0f},
                                             Transform{0.55f, -0.1f, 0.08f, -7.0f}, Transform{0.3f, 0.2f, 0.1f, 170}};
  ImageStack stack = MakeStack(placements);
  const Timeline& fromStack = stack.CurrentTimeline();
  Timeline alone;
  alone.Build(placements);
  ASSERT_EQ(alone.count(), fromStack.count());
  for (int i = 0; i < alone.count(); ++i) {
    EXPECT_EQ(alone.KeyTime(i), fromStack.KeyTime(i)) << i;
    EXPECT_TRUE(Near(alone.Placement(i), fromStack.Placement(i), 0)) << i;
  }
  for (const double t : {0.0, 0.25, 0.6, 1.0}) {
    EXPECT_EQ(alone.ViewAt(t).anchor, fromStack.ViewAt(t).anchor) << t;
    EXPECT_TRUE(Near(alone.ViewAt(t).toView, fromStack.ViewAt(t).toView, 0)) << t;
  }
}

// Hand-edited files can hold placements that are zero or not numbers: such an element sits at
// its parent's size, centred and upright, and every view stays finite.
TEST(Timeline, UnusablePlacementsAreDrawnAtTheParentsSize) {
  const float nan = std::numeric_limits<float>::quiet_NaN(), inf = std::numeric_limits<float>::infinity();
  Timeline timeline;
  timeline.Build({Transform(), Transform{0.0f, nan, inf, nan}, Transform{nan, 0, 0, 0}, Transform{0.5f, 0, 0, 0}});
  ASSERT_EQ(timeline.count(), 4);
  EXPECT_TRUE(Near(timeline.Placement(1), Affine(), 0));
  EXPECT_TRUE(Near(timeline.Placement(2), Affine(), 0));
  for (int k = 0; k <= 20; ++k) EXPECT_TRUE(timeline.ViewAt(k / 20.0).toView.IsFinite()) << k;
}

}  // namespace
