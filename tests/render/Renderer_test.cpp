// The two drawings of the stack, checked on the pixels they leave in a real colour buffer.

#include <GL/gl.h>
#include <GL/glu.h>
#include <gtest/gtest.h>

#include <QImage>
#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdlib>
#include <functional>
#include <memory>
#include <ostream>
#include <vector>

#include "GlTestContext.h"
#include "GlViewTest.h"
#include "Imagestack.h"

namespace {

struct Colour {
  int r, g, b;
};

std::ostream& operator<<(std::ostream& out, const Colour& c) {
  return out << "(" << c.r << ", " << c.g << ", " << c.b << ")";
}

const Colour clearGrey{64, 64, 64};  // the editor's clear colour, 0.25
const Colour red{230, 30, 30};
const Colour green{30, 200, 40};
const Colour blue{20, 40, 220};
const Colour yellow{230, 220, 20};
const Colour teal{40, 160, 90};

// Picture quadrants as seen upright: top-left, top-right, bottom-left, bottom-right.
Colour Quadrant(bool right, bool top) { return top ? (right ? green : red) : (right ? yellow : blue); }

// A textured picture whose pixel (x, y), y = 0 at the top, is colour(x, y).
std::unique_ptr<Image> Picture(int width, int height, const std::function<Colour(int, int)>& colour,
                               const Transform& placement = Transform()) {
  auto image = std::make_unique<Image>();
  image->bitmap = QImage(width, height, QImage::Format_RGB888);
  for (int y = 0; y < height; ++y) {
    uchar* row = image->bitmap.scanLine(y);
    for (int x = 0; x < width; ++x) {
      const Colour c = colour(x, y);
      row[x * 3] = static_cast<uchar>(c.r);
      row[x * 3 + 1] = static_cast<uchar>(c.g);
      row[x * 3 + 2] = static_cast<uchar>(c.b);
    }
  }
  bool reduced = false;
  EXPECT_TRUE(image->CreateTexture(reduced));
  image->transform = placement;
  return image;
}

std::unique_ptr<Image> Solid(int width, int height, Colour c, const Transform& placement = Transform()) {
  return Picture(
      width, height, [c](int, int) { return c; }, placement);
}

std::unique_ptr<Image> Quadrants(int width, int height, const Transform& placement = Transform()) {
  return Picture(
      width, height, [=](int x, int y) { return Quadrant(2 * x >= width, 2 * y < height); }, placement);
}

// A picture that counts for coverage but leaves no mark: its texture is transparent throughout,
// so whatever lies behind it shows whether it was drawn.
std::unique_ptr<Image> Invisible(int width, int height, const Transform& placement) {
  QImage clear(width, height, QImage::Format_ARGB32);
  clear.fill(qRgba(255, 255, 255, 0));
  auto image = std::make_unique<Image>();
  image->CreateFromGraphic(clear);
  image->transform = placement;
  return image;
}

// The target frame takes the size of the last picture, as a new project gives it.
std::unique_ptr<Image> Target(int width, int height, const Transform& placement) {
  auto image = std::make_unique<Image>();
  image->width = width;
  image->height = height;
  image->transform = placement;
  return image;
}

ImageStack Stack(std::vector<std::unique_ptr<Image>> elements) {
  ImageStack stack;
  stack.images = std::move(elements);
  return stack;
}

template <typename... Elements>
ImageStack StackOf(Elements&&... elements) {
  std::vector<std::unique_ptr<Image>> list;
  (list.push_back(std::move(elements)), ...);
  return Stack(std::move(list));
}

// The editor's handle sprite recognisable on screen: scale half blue, rotation half magenta.
std::unique_ptr<Image> HandleSprite() {
  QImage sprite(32, 16, QImage::Format_ARGB32);
  for (int y = 0; y < 16; ++y)
    for (int x = 0; x < 32; ++x) sprite.setPixel(x, y, x < 16 ? qRgba(0, 0, 255, 255) : qRgba(255, 0, 255, 255));
  auto image = std::make_unique<Image>();
  image->CreateFromGraphic(sprite);
  return image;
}

bool IsHandleBlue(Colour c) { return c.b > 200 && c.r < 60 && c.g < 60; }
bool IsHandleMagenta(Colour c) { return c.r > 200 && c.b > 200 && c.g < 60; }
bool IsOutlineRed(Colour c) { return c.r > 200 && c.g < 60 && c.b < 60; }

// One read of the viewport's colour buffer.
class Frame {
 public:
  Frame(int width, int height) : width_(width), height_(height), pixels_(ReadPixels(0, 0, width, height)) {}
  int width() const { return width_; }
  int height() const { return height_; }
  bool Inside(int x, int y) const { return x >= 0 && y >= 0 && x < width_ && y < height_; }
  Colour At(int x, int y) const {
    const uint8_t* p = pixels_.data() + (static_cast<size_t>(y) * static_cast<size_t>(width_) + x) * 4;
    return {p[0], p[1], p[2]};
  }
  bool operator==(const Frame& other) const { return pixels_ == other.pixels_; }
  // Pixels of the box (x0..x1, y0..y1), clipped to the frame, that pass `test`, with their bounds.
  struct Count {
    int n = 0, minX = INT_MAX, maxX = INT_MIN, minY = INT_MAX, maxY = INT_MIN;
  };
  Count CountIn(int x0, int y0, int x1, int y1, const std::function<bool(Colour)>& test) const {
    Count c;
    for (int y = y0; y <= y1; ++y)
      for (int x = x0; x <= x1; ++x)
        if (Inside(x, y) && test(At(x, y))) {
          ++c.n;
          c.minX = std::min(c.minX, x), c.maxX = std::max(c.maxX, x);
          c.minY = std::min(c.minY, y), c.maxY = std::max(c.maxY, y);
        }
    return c;
  }

 private:
  int width_, height_;
  std::vector<uint8_t> pixels_;
};

::testing::AssertionResult Near(const Frame& frame, int x, int y, Colour expected, int tolerance = 6) {
  const Colour c = frame.At(x, y);
  if (std::abs(c.r - expected.r) <= tolerance && std::abs(c.g - expected.g) <= tolerance &&
      std::abs(c.b - expected.b) <= tolerance)
    return ::testing::AssertionSuccess();
  return ::testing::AssertionFailure() << "pixel (" << x << ", " << y << ") is " << c << ", expected " << expected;
}

GLint Integer(GLenum name) {
  GLint value = 0;
  glGetIntegerv(name, &value);
  return value;
}

void Matrix(GLenum name, double out[16]) { glGetDoublev(name, out); }

::testing::AssertionResult SameMatrix(const double a[16], const double b[16], double tolerance = 1e-6) {
  for (int k = 0; k < 16; ++k)
    if (std::fabs(a[k] - b[k]) > tolerance)
      return ::testing::AssertionFailure() << "element " << k << ": " << a[k] << " vs " << b[k];
  return ::testing::AssertionSuccess();
}

// Every test runs in the state the editor's view keeps (viewport, projection fitted to the first
// picture, depth test and lighting off, texturing on, alpha blend function, grey clear colour)
// and gives the shared context back as it found it.
class Render : public GlViewTest {
 protected:
  // The view for a first picture of firstWidth x firstHeight pixels, cleared.
  void View(int width, int height, int firstWidth, int firstHeight) {
    width_ = width;
    height_ = height;
    FitView(width, height, firstWidth, firstHeight);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
  }

  Frame Read() const { return Frame(width_, height_); }

  int width_ = glTestWidth, height_ = glTestHeight;
};

// The time at which the view's zoom reaches `zoom`, for stacks whose zoom grows steadily.
float TimeAtZoom(ImageStack& stack, float zoom) {
  stack.BuildKeyframes();
  float low = 0, high = 1;
  for (int k = 0; k < 40; ++k) {
    const float middle = (low + high) / 2;
    (stack.ViewValuesAtTime(middle).zoom < zoom ? low : high) = middle;
  }
  return (low + high) / 2;
}

TEST_F(Render, AtTimeZeroTheFirstPictureFillsItsConstrainingAxis) {
  {
    // 200 x 100 in a square view: full width, rows 64 .. 192, grey above and below.
    ImageStack stack = StackOf(Quadrants(200, 100), Target(200, 100, {0.5f, 0, 0, 0}));
    View(256, 256, 200, 100);
    EXPECT_TRUE(stack.DrawAtTime(0));
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
    View(256, 128, 100, 100);
    EXPECT_TRUE(stack.DrawAtTime(0));
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
  for (const Transform& target : {shifted, turned}) {
    SCOPED_TRACE(target.rotate);
    stack.images[2]->transform = target;
    stack.dirty = true;
    View(256, 256, 200, 200);
    EXPECT_TRUE(stack.DrawAtTime(1));
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

// The probed picture is red and its successor invisible: where the view's corners show red, the
// probed picture was drawn. Pictures before it are yellow, all at half the size of their parent;
// a tiny blue picture lies innermost.
TEST_F(Render, APictureIsSkippedExactlyWhenItsSuccessorsOpaqueCoreCoversTheView) {
  for (int probed : {0, 1}) {
    SCOPED_TRACE(probed);
    std::vector<std::unique_ptr<Image>> elements;
    const Transform half{0.5f, 0, 0, 0};
    for (int level = 0; level < probed; ++level)
      elements.push_back(Solid(200, 200, yellow, level ? half : Transform()));
    elements.push_back(Solid(200, 200, red, probed ? half : Transform()));
    elements.push_back(Invisible(200, 200, half));
    elements.push_back(Solid(200, 200, blue, {0.05f, 0, 0, 0}));
    elements.push_back(Target(200, 200, {0.9f, 0, 0, 0}));
    ImageStack stack = Stack(std::move(elements));
    struct Case {
      float zoom;
      bool drawn;
    };
    // The successor spans +-0.25 / 2^probed in the first picture, its opaque core +-0.2 / 2^probed,
    // and the view's corners lie at +-0.5 / zoom: on the successor's edge for 2.0, in its faded
    // band for 2.4, inside its core for 2.6 and 8 (times 2^probed).
    const float scale = probed ? 2.0f : 1.0f;
    for (const Case& k : {Case{2.0f, true}, Case{2.4f, true}, Case{2.6f, false}, Case{8.0f, false}}) {
      SCOPED_TRACE(k.zoom);
      const float t = TimeAtZoom(stack, k.zoom * scale);
      ASSERT_NEAR(stack.ViewValuesAtTime(t).zoom, k.zoom * scale, 1e-3f);
      View(256, 256, 200, 200);
      stack.DrawAtTime(t);
      const Frame f = Read();
      for (int x : {0, 255})
        for (int y : {0, 255}) EXPECT_TRUE(Near(f, x, y, k.drawn ? red : clearGrey));
    }
    // The innermost picture is drawn however small: at t = 0 it is a few pixels wide.
    View(256, 256, 200, 200);
    stack.DrawAtTime(0);
    const Frame f = Read();
    const Colour middle = f.At(128, 128);
    EXPECT_GT(middle.b, 150) << middle;
    EXPECT_LT(middle.r, 100) << middle;
    EXPECT_TRUE(Near(f, 128, 150, red));
    EXPECT_TRUE(Near(f, 128, 250, probed ? yellow : red));
  }
}

// A target frame larger than the last picture zooms back out at the end; where the view lies
// deep inside the target frame's core, the last picture must still be drawn.
TEST_F(Render, TheInnermostPictureIsDrawnEvenInsideTheTargetFrame) {
  ImageStack stack =
      StackOf(Solid(200, 200, red), Solid(200, 200, blue, {0.25f, 0, 0, 0}), Target(200, 200, {3.0f, 0, 0, 0}));
  stack.BuildKeyframes();
  const float t = stack.keys[1].time;
  ASSERT_NEAR(stack.ViewValuesAtTime(t).zoom, 4.0f, 1e-3f);  // the last picture fills the view
  View(256, 256, 200, 200);
  stack.DrawAtTime(t);
  EXPECT_TRUE(Near(Read(), 128, 128, blue));
}

TEST_F(Render, OnePictureIsDrawnAloneAndUnblended) {
  ImageStack stack = StackOf(Solid(200, 200, red), Target(200, 200, {0.5f, 0, 0, 0}));
  View(256, 256, 200, 200);
  glEnable(GL_BLEND);
  stack.DrawAtTime(0);
  EXPECT_FALSE(glIsEnabled(GL_BLEND));
  // The faded border keeps the picture's colour instead of fading into the clear grey.
  Frame f = Read();
  for (int k : {2, 128, 253}) {
    EXPECT_TRUE(Near(f, 2, k, red, 12));
    EXPECT_TRUE(Near(f, 253, k, red, 12));
    EXPECT_TRUE(Near(f, k, 2, red, 12));
    EXPECT_TRUE(Near(f, k, 253, red, 12));
  }
  // At t = 1 the view is the target frame, which is never drawn itself (it would be white).
  View(256, 256, 200, 200);
  stack.DrawAtTime(1);
  f = Read();
  EXPECT_EQ(f.CountIn(0, 0, 255, 255, [](Colour c) { return c.r < 200 || c.g > 60 || c.b > 60; }).n, 0);
}

TEST_F(Render, DrawingWithNothingToDrawLeavesTheViewClear) {
  View(256, 256, 200, 200);
  ImageStack empty;
  EXPECT_TRUE(empty.DrawAtTime(0.5f));
  ImageStack targetOnly = StackOf(Target(200, 200, Transform()));
  EXPECT_TRUE(targetOnly.DrawAtTime(0.5f));
  EXPECT_EQ(Read().CountIn(0, 0, 255, 255, [](Colour c) { return c.r != 64 || c.g != 64 || c.b != 64; }).n, 0);
}

TEST_F(Render, TheTimelineIsRebuiltOnlyWhenDirty) {
  ImageStack stack = StackOf(Quadrants(200, 200), Target(200, 200, {0.5f, 0, 0, 0}));
  ASSERT_TRUE(stack.dirty);
  View(256, 256, 200, 200);
  stack.DrawAtTime(1);
  EXPECT_FALSE(stack.dirty);
  ASSERT_EQ(stack.keyCount(), 2);
  const Frame before = Read();
  EXPECT_TRUE(Near(before, 64, 192, red));
  EXPECT_TRUE(Near(before, 192, 64, yellow));

  // A placement changed behind the stack's back: the old view stays.
  stack.images[1]->transform = {0.25f, 0.2f, 0.2f, 0.0f};
  View(256, 256, 200, 200);
  stack.DrawAtTime(1);
  EXPECT_TRUE(Read() == before);
  EXPECT_EQ(stack.keys[1].x, 0.0f);
  EXPECT_EQ(stack.keys[1].y, 0.0f);

  // Marked as changed: the view moves to 0.075 .. 0.325 both ways, inside the green quadrant.
  stack.dirty = true;
  View(256, 256, 200, 200);
  stack.DrawAtTime(1);
  EXPECT_FALSE(stack.dirty);
  EXPECT_FLOAT_EQ(stack.keys[1].x, -0.2f);
  const Frame after = Read();
  for (int x : {2, 128, 253})
    for (int y : {2, 128, 253}) EXPECT_TRUE(Near(after, x, y, green));
}

TEST_F(Render, DrawAtTimeLeavesTexturingBlendingWhiteAndTheInnermostPlacement) {
  ImageStack stack = StackOf(Solid(200, 200, red), Solid(200, 200, blue, {0.5f, 0.1f, 0.0f, 30.0f}),
                             Solid(200, 200, green, {0.5f, 0.0f, 0.1f, -10.0f}), Target(200, 200, {0.5f, 0, 0, 0}));
  View(256, 256, 200, 200);
  glDisable(GL_TEXTURE_2D);
  glDisable(GL_BLEND);
  glBlendFunc(GL_ONE, GL_ZERO);
  glColor4f(0.2f, 0.3f, 0.4f, 0.5f);
  const GLint modelviewDepth = Integer(GL_MODELVIEW_STACK_DEPTH);
  stack.DrawAtTime(0.3f);
  EXPECT_TRUE(glIsEnabled(GL_TEXTURE_2D));
  EXPECT_TRUE(glIsEnabled(GL_BLEND));
  EXPECT_EQ(Integer(GL_BLEND_SRC), GL_SRC_ALPHA);
  EXPECT_EQ(Integer(GL_BLEND_DST), GL_ONE_MINUS_SRC_ALPHA);
  GLfloat colour[4];
  glGetFloatv(GL_CURRENT_COLOR, colour);
  EXPECT_EQ(colour[0], 1.0f);
  EXPECT_EQ(colour[1], 1.0f);
  EXPECT_EQ(colour[2], 1.0f);
  EXPECT_EQ(colour[3], 1.0f);
  EXPECT_EQ(Integer(GL_MODELVIEW_STACK_DEPTH), modelviewDepth);

  // The modelview matrix is the view at that time carrying the innermost picture's placement.
  double left[16], expected[16];
  glPushMatrix();
  stack.ViewAtTime(0.3f);
  glMultMatrixd(stack.images[2]->modelMatrix);
  Matrix(GL_MODELVIEW_MATRIX, expected);
  glPopMatrix();
  Matrix(GL_MODELVIEW_MATRIX, left);
  EXPECT_TRUE(SameMatrix(left, expected, 1e-5));
}

TEST_F(Render, EditViewOutsideThePicturesDrawsNothing) {
  auto sprite = HandleSprite();
  ImageStack stack =
      StackOf(Solid(200, 200, red), Solid(200, 200, blue, {0.5f, 0, 0, 0}), Target(200, 200, {0.5f, 0, 0, 0}));
  View(256, 256, 200, 200);
  glTranslatef(0.1f, 0.2f, 0);
  double before[16], after[16];
  Matrix(GL_MODELVIEW_MATRIX, before);
  for (int i : {-1, 2, 3, INT_MIN, INT_MAX}) {
    SCOPED_TRACE(i);
    EXPECT_FALSE(stack.DrawEditView(i, Transform(), sprite->textureId));
    Matrix(GL_MODELVIEW_MATRIX, after);
    EXPECT_TRUE(SameMatrix(before, after));
  }
  ImageStack empty;
  EXPECT_FALSE(empty.DrawEditView(0, Transform(), sprite->textureId));
  EXPECT_EQ(Read().CountIn(0, 0, 255, 255, [](Colour c) { return c.r != 64 || c.g != 64 || c.b != 64; }).n, 0);
}

// The red outline, found within a few pixels of where it should run.
bool OutlineNear(const Frame& f, int x0, int y0, int x1, int y1) {
  return f.CountIn(x0, y0, x1, y1, IsOutlineRed).n > 0;
}

TEST_F(Render, EditViewOfTheLastPictureOutlinesTheTargetFrameWithoutFilling) {
  auto sprite = HandleSprite();
  ImageStack stack = StackOf(Solid(200, 200, teal), Target(200, 200, {0.5f, 0, 0, 0}));
  View(256, 256, 200, 200);
  EXPECT_TRUE(stack.DrawEditView(0, Transform(), sprite->textureId));
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

TEST_F(Render, EditViewShowsAPictureChildAtSixtyPercent) {
  auto sprite = HandleSprite();
  const Colour a{200, 40, 40}, b{40, 40, 200};
  ImageStack stack =
      StackOf(Solid(200, 200, a), Solid(200, 200, b, {0.5f, 0, 0, 0}), Target(200, 200, {0.5f, 0, 0, 0}));
  View(256, 256, 200, 200);
  EXPECT_TRUE(stack.DrawEditView(0, Transform(), sprite->textureId));
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
  auto sprite = HandleSprite();
  ImageStack stack = StackOf(Solid(200, 200, teal), Target(200, 200, {0.8f, 0, 0, 0}));
  for (float zoom : {0.25f, 1.0f, 4.0f}) {
    SCOPED_TRACE(zoom);
    // Panned so that the scale handle, the child's corner (0.4, 0.4), sits 20 pixels above the
    // middle of the view; the rotation handle lies 0.4 * zoom of the view's height below it.
    const float pan = 20.0f / (256.0f * zoom);
    const Transform view{zoom, -0.4f, -0.4f + pan, 0.0f};
    View(256, 256, 200, 200);
    const GLint depth = Integer(GL_MODELVIEW_STACK_DEPTH);
    double sx, sy, rx, ry, before[16], after[16];
    Matrix(GL_MODELVIEW_MATRIX, before);
    stack.ChildToWindow(view, 1, 0.5, 0.5, sx, sy);
    stack.ChildToWindow(view, 1, 0.5, 0.0, rx, ry);
    Matrix(GL_MODELVIEW_MATRIX, after);
    EXPECT_TRUE(SameMatrix(before, after));
    EXPECT_EQ(Integer(GL_MODELVIEW_STACK_DEPTH), depth);
    EXPECT_NEAR(sx, 128.0, 1e-3);
    EXPECT_NEAR(sy, 148.0, 1e-3);
    EXPECT_NEAR(rx, 128.0, 1e-3);
    EXPECT_NEAR(ry, 148.0 - zoom * 0.4 * 256, 1e-3);

    EXPECT_TRUE(stack.DrawEditView(0, view, sprite->textureId));
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
  auto sprite = HandleSprite();
  // Landscape child (extents 1 x 0.5) at half size, turned a quarter anticlockwise: on screen it
  // spans x +-0.125 and y +-0.25, so its upper side runs at row 192.
  ImageStack stack =
      StackOf(Solid(200, 200, teal), Solid(200, 100, yellow, {0.5f, 0, 0, 90.0f}), Target(200, 100, {0.5f, 0, 0, 0}));
  View(256, 256, 200, 200);
  double sx, sy, rx, ry;
  stack.ChildToWindow(Transform(), 1, 0.5, 0.25, sx, sy);
  stack.ChildToWindow(Transform(), 1, 0.5, 0.0, rx, ry);
  EXPECT_NEAR(rx, 128, 1e-3);
  EXPECT_NEAR(ry, 192, 1e-3);
  EXPECT_NEAR(sx, 96, 1e-3);
  EXPECT_NEAR(sy, 192, 1e-3);
  EXPECT_TRUE(stack.DrawEditView(0, Transform(), sprite->textureId));
  const Frame f = Read();
  EXPECT_EQ(f.CountIn(120, 184, 135, 199, IsHandleMagenta).n, 256);
  EXPECT_EQ(f.CountIn(88, 184, 103, 199, IsHandleBlue).n, 256);
  EXPECT_EQ(f.CountIn(150, 0, 255, 255, IsHandleBlue).n + f.CountIn(150, 0, 255, 255, IsHandleMagenta).n, 0);
}

TEST_F(Render, EditViewLeavesTexturingAndBlendingOffAndTheMatricesAsFound) {
  auto sprite = HandleSprite();
  ImageStack stack = StackOf(Solid(200, 200, teal), Solid(200, 200, blue, {0.5f, 0.1f, 0.05f, 20.0f}),
                             Target(200, 200, {0.5f, 0, 0, 0}));
  View(256, 256, 200, 200);
  glEnable(GL_BLEND);
  glEnable(GL_TEXTURE_2D);
  const GLint modelviewDepth = Integer(GL_MODELVIEW_STACK_DEPTH);
  const GLint projectionDepth = Integer(GL_PROJECTION_STACK_DEPTH);
  double projection[16], now[16], expected[16];
  Matrix(GL_PROJECTION_MATRIX, projection);
  const Transform view{2.0f, 0.1f, -0.05f, 45.0f};
  EXPECT_TRUE(stack.DrawEditView(0, view, sprite->textureId));
  EXPECT_FALSE(glIsEnabled(GL_TEXTURE_2D));
  EXPECT_FALSE(glIsEnabled(GL_BLEND));
  EXPECT_EQ(Integer(GL_MATRIX_MODE), GL_MODELVIEW);
  EXPECT_EQ(Integer(GL_MODELVIEW_STACK_DEPTH), modelviewDepth);
  EXPECT_EQ(Integer(GL_PROJECTION_STACK_DEPTH), projectionDepth);
  Matrix(GL_PROJECTION_MATRIX, now);
  EXPECT_TRUE(SameMatrix(now, projection));
  // The modelview matrix is left as the overlay found it: the view transform and the child's
  // placement, the view's turn ignored.
  glPushMatrix();
  glLoadIdentity();
  glScalef(2.0f, 2.0f, 1.0f);
  glTranslatef(0.1f, -0.05f, 0.0f);
  ApplyPlacement(stack.images[1]->transform);
  Matrix(GL_MODELVIEW_MATRIX, expected);
  glPopMatrix();
  Matrix(GL_MODELVIEW_MATRIX, now);
  EXPECT_TRUE(SameMatrix(now, expected));
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
