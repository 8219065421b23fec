#pragma once
// Where the view's units meet its pixels: the viewport (framebuffer pixels) and the orthographic
// span fitted to the first picture. Mouse positions are pixels with the origin at the top-left;
// they enter as (X, H - Y - 1), as the GL window point they always were.

#include "Affine.h"
#include "Transform.h"

struct ViewGeometry {
  int width = 0;  // framebuffer pixels
  int height = 0;
  ViewSpan span{0.5, 0.5};  // half the width and height in view units
  // Framebuffer pixels per logical pixel of the screen: the handles, the outline and the hit
  // distances, given in logical pixels, are multiplied by it so they look the same on any screen.
  double pixelRatio = 1.0;

  // The view of a width x height viewport fitted to a first picture of firstWidth x firstHeight
  // pixels (both 0: no picture, -0.5..0.5 on both axes).
  static ViewGeometry Fitted(int width, int height, int firstWidth, int firstHeight);

  // Window point (origin bottom-left) <-> view units.
  void WindowToView(double wx, double wy, double& x, double& y) const;
  void ViewToWindow(double x, double y, double& wx, double& wy) const;
  // Pixels per view unit along x.
  double PixelsPerUnit() const { return span.halfWidth > 0 ? width / (2 * span.halfWidth) : 0; }

  // A point of the frame that `frameToView` carries into view units, to the window, and the
  // mouse (origin top-left) back into that frame; NaN where the map cannot be inverted.
  void FrameToWindow(const Affine& frameToView, double x, double y, double& wx, double& wy) const;
  void MouseToFrame(const Affine& frameToView, double X, double Y, double& x, double& y) const;

  // True when the rectangle of half sides (hx, hy) centred on the frame's origin contains all
  // four corners of the view, borders included.
  bool RectCoversView(const Affine& frameToView, double hx, double hy) const;
};
