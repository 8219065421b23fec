// Pictures drawn with their colour corrections: a picture whose file differs in tone from its
// parent, drawn with the correction that undoes the difference, gives the frames of the zoom
// without it.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <functional>
#include <memory>
#include <vector>

#include "DrawTest.h"
#include "Imagestack.h"
#include "Renderer.h"
#include "VideoJob.h"

namespace {

using namespace drawtest;

// Smooth, and dark enough that 30 % brighter clips nowhere.
Colour Scene(int x, int y, int side) {
  const double u = static_cast<double>(x) / side, v = static_cast<double>(y) / side;
  return {static_cast<int>(40 + 140 * u), static_cast<int>(60 + 100 * v), static_cast<int>(170 - 90 * u * v)};
}

int Level(double v) { return std::clamp(static_cast<int>(std::lround(v)), 0, 255); }

// Three pictures of one scene, each the middle half of its parent at twice the pixels; `tone`
// changes picture i's pixels as a camera might have.
ImageStack Zoom(const std::function<Colour(int, Colour)>& tone) {
  const int side = 256;
  std::vector<std::unique_ptr<Image>> elements;
  for (int i = 0; i < 3; ++i) {
    const double scale = std::pow(0.5, i), start = side * (1 - scale) / 2;
    elements.push_back(Picture(
        side, side,
        [&](int x, int y) {
          return tone(i, Scene(static_cast<int>(start + x * scale), static_cast<int>(start + y * scale), side));
        },
        i ? Transform{0.5f, 0, 0, 0} : Transform()));
  }
  elements.push_back(Target(side, side, {0.5f, 0, 0, 0}));
  return Stack(std::move(elements));
}

using Tones = DrawTest;

TEST_F(Tones, ACorrectionUndoesAPicturesDifferenceInEveryDrawing) {
  ImageStack plain = Zoom([](int, Colour c) { return c; });
  // Picture 1 30 % brighter; picture 2 with a cast and lifted blacks (red x 0.85 + 12, blue x 1.15).
  const auto changed = [](int i, Colour c) {
    if (i == 1) return Colour{Level(c.r * 1.3), Level(c.g * 1.3), Level(c.b * 1.3)};
    if (i == 2) return Colour{Level(c.r * 0.85 + 12), c.g, Level(c.b * 1.15)};
    return c;
  };
  ImageStack uncorrected = Zoom(changed);
  ImageStack corrected = Zoom(changed);
  corrected.images[1]->colour.gain = {1 / 1.3f, 1 / 1.3f, 1 / 1.3f};
  corrected.images[2]->colour = ColourCorrection{{1 / 0.85f, 1, 1 / 1.15f}, {-12 / (0.85f * 255), 0, 0}};
  // The copy a video or page export draws from keeps the corrections.
  const std::unique_ptr<ImageStack> copy = CopyForDrawing(corrected);

  Renderer renderer(Waiting());
  const auto frame = [&](ImageStack& stack, double t) {
    renderer.DrawZoom(stack, t, View(320, 240, 256, 256));
    return Read();
  };
  for (double t : {0.3, 0.6, 0.9}) {
    SCOPED_TRACE(t);
    const Frame truth = frame(plain, t);
    EXPECT_LE(frame(corrected, t).MeanDifference(truth), 1.0);
    EXPECT_LE(frame(*copy, t).MeanDifference(truth), 1.0);
    EXPECT_GE(frame(uncorrected, t).MeanDifference(truth), 5.0);
  }
  // The alignment view too: picture 1 with picture 2 at 60 % over it.
  const auto edit = [&](ImageStack& stack) {
    renderer.DrawEditView(stack, 1, Transform(), View(256, 256, 256, 256));
    return Read();
  };
  const Frame truth = edit(plain);
  EXPECT_LE(edit(corrected).MeanDifference(truth, 20), 1.0);
  EXPECT_GE(edit(uncorrected).MeanDifference(truth, 20), 5.0);
}

// A correction that overshoots is clamped where it is drawn, before the faded border blends it.
TEST_F(Tones, CorrectedValuesAreClampedBeforeTheBlend) {
  ImageStack stack = StackOf(Solid(200, 200, {100, 100, 100}), Solid(200, 200, {200, 100, 10}, {0.5f, 0, 0, 0}),
                             Target(200, 200, {0.5f, 0, 0, 0}));
  stack.images[1]->colour = ColourCorrection{{2, 1, 1}, {0, 0, -0.5f}};
  Renderer renderer(Waiting());
  renderer.DrawZoom(stack, 0, View(200, 200, 200, 200));
  EXPECT_TRUE(Near(Read(), 100, 100, Colour{255, 100, 0}, 3));
}

// A correction that darkens white keeps what the file has at white there, near white just below,
// and its line further down (the lift's knee only reaches the top few levels); the drawing is
// the C++ reference's, which the export's copies and the page's tables use too.
TEST_F(Tones, AClippedChannelStaysWhiteAfterAGainBelowOne) {
  const ColourCorrection darker{{0.8f, 0.9f, 1.0f}, {0.0f, 0.0f, -0.1f}};
  const Colour file[] = {{255, 255, 255}, {253, 254, 252}, {240, 200, 230}};
  Renderer renderer(Waiting());
  for (const Colour& c : file) {
    SCOPED_TRACE(::testing::Message() << c.r << " " << c.g << " " << c.b);
    ImageStack stack = StackOf(Solid(200, 200, {100, 100, 100}), Solid(200, 200, c, {0.5f, 0, 0, 0}),
                               Target(200, 200, {0.5f, 0, 0, 0}));
    stack.images[1]->colour = darker;
    renderer.DrawZoom(stack, 0, View(200, 200, 200, 200));
    const auto drawn = [&](int ch, int v) { return Level(255 * darker.Apply(ch, v / 255.0f)); };
    const Colour expected{drawn(0, c.r), drawn(1, c.g), drawn(2, c.b)};
    EXPECT_TRUE(Near(Read(), 100, 100, expected, 2));
    if (c.r == 255) {
      EXPECT_EQ(expected.r + expected.g + expected.b, 3 * 255);
    }
  }
  // Along the knee every level is drawn no darker than the one below, and no brighter than the
  // line plus what white lacks; under it, the line itself.
  for (int v = 1; v < 256; ++v) {
    EXPECT_GE(darker.Apply(0, v / 255.0f), darker.Apply(0, (v - 1) / 255.0f)) << v;
    EXPECT_LE(darker.Apply(0, v / 255.0f), 0.8f * v / 255.0f + 0.2f + 1e-6f) << v;
  }
  EXPECT_FLOAT_EQ(darker.Apply(0, 240 / 255.0f), 0.8f * 240 / 255.0f);
  EXPECT_FLOAT_EQ(ColourCorrection().Apply(1, 250 / 255.0f), 250 / 255.0f);
}

}  // namespace
