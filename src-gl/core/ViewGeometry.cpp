#include "ViewGeometry.h"

#include <cmath>

ViewGeometry ViewGeometry::Fitted(int width, int height, int firstWidth, int firstHeight) {
  ViewGeometry g;
  g.width = width;
  g.height = height;
  if ((firstWidth > 0 || firstHeight > 0) && width > 0 && height > 0)
    g.span = FittedViewSpan(firstWidth, firstHeight, width, height);
  return g;
}

void ViewGeometry::WindowToView(double wx, double wy, double& x, double& y) const {
  x = -span.halfWidth + 2 * span.halfWidth * wx / width;
  y = -span.halfHeight + 2 * span.halfHeight * wy / height;
}

void ViewGeometry::ViewToWindow(double x, double y, double& wx, double& wy) const {
  wx = (x + span.halfWidth) * width / (2 * span.halfWidth);
  wy = (y + span.halfHeight) * height / (2 * span.halfHeight);
}

void ViewGeometry::FrameToWindow(const Affine& frameToView, double x, double y, double& wx, double& wy) const {
  double vx, vy;
  frameToView.Map(x, y, vx, vy);
  ViewToWindow(vx, vy, wx, wy);
}

void ViewGeometry::MouseToFrame(const Affine& frameToView, double X, double Y, double& x, double& y) const {
  double vx, vy;
  WindowToView(X, height - Y - 1, vx, vy);
  const Affine back = frameToView.Inverse();
  if (!back.IsFinite()) {
    x = y = NAN;
    return;
  }
  back.Map(vx, vy, x, y);
}

bool ViewGeometry::RectCoversView(const Affine& frameToView, double hx, double hy) const {
  const Affine back = frameToView.Inverse();
  if (!back.IsFinite()) return false;
  const double corners[4][2] = {{-span.halfWidth, -span.halfHeight},
                                {-span.halfWidth, span.halfHeight},
                                {span.halfWidth, -span.halfHeight},
                                {span.halfWidth, span.halfHeight}};
  for (const auto& corner : corners) {
    double x, y;
    back.Map(corner[0], corner[1], x, y);
    if (!(x >= -hx && x <= hx && y >= -hy && y <= hy)) return false;
  }
  return true;
}
