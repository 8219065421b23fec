// The two drawings of the stack, checked on the pixels they leave in a real colour buffer.

#include "Renderer.h"

#include <GL/gl.h>
#include <gtest/gtest.h>

#include <QImage>
#include <climits>
#include <cmath>
#include <memory>
#include <vector>

#include "DrawTest.h"
#include "EditView.h"
#include "Imagestack.h"

namespace {

using namespace drawtest;

const Colour red{230, 30, 30};
const Colour green{30, 200, 40};
const Colour blue{20, 40, 220};
const Colour yellow{230, 220, 20};
const Colour teal{40, 160, 90};

// Picture quadrants as seen upright: top-left, top-right, bottom-left, bottom-right.
Colour Quadrant(bool right, bool top) { return top ? (right ? green : red) : (right ? yellow : blue); }

std::unique_ptr<Image> Quadrants(int width, int height, const Transform& placement = Transform()) {
  return Picture(
      width, height, [=](int x, int y) { return Quadrant(2 * x >= width, 2 * y < height); }, placement);
}

// The editor's handle sprite recognisable on screen: scale half blue, rotation half magenta.
QImage HandleSprite() {
  QImage sprite(32, 16, QImage::Format_ARGB32);
  for (int y = 0; y < 16; ++y)
    for (int x = 0; x < 32; ++x) sprite.setPixel(x, y, x < 16 ? qRgba(0, 0, 255, 255) : qRgba(255, 0, 255, 255));
  return sprite;
}

RendererOptions WithHandles() {
  RendererOptions options = Waiting();
  options.handleSprite = HandleSprite();
  return options;
}

bool IsHandleBlue(Colour c) { return c.b > 200 && c.r < 60 && c.g < 60; }
bool IsHandleMagenta(Colour c) { return c.r > 200 && c.b > 200 && c.g < 60; }
bool IsOutlineRed(Colour c) { return c.r > 200 && c.g < 60 && c.b < 60; }
bool IsNotClear(Colour c) { return c.r != 64 || c.g != 64 || c.b != 64; }

// The first picture's zoom at time t, from the view relative to its anchor.
double ZoomAt(ImageStack& stack, double t) {
  const Timeline& timeline = stack.CurrentTimeline();
  const RelativeView view = timeline.ViewAt(t);
  double zoom = view.toView.LengthScale();
  for (int k = view.anchor; k >= 1; --k) zoom /= timeline.Placement(k).LengthScale();
  return zoom;
}

// The time at which the first picture's zoom reaches `zoom`, for stacks whose zoom grows steadily.
double TimeAtZoom(ImageStack& stack, double zoom) {
  double low = 0, high = 1;
  for (int k = 0; k < 60; ++k) {
    const double middle = (low + high) / 2;
    (ZoomAt(stack, middle) < zoom ? low : high) = middle;
  }
  return (low + high) / 2;
}

using Render = DrawTest;

TEST_F(Render, AtTimeZeroTheFirstPictureFillsItsConstrainingAxis) {
  Renderer renderer(Waiting());
  {
    // 200 x 100 in a square view: full width, rows 64 .. 192, grey above and below.
    ImageStack stack = StackOf(Quadrants(200, 100), Target(200, 100, {0.5f, 0, 0, 0}));
    renderer.DrawZoom(stack, 0, View(256, 256, 200, 100));
    const Frame f = Read();
    EXPECT_TRUE(Near(f, 2, 180, red));
    EXPECT_TRUE(Near(f, 253, 180, green));
    EXPECT_TRUE(Near(f, 2, 68, blue));
    EXPECT_TRUE(Near(f, 253, 68, yellow));
    EXPECT_TRUE(Near(f, 124, 150, red));  // the picture's middle at the view's
    EXPECT_TRUE(Near(f, 132, 150, green));
    for (int x : {0, 100, 255}) {
      EXPECT_TRUE(Near(f, x, 60, clearGrey, 1));
      EXPECT_TRUE(Near(f, x, 196, clearGrey, 1));
      EXPECT_TRUE(Near(f, x, 0, clearGrey, 1));
      EXPECT_TRUE(Near(f, x, 255, clearGrey, 1));
    }
  }
  {
    // A square picture in a wide view: full height, columns 64 .. 192.
    ImageStack stack = StackOf(Quadrants(100, 100), Target(100, 100, {0.5f, 0, 0, 0}));
    renderer.DrawZoom(stack, 0, View(256, 128, 100, 100));
    const Frame f = Read();
    EXPECT_TRUE(Near(f, 68, 125, red));
    EXPECT_TRUE(Near(f, 188, 125, green));
    EXPECT_TRUE(Near(f, 68, 2, blue));
    EXPECT_TRUE(Near(f, 188, 2, yellow));
    for (int y : {0, 64, 127}) {
      EXPECT_TRUE(Near(f, 60, y, clearGrey, 1));
      EXPECT_TRUE(Near(f, 196, y, clearGrey, 1));
    }
  }
}

// At t = 1 the view is the target frame's: each pixel shows the quadrant of the last picture
// that the target frame's placement puts under it.
TEST_F(Render, AtTimeOneTheTargetFramesRegionOfTheLastPictureFillsTheView) {
  const Transform shifted{0.5f, 0.1f, 0.1f, 0.0f};  // the quadrant corner at 30 % of the view
  const Transform turned{0.5f, 0.0f, 0.0f, 90.0f};  // the view turned a quarter
  ImageStack stack =
      StackOf(Solid(200, 200, teal), Quadrants(200, 200, {0.5f, 0.1f, -0.05f, 20.0f}), Target(200, 200, shifted));
  Renderer renderer(Waiting());
  for (const Transform& target : {shifted, turned}) {
    SCOPED_TRACE(target.rotate);
    stack.images[2]->transform = target;
    stack.dirty = true;
    renderer.DrawZoom(stack, 1, View(256, 256, 200, 200));
    const Frame f = Read();
    const double a = target.rotate * 3.14159265358979323846 / 180, c = std::cos(a), s = std::sin(a);
    int checked = 0, wrong = 0;
    for (int y = 0; y < 256; ++y)
      for (int x = 0; x < 256; ++x) {
        const double u = (x + 0.5) / 256 - 0.5, v = (y + 0.5) / 256 - 0.5;
        const double px = target.translateX + target.scale * (c * u - s * v);
        const double py = target.translateY + target.scale * (s * u + c * v);
        if (std::fabs(px) < 0.01 || std::fabs(py) < 0.01) continue;  // filtered across the split
        ++checked;
        if (!Near(f, x, y, Quadrant(px > 0, py > 0)) && ++wrong <= 5)
          ADD_FAILURE() << Near(f, x, y, Quadrant(px > 0, py > 0)).message();
      }
    EXPECT_GT(checked, 60000);
    EXPECT_EQ(wrong, 0);
  }
}

// The probed picture is red, its successor green; pictures before it are yellow, all at half the
// size of their parent; a tiny blue picture lies innermost. Whether red was drawn shows in the
// count of pictures drawn, and where the view's corners fall outside green's core, in the pixels.
TEST_F(Render, APictureIsSkippedExactlyWhenItsSuccessorsOpaqueCoreCoversTheView) {
  for (int probed : {0, 1}) {
    SCOPED_TRACE(probed);
    std::vector<std::unique_ptr<Image>> elements;
    const Transform half{0.5f, 0, 0, 0};
    for (int level = 0; level < probed; ++level)
      elements.push_back(Solid(200, 200, yellow, level ? half : Transform()));
    elements.push_back(Solid(200, 200, red, probed ? half : Transform()));
    elements.push_back(Solid(200, 200, green, half));
    elements.push_back(Solid(200, 200, blue, {0.05f, 0, 0, 0}));
    elements.push_back(Target(200, 200, {0.9f, 0, 0, 0}));
    ImageStack stack = Stack(std::move(elements));
    Renderer renderer(Waiting());
    struct Case {
      double zoom;
      bool drawn;
    };
    // The successor spans +-0.25 / 2^probed in the first picture, its opaque core +-0.2 / 2^probed,
    // and the view's corners lie at +-0.5 / zoom: on the successor's edge for 2.0, in its faded
    // band for 2.4, inside its core for 2.6 and 8 (times 2^probed).
    const double scale = probed ? 2.0 : 1.0;
    for (const Case& k : {Case{2.0, true}, Case{2.4, true}, Case{2.6, false}, Case{8.0, false}}) {
      SCOPED_TRACE(k.zoom);
      const double t = TimeAtZoom(stack, k.zoom * scale);
      ASSERT_NEAR(ZoomAt(stack, t), k.zoom * scale, 1e-6);
      renderer.DrawZoom(stack, t, View(256, 256, 200, 200));
      EXPECT_EQ(renderer.PicturesDrawn(), k.drawn ? 3 : 2);  // red or not, green, blue; never yellow
      const Frame f = Read();
      for (int x : {0, 255})
        for (int y : {0, 255}) {
          const Colour c = f.At(x, y);
          if (k.zoom == 2.0)
            EXPECT_TRUE(Near(f, x, y, red, 12));
          else if (k.drawn)
            EXPECT_GT(c.r, green.r + 20) << c;  // red through green's faded band
          else
            EXPECT_TRUE(Near(f, x, y, green));
        }
    }
    // The innermost picture is drawn however small: at t = 0 it is a few pixels wide.
    renderer.DrawZoom(stack, 0, View(256, 256, 200, 200));
    const Frame f = Read();
    const Colour middle = f.At(128, 128);
    EXPECT_GT(middle.b, 150) << middle;
    EXPECT_LT(middle.r, 100) << middle;
    EXPECT_TRUE(Near(f, 128, 150, green));
    EXPECT_TRUE(Near(f, 128, 250, probed ? yellow : red));
  }
}

// A target frame larger than the last picture zooms back out at the end; where the view lies
// deep inside the target frame's core, the last picture must still be drawn.
TEST_F(Render, TheInnermostPictureIsDrawnEvenInsideTheTargetFrame) {
  ImageStack stack =
      StackOf(Solid(200, 200, red), Solid(200, 200, blue, {0.25f, 0, 0, 0}), Target(200, 200, {3.0f, 0, 0, 0}));
  const double t = stack.CurrentTimeline().KeyTime(1);
  ASSERT_NEAR(ZoomAt(stack, t), 4.0, 1e-6);  // the last picture fills the view
  Renderer renderer(Waiting());
  renderer.DrawZoom(stack, t, View(256, 256, 200, 200));
  EXPECT_TRUE(Near(Read(), 128, 128, blue));
}

TEST_F(Render, OnePictureIsDrawnAloneAndUnblended) {
  ImageStack stack = StackOf(Solid(200, 200, red), Target(200, 200, {0.5f, 0, 0, 0}));
  Renderer renderer(Waiting());
  glEnable(GL_BLEND);
  glDisable(GL_TEXTURE_2D);
  glColor4f(0.2f, 0.3f, 0.4f, 0.5f);
  renderer.DrawZoom(stack, 0, View(256, 256, 200, 200));
  EXPECT_EQ(renderer.PicturesDrawn(), 1);
  // Texturing and the colour are left as the view expects them.
  EXPECT_TRUE(glIsEnabled(GL_TEXTURE_2D));
  GLfloat colour[4];
  glGetFloatv(GL_CURRENT_COLOR, colour);
  for (GLfloat channel : colour) EXPECT_EQ(channel, 1.0f);
  // The faded border keeps the picture's colour instead of fading into the clear grey.
  Frame f = Read();
  for (int k : {2, 128, 253}) {
    EXPECT_TRUE(Near(f, 2, k, red, 12));
    EXPECT_TRUE(Near(f, 253, k, red, 12));
    EXPECT_TRUE(Near(f, k, 2, red, 12));
    EXPECT_TRUE(Near(f, k, 253, red, 12));
  }
  // At t = 1 the view is the target frame, which is never drawn itself (it would be white).
  renderer.DrawZoom(stack, 1, View(256, 256, 200, 200));
  f = Read();
  EXPECT_EQ(f.CountAll([](Colour c) { return c.r < 200 || c.g > 60 || c.b > 60; }), 0);
}

TEST_F(Render, DrawingWithNothingToDrawLeavesTheViewClear) {
  Renderer renderer(Waiting());
  const ViewGeometry view = View(256, 256, 200, 200);
  ImageStack empty;
  renderer.DrawZoom(empty, 0.5, view);
  EXPECT_EQ(renderer.PicturesDrawn(), 0);
  ImageStack targetOnly = StackOf(Target(200, 200, Transform()));
  renderer.DrawZoom(targetOnly, 0.5, view);
  EXPECT_EQ(renderer.PicturesDrawn(), 0);
  EXPECT_EQ(Read().CountAll(IsNotClear), 0);
}

TEST_F(Render, TheTimelineIsRebuiltOnlyWhenDirty) {
  ImageStack stack = StackOf(Quadrants(200, 200), Target(200, 200, {0.5f, 0, 0, 0}));
  ASSERT_TRUE(stack.dirty);
  Renderer renderer(Waiting());
  renderer.DrawZoom(stack, 1, View(256, 256, 200, 200));
  EXPECT_FALSE(stack.dirty);
  ASSERT_EQ(stack.keyCount(), 2);
  const Frame before = Read();
  EXPECT_TRUE(Near(before, 64, 192, red));
  EXPECT_TRUE(Near(before, 192, 64, yellow));

  // A placement changed behind the stack's back: the old view stays.
  stack.images[1]->transform = {0.25f, 0.2f, 0.2f, 0.0f};
  renderer.DrawZoom(stack, 1, View(256, 256, 200, 200));
  EXPECT_TRUE(Read() == before);
  EXPECT_EQ(stack.keys[1].x, 0.0f);
  EXPECT_EQ(stack.CurrentTimeline().Placement(1).tx, 0.0);

  // Marked as changed: the view moves to 0.075 .. 0.325 both ways, inside the green quadrant.
  stack.dirty = true;
  renderer.DrawZoom(stack, 1, View(256, 256, 200, 200));
  EXPECT_FALSE(stack.dirty);
  EXPECT_FLOAT_EQ(stack.keys[1].x, -0.2f);
  const Frame after = Read();
  for (int x : {2, 128, 253})
    for (int y : {2, 128, 253}) EXPECT_TRUE(Near(after, x, y, green));
}

TEST_F(Render, EditViewOutsideThePicturesDrawsNothing) {
  ImageStack stack =
      StackOf(Solid(200, 200, red), Solid(200, 200, blue, {0.5f, 0, 0, 0}), Target(200, 200, {0.5f, 0, 0, 0}));
  Renderer renderer(WithHandles());
  const ViewGeometry view = View(256, 256, 200, 200);
  for (int i : {-1, 2, 3, INT_MIN, INT_MAX}) EXPECT_FALSE(renderer.DrawEditView(stack, i, Transform(), view)) << i;
  ImageStack empty;
  EXPECT_FALSE(renderer.DrawEditView(empty, 0, Transform(), view));
  EXPECT_EQ(Read().CountAll(IsNotClear), 0);
}

// The red outline, found within a few pixels of where it should run.
bool OutlineNear(const Frame& f, int x0, int y0, int x1, int y1) {
  return f.CountIn(x0, y0, x1, y1, IsOutlineRed).n > 0;
}

TEST_F(Render, EditViewOfTheLastPictureOutlinesTheTargetFrameWithoutFilling) {
  ImageStack stack = StackOf(Solid(200, 200, teal), Target(200, 200, {0.5f, 0, 0, 0}));
  Renderer renderer(WithHandles());
  EXPECT_TRUE(renderer.DrawEditView(stack, 0, Transform(), View(256, 256, 200, 200)));
  const Frame f = Read();
  // The target frame spans 64 .. 192 both ways; rows and columns clear of the handles.
  for (int k : {80, 100, 160}) {
    EXPECT_TRUE(OutlineNear(f, 61, k, 67, k)) << "left edge at row " << k;
    EXPECT_TRUE(OutlineNear(f, 189, k, 195, k)) << "right edge at row " << k;
    EXPECT_TRUE(OutlineNear(f, k, 189, k, 195)) << "top edge at column " << k;
    EXPECT_TRUE(OutlineNear(f, k, 61, k, 67)) << "bottom edge at column " << k;
  }
  // Inside and outside the outline the picture is as it was, its faded border unblended.
  for (int k : {2, 70, 100, 128, 150, 180, 253}) {
    EXPECT_TRUE(Near(f, k, 128 + (k % 2), teal, 10));
    EXPECT_TRUE(Near(f, 128 + (k % 2), k, teal, 10));
  }
  EXPECT_EQ(f.CountIn(184, 184, 199, 199, IsHandleBlue).n, 256);     // scale handle at (192, 192)
  EXPECT_EQ(f.CountIn(184, 120, 199, 135, IsHandleMagenta).n, 256);  // rotation handle at (192, 128)
}

// Two framebuffer pixels per logical pixel: handles and outline twice as large, so they look the
// same as on an ordinary screen.
TEST_F(Render, HandlesAndOutlineGrowWithThePixelRatio) {
  ImageStack stack = StackOf(Solid(200, 200, teal), Target(200, 200, {0.5f, 0, 0, 0}));
  Renderer renderer(WithHandles());
  ViewGeometry view = View(256, 256, 200, 200);
  view.pixelRatio = 2;
  EXPECT_TRUE(renderer.DrawEditView(stack, 0, Transform(), view));
  const Frame f = Read();
  EXPECT_EQ(f.CountIn(176, 176, 207, 207, IsHandleBlue).n, 1024);  // 32 x 32 about (192, 192)
  EXPECT_EQ(f.CountIn(60, 100, 68, 100, IsOutlineRed).n, 2);       // the left edge, 2 pixels wide
}

TEST_F(Render, EditViewShowsAPictureChildAtSixtyPercent) {
  const Colour a{200, 40, 40}, b{40, 40, 200};
  ImageStack stack =
      StackOf(Solid(200, 200, a), Solid(200, 200, b, {0.5f, 0, 0, 0}), Target(200, 200, {0.5f, 0, 0, 0}));
  Renderer renderer(WithHandles());
  glEnable(GL_BLEND);
  EXPECT_TRUE(renderer.DrawEditView(stack, 0, Transform(), View(256, 256, 200, 200)));
  EXPECT_FALSE(glIsEnabled(GL_TEXTURE_2D));
  EXPECT_FALSE(glIsEnabled(GL_BLEND));
  const Frame f = Read();
  const Colour mixed{(6 * b.r + 4 * a.r) / 10, (6 * b.g + 4 * a.g) / 10, (6 * b.b + 4 * a.b) / 10};
  for (int x : {100, 128, 160}) EXPECT_TRUE(Near(f, x, 110, mixed, 4));
  for (int k : {1, 30, 226, 254}) {
    EXPECT_TRUE(Near(f, k, 100, a, 10));
    EXPECT_TRUE(Near(f, 100, k, a, 10));
  }
  // The child's faded border fades towards the picture behind it.
  EXPECT_TRUE(Near(f, 66, 110, a, 20));
  EXPECT_TRUE(OutlineNear(f, 61, 100, 67, 100));
  EXPECT_EQ(f.CountIn(184, 184, 199, 199, IsHandleBlue).n, 256);
  EXPECT_EQ(f.CountIn(184, 120, 199, 135, IsHandleMagenta).n, 256);
}

TEST_F(Render, HandlesAreSixteenPixelsSquareAtAnyZoom) {
  ImageStack stack = StackOf(Solid(200, 200, teal), Target(200, 200, {0.8f, 0, 0, 0}));
  Renderer renderer(WithHandles());
  for (float zoom : {0.25f, 1.0f, 4.0f}) {
    SCOPED_TRACE(zoom);
    // Panned so that the scale handle, the child's corner (0.4, 0.4), sits 20 pixels above the
    // middle of the view; the rotation handle lies 0.4 * zoom of the view's height below it.
    const float pan = 20.0f / (256.0f * zoom);
    const Transform viewTransform{zoom, -0.4f, -0.4f + pan, 0.0f};
    const ViewGeometry view = View(256, 256, 200, 200);
    double sx, sy, rx, ry;
    stack.ChildToWindow(view, viewTransform, 1, 0.5, 0.5, sx, sy);
    stack.ChildToWindow(view, viewTransform, 1, 0.5, 0.0, rx, ry);
    EXPECT_NEAR(sx, 128.0, 1e-3);
    EXPECT_NEAR(sy, 148.0, 1e-3);
    EXPECT_NEAR(rx, 128.0, 1e-3);
    EXPECT_NEAR(ry, 148.0 - zoom * 0.4 * 256, 1e-3);

    EXPECT_TRUE(renderer.DrawEditView(stack, 0, viewTransform, view));
    const Frame f = Read();
    auto checkHandle = [&](double px, double py, bool (*test)(Colour)) {
      const int x = static_cast<int>(std::lround(px)), y = static_cast<int>(std::lround(py));
      if (!f.Inside(x - 12, y - 12) || !f.Inside(x + 12, y + 12)) return false;
      const Frame::Count c = f.CountIn(x - 12, y - 12, x + 12, y + 12, test);
      EXPECT_EQ(c.n, 256);
      EXPECT_EQ(c.maxX - c.minX, 15);
      EXPECT_EQ(c.maxY - c.minY, 15);
      EXPECT_NEAR(c.minX, px - 8, 1.0);
      EXPECT_NEAR(c.minY, py - 8, 1.0);
      return true;
    };
    EXPECT_TRUE(checkHandle(sx, sy, IsHandleBlue));
    // Off the view at zoom 4, unless the zoom is ignored.
    EXPECT_EQ(checkHandle(rx, ry, IsHandleMagenta), zoom < 4);
  }
}

TEST_F(Render, ARotatedChildShowsItsHandlesOnItsUpperSide) {
  // Landscape child (extents 1 x 0.5) at half size, turned a quarter anticlockwise: on screen it
  // spans x +-0.125 and y +-0.25, so its upper side runs at row 192.
  ImageStack stack =
      StackOf(Solid(200, 200, teal), Solid(200, 100, yellow, {0.5f, 0, 0, 90.0f}), Target(200, 100, {0.5f, 0, 0, 0}));
  Renderer renderer(WithHandles());
  const ViewGeometry view = View(256, 256, 200, 200);
  double sx, sy, rx, ry;
  stack.ChildToWindow(view, Transform(), 1, 0.5, 0.25, sx, sy);
  stack.ChildToWindow(view, Transform(), 1, 0.5, 0.0, rx, ry);
  EXPECT_NEAR(rx, 128, 1e-3);
  EXPECT_NEAR(ry, 192, 1e-3);
  EXPECT_NEAR(sx, 96, 1e-3);
  EXPECT_NEAR(sy, 192, 1e-3);
  EXPECT_TRUE(renderer.DrawEditView(stack, 0, Transform(), view));
  const Frame f = Read();
  EXPECT_EQ(f.CountIn(120, 184, 135, 199, IsHandleMagenta).n, 256);
  EXPECT_EQ(f.CountIn(88, 184, 103, 199, IsHandleBlue).n, 256);
  EXPECT_EQ(f.CountIn(150, 0, 255, 255, IsHandleBlue).n + f.CountIn(150, 0, 255, 255, IsHandleMagenta).n, 0);
}

TEST(ResetView, UnzoomsAndCentresButKeepsTheTurn) {
  Transform view{3.5f, 0.25f, -0.125f, 30.0f};
  ResetView(view);
  EXPECT_EQ(view.scale, 1.0f);
  EXPECT_EQ(view.translateX, 0.0f);
  EXPECT_EQ(view.translateY, 0.0f);
  EXPECT_EQ(view.rotate, 30.0f);
}

}  // namespace
