// Aligning a child inside the selected picture: window mappings, hit tests, drag steps and the
// edit view's pan and zoom, through the view geometry the main window fits to the first picture.

#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <utility>
#include <vector>

#include "GlTestContext.h"
#include "GlViewTest.h"
#include "Imagestack.h"

namespace {

// An element as the mappings see it: only its size and placement count, so no picture.
std::unique_ptr<Image> Element(int width, int height, const Transform& placement = Transform()) {
  auto image = std::make_unique<Image>();
  image->width = width;
  image->height = height;
  image->transform = placement;
  return image;
}

template <typename... Elements>
ImageStack StackOf(Elements&&... elements) {
  ImageStack stack;
  (stack.images.push_back(std::move(elements)), ...);
  stack.dirty = false;
  return stack;
}

bool Same(const Transform& a, const Transform& b) {
  return a.scale == b.scale && a.translateX == b.translateX && a.translateY == b.translateY && a.rotate == b.rotate;
}

struct Point {
  double x, y;
};

const Transform identity;

// The view as the main window fits it to the first picture.
class Edit : public GlViewTest {
 protected:
  void View(int width, int height, int firstWidth, int firstHeight) {
    height_ = height;
    FitView(width, height, firstWidth, firstHeight);
  }

  // The mouse over a GL window point, and back.
  Point Mouse(Point gl) const { return {gl.x, height_ - 1 - gl.y}; }
  Point Gl(Point mouse) const { return {mouse.x, height_ - 1 - mouse.y}; }
  Point ToWindow(const ImageStack& s, const Transform& view, int c, double x, double y) const {
    Point w{};
    s.ChildToWindow(geometry_, view, c, x, y, w.x, w.y);
    return w;
  }

  int height_ = glTestHeight;
};

// The base geometry of most tests: 256 x 128 pixels over a 200 x 100 first picture, so one pixel
// is 1/256 unit and every value below is exact in binary. The child spans GL x 96 .. 224 and
// y 48 .. 112; its scale handle is at (224, 112), its rotation handle at (224, 80).
const Transform basePlacement{0.5f, 0.125f, 0.0625f, 0.0f};

TEST_F(Edit, MouseEntersGlFromTheTopLeftRow) {
  View(256, 192, 400, 300);  // half extents 0.5 x 0.375
  double x = 0, y = 0;
  WindowToView(geometry_, identity, 0, 0, x, y);  // GL (0, 191)
  EXPECT_NEAR(x, -0.5, 1e-7);
  EXPECT_NEAR(y, 0.375 * 190.0 / 192.0, 1e-7);
  WindowToView(geometry_, identity, 255, 191, x, y);  // GL (255, 0)
  EXPECT_NEAR(x, -0.5 + 255.0 / 256.0, 1e-7);
  EXPECT_NEAR(y, -0.375, 1e-7);
  WindowToView(geometry_, {2.0f, 0.1f, -0.05f, 0.0f}, 0, 0, x, y);  // p = window / scale - translate
  EXPECT_NEAR(x, -0.25 - 0.1, 1e-7);
  EXPECT_NEAR(y, 0.375 * 190.0 / 192.0 / 2 + 0.05, 1e-7);

  const ImageStack s = StackOf(Element(400, 300), Element(400, 300, {0.5f, 0.25f, 0.0f, 90.0f}));
  const Point w = ToWindow(s, identity, 1, 0.5, 0);  // parent (0.25, 0.25)
  EXPECT_NEAR(w.x, 192, 1e-4);
  EXPECT_NEAR(w.y, 160, 1e-4);
}

TEST_F(Edit, ChildMappingsAreInverseAndSplitOffTheRotation) {
  View(256, 192, 400, 300);
  const ImageStack s = StackOf(Element(400, 300), Element(300, 400, {0.37f, 0.11f, -0.07f, 30.0f}));
  const double c = std::cos(M_PI / 6), sn = std::sin(M_PI / 6);
  for (const Transform& view : {identity, Transform{1.7f, -0.05f, 0.02f, 0.0f}})
    for (const Point p : {Point{0, 0}, Point{0.375, 0.5}, Point{-0.3, 0.2}, Point{0.45, -0.1}}) {
      const Point m = Mouse(ToWindow(s, view, 1, p.x, p.y));
      Point back{}, unturned{};
      s.WindowToChild(geometry_, view, 1, m.x, m.y, false, back.x, back.y);
      EXPECT_NEAR(back.x, p.x, 1e-5);
      EXPECT_NEAR(back.y, p.y, 1e-5);
      s.WindowToChild(geometry_, view, 1, m.x, m.y, true, unturned.x, unturned.y);
      EXPECT_NEAR(unturned.x, c * p.x - sn * p.y, 1e-5);
      EXPECT_NEAR(unturned.y, sn * p.x + c * p.y, 1e-5);
      // From a mouse position round the other way.
      const Point mouse{37.5 + 100 * p.x, 150.25 - 90 * p.y};
      s.WindowToChild(geometry_, view, 1, mouse.x, mouse.y, false, back.x, back.y);
      const Point again = Mouse(ToWindow(s, view, 1, back.x, back.y));
      EXPECT_NEAR(again.x, mouse.x, 1e-3);
      EXPECT_NEAR(again.y, mouse.y, 1e-3);
    }
}

TEST_F(Edit, HandlesAreHitStrictlyWithinEightLogicalPixelsAtEveryZoom) {
  View(256, 128, 200, 100);
  const ImageStack s = StackOf(Element(200, 100), Element(200, 100, basePlacement), Element(200, 100));
  const Point scaleCentre = ToWindow(s, identity, 1, 0.5, 0.25);
  EXPECT_EQ(scaleCentre.x, 224);
  EXPECT_EQ(scaleCentre.y, 112);
  const double inside = std::sqrt(63.9);
  for (const Transform& view : {identity, Transform{0.25f, 0, 0, 0}, Transform{4.0f, -0.3125f, -0.1875f, 0}})
    for (const bool scaleHandle : {true, false}) {
      const Point h = ToWindow(s, view, 1, 0.5, scaleHandle ? 0.25 : 0.0);
      auto hit = [&](double dx, double dy) {
        const Point m = Mouse({h.x + dx, h.y + dy});
        return scaleHandle ? s.HitScaleHandle(geometry_, m.x, m.y, 0, view)
                           : s.HitRotateHandle(geometry_, m.x, m.y, 0, view);
      };
      SCOPED_TRACE(::testing::Message() << "zoom " << view.scale << (scaleHandle ? " scale" : " rotation"));
      EXPECT_TRUE(hit(0, 0));
      for (const Point d : {Point{1, 0}, Point{-1, 0}, Point{0, 1}, Point{0, -1}}) {
        EXPECT_FALSE(hit(8 * d.x, 8 * d.y)) << d.x << ", " << d.y;  // squared distance exactly 64
        EXPECT_TRUE(hit(inside * d.x, inside * d.y)) << d.x << ", " << d.y;
      }
    }
  // On a screen of two framebuffer pixels per logical pixel the radius is 16 framebuffer pixels.
  geometry_.pixelRatio = 2;
  const Point h = ToWindow(s, identity, 1, 0.5, 0.25);
  const Point near = Mouse({h.x + 15.9, h.y}), far = Mouse({h.x + 16, h.y});
  EXPECT_TRUE(s.HitScaleHandle(geometry_, near.x, near.y, 0, identity));
  EXPECT_FALSE(s.HitScaleHandle(geometry_, far.x, far.y, 0, identity));
}

TEST_F(Edit, NothingIsHitWithoutAChild) {
  View(256, 128, 200, 100);
  const ImageStack s = StackOf(Element(200, 100), Element(200, 100, basePlacement), Element(200, 100, basePlacement));
  const Point presses[] = {Mouse({224, 112}), Mouse({224, 80}), Mouse({160, 80}), Mouse({128, 64})};
  for (const Point m : presses) EXPECT_NE(ChooseDrag(&s, geometry_, m.x, m.y, 0, identity), DragMode::Pan);
  for (const int i : {-1, -2, s.count() - 1, s.count()})
    for (const Point m : presses) {
      EXPECT_FALSE(s.HitScaleHandle(geometry_, m.x, m.y, i, identity)) << i;
      EXPECT_FALSE(s.HitRotateHandle(geometry_, m.x, m.y, i, identity)) << i;
      EXPECT_FALSE(s.HitChild(geometry_, m.x, m.y, i, identity)) << i;
      EXPECT_EQ(ChooseDrag(&s, geometry_, m.x, m.y, i, identity), DragMode::Pan) << i;
    }
  EXPECT_EQ(ChooseDrag(nullptr, geometry_, 160, 47, 0, identity), DragMode::Pan);
}

TEST_F(Edit, ChildIncludesItsBorders) {
  View(256, 128, 200, 100);
  const ImageStack s = StackOf(Element(200, 100), Element(200, 100, basePlacement), Element(200, 100));
  auto hit = [&](double x, double y) {
    const Point m = Mouse({x, y});
    return s.HitChild(geometry_, m.x, m.y, 0, identity);
  };
  for (const double x : {96.0, 160.0, 224.0})
    for (const double y : {48.0, 80.0, 112.0}) EXPECT_TRUE(hit(x, y)) << x << ", " << y;
  EXPECT_FALSE(hit(95.999, 80));
  EXPECT_FALSE(hit(224.001, 80));
  EXPECT_FALSE(hit(160, 47.999));
  EXPECT_FALSE(hit(160, 112.001));
}

TEST_F(Edit, PressChoosesScaleThenRotateThenMoveThenPan) {
  View(256, 128, 200, 100);
  const ImageStack s = StackOf(Element(200, 100), Element(200, 100, basePlacement), Element(200, 100));
  auto choose = [&](const Transform& view, double x, double y) {
    const Point m = Mouse({x, y});
    return ChooseDrag(&s, geometry_, m.x, m.y, 0, view);
  };
  EXPECT_EQ(choose(identity, 220, 108), DragMode::Scale);  // inside the child, on the handle
  EXPECT_EQ(choose(identity, 229, 117), DragMode::Scale);  // outside, on the handle
  EXPECT_EQ(choose(identity, 220, 80), DragMode::Rotate);
  EXPECT_EQ(choose(identity, 160, 80), DragMode::Move);
  EXPECT_EQ(choose(identity, 20, 20), DragMode::Pan);
  // At a quarter zoom the child is 32 x 16 pixels: the handles lie 8 pixels apart, at (152, 76)
  // and (152, 68), and their circles overlap.
  const Transform small{0.25f, 0, 0, 0};
  const Point between = Mouse({152, 72});
  EXPECT_TRUE(s.HitScaleHandle(geometry_, between.x, between.y, 0, small));
  EXPECT_TRUE(s.HitRotateHandle(geometry_, between.x, between.y, 0, small));
  EXPECT_EQ(choose(small, 152, 72), DragMode::Scale);
  EXPECT_EQ(choose(small, 152, 67), DragMode::Rotate);
}

TEST_F(Edit, ScaleStepChangesOnlyTheScaleAlongTheChildsOwnAxis) {
  View(256, 128, 200, 100);
  ImageStack s = StackOf(Element(200, 100), Element(200, 100, {0.5f, 0.0f, 0.0625f, 0.0f}), Element(200, 100));
  Transform& t = s.images[1]->transform;
  // The child's vertical centre line is window x 128; x 160 is child x 0.25 and 96 is -0.25.
  const std::pair<double, double> refused[] = {{128, 160}, {160, 128}, {128, 128}, {160, 96}, {96, 160}};
  for (const auto& step : refused) {
    s.DragScale(geometry_, 1, identity, step.first, 60, step.second, 60);
    EXPECT_EQ(t.scale, 0.5f) << step.first << " -> " << step.second;
  }
  s.dirty = false;
  s.DragScale(geometry_, 1, identity, 160, 60, 192, 60);
  EXPECT_FLOAT_EQ(t.scale, 1.0f);
  EXPECT_TRUE(s.dirty);
  s.DragScale(geometry_, 1, identity, 64, 60, 32, 20);  // left of the centre line, further out: grows
  EXPECT_FLOAT_EQ(t.scale, 1.5f);
  EXPECT_TRUE(Same(t, {1.5f, 0.0f, 0.0625f, 0.0f}));

  // Turned a quarter, the child's x axis points up the window: only vertical motion scales.
  t = {0.5f, 0.0f, 0.0f, 90.0f};
  s.DragScale(geometry_, 1, {2.0f, 0, 0, 0}, 128, 63 - 32, 180, 63 - 32);
  EXPECT_NEAR(t.scale, 0.5, 1e-5);
  s.DragScale(geometry_, 1, {2.0f, 0, 0, 0}, 128, 63 - 32, 128, 63 - 48);
  EXPECT_NEAR(t.scale, 0.75, 1e-5);
  EXPECT_EQ(t.translateX, 0.0f);
  EXPECT_EQ(t.translateY, 0.0f);
  EXPECT_EQ(t.rotate, 90.0f);
}

TEST_F(Edit, RotationHandleFollowsTheMouseAroundTheCentre) {
  View(256, 192, 400, 300);
  ImageStack s = StackOf(Element(400, 300), Element(300, 400, {0.4f, 0.05f, -0.02f, 20.0f}), Element(400, 300));
  Transform& t = s.images[1]->transform;
  const Transform view{1.5f, -0.03f, 0.01f, 0.0f};
  const Extents e = ElementExtents(300, 400);
  const Point centre = ToWindow(s, view, 1, 0, 0);
  // The mouse at angle a (degrees, counter-clockwise) and distance r from the centre.
  auto around = [&](double a, double r) {
    return Mouse({centre.x + r * std::cos(a * M_PI / 180), centre.y + r * std::sin(a * M_PI / 180)});
  };
  const Point handle = ToWindow(s, view, 1, e.ex / 2, 0);
  const double start = std::atan2(handle.y - centre.y, handle.x - centre.x) * 180 / M_PI;
  const double radius = std::hypot(handle.x - centre.x, handle.y - centre.y);

  // One step each way, landing nearer or further from the centre.
  const std::pair<double, double> steps[] = {{40.0, 1.0}, {-65.0, 0.5}, {150.0, 2.0}};
  for (const auto& step : steps) {
    const Transform before = t;
    const Point h = ToWindow(s, view, 1, e.ex / 2, 0);
    const double from = std::atan2(h.y - centre.y, h.x - centre.x) * 180 / M_PI;
    const Point m0 = Mouse(h), m1 = around(from + step.first, radius * step.second);
    s.dirty = false;
    s.DragRotate(geometry_, 1, view, m0.x, m0.y, m1.x, m1.y);
    EXPECT_NEAR(t.rotate, before.rotate + step.first, 1e-3);
    EXPECT_TRUE(Same(t, {before.scale, before.translateX, before.translateY, t.rotate}));
    EXPECT_TRUE(s.dirty);
  }

  // A drag of many small steps: the handle stays under the mouse.
  t.rotate = 20.0f;
  Point mouse = Mouse(handle);
  for (int k = 1; k <= 12; ++k) {
    const Point next = around(start + 10 * k, radius);
    s.DragRotate(geometry_, 1, view, mouse.x, mouse.y, next.x, next.y);
    mouse = next;
  }
  EXPECT_NEAR(t.rotate, 140.0, 1e-3);
  const Point h = ToWindow(s, view, 1, e.ex / 2, 0);
  EXPECT_NEAR(h.x, Gl(mouse).x, 0.01);
  EXPECT_NEAR(h.y, Gl(mouse).y, 0.01);
}

TEST_F(Edit, MovedChildsCentreFollowsTheMouse) {
  View(256, 192, 400, 300);
  ImageStack s = StackOf(Element(400, 300), Element(300, 400, {0.4f, 0.05f, -0.02f, 35.0f}),
                         Element(300, 400, {0.3f, -0.1f, 0.08f, -50.0f}));
  struct Case {
    int c;
    Transform view;
    Point from, by;
  };
  const Case cases[] = {{1, identity, {140, 100}, {17, -9}},
                        {1, {2.5f, -0.04f, 0.03f, 0}, {120, 90}, {-23.5, 31.25}},
                        {2, {0.6f, 0.1f, 0, 0}, {100, 80}, {40, 12}}};  // the target frame
  for (const Case& k : cases) {
    Transform& t = s.images[static_cast<size_t>(k.c)]->transform;
    const Transform before = t;
    const Point c0 = ToWindow(s, k.view, k.c, 0, 0);
    s.dirty = false;
    s.DragMove(geometry_, k.c, k.view, k.from.x, k.from.y, k.from.x + k.by.x, k.from.y + k.by.y);
    const Point c1 = ToWindow(s, k.view, k.c, 0, 0);
    EXPECT_NEAR(c1.x - c0.x, k.by.x, 1e-3) << k.c;
    EXPECT_NEAR(c1.y - c0.y, -k.by.y, 1e-3) << k.c;
    EXPECT_EQ(t.scale, before.scale);
    EXPECT_EQ(t.rotate, before.rotate);
    EXPECT_TRUE(s.dirty);
  }
}

TEST_F(Edit, StepsOnNoElementChangeNothing) {
  View(256, 128, 200, 100);
  ImageStack s = StackOf(Element(200, 100, {0.9f, 0.1f, 0.1f, 5}), Element(200, 100, basePlacement),
                         Element(200, 100, {0.7f, -0.1f, 0.05f, 12}));
  std::vector<Transform> before;
  for (const auto& image : s.images) before.push_back(image->transform);
  for (const int c : {-1, s.count()}) {
    s.DragScale(geometry_, c, identity, 160, 60, 200, 40);
    s.DragRotate(geometry_, c, identity, 224, 47, 200, 20);
    s.DragMove(geometry_, c, identity, 160, 60, 120, 30);
  }
  for (size_t k = 0; k < before.size(); ++k) EXPECT_TRUE(Same(s.images[k]->transform, before[k])) << k;
  EXPECT_FALSE(s.dirty);
}

TEST_F(Edit, PanFollowsTheMouseInPictureUnits) {
  View(256, 128, 200, 100);
  Transform view{2.0f, 0.1f, -0.05f, 7.0f};
  const Transform before = view;
  Point grabbed{};
  WindowToView(geometry_, view, 100, 50, grabbed.x, grabbed.y);
  PanView(geometry_, view, 100, 50, 140, 30);
  EXPECT_NEAR(view.translateX, 0.1 + 40.0 / 256 / 2, 1e-6);
  EXPECT_NEAR(view.translateY, -0.05 + 20.0 / 256 / 2, 1e-6);
  EXPECT_EQ(view.scale, before.scale);
  EXPECT_EQ(view.rotate, before.rotate);
  Point under{};
  WindowToView(geometry_, view, 140, 30, under.x, under.y);
  EXPECT_NEAR(under.x, grabbed.x, 1e-6);
  EXPECT_NEAR(under.y, grabbed.y, 1e-6);
}

TEST_F(Edit, ZoomGrowsByPointFivePercentPerPixelRightOrDown) {
  const struct {
    double dx, dy, factor;
  } drags[] = {{100, 0, 1.6466684921}, {-100, 0, 0.6072867762}, {0, 100, 1.6466684921}, {50, -50, 1}};
  for (const auto& d : drags) {
    Transform view{1.5f, 0.2f, -0.1f, 3.0f};
    ZoomView(view, 40, 60, 40 + d.dx, 60 + d.dy);
    EXPECT_NEAR(view.scale, 1.5 * d.factor, 1.5e-6 * d.factor) << d.dx << ", " << d.dy;
    EXPECT_TRUE(Same(view, {view.scale, 0.2f, -0.1f, 3.0f}));
  }
}

}  // namespace
