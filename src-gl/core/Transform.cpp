#include "Transform.h"

Extents ElementExtents(int width, int height) {
  if (height < width) return {1.0f, static_cast<float>(height) / static_cast<float>(width)};
  if (height == 0) return {1.0f, 1.0f};  // 0 x 0: nothing sensible to divide by
  return {static_cast<float>(width) / static_cast<float>(height), 1.0f};
}

ViewSpan FittedViewSpan(int firstWidth, int firstHeight, double viewportWidth, double viewportHeight) {
  const Extents e = ElementExtents(firstWidth, firstHeight);
  const double ex = e.ex, ey = e.ey, W = viewportWidth, H = viewportHeight;
  if (ex / ey > W / H) return {ex / 2.0, ex * H / W / 2.0};
  return {ey * W / H / 2.0, ey / 2.0};
}
