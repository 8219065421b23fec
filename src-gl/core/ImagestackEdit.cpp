// Aligning a picture inside its predecessor: window mappings, hit tests and drag steps.

#include <GL/gl.h>
#include <GL/glu.h>

#include <cmath>

#include "Imagestack.h"

namespace {

struct GlFrame {
  GLdouble modelview[16];
  GLdouble projection[16];
  GLint viewport[4];
};

// Reads the matrices for a frame that `compose` builds on the identity, leaving the modelview
// stack as it was.
template <typename Compose>
GlFrame ReadFrame(Compose compose) {
  GlFrame frame;
  GLint mode = GL_MODELVIEW;
  glGetIntegerv(GL_MATRIX_MODE, &mode);
  glMatrixMode(GL_MODELVIEW);
  glPushMatrix();
  glLoadIdentity();
  compose();
  glGetDoublev(GL_MODELVIEW_MATRIX, frame.modelview);
  glPopMatrix();
  glMatrixMode(static_cast<GLenum>(mode));
  glGetDoublev(GL_PROJECTION_MATRIX, frame.projection);
  glGetIntegerv(GL_VIEWPORT, frame.viewport);
  return frame;
}

void Unproject(const GlFrame& frame, double X, double Y, double& x, double& y) {
  const double H = frame.viewport[3];
  GLdouble z = 0;
  if (gluUnProject(X, H - Y - 1, 0.0, frame.modelview, frame.projection, frame.viewport, &x, &y, &z) != GL_TRUE)
    x = y = NAN;
}

double ViewportHeight() {
  GLint viewport[4];
  glGetIntegerv(GL_VIEWPORT, viewport);
  return viewport[3];
}

}  // namespace

void WindowToView(const Transform& viewTransform, double X, double Y, double& x, double& y) {
  Unproject(ReadFrame([&] { ApplyViewTransform(viewTransform); }), X, Y, x, y);
}

void ImageStack::WindowToChild(const Transform& viewTransform, int c, double X, double Y, bool withoutRotation,
                               double& x, double& y) const {
  const GlFrame frame = ReadFrame([&] {
    ApplyViewTransform(viewTransform);
    if (c < 0 || c >= count()) return;
    const Transform& t = images[static_cast<size_t>(c)]->transform;
    glTranslatef(t.translateX, t.translateY, 0.0f);
    glScalef(t.scale, t.scale, 1.0f);
    if (!withoutRotation) glRotatef(t.rotate, 0.0f, 0.0f, 1.0f);
  });
  Unproject(frame, X, Y, x, y);
}

void ImageStack::ChildToWindow(const Transform& viewTransform, int c, double x, double y, double& wx,
                               double& wy) const {
  const GlFrame frame = ReadFrame([&] {
    ApplyViewTransform(viewTransform);
    if (c >= 0 && c < count()) ApplyPlacement(images[static_cast<size_t>(c)]->transform);
  });
  GLdouble wz = 0;
  if (gluProject(x, y, 0.0, frame.modelview, frame.projection, frame.viewport, &wx, &wy, &wz) != GL_TRUE)
    wx = wy = -1e9;
}

namespace {

bool NearHandle(const ImageStack& stack, double X, double Y, int i, const Transform& view, bool scaleHandle) {
  if (i < 0 || i + 1 >= stack.count()) return false;
  const Image& child = *stack.images[static_cast<size_t>(i + 1)];
  const Extents e = ElementExtents(child.width, child.height);
  double hx = 0, hy = 0;
  stack.ChildToWindow(view, i + 1, e.ex / 2, scaleHandle ? e.ey / 2 : 0.0, hx, hy);
  const double dx = X - hx;
  const double dy = (ViewportHeight() - Y - 1) - hy;
  return dx * dx + dy * dy < 64.0;
}

}  // namespace

bool ImageStack::HitScaleHandle(double X, double Y, int i, const Transform& viewTransform) const {
  return NearHandle(*this, X, Y, i, viewTransform, true);
}

bool ImageStack::HitRotateHandle(double X, double Y, int i, const Transform& viewTransform) const {
  return NearHandle(*this, X, Y, i, viewTransform, false);
}

bool ImageStack::HitChild(double X, double Y, int i, const Transform& viewTransform) const {
  if (i < 0 || i + 1 >= count()) return false;
  const Image& child = *images[static_cast<size_t>(i + 1)];
  const Extents e = ElementExtents(child.width, child.height);
  double x = 0, y = 0;
  WindowToChild(viewTransform, i + 1, X, Y, false, x, y);
  return -e.ex / 2 <= x && x <= e.ex / 2 && -e.ey / 2 <= y && y <= e.ey / 2;
}

DragMode ChooseDrag(const ImageStack* stack, double X, double Y, int i, const Transform& viewTransform) {
  if (!stack) return DragMode::Pan;
  if (stack->HitScaleHandle(X, Y, i, viewTransform)) return DragMode::Scale;
  if (stack->HitRotateHandle(X, Y, i, viewTransform)) return DragMode::Rotate;
  if (stack->HitChild(X, Y, i, viewTransform)) return DragMode::Move;
  return DragMode::Pan;
}

void ImageStack::DragScale(int c, const Transform& viewTransform, double X0, double Y0, double X1, double Y1) {
  if (c < 0 || c >= count()) return;
  double x0, y0, x1, y1;
  WindowToChild(viewTransform, c, X0, Y0, false, x0, y0);
  WindowToChild(viewTransform, c, X1, Y1, false, x1, y1);
  Transform& t = images[static_cast<size_t>(c)]->transform;
  const double ratio = x1 / x0;
  const float scaled = static_cast<float>(t.scale * ratio);
  if (std::isfinite(ratio) && ratio > 0 && std::isfinite(scaled) && scaled > 0.0f) t.scale = scaled;
  dirty = true;
}

void ImageStack::DragRotate(int c, const Transform& viewTransform, double X0, double Y0, double X1, double Y1) {
  if (c < 0 || c >= count()) return;
  double x0, y0, x1, y1;
  WindowToChild(viewTransform, c, X0, Y0, false, x0, y0);
  WindowToChild(viewTransform, c, X1, Y1, false, x1, y1);
  const double turn = std::atan2(y1 - y0, x1) * 180.0 / M_PI;
  Transform& t = images[static_cast<size_t>(c)]->transform;
  if (std::isfinite(turn)) t.rotate = static_cast<float>(t.rotate + turn);
  dirty = true;
}

void ImageStack::DragMove(int c, const Transform& viewTransform, double X0, double Y0, double X1, double Y1) {
  if (c < 0 || c >= count()) return;
  double x0, y0, x1, y1;
  WindowToChild(viewTransform, c, X0, Y0, true, x0, y0);
  WindowToChild(viewTransform, c, X1, Y1, true, x1, y1);
  Transform& t = images[static_cast<size_t>(c)]->transform;
  const double dx = (x1 - x0) * t.scale;
  const double dy = (y1 - y0) * t.scale;
  if (std::isfinite(dx) && std::isfinite(dy)) {
    t.translateX = static_cast<float>(t.translateX + dx);
    t.translateY = static_cast<float>(t.translateY + dy);
  }
  dirty = true;
}

void PanView(Transform& viewTransform, double X0, double Y0, double X1, double Y1) {
  double x0, y0, x1, y1;
  WindowToView(viewTransform, X0, Y0, x0, y0);
  WindowToView(viewTransform, X1, Y1, x1, y1);
  if (!std::isfinite(x1 - x0) || !std::isfinite(y1 - y0)) return;
  viewTransform.translateX = static_cast<float>(viewTransform.translateX + (x1 - x0));
  viewTransform.translateY = static_cast<float>(viewTransform.translateY + (y1 - y0));
}

void ZoomView(Transform& viewTransform, double X0, double Y0, double X1, double Y1) {
  const float scaled = static_cast<float>(viewTransform.scale * std::pow(1.005, (X1 - X0) + (Y1 - Y0)));
  if (std::isfinite(scaled) && scaled > 0.0f) viewTransform.scale = scaled;
}
