#include "Timeline.h"

#include <algorithm>
#include <cmath>

#include "Keyframe.h"

namespace {

double Hermite(double p0, double p1, double slope0, double slope1, double d, double s) {
  const double m0 = d * slope0, m1 = d * slope1;
  const double a = 2 * p0 - 2 * p1 + m0 + m1;
  const double b = -3 * p0 + 3 * p1 - 2 * m0 - m1;
  return ((a * s + b) * s + m0) * s + p0;
}

// Through the neighbours where the value lies strictly between them; flat at a turn or plateau.
// The values here are differences from the key's own value.
double InteriorSlope(double toPrevious, double toNext, double span) {
  if (toPrevious * toNext < 0 && span != 0) {
    const double slope = (toNext - toPrevious) / span;
    return std::isfinite(slope) ? slope : 0.0;
  }
  return 0.0;
}

double Finite(double value, double fallback) { return std::isfinite(value) ? value : fallback; }

}  // namespace

void Timeline::Build(const std::vector<Transform>& placements, const PlaySettings& settings) {
  settings_ = settings;
  const int n = static_cast<int>(placements.size());
  keys_.assign(static_cast<size_t>(n), Key());
  if (n == 0) return;

  // Hand-edited files can hold scales that are zero or not numbers; such an element is drawn at
  // its parent's size rather than making every later matrix infinite.
  for (int i = 1; i < n; ++i) {
    Transform t = placements[static_cast<size_t>(i)];
    if (!std::isfinite(t.scale) || t.scale == 0.0f) t.scale = 1.0f;
    if (!std::isfinite(t.translateX)) t.translateX = 0.0f;
    if (!std::isfinite(t.translateY)) t.translateY = 0.0f;
    if (!std::isfinite(t.rotate)) t.rotate = 0.0f;
    Key& key = keys_[static_cast<size_t>(i)];
    key.placement = Affine::Placement(t);
    key.scale = t.scale;
    key.logZoom = keys_[static_cast<size_t>(i - 1)].logZoom - std::log(std::fabs(static_cast<double>(t.scale)));
    key.rotate = keys_[static_cast<size_t>(i - 1)].rotate - t.rotate;
  }
  const double total = keys_.back().logZoom;
  const bool steady = settings.EffectivePace() == Pace::Steady;
  for (int i = 1; i < n; ++i) {
    Key& key = keys_[static_cast<size_t>(i)];
    if (steady) {
      // The share of the total zoom, clamped as the eased curve's inverse clamps it (a stack
      // whose zoom runs backwards somewhere); not a number (no zoom at all) is the start.
      const double u = key.logZoom / total;
      key.time = u > 0 ? std::min(u, 1.0) : 0.0;
      key.logZoomSlope = Finite(total, 0.0);
    } else {
      const TimeAndSlope ts = TimeForZoomFraction(static_cast<float>(key.logZoom / total));
      key.time = ts.t;
      key.logZoomSlope = i + 1 < n ? Finite(ts.slope * total, 0.0) : 0.0;
    }
  }
  // Steady: the same rate at the ends too, so the logarithmic zoom is a straight line.
  if (steady) keys_[0].logZoomSlope = Finite(total, 0.0);

  // Centres: the next element's centre seen from element i, in i's units with the first
  // picture's orientation, is R(sum of rotations up to i) * translate(i + 1).
  for (int i = 0; i + 1 < n; ++i) {
    Key& key = keys_[static_cast<size_t>(i)];
    const Affine turn = Affine::Similarity(1.0, -key.rotate, 0, 0);
    const Affine& next = keys_[static_cast<size_t>(i + 1)].placement;
    turn.Map(next.tx, next.ty, key.nextX, key.nextY);
  }
  for (int i = 1; i + 1 < n; ++i) {
    Key& key = keys_[static_cast<size_t>(i)];
    const Key& previous = keys_[static_cast<size_t>(i - 1)];
    const Key& next = keys_[static_cast<size_t>(i + 1)];
    const double span = next.time - previous.time;
    // The previous centre from element i: -(1 / scale) * its own next-centre offset.
    const double prevX = -previous.nextX / key.scale, prevY = -previous.nextY / key.scale;
    // The view translation is minus the centre, so its differences change sign; the turning
    // test does not care, the slope does.
    key.slopeX = -InteriorSlope(prevX, key.nextX, span);
    key.slopeY = -InteriorSlope(prevY, key.nextY, span);
    key.rotateSlope = InteriorSlope(previous.rotate - key.rotate, next.rotate - key.rotate, span);
  }
  if (Endless()) JoinSeam();
}

// The target frame (element N) is the next pass's first picture. Its slopes are taken with its
// neighbours across the seam (element N - 1 before it, the next pass's element 1 after it), as
// an interior key's are, and the first picture's slopes are the same motion seen in its own
// frame, so that the view runs on through the seam without a jolt.
void Timeline::JoinSeam() {
  const int last = count() - 1;
  Key& seam = keys_[static_cast<size_t>(last)];
  const Key& previous = keys_[static_cast<size_t>(last - 1)];
  const Key& second = keys_[1];  // element 1 of a pass: the target frame itself when N = 1
  const Affine toFirstOrientation = Affine::Similarity(1.0, -seam.rotate, 0, 0);
  const Affine& next = PlacementOf(last + 1);
  toFirstOrientation.Map(next.tx, next.ty, seam.nextX, seam.nextY);

  const double span = 1.0 + second.time - previous.time;
  const double prevX = -previous.nextX / seam.scale, prevY = -previous.nextY / seam.scale;
  seam.slopeX = -InteriorSlope(prevX, seam.nextX, span);
  seam.slopeY = -InteriorSlope(prevY, seam.nextY, span);
  // The next element's rotation relative to the seam is element 1's relative to the first picture.
  seam.rotateSlope = InteriorSlope(previous.rotate - seam.rotate, second.rotate, span);

  // The first picture's frame is the seam's turned back by the seam's rotation; units are alike.
  Key& first = keys_[0];
  Affine::Similarity(1.0, seam.rotate, 0, 0).Map(seam.slopeX, seam.slopeY, first.slopeX, first.slopeY);
  first.rotateSlope = seam.rotateSlope;
  first.logZoomSlope = seam.logZoomSlope;
}

int Timeline::PictureOf(long long k) const {
  const long long pictures = count() - 1;
  return static_cast<int>(((k % pictures) + pictures) % pictures);
}

const Affine& Timeline::PlacementOf(long long k) const {
  const int picture = PictureOf(k);
  return keys_[static_cast<size_t>(picture == 0 ? count() - 1 : picture)].placement;
}

RelativeView Timeline::ViewAt(double t) const {
  const int n = count();
  if (n < 2) return {};
  if (Endless()) {
    // Every pass is the same relative to its own elements: only the time within the pass counts.
    t = std::isfinite(t) ? t - std::floor(t) : 0.0;
    if (!(t < 1.0)) t = 0.0;  // a tiny negative time rounds to 1
  }
  int k = 1;
  while (k < n && t > keys_[static_cast<size_t>(k)].time) ++k;
  if (k == n) k = n - 1;
  const Key& a = keys_[static_cast<size_t>(k - 1)];
  const Key& b = keys_[static_cast<size_t>(k)];
  const double d = b.time - a.time;
  const double s = d > 0 ? (t - a.time) / d : 0.0;

  // Relative to element a: it starts at zoom 1, turn 0 and offset 0; element b's values and
  // slopes are carried into a's units (b's local unit is `b.scale` of a's).
  const double logZoom = Hermite(0, b.logZoom - a.logZoom, a.logZoomSlope, b.logZoomSlope, d, s);
  const double turn = Hermite(0, b.rotate - a.rotate, a.rotateSlope, b.rotateSlope, d, s);
  const double offsetX = Hermite(0, -a.nextX, a.slopeX, b.slopeX * b.scale, d, s);
  const double offsetY = Hermite(0, -a.nextY, a.slopeY, b.slopeY * b.scale, d, s);
  const double zoom = std::exp(Finite(logZoom, 0.0));

  // V(q) = zoom * R(turn) q + zoom * R(absolute view rotation) * offset, where the absolute view
  // rotation is a.rotate + turn and the offset is in the first picture's orientation.
  RelativeView view;
  view.anchor = k - 1;
  const Affine linear = Affine::Similarity(zoom, Finite(turn, 0.0), 0, 0);
  const Affine absolute = Affine::Similarity(zoom, a.rotate + Finite(turn, 0.0), 0, 0);
  double ox, oy;
  absolute.Map(Finite(offsetX, 0.0), Finite(offsetY, 0.0), ox, oy);
  view.toView = linear;
  view.toView.tx = ox;
  view.toView.ty = oy;
  return view;
}
