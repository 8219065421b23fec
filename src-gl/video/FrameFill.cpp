#include "FrameFill.h"

#include <algorithm>
#include <cmath>

#include "Imagestack.h"

double FillZoom(ImageStack& stack, double t, const ViewGeometry& fitted) {
  if (stack.pictureCount() < 1) return 1;
  const Timeline& timeline = stack.CurrentTimeline();
  if (timeline.Endless()) return 1;
  const RelativeView relative = timeline.ViewAt(t);
  Affine firstToView = relative.toView;
  for (int i = std::min(relative.anchor, timeline.count() - 1); i >= 1; --i)
    firstToView = firstToView * timeline.Placement(i).Inverse();
  const Affine back = firstToView.Inverse();  // view units into the first picture's frame
  if (!back.IsFinite()) return 1;
  const Image& first = *stack.images[0];
  const Extents e = ElementExtents(first.width, first.height);
  const double hw = fitted.span.halfWidth, hh = fitted.span.halfHeight;
  // Zoomed by s about the centre, the view's corners land at back's centre plus these reaches / s.
  const double reachX = std::fabs(back.a) * hw + std::fabs(back.c) * hh;
  const double reachY = std::fabs(back.b) * hw + std::fabs(back.d) * hh;
  const double roomX = e.ex / 2.0 - std::fabs(back.tx), roomY = e.ey / 2.0 - std::fabs(back.ty);
  if (!(roomX > 0 && roomY > 0)) return 1;
  const double zoom = std::max({1.0, reachX / roomX, reachY / roomY});
  return std::isfinite(zoom) ? zoom : 1;
}

ViewGeometry FrameView(ImageStack& stack, double t, const ViewGeometry& fitted, VideoFrame frame) {
  if (frame != VideoFrame::Fill) return fitted;
  ViewGeometry view = fitted;
  const double zoom = FillZoom(stack, t, fitted);
  view.span.halfWidth /= zoom;
  view.span.halfHeight /= zoom;
  return view;
}
