// The edit view's zoom and pan, as the mouse and the wheel drive them.

#include "EditView.h"

#include <cmath>

#include "Affine.h"

void ResetView(Transform& viewTransform) {
  viewTransform.scale = 1.0f;
  viewTransform.translateX = 0.0f;
  viewTransform.translateY = 0.0f;
}

void WindowToView(const ViewGeometry& geometry, const Transform& viewTransform, double X, double Y, double& x,
                  double& y) {
  geometry.MouseToFrame(Affine::ViewTransform(viewTransform), X, Y, x, y);
}

void PanView(const ViewGeometry& geometry, Transform& viewTransform, double X0, double Y0, double X1, double Y1) {
  double x0, y0, x1, y1;
  WindowToView(geometry, viewTransform, X0, Y0, x0, y0);
  WindowToView(geometry, viewTransform, X1, Y1, x1, y1);
  if (!std::isfinite(x1 - x0) || !std::isfinite(y1 - y0)) return;
  viewTransform.translateX = static_cast<float>(viewTransform.translateX + (x1 - x0));
  viewTransform.translateY = static_cast<float>(viewTransform.translateY + (y1 - y0));
}

void ZoomViewAbout(const ViewGeometry& geometry, Transform& viewTransform, double X, double Y, double factor) {
  double x, y;
  WindowToView(geometry, viewTransform, X, Y, x, y);
  const double scale = viewTransform.scale, scaled = scale * factor;
  if (!std::isfinite(x) || !std::isfinite(y) || !std::isfinite(scaled) || !(scaled > 0) ||
      static_cast<float>(scaled) <= 0.0f || !std::isfinite(static_cast<float>(scaled)))
    return;
  // scale * (p + translate) stays where it was: translate' = scale / scaled * (p + translate) - p.
  const double tx = scale / scaled * (x + viewTransform.translateX) - x;
  const double ty = scale / scaled * (y + viewTransform.translateY) - y;
  if (!std::isfinite(static_cast<float>(tx)) || !std::isfinite(static_cast<float>(ty))) return;
  viewTransform.scale = static_cast<float>(scaled);
  viewTransform.translateX = static_cast<float>(tx);
  viewTransform.translateY = static_cast<float>(ty);
}

void ZoomView(Transform& viewTransform, double X0, double Y0, double X1, double Y1) {
  const float scaled = static_cast<float>(viewTransform.scale * std::pow(zoomPerPixel, (X1 - X0) + (Y1 - Y0)));
  if (std::isfinite(scaled) && scaled > 0.0f) viewTransform.scale = scaled;
}
