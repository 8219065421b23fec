// Aligning a picture inside its predecessor: window mappings, hit tests and drag steps.

#include <cmath>

#include "Imagestack.h"

namespace {

// The selected picture's frame, then element c's translation and scale and, unless left out,
// its rotation: what the edit view shows element c through.
Affine ChildFrame(const ImageStack& stack, const Transform& viewTransform, int c, bool withRotation) {
  Affine frame = Affine::ViewTransform(viewTransform);
  if (c < 0 || c >= stack.count()) return frame;
  Transform t = stack.images[static_cast<size_t>(c)]->transform;
  if (!withRotation) t.rotate = 0.0f;
  return frame * Affine::Placement(t);
}

}  // namespace

void ImageStack::WindowToChild(const ViewGeometry& geometry, const Transform& viewTransform, int c, double X, double Y,
                               bool withoutRotation, double& x, double& y) const {
  geometry.MouseToFrame(ChildFrame(*this, viewTransform, c, !withoutRotation), X, Y, x, y);
}

void ImageStack::ChildToWindow(const ViewGeometry& geometry, const Transform& viewTransform, int c, double x, double y,
                               double& wx, double& wy) const {
  geometry.FrameToWindow(ChildFrame(*this, viewTransform, c, true), x, y, wx, wy);
  if (!std::isfinite(wx) || !std::isfinite(wy)) wx = wy = -1e9;
}

namespace {

bool NearHandle(const ImageStack& stack, const ViewGeometry& geometry, double X, double Y, int i, const Transform& view,
                bool scaleHandle) {
  if (i < 0 || i + 1 >= stack.count()) return false;
  const Image& child = *stack.images[static_cast<size_t>(i + 1)];
  const Extents e = ElementExtents(child.width, child.height);
  double hx = 0, hy = 0;
  stack.ChildToWindow(geometry, view, i + 1, e.ex / 2, scaleHandle ? e.ey / 2 : 0.0, hx, hy);
  const double dx = X - hx;
  const double dy = (geometry.height - Y - 1) - hy;
  const double radius = handleHitRadius * geometry.pixelRatio;
  return dx * dx + dy * dy < radius * radius;
}

}  // namespace

bool ImageStack::HitScaleHandle(const ViewGeometry& geometry, double X, double Y, int i,
                                const Transform& viewTransform) const {
  return NearHandle(*this, geometry, X, Y, i, viewTransform, true);
}

bool ImageStack::HitRotateHandle(const ViewGeometry& geometry, double X, double Y, int i,
                                 const Transform& viewTransform) const {
  return NearHandle(*this, geometry, X, Y, i, viewTransform, false);
}

bool ImageStack::HitChild(const ViewGeometry& geometry, double X, double Y, int i,
                          const Transform& viewTransform) const {
  if (i < 0 || i + 1 >= count()) return false;
  const Image& child = *images[static_cast<size_t>(i + 1)];
  const Extents e = ElementExtents(child.width, child.height);
  double x = 0, y = 0;
  WindowToChild(geometry, viewTransform, i + 1, X, Y, false, x, y);
  return -e.ex / 2 <= x && x <= e.ex / 2 && -e.ey / 2 <= y && y <= e.ey / 2;
}

DragMode ChooseDrag(const ImageStack* stack, const ViewGeometry& geometry, double X, double Y, int i,
                    const Transform& viewTransform) {
  if (!stack) return DragMode::Pan;
  if (stack->HitScaleHandle(geometry, X, Y, i, viewTransform)) return DragMode::Scale;
  if (stack->HitRotateHandle(geometry, X, Y, i, viewTransform)) return DragMode::Rotate;
  if (stack->HitChild(geometry, X, Y, i, viewTransform)) return DragMode::Move;
  return DragMode::Pan;
}

void ImageStack::DragScale(const ViewGeometry& geometry, int c, const Transform& viewTransform, double X0, double Y0,
                           double X1, double Y1) {
  if (c < 0 || c >= count()) return;
  double x0, y0, x1, y1;
  WindowToChild(geometry, viewTransform, c, X0, Y0, false, x0, y0);
  WindowToChild(geometry, viewTransform, c, X1, Y1, false, x1, y1);
  Transform& t = images[static_cast<size_t>(c)]->transform;
  const double ratio = x1 / x0;
  const float scaled = static_cast<float>(t.scale * ratio);
  if (std::isfinite(ratio) && ratio > 0 && std::isfinite(scaled) && scaled > 0.0f) t.scale = scaled;
  dirty = true;
}

void ImageStack::DragRotate(const ViewGeometry& geometry, int c, const Transform& viewTransform, double X0, double Y0,
                            double X1, double Y1) {
  if (c < 0 || c >= count()) return;
  double x0, y0, x1, y1;
  WindowToChild(geometry, viewTransform, c, X0, Y0, false, x0, y0);
  WindowToChild(geometry, viewTransform, c, X1, Y1, false, x1, y1);
  const double turn = std::atan2(y1 - y0, x1) * 180.0 / M_PI;
  Transform& t = images[static_cast<size_t>(c)]->transform;
  if (std::isfinite(turn)) t.rotate = static_cast<float>(t.rotate + turn);
  dirty = true;
}

void ImageStack::DragMove(const ViewGeometry& geometry, int c, const Transform& viewTransform, double X0, double Y0,
                          double X1, double Y1) {
  if (c < 0 || c >= count()) return;
  double x0, y0, x1, y1;
  WindowToChild(geometry, viewTransform, c, X0, Y0, true, x0, y0);
  WindowToChild(geometry, viewTransform, c, X1, Y1, true, x1, y1);
  Transform& t = images[static_cast<size_t>(c)]->transform;
  const double dx = (x1 - x0) * t.scale;
  const double dy = (y1 - y0) * t.scale;
  if (std::isfinite(dx) && std::isfinite(dy)) {
    t.translateX = static_cast<float>(t.translateX + dx);
    t.translateY = static_cast<float>(t.translateY + dy);
  }
  dirty = true;
}
